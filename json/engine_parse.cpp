// The tolerant JSON parser: one left-to-right pass with an explicit stack of
// open containers, so nesting depth is limited only by memory.
#include <cstdlib>
#include <exception>

#include "json/engine.hpp"

namespace zoq::json::detail {
namespace {

enum State : int32_t { kKeyExpected = 1, kValueExpected = 2, kChildClosed = 3 };

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Escapes of keys and string tokens, in place; the text only shrinks.
template <class S>
void Unescape(S& t, bool decodeU) {
  size_t w = 0;
  const size_t n = t.size();
  for (size_t r = 0; r < n;) {
    const char16_t c = t[r];
    if (c != u'\\' || r + 1 >= n) {
      t[w++] = c;
      ++r;
      continue;
    }
    const char16_t e = t[r + 1];
    char16_t out = 0;
    switch (e) {
      case u'\\': case u'/': case u'"': out = e; break;
      case u'b': out = 0x08; break;
      case u't': out = 0x09; break;
      case u'r': out = 0x0D; break;
      case u'f': out = 0x0C; break;
      case u'n':
        if (w > 0 && t[w - 1] != 0x0D) t[w++] = 0x0D;
        out = 0x0A;
        break;
      case u'u': {
        int code = 0;
        bool ok = decodeU && r + 5 < n;
        for (size_t k = 2; ok && k < 6; ++k) {
          const int h = HexValue(t[r + k]);
          ok = h >= 0;
          code = code * 16 + h;
        }
        if (ok) {
          if (code != 0) t[w++] = static_cast<char16_t>(code);
          r += 6;
          continue;
        }
        break;
      }
      default: break;
    }
    if (out == 0) {  // not an escape of ours: the backslash stays
      t[w++] = c;
      ++r;
      continue;
    }
    t[w++] = out;
    r += 2;
  }
  t.resize(w);
}

template <class S>
void UnescapeInto(S& dst, std::u16string_view src, bool decodeU) {
  dst.assign(src.data(), src.size());
  if (src.find(u'\\') != std::u16string_view::npos) Unescape(dst, decodeU);
}

class Parser {
 public:
  Parser(Node* target, std::u16string_view text, int32_t flags, const Dialect& d)
      : s_(text.data()), n_(text.size()), flags_(flags), d_(d), target_(target) {
    stack_.reserve(1024);
  }

  int32_t Run() {
    for (i_ = 0; i_ <= n_; ++i_) {
      const char16_t c = i_ < n_ ? s_[i_] : u'\0';
      if (c == u'\0' || IsBlank(c)) continue;
      const int32_t r = (c == u'{' || c == u'[') ? Open(c == u'{' ? kObject : kArray) : ScanToken();
      if (r != kParseOk) return r;
    }
    return stack_.empty() ? kParseOk : kParseUnclosed;
  }

  size_t Position() const { return i_; }

 private:
  struct Frame {
    Node* node;
    int32_t state;
  };

  bool DecodeU() const { return (flags_ & kDecodeUnicodeEscapes) != 0; }

  void Pop() {
    stack_.pop_back();
    if (stack_.empty()) topDone_ = true;
    else stack_.back().state = kChildClosed;
  }

  // Characters from i_ inside an open quote up to its closing quote or a backslash.
  size_t QuotedRun(char16_t quote) const {
    const char16_t* p = s_ + i_;
    const char16_t* const e = s_ + n_;
    while (p < e && *p != quote && *p != u'\\') ++p;
    return static_cast<size_t>(p - (s_ + i_));
  }

  // Characters of the escape at `at` ("\uXXXX" or two), cut at `end`.
  size_t EscapeStep(size_t at, size_t end) const {
    const size_t step = (at + 1 < end && s_[at + 1] == u'u') ? 6 : 2;
    return step < end - at ? step : end - at;
  }

  int32_t Open(int32_t kind) {
    const int32_t state = kind == kObject ? kKeyExpected : kValueExpected;
    if (stack_.empty()) {
      if (topDone_ && target_->type != kind) return kParseKeyError;
      if (target_->type != kind) {
        if (kind == kObject) SetObject(target_, d_); else SetArray(target_, d_);
      }
      stack_.push_back({target_, state});
      return kParseOk;
    }
    Frame& top = stack_.back();
    if (top.state != kValueExpected) return kParseKeyError;
    NodeRef child = NodeRef::Adopt(new Node);
    child->type = kind;
    child->kids.reserve(8);
    Node* raw = child.get();
    if (top.node->type == kArray) {
      InsertElement(top.node, std::nullopt, std::move(child));
    } else {
      if (keyStart_ < 0 || keyLen_ == 0) return kParseKeyError;
      UnescapeInto(child->key, {s_ + keyStart_, keyLen_}, DecodeU());
      PutKeyed(top.node, std::move(child));
    }
    stack_.push_back({raw, state});
    return kParseOk;
  }

  // The node of one scalar token; -6 when it is none.
  int32_t Decode(size_t start, size_t len, NodeRef& out) {
    const std::u16string_view t(s_ + start, len);
    out = NodeRef::Adopt(new Node);
    if (IsQuote(t[0])) {
      if (len < 2 || t[len - 1] != t[0]) return kParseValueError;
      const std::u16string_view inner = t.substr(1, len - 2);
      if (inner.find(u'\\') == std::u16string_view::npos) {
        out->text.assign(inner.data(), inner.size());
      } else {  // unescaped with its quotes, as escapes at the start read differently
        UnescapeInto(out->text, t, DecodeU());
        if (out->text.size() < 2) return kParseValueError;
        out->text.pop_back();
        out->text.erase(0, 1);
      }
      out->type = kString;
      return kParseOk;
    }
    bool isDouble = false;
    if (t == u"null") {
      if (d_.nullLiteral) out->text = u"null";
      return kParseOk;
    }
    if (t == u"true" || t == u"false") {
      out->type = kBool;
      out->v.i = t[0] == u't';
    } else if (IsNumberText(t, &isDouble)) {
      out->type = isDouble ? kDouble : kInt64;
      if (isDouble) out->v.d = ReadDouble(t); else out->v.i = ReadInt64(t);
    } else {
      return kParseValueError;
    }
    out->text.assign(t.data(), t.size());
    return kParseOk;
  }

  int32_t ScanToken() {
    if (stack_.empty()) return (flags_ & kIgnoreStrayText) ? kParseOk : RootScalar();
    return stack_.back().node->type == kArray ? ScanElement() : ScanMember();
  }

  // A bare value outside every container: the rest of the text, blanks
  // around it aside, must be exactly one scalar.
  int32_t RootScalar() {
    size_t b = i_, e = n_;
    i_ = 0;
    while (e > b && IsBlank(s_[e - 1])) --e;
    if (topDone_) return kParseValueError;
    if (IsQuote(s_[b])) {
      size_t k = b + 1;
      while (k < e && s_[k] != s_[b]) k += s_[k] == u'\\' ? EscapeStep(k, e) : 1;
      if (k + 1 != e) return kParseValueError;
    } else {
      for (size_t k = b; k < e; ++k)
        if (IsBlank(s_[k])) return kParseValueError;
    }
    NodeRef v;
    if (Decode(b, e - b, v) != kParseOk) return kParseValueError;
    MoveContent(target_, v.get());
    i_ = n_;
    return kParseOk;
  }

  // After a nested container closed, the container waits again; a comma
  // right there is taken. True when the character at i_ was that comma.
  bool Resume(Frame& f, int32_t waiting) const {
    if (f.state != kChildClosed) return false;
    f.state = waiting;
    return s_[i_] == u',';
  }

  int32_t ScanElement() {
    Frame& f = stack_.back();
    if (Resume(f, kValueExpected)) return kParseOk;
    if (f.state != kValueExpected) return kParseValueError;
    Node* arr = f.node;
    size_t start = i_, len = 0;
    char16_t quote = 0;
    bool gap = false;
    while (i_ < n_) {
      if (quote) {
        const size_t run = QuotedRun(quote);
        i_ += run;
        len += run;
        if (i_ >= n_) break;
      }
      const char16_t c = s_[i_];
      if (!quote) {
        if (IsBlank(c)) {
          ++i_;
          if (len == 0) start = i_; else gap = true;
          continue;
        }
        if (c == u'{' || c == u'[') {
          if (len > 0) { i_ = start; return kParseValueError; }
          return Open(c == u'{' ? kObject : kArray);
        }
        if (c == u']') {
          Pop();
          if (len == 0) return kParseOk;
          break;
        }
        if (c == u',') break;
      }
      if (gap) { i_ = start; return kParseValueError; }
      size_t step = 1;
      if (IsQuote(c) && (!quote || c == quote)) quote = quote ? 0 : c;
      else if (c == u'\\') step = EscapeStep(i_, n_);
      i_ += step;
      len += step;
    }
    if (quote) { i_ = start; return d_.openQuoteCode; }
    if (len == 0) return kParseOk;
    NodeRef v;
    if (Decode(start, len, v) != kParseOk) { i_ = start; return kParseValueError; }
    InsertElement(arr, std::nullopt, std::move(v));
    return kParseOk;
  }

  int32_t ScanMember() {
    Frame& f = stack_.back();
    if (Resume(f, kKeyExpected)) return kParseOk;
    if (f.state != kKeyExpected) return kParseKeyError;
    Node* obj = f.node;
    const size_t depth = stack_.size();
    keyStart_ = static_cast<ptrdiff_t>(i_);
    keyLen_ = 0;
    size_t valStart = 0, valLen = 0;
    char16_t quote = 0;
    bool readingKey = true, keyClosed = false, gap = false;
    while (i_ < n_) {
      if (quote) {
        const size_t run = QuotedRun(quote);
        i_ += run;
        (readingKey ? keyLen_ : valLen) += run;
        if (i_ >= n_) break;
      }
      const char16_t c = s_[i_];
      if (!quote) {
        if (IsBlank(c)) {
          ++i_;
          if (readingKey ? (keyLen_ == 0 && !keyClosed) : valLen == 0) {
            if (readingKey) keyStart_ = static_cast<ptrdiff_t>(i_); else valStart = i_;
          } else {
            gap = true;
          }
          continue;
        }
        if (c == u':' && readingKey) {
          if (keyLen_ == 0) return kParseKeyError;
          readingKey = false;
          gap = false;
          valStart = ++i_;
          stack_.back().state = kValueExpected;
          continue;
        }
        if (c == u'{' || c == u'[') {
          if (!readingKey && valLen > 0) { i_ = valStart; return kParseValueError; }
          return Open(c == u'{' ? kObject : kArray);
        }
        if (c == u'}') {
          Pop();
          if (readingKey && keyLen_ == 0) return kParseOk;
          break;
        }
        if (c == u',') break;
      }
      // A character of the key or of the value token.
      if (readingKey && !quote) {
        if (IsQuote(c)) {
          if (keyLen_ > 0 || keyClosed) { ++i_; return kParseKeyError; }
        } else if (keyClosed || gap) {
          return kParseKeyError;
        }
      }
      if (!readingKey && gap) { i_ = valStart; return kParseValueError; }
      size_t step = 1, counted = 1;
      if (IsQuote(c) && (!quote || c == quote)) {
        if (readingKey) {
          counted = 0;
          if (quote) keyClosed = true;
          else keyStart_ = static_cast<ptrdiff_t>(i_ + 1);
        } else if (!quote && valLen == 0) {
          valStart = i_;
        }
        quote = quote ? 0 : c;
      } else if (c == u'\\') {
        step = counted = EscapeStep(i_, n_);
      }
      i_ += step;
      (readingKey ? keyLen_ : valLen) += counted;
    }
    if (keyLen_ > 0 && valLen == 0) { i_ = valStart; return kParseValueError; }
    if (quote) {
      i_ = keyLen_ > 0 ? static_cast<size_t>(keyStart_) : valStart;
      return d_.openQuoteCode;
    }
    if (valLen == 0) { i_ = valStart; return kParseValueError; }
    NodeRef v;
    if (Decode(valStart, valLen, v) != kParseOk) { i_ = valStart; return kParseValueError; }
    if (stack_.size() == depth) stack_.back().state = kKeyExpected;
    UnescapeInto(v->key, {s_ + keyStart_, keyLen_}, DecodeU());
    PutKeyed(obj, std::move(v));
    keyStart_ = -1;
    keyLen_ = 0;
    return kParseOk;
  }

  const char16_t* s_;
  size_t n_;
  int32_t flags_;
  const Dialect& d_;
  Node* target_;
  std::vector<Frame> stack_;
  size_t i_ = 0;
  bool topDone_ = false;
  ptrdiff_t keyStart_ = -1;
  size_t keyLen_ = 0;
};

// The longest leading decimal number of an ASCII text, as atof reads it.
size_t DecimalPrefix(const std::string& a, size_t i) {
  size_t k = i;
  if (k < a.size() && (a[k] == '+' || a[k] == '-')) ++k;
  size_t digits = 0;
  while (k < a.size() && a[k] >= '0' && a[k] <= '9') ++k, ++digits;
  if (k < a.size() && a[k] == '.') {
    ++k;
    while (k < a.size() && a[k] >= '0' && a[k] <= '9') ++k, ++digits;
  }
  if (digits == 0) return i;
  if (k < a.size() && (a[k] == 'e' || a[k] == 'E')) {
    size_t x = k + 1;
    if (x < a.size() && (a[x] == '+' || a[x] == '-')) ++x;
    if (x < a.size() && a[x] >= '0' && a[x] <= '9') {
      while (x < a.size() && a[x] >= '0' && a[x] <= '9') ++x;
      k = x;
    }
  }
  return k;
}

bool IsSpace(char16_t c) { return c == u' ' || (c >= 0x09 && c <= 0x0D); }

// A plain decimal number of at most 15 significant digits and a small
// exponent, converted exactly (one correctly rounded operation). False for
// anything else, which the general conversion then reads.
bool FastDouble(std::u16string_view t, double& out) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) neg = t[i++] == u'-';
  uint64_t m = 0;
  int digits = 0, exp10 = 0;
  bool any = false, point = false;
  for (; i < t.size(); ++i) {
    const char16_t c = t[i];
    if (c == u'.' && !point) { point = true; continue; }
    if (!IsDigit(c)) break;
    any = true;
    if (point) --exp10;
    if (m == 0 && c == u'0') continue;
    if (++digits > 15) return false;
    m = m * 10 + static_cast<uint64_t>(c - u'0');
  }
  if (!any) return false;
  if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
    ++i;
    bool eneg = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) eneg = t[i++] == u'-';
    if (i == t.size()) return false;
    int e = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i)
      if ((e = e * 10 + (t[i] - u'0')) > 1000) return false;
    exp10 += eneg ? -e : e;
  }
  if (i != t.size()) return false;
  double v = 0.0;
  if (m != 0) {
    if (exp10 < -22 || exp10 > 22) return false;
    v = static_cast<double>(m);
    v = exp10 < 0 ? v / kPow10[-exp10] : v * kPow10[exp10];
  }
  out = neg ? -v : v;
  return true;
}

}  // namespace

bool IsNumberText(std::u16string_view t, bool* isDouble) {
  if (t.empty()) return false;
  bool dot = false, exp = false, sign = false;
  for (size_t k = 0; k < t.size(); ++k) {
    const char16_t c = t[k];
    if (c <= 0x20 || IsDigit(c)) continue;
    if (k == 0 && (c == u'+' || c == u'-')) continue;
    if (k == 0 && c != u'.') return false;
    bool* seen = c == u'.' ? &dot : (c == u'e' || c == u'E') ? &exp
                 : (k > 0 && (c == u'+' || c == u'-')) ? &sign : nullptr;
    if (!seen || *seen) return false;
    *seen = true;
  }
  if (isDouble) *isDouble = dot || exp || sign;
  return true;
}

double ReadDouble(std::u16string_view t) {
  size_t i = 0;
  while (i < t.size() && IsSpace(t[i])) ++i;
  if (double v; FastDouble(t.substr(i), v)) return v;
  // The number conversion reads the full-width forms of ASCII characters
  // (and the ideographic space) as the characters themselves.
  std::string a;
  for (char16_t c : t) {
    if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<char16_t>(c - 0xFEE0);
    else if (c == 0x3000) c = u' ';
    if (c >= 0x80) break;
    a.push_back(static_cast<char>(c));
  }
  i = 0;
  while (i < a.size() && IsSpace(static_cast<char16_t>(a[i]))) ++i;
  const size_t end = DecimalPrefix(a, i);
  if (end == i) return 0.0;
  a.resize(end);
  return std::strtod(a.c_str() + i, nullptr);
}

int64_t ReadInt64(std::u16string_view t) {
  size_t i = 0;
  while (i < t.size() && IsSpace(t[i])) ++i;
  bool neg = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) neg = t[i++] == u'-';
  uint64_t v = 0;
  const uint64_t limit = neg ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    const uint64_t digit = static_cast<uint64_t>(t[i] - u'0');
    v = (v > (limit - digit) / 10) ? limit : v * 10 + digit;
  }
  return neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

int32_t Parse(Node* target, std::u16string_view text, int32_t flags, int32_t& errorPos, const Dialect& d) {
  errorPos = 0;
  text = text.substr(0, text.find(u'\0'));
  if (!target || text.empty()) return kParseNoInput;
  int32_t r;
  size_t pos = 0;
  try {
    ClearNode(target, d);
    Parser p(target, text, flags, d);
    r = p.Run();
    pos = p.Position();
  } catch (const std::exception&) {
    r = kParseNoMemory;
  }
  if (r != kParseOk) {
    ClearNode(target, d);
    errorPos = static_cast<int32_t>(pos);
  }
  return r;
}

}  // namespace zoq::json::detail
