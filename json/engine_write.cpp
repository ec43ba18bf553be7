// The JSON writer: compact, or objects laid out over lines with TABs.
#include <cmath>

#include "json/engine.hpp"

namespace zoq::json::detail {
namespace {

char16_t EscapeLetter(char16_t c, bool slash) {
  switch (c) {
    case u'\\': return u'\\';
    case u'"': return u'"';
    case 0x08: return u'b';
    case 0x09: return u't';
    case 0x0A: return u'n';
    case 0x0D: return u'r';
    case 0x0C: return u'f';
    case u'/': return slash ? u'/' : 0;
    default: return 0;
  }
}

// Appends one character; false when a narrow (ASCII) sink meets another one.
bool Put(std::u16string& out, const char16_t* from, const char16_t* to) {
  out.append(from, static_cast<size_t>(to - from));
  return true;
}

bool Put(std::string& out, const char16_t* from, const char16_t* to) {
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(to - from));
  char* d = out.data() + at;
  for (const char16_t* p = from; p < to; ++p) {
    if (*p >= 0x80) return false;  // numbers' literals are ASCII
    *d++ = static_cast<char>(*p);
  }
  return true;
}

// One character into the sink: ASCII as it is, others as GBK bytes.
char* PutChar(char* d, char16_t c, bool& ok) {
  if (c < 0x80) {
    *d++ = static_cast<char>(c);
  } else {
    const int n = GbkOf(c, d);
    ok = n > 0;
    d += n;
  }
  return d;
}

char16_t* PutChar(char16_t* d, char16_t c, bool&) {
  *d++ = c;
  return d;
}

// A control character without a letter of its own: "\u" and four digits.
bool NeedsHexEscape(char16_t c) { return c < 0x20 && EscapeLetter(c, false) == 0; }

// One pass over a string: escapes written straight into room reserved for
// the worst case (two units per character, six per control character
// without a letter).
template <class Out>
bool AppendQuoted(Out& out, std::u16string_view s, bool escape, bool slash) {
  using C = typename Out::value_type;
  const size_t at = out.size();
  size_t hex = 0;
  if (escape) {
    for (const char16_t c : s) hex += NeedsHexEscape(c);
  }
  out.resize(at + s.size() * 2 + hex * 4 + 2);
  C* d = out.data() + at;
  *d++ = '"';
  bool ok = true;
  for (const char16_t c : s) {
    if (escape && (c < 0x20 || c == u'\\' || c == u'"' || c == u'/')) {
      if (const char16_t e = EscapeLetter(c, slash)) {
        *d++ = '\\';
        *d++ = static_cast<C>(e);
        continue;
      }
      if (NeedsHexEscape(c)) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (const char u : {'\\', 'u', '0', '0', kDigits[c >> 4], kDigits[c & 15]}) *d++ = static_cast<C>(u);
        continue;
      }
    }
    d = PutChar(d, c, ok);
    if (!ok) return false;
  }
  *d++ = '"';
  out.resize(static_cast<size_t>(d - out.data()));
  return true;
}

template <class Out>
void AppendNumber(Out& out, const Node* n) {
  const bool finite = n->type != kDouble || std::isfinite(n->v.d);
  if (!n->text.empty() && (finite || IsNumberText(n->text))) {
    Put(out, n->text.data(), n->text.data() + n->text.size());
    return;
  }
  const std::u16string made = n->type == kInt64 ? FormatInt64(n->v.i) : finite ? FormatDouble(n->v.d) : u"null";
  Put(out, made.data(), made.data() + made.size());
}

void AppendWord(std::string& out, std::string_view w) { out.append(w); }
void AppendWord(std::u16string& out, std::string_view w) {
  for (char c : w) out += static_cast<char16_t>(c);
}

}  // namespace

template <class Out>
bool Write(const Node* root, Out& out, const WriteOptions& o, const Dialect& d) {
  if (!root) return true;
  out.reserve(out.size() + o.reserve);
  struct Frame {
    const Node* n;
    size_t next;
  };
  std::vector<Frame> stack;
  size_t depth = 0;
  bool ok = true;
  const auto visit = [&](const Node* n) {
    switch (n->type) {
      case kNull: AppendWord(out, "null"); break;
      case kBool: AppendWord(out, static_cast<int32_t>(n->v.i) ? "true" : "false"); break;
      case kDouble: case kInt64: AppendNumber(out, n); break;
      case kString: ok = AppendQuoted(out, n->text, o.escape, d.escapeSlashInValues); break;
      case kArray: case kObject:
        AppendWord(out, n->type == kArray ? "[" : (o.pretty ? "{\r\n" : "{"));
        ++depth;
        stack.push_back({n, 0});
        break;
      default: break;
    }
  };
  visit(root);
  while (ok && !stack.empty()) {
    Frame& f = stack.back();
    const Node* c = f.n;
    const bool obj = c->type == kObject;
    const size_t size = c->kids.size();
    if (f.next > 0) {
      if (f.next < size) out += ',';
      if (obj && o.pretty) AppendWord(out, "\r\n");
    }
    if (f.next < size) {
      const Node* k = c->kids[f.next++];
      if (obj) {
        if (o.pretty) out.append(depth, '\t');
        if (!(ok = AppendQuoted(out, k->key, o.escape, true))) break;
        out += ':';
      }
      visit(k);
      continue;
    }
    --depth;
    if (obj && o.pretty) out.append(depth, '\t');
    out += obj ? '}' : ']';
    stack.pop_back();
  }
  return ok;
}

template bool Write(const Node*, std::u16string&, const WriteOptions&, const Dialect&);
template bool Write(const Node*, std::string&, const WriteOptions&, const Dialect&);

}  // namespace zoq::json::detail
