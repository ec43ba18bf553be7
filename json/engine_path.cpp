// Path texts: "a.b[2]", with "\" escaping ".", "[", "]" and "\" in keys.
#include "json/engine.hpp"

namespace zoq::json::detail {

int32_t StrToInt(std::u16string_view s) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && s[i] == u'-') { neg = true; ++i; }
  uint32_t v = 0;
  for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) v = v * 10u + static_cast<uint32_t>(s[i] - u'0');
  return static_cast<int32_t>(neg ? 0u - v : v);
}

namespace {

// The index of "[...]": an optional minus and digits, up to anything else;
// none when the digits exceed an int32_t. Empty: -1 (append).
std::optional<int32_t> IndexOf(std::u16string_view t) {
  if (t.empty()) return -1;
  size_t i = t[0] == u'-' ? 1 : 0;
  const bool neg = i == 1;
  int64_t v = 0;
  for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i)
    if ((v = v * 10 + (t[i] - u'0')) > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(neg ? -v : v);
}

}  // namespace

std::optional<std::vector<Segment>> ParsePath(std::u16string_view path) {
  std::vector<Segment> segs;
  std::u16string c(path.substr(0, path.find(u'\0')));
  size_t n = c.size(), s = 0;
  bool bracket = false;
  size_t b = 0;
  const auto addKey = [&](size_t from, size_t to) {
    if (from < to) segs.push_back({Segment::kKey, c.substr(from, to - from), 0});
  };
  for (size_t i = 0; i <= n; ++i) {
    if (i < n && c[i] == u'\\' && i + 1 < n &&
        (c[i + 1] == u'.' || c[i + 1] == u'[' || c[i + 1] == u']' || c[i + 1] == u'\\')) {
      c.erase(i, 1);
      --n;
      continue;  // the escaped character stays in the key
    }
    if (i == n || c[i] == u'.') {
      addKey(s, i);
      s = i + 1;
    } else if (c[i] == u'[') {
      bracket = true;
      b = i + 1;
      addKey(s, i);
      s = i + 1;
    } else if (c[i] == u']') {
      if (bracket) {
        const auto index = IndexOf(std::u16string_view(c.data() + b, i > b ? i - b : 0));
        if (!index) return std::nullopt;
        segs.push_back({Segment::kIndex, {}, *index});
      }
      s = i + 1;
    }
  }
  return segs;
}

namespace {

// One read-only step; none when it finds nothing.
Node* Step(Node* cur, const Segment& seg) {
  if (seg.kind & Segment::kKey) return FindMember(cur, seg.key);
  if (seg.kind & Segment::kIndex) return ChildAt(cur, seg.index);
  return cur;
}

// Every step of a parsed path in turn; none when one finds nothing.
Node* Walk(Node* cur, const std::optional<std::vector<Segment>>& segs) {
  if (!segs) return nullptr;
  for (const Segment& seg : *segs)
    if (!(cur = Step(cur, seg))) return nullptr;
  return cur;
}

}  // namespace

Node* Resolve(Node* start, std::u16string_view path) { return start ? Walk(start, ParsePath(path)) : nullptr; }

bool Exists(Node* start, std::u16string_view path) {
  const auto segs = ParsePath(path);
  return start && segs && !segs->empty() && Walk(start, segs);
}

Node* ResolveOrCreate(Node* start, std::u16string_view path, const Dialect& d) {
  const auto segs = ParsePath(path);
  if (!start || !segs) return nullptr;
  Node* cur = start;
  bool first = true;
  for (const Segment& seg : *segs) {
    if (!cur) return nullptr;
    if (seg.kind & Segment::kKey) {
      cur = GetOrCreateMember(cur, seg.key, d);
    } else if (seg.kind & Segment::kIndex) {
      if (first && cur->type != kArray) SetArray(cur, d);
      int32_t index = seg.index;
      if (index < 0) {
        if (!d.negativeIndexAppends) {  // the array is made, the element is not
          if (cur->type != kArray) SetArray(cur, d);
          return nullptr;
        }
        index = cur->IsContainer() ? static_cast<int32_t>(cur->kids.size()) : 0;
      }
      cur = GetOrCreateElement(cur, index, d);
    }
    first = false;
  }
  return cur;
}

}  // namespace zoq::json::detail
