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

void AppendQuoted(std::u16string& out, const std::u16string& s, bool escape, bool slash) {
  out += u'"';
  if (!escape) {
    out += s;
  } else {
    size_t run = 0;
    for (size_t k = 0; k < s.size(); ++k) {
      const char16_t c = s[k];
      if (c >= 0x20 && c != u'\\' && c != u'"' && c != u'/') continue;
      const char16_t e = EscapeLetter(c, slash);
      if (!e) continue;
      out.append(s, run, k - run);
      out += u'\\';
      out += e;
      run = k + 1;
    }
    out.append(s, run, std::u16string::npos);
  }
  out += u'"';
}

void AppendNumber(std::u16string& out, const Node* n) {
  const bool finite = n->type != kDouble || std::isfinite(n->v.d);
  if (!n->text.empty() && (finite || IsNumberText(n->text))) out += n->text;
  else if (n->type == kInt64) out += FormatInt64(n->v.i);
  else if (finite) out += FormatDouble(n->v.d);
  else out += u"null";
}

}  // namespace

void Write(const Node* root, std::u16string& out, const WriteOptions& o, const Dialect& d) {
  if (!root) return;
  out.reserve(out.size() + o.reserve);
  struct Frame {
    const Node* n;
    size_t next;
  };
  std::vector<Frame> stack;
  size_t depth = 0;
  const auto tabs = [&](size_t k) { out.append(k, u'\t'); };
  const auto visit = [&](const Node* n) {
    switch (n->type) {
      case kNull: out += u"null"; break;
      case kBool: out += static_cast<int32_t>(n->v.i) ? u"true" : u"false"; break;
      case kDouble: case kInt64: AppendNumber(out, n); break;
      case kString: AppendQuoted(out, n->text, o.escape, d.escapeSlashInValues); break;
      case kArray: case kObject:
        out += n->type == kArray ? u"[" : (o.pretty ? u"{\r\n" : u"{");
        ++depth;
        stack.push_back({n, 0});
        break;
      default: break;
    }
  };
  visit(root);
  while (!stack.empty()) {
    Frame& f = stack.back();
    const Node* c = f.n;
    const bool obj = c->type == kObject;
    const size_t size = c->kids.size();
    if (f.next > 0) {
      if (f.next < size) out += u',';
      if (obj && o.pretty) out += u"\r\n";
    }
    if (f.next < size) {
      const Node* k = c->kids[f.next++];
      if (obj) {
        if (o.pretty) tabs(depth);
        AppendQuoted(out, k->key, o.escape, true);
        out += u':';
      }
      visit(k);
      continue;
    }
    --depth;
    if (obj && o.pretty) tabs(depth);
    out += obj ? u'}' : u']';
    stack.pop_back();
  }
}

}  // namespace zoq::json::detail
