#include "json/script_value.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zoq::json::script {

using detail::Node;
using detail::NodeRef;

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int Hex(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::u16string Ascii(const std::string& s) { return {s.begin(), s.end()}; }

NodeRef Made(int32_t type) {
  NodeRef n = NodeRef::Adopt(new Node);
  n->type = type;
  return n;
}

// RFC 8259, one pass, building the tree as it checks.
class Reader {
 public:
  explicit Reader(std::u16string_view t) : t_(t) {}

  std::optional<NodeRef> Whole() {
    NodeRef v = Value(0);
    Blank();
    if (!v || p_ != t_.size()) return std::nullopt;
    return v;
  }

 private:
  static constexpr int kDeepest = 256;

  char16_t At() const { return p_ < t_.size() ? t_[p_] : u'\0'; }
  bool Take(char16_t c) {
    Blank();
    if (At() != c) return false;
    ++p_;
    return true;
  }
  void Blank() {
    while (p_ < t_.size() && (t_[p_] == u' ' || t_[p_] == u'\t' || t_[p_] == u'\r' || t_[p_] == u'\n')) ++p_;
  }
  bool Word(std::u16string_view w) {
    if (t_.substr(p_, w.size()) != w) return false;
    p_ += w.size();
    return true;
  }
  bool Digits() {
    const size_t start = p_;
    while (IsDigit(At())) ++p_;
    return p_ > start;
  }

  NodeRef Value(int depth) {
    if (depth > kDeepest) return {};
    Blank();
    NodeRef n;
    switch (At()) {
      case u'{': return Members(depth);
      case u'[': return Elements(depth);
      case u'"':
        n = Made(kString);
        return Quoted(n->text) ? n : NodeRef{};
      case u't': case u'f':
        n = Made(kBool);
        n->v.i = At() == u't';
        return Word(n->v.i ? u"true" : u"false") ? n : NodeRef{};
      case u'n': return Word(u"null") ? Made(kNull) : NodeRef{};
      default: return Number();
    }
  }

  NodeRef Number() {
    const size_t start = p_;
    if (At() == u'-') ++p_;
    if (At() == u'0') ++p_;
    else if (!Digits()) return {};
    if (At() == u'.' && (++p_, !Digits())) return {};
    if (At() == u'e' || At() == u'E') {
      ++p_;
      if (At() == u'+' || At() == u'-') ++p_;
      if (!Digits()) return {};
    }
    char small[64];
    std::string large;
    char* ascii = p_ - start < sizeof small ? small : (large.resize(p_ - start + 1), large.data());
    for (size_t k = start; k < p_; ++k) ascii[k - start] = static_cast<char>(t_[k]);
    ascii[p_ - start] = '\0';
    NodeRef n = Made(kDouble);
    const auto r = std::from_chars(ascii, ascii + (p_ - start), n->v.d);
    if (r.ec == std::errc::result_out_of_range)  // beyond the doubles: infinity or zero, as the script reads it
      n->v.d = std::strtod(ascii, nullptr);
    return n;
  }

  template <class S>
  bool Quoted(S& out) {
    ++p_;  // the opening quote
    for (;;) {
      size_t run = p_;
      while (run < t_.size() && t_[run] != u'"' && t_[run] != u'\\' && t_[run] >= 0x20) ++run;
      out.append(t_.data() + p_, run - p_);
      p_ = run;
      const char16_t c = At();
      if (p_ >= t_.size() || c < 0x20) return false;
      ++p_;
      if (c == u'"') return true;
      const char16_t e = At();
      ++p_;
      switch (e) {
        case u'"': case u'\\': case u'/': out.push_back(e); break;
        case u'b': out.push_back(u'\b'); break;
        case u'f': out.push_back(u'\f'); break;
        case u'n': out.push_back(u'\n'); break;
        case u'r': out.push_back(u'\r'); break;
        case u't': out.push_back(u'\t'); break;
        case u'u': {
          int code = 0;
          for (int k = 0; k < 4; ++k, ++p_) {
            const int h = Hex(At());
            if (h < 0) return false;
            code = code * 16 + h;
          }
          out.push_back(static_cast<char16_t>(code));
          break;
        }
        default: return false;
      }
    }
  }

  NodeRef Members(int depth) {
    ++p_;
    NodeRef obj = Made(kObject);
    if (Take(u'}')) return obj;
    do {
      Blank();
      detail::Str key;
      if (At() != u'"' || !Quoted(key) || !Take(u':')) return {};
      NodeRef v = Value(depth + 1);
      if (!v) return {};
      v->key = std::move(key);
      detail::PutKeyed(obj.get(), std::move(v));  // a repeated key: its last value, in its first place
    } while (Take(u','));
    return Take(u'}') ? obj : NodeRef{};
  }

  NodeRef Elements(int depth) {
    ++p_;
    NodeRef arr = Made(kArray);
    if (Take(u']')) return arr;
    do {
      NodeRef v = Value(depth + 1);
      if (!v) return {};
      detail::InsertElement(arr.get(), std::nullopt, std::move(v));
    } while (Take(u','));
    return Take(u']') ? arr : NodeRef{};
  }

  std::u16string_view t_;
  size_t p_ = 0;
};

// --- Numbers ------------------------------------------------------------

// Significant digits (no zeros at the end) of x > 0 and the place of the
// decimal point after as many of them.
struct Decimal {
  std::string digits;
  int point = 0;
};

Decimal DecimalOf(double x, int digits) {
  char buf[64];
  if (digits > 0) {
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, x);
  } else {
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, x, std::chars_format::scientific);
    *r.ptr = '\0';
  }
  Decimal d;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') d.digits.push_back(*p);
  d.point = std::atoi(p + (*p ? 1 : 0)) + 1;
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// JavaScript's layout of a number's digits.
std::u16string Layout(const Decimal& d, bool negative) {
  const int k = static_cast<int>(d.digits.size()), n = d.point;
  std::string s = negative ? "-" : "";
  if (k <= n && n <= 21) {
    s += d.digits + std::string(static_cast<size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    s += d.digits.substr(0, static_cast<size_t>(n)) + "." + d.digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {
    s += "0." + std::string(static_cast<size_t>(-n), '0') + d.digits;
  } else {
    s += d.digits.substr(0, 1);
    if (k > 1) s += "." + d.digits.substr(1);
    s += (n - 1 >= 0 ? "e+" : "e-") + std::to_string(std::abs(n - 1));
  }
  return Ascii(s);
}

constexpr double kWholeExactly = 9007199254740992.0;  // 2^53

// A number as the script's String() and writer give it.
std::u16string ScriptNumber(double x) {
  if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) <= kWholeExactly) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", x == 0 ? 0.0 : x);
    return Ascii(buf);
  }
  return NumberText(x, 15);
}

double NumberOf(const Node* n) { return n->type == kDouble ? n->v.d : static_cast<double>(n->v.i); }

// --- Writers ------------------------------------------------------------

// The characters the script's writer escapes as "\u" and four hex digits.
bool Escaped(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x600 && c <= 0x604) || c == 0x70F ||
         c == 0x17B4 || c == 0x17B5 || (c >= 0x200C && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || c >= 0xFFF0;
}

void Quote(std::u16string& out, std::u16string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += u'"';
  for (const char16_t c : s) {
    switch (c) {
      case u'"': out += u"\\\""; break;
      case u'\\': out += u"\\\\"; break;
      case u'\b': out += u"\\b"; break;
      case u'\f': out += u"\\f"; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      case u'\t': out += u"\\t"; break;
      default:
        if (Escaped(c)) {
          out += u"\\u";
          for (int shift = 12; shift >= 0; shift -= 4) out += static_cast<char16_t>(kHex[(c >> shift) & 0xF]);
        } else {
          out += c;
        }
    }
  }
  out += u'"';
}

template <class WriteNumber>
void Write(std::u16string& out, const Node* n, WriteNumber number) {
  switch (n->type) {
    case kNull: out += u"null"; break;
    case kBool: out += n->v.i ? u"true" : u"false"; break;
    case kDouble: case kInt64: out += number(NumberOf(n)); break;
    case kString: Quote(out, n->text); break;
    case kArray: case kObject: {
      const bool obj = n->type == kObject;
      out += obj ? u'{' : u'[';
      for (size_t k = 0; k < n->kids.size(); ++k) {
        if (k) out += u',';
        if (obj) {
          Quote(out, n->kids[k]->key);
          out += u':';
        }
        Write(out, n->kids[k], number);
      }
      out += obj ? u'}' : u']';
      break;
    }
    default: break;
  }
}

// --- Paths --------------------------------------------------------------

bool IdentStart(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$'; }

// A quoted name of a path: the escapes of a script string literal.
std::optional<std::u16string> QuotedName(std::u16string_view p, size_t& i) {
  const char16_t quote = p[i++];
  std::u16string name;
  while (i < p.size() && p[i] != quote) {
    char16_t c = p[i++];
    if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) return std::nullopt;
    if (c == u'\\') {
      if (i >= p.size()) return std::nullopt;
      c = p[i++];
      const int width = c == u'x' ? 2 : c == u'u' ? 4 : 0;
      if (width) {
        int code = 0;
        for (int k = 0; k < width; ++k, ++i) {
          const int h = i < p.size() ? Hex(p[i]) : -1;
          if (h < 0) return std::nullopt;
          code = code * 16 + h;
        }
        c = static_cast<char16_t>(code);
      } else if (c == u'0' && (i >= p.size() || !IsDigit(p[i]))) {
        c = 0;
      } else if (IsDigit(c) || c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) {
        return std::nullopt;
      } else {
        static constexpr std::u16string_view kFrom = u"bfnrtv", kTo = u"\b\f\n\r\t\v";
        if (const size_t at = kFrom.find(c); at != std::u16string_view::npos) c = kTo[at];
      }
    }
    name.push_back(c);
  }
  if (i >= p.size()) return std::nullopt;
  ++i;
  return name;
}

// "0" or digits without a leading zero, below 2^32 - 1: an element of an array.
std::optional<size_t> IndexOf(std::u16string_view name) {
  if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == u'0')) return std::nullopt;
  uint64_t v = 0;
  for (const char16_t c : name) {
    if (!IsDigit(c)) return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - u'0');
  }
  if (v >= 0xFFFFFFFFull) return std::nullopt;
  return static_cast<size_t>(v);
}

}  // namespace

std::optional<NodeRef> Parse(std::u16string_view text) { return Reader(text).Whole(); }

std::u16string Json(const Node* n) {
  std::u16string out;
  Write(out, n, [](double x) { return std::isfinite(x) ? ScriptNumber(x) : u"null"; });
  return out;
}

std::u16string Script(const Node* n) {
  std::u16string out;
  Write(out, n, [](double x) { return x == 0 && std::signbit(x) ? u"-0" : NumberText(x, 0); });
  return out;
}

std::u16string NumberText(double x, int digits) {
  if (std::isnan(x)) return u"NaN";
  if (std::isinf(x)) return x > 0 ? u"Infinity" : u"-Infinity";
  if (x == 0) return u"0";
  return Layout(DecimalOf(std::fabs(x), digits), x < 0);
}

double ToNumber(std::u16string_view t) {
  const auto blank = [](char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == u' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
  };
  while (!t.empty() && blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && blank(t.back())) t.remove_suffix(1);
  if (t.empty()) return 0;
  std::string a;
  for (const char16_t c : t) {
    if (c >= 0x80) return NAN;
    a.push_back(static_cast<char>(c));
  }
  if (a.size() > 2 && a[0] == '0' && (a[1] == 'x' || a[1] == 'X')) {
    double v = 0;
    for (size_t k = 2; k < a.size(); ++k) {
      const int h = Hex(static_cast<char16_t>(a[k]));
      if (h < 0) return NAN;
      v = v * 16 + h;
    }
    return v;
  }
  const size_t sign = (a[0] == '+' || a[0] == '-') ? 1 : 0;
  if (a.compare(sign, std::string::npos, "Infinity") == 0) return a[0] == '-' ? -INFINITY : INFINITY;
  // Digits with an optional point (and digits on at least one side), then an
  // optional exponent.
  size_t k = sign, digits = 0;
  while (k < a.size() && a[k] >= '0' && a[k] <= '9') ++k, ++digits;
  if (k < a.size() && a[k] == '.')
    for (++k; k < a.size() && a[k] >= '0' && a[k] <= '9'; ++k) ++digits;
  if (digits == 0) return NAN;
  if (k < a.size() && (a[k] == 'e' || a[k] == 'E')) {
    size_t e = k + 1;
    if (e < a.size() && (a[e] == '+' || a[e] == '-')) ++e;
    if (e == a.size()) return NAN;
    for (; e < a.size(); ++e)
      if (a[e] < '0' || a[e] > '9') return NAN;
    k = e;
  }
  return k == a.size() ? std::strtod(a.c_str(), nullptr) : NAN;
}

std::optional<std::vector<std::u16string>> ParsePath(std::u16string_view p) {
  std::vector<std::u16string> names;
  size_t i = 0;
  while (i < p.size()) {
    if (p[i] == u'[') {
      ++i;
      if (i < p.size() && (p[i] == u'\'' || p[i] == u'"')) {
        auto name = QuotedName(p, i);
        if (!name) return std::nullopt;
        names.push_back(std::move(*name));
      } else {
        const size_t start = i;
        while (i < p.size() && IsDigit(p[i])) ++i;
        const std::u16string_view digits = p.substr(start, i - start);
        if (!IndexOf(digits)) return std::nullopt;  // JavaScript reads other numbers otherwise
        names.emplace_back(digits);
      }
      if (i >= p.size() || p[i++] != u']') return std::nullopt;
      continue;
    }
    if (!names.empty() || i > 0) {
      if (p[i++] != u'.') return std::nullopt;
    }
    const size_t start = i;
    if (i >= p.size() || !IdentStart(p[i])) return std::nullopt;
    while (i < p.size() && (IdentStart(p[i]) || IsDigit(p[i]))) ++i;
    names.emplace_back(p.substr(start, i - start));
  }
  return names;
}

Found Walk(const Value& v, const std::vector<std::u16string>& names, const Inherits& inherits) {
  Found f{v.defined ? Found::kNode : Found::kUndefined, v.root.get()};
  for (const std::u16string& name : names) {
    if (f.kind != Found::kNode || f.node->type == kNull) return {Found::kError};
    const Node* n = f.node;
    if (n->type == kObject) {
      if (const Node* m = detail::FindMember(n, name)) {
        f.node = m;
        continue;
      }
    } else if (n->type == kArray) {
      if (const auto k = IndexOf(name)) {
        f = *k < n->kids.size() ? Found{Found::kNode, n->kids[*k]} : Found{Found::kUndefined};
        continue;
      }
    } else {
      return {Found::kUnsure};
    }
    if (inherits(n->type == kArray, name)) return {Found::kUnsure};
    f = {Found::kUndefined};
  }
  return f;
}

int32_t TypeOf(const Found& f) {
  if (f.kind == Found::kError) return -1;
  if (f.kind != Found::kNode) return 0;
  switch (f.node->type) {
    case kBool: return 1;
    case kDouble: case kInt64: return 2;
    case kObject: return 4;
    case kArray: return 5;
    case kString: return 6;
    default: return 0;
  }
}

int32_t CountOf(const Found& f) {
  if (f.kind != Found::kNode || f.node->type == kNull) return -2;
  return f.node->IsContainer() ? static_cast<int32_t>(f.node->kids.size()) : 0;
}

std::vector<std::u16string> KeysOf(const Found& f) {
  std::vector<std::u16string> keys;
  if (f.kind != Found::kNode || !f.node->IsContainer()) return keys;
  const Node* n = f.node;
  for (size_t k = 0; k < n->kids.size(); ++k) {
    if (n->type == kObject) keys.emplace_back(n->kids[k]->key.data(), n->kids[k]->key.size());
    else keys.push_back(Ascii(std::to_string(k)));
  }
  return keys;
}

namespace {

// The script's String() of a value.
std::u16string ToString(const Node* n) {
  switch (n->type) {
    case kBool: return n->v.i ? u"true" : u"false";
    case kDouble: case kInt64: {
      const double x = NumberOf(n);
      return std::isfinite(x) ? ScriptNumber(x) : NumberText(x, 0);
    }
    case kString: return std::u16string(n->text.data(), n->text.size());
    case kObject: return u"[object Object]";
    case kArray: {
      std::u16string s;
      for (size_t k = 0; k < n->kids.size(); ++k) {
        if (k) s += u',';
        s += ToString(n->kids[k]);
      }
      return s;
    }
    default: return {};
  }
}

}  // namespace

std::u16string TextOf(const Found& f) {
  if (f.kind != Found::kNode) return {};
  const Node* n = f.node;
  return n->type == kDouble || n->type == kInt64 ? NumberText(NumberOf(n), 13) : ToString(n);
}

std::u16string JsonOf(const Found& f) { return f.kind == Found::kNode ? Json(f.node) : std::u16string{}; }

double ValueOf(const Found& f) {
  if (f.kind != Found::kNode) return NAN;
  switch (f.node->type) {
    case kNull: return 0;
    case kBool: return static_cast<double>(f.node->v.i != 0);
    case kDouble: case kInt64: return NumberOf(f.node);
    default: return ToNumber(ToString(f.node));
  }
}

}  // namespace zoq::json::script
