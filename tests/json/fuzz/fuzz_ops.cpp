#include "tests/json/fuzz/fuzz_checks.hpp"

#include <iterator>
#include <type_traits>
#include <vector>

#include "json/refcounted_document.hpp"
#include "json/wide_document.hpp"

namespace zoq::json::fuzz {
namespace {

// The input, read front to back; zeros once it runs out.
class Input {
 public:
  Input(const uint8_t* p, size_t n) : p_(p), e_(p + n) {}
  bool More() const { return p_ < e_; }
  uint8_t Byte() { return p_ < e_ ? *p_++ : 0; }

  std::string UpToNul() {  // the NUL is skipped
    std::string t;
    while (p_ < e_ && *p_) t += static_cast<char>(*p_++);
    return p_ < e_ ? (++p_, t) : t;
  }

  // A short text: bytes as they are (high bit of the length byte) or mapped
  // to characters of paths and JSON, with digit runs cut to four digits so
  // that no index pads an array by more than 9999 nulls.
  std::string Text() {
    static constexpr char kChars[] = "ab.[]0123\\-{}\":,'tnu ";
    const uint8_t head = Byte();
    std::string t;
    size_t digits = 0;
    for (size_t n = head & 0x1F; n > 0 && More(); --n) {
      const uint8_t b = Byte();
      const char c = (head & 0x80) ? static_cast<char>(b) : kChars[b % (sizeof kChars - 1)];
      digits = (c >= '0' && c <= '9') ? digits + 1 : 0;
      if (digits <= 4) t += c;
    }
    if (head & 0x40) t += kFar[Byte() % std::size(kFar)];  // indexes past every limit
    return t;
  }

  int32_t Index() {  // mostly small, sometimes far or negative
    static constexpr int32_t kOdd[] = {-1, -7, 33554432, 2147483647};
    const uint8_t b = Byte();
    return b < 0xF0 ? b % 12 : kOdd[b % std::size(kOdd)];
  }

 private:
  static constexpr const char* kFar[] = {"[33554432]", "[4294967295]", "[2147483647]", "[99999999999]", "[-3]", "[]"};
  const uint8_t* p_;
  const uint8_t* e_;
};

// A GBK text widened byte by byte (bytes past ASCII to CJK characters).
ByteSet Wide(const std::string& t) {
  std::u16string w;
  for (char c : t) {
    const auto b = static_cast<unsigned char>(c);
    w += static_cast<char16_t>(b < 0x80 ? b : 0x4E00 + b);
  }
  return ToByteSet(w);
}

template <class Doc>
std::string Run(Input& in, int32_t flags) {
  using View = std::remove_cvref_t<decltype(std::declval<const Doc&>().GetNode(std::string{}))>;
  Doc docs[2];
  docs[0].LoadNew(in.UpToNul(), flags);
  docs[1].LoadNew();
  std::vector<View> views;
  views.reserve(8);  // the views an operation works on stay where they are
  views.push_back(docs[0].GetNode(std::string{}));
  views.push_back(docs[1].GetNode(std::string{}));
  const auto keep = [&](View v) {
    if (views.size() < 8) views.push_back(std::move(v));
    else views[v.GetType() & 7] = std::move(v);
  };
  int copies = 0;  // deep copies double a tree at most this often
  for (int step = 0; step < 64 && in.More(); ++step) {
    const uint8_t op = in.Byte();
    const bool wide = op & 0x80;
    View& t = views[in.Byte() % views.size()];
    const View& source = views[in.Byte() % views.size()];
    const std::string gp = in.Text(), gk = in.Text();
    const ByteSet wp = Wide(gp), wk = Wide(gk);
// One operation in the text form the op byte chose, its answer let go.
#define ZOQ_ON(obj, Name, ...) \
  (wide ? (void)(obj).Name##W(wp __VA_OPT__(, ) __VA_ARGS__) : (void)(obj).Name(gp __VA_OPT__(, ) __VA_ARGS__))
    switch (op % 26) {
      case 0: ZOQ_ON(t, SetInt64, static_cast<int64_t>(in.Byte()) - 100); break;
      case 1: if (wide) t.SetTextW(wp, wk); else t.SetText(gp, gk); break;
      case 2: ZOQ_ON(t, SetNull); break;
      case 3: ZOQ_ON(t, SetBool, in.Byte() & 1); break;
      case 4: ZOQ_ON(t, SetDouble, in.Byte() / 8.0 - 3.5); break;
      case 5:
        ZOQ_ON(t, GetType); ZOQ_ON(t, GetCount); ZOQ_ON(t, GetText); ZOQ_ON(t, GetLiteral); ZOQ_ON(t, GetName);
        ZOQ_ON(t, GetInt64); ZOQ_ON(t, GetDouble); ZOQ_ON(t, GetBool); ZOQ_ON(t, HasPath);
        break;
      case 6: {
        std::vector<std::string> keys;
        std::vector<ByteSet> wkeys;
        (void)(wide ? t.GetKeysW(wp, wkeys) : t.GetKeys(gp, keys));
        break;
      }
      case 7: if (wide) t.ToTextW(wp, op & 1, op & 2); else t.ToText(gp, op & 1, op & 2); break;
      case 8: keep(wide ? t.GetNodeW(wp) : t.GetNode(gp)); break;
      case 9: if (copies++ < 6) keep(wide ? t.CopyNodeW(wp) : t.CopyNode(gp)); break;
      case 10: keep(wide ? t.GetParentW(wp) : t.GetParent(gp)); break;
      case 11: keep(wide ? t.GetMemberW(wp, wk) : t.GetMember(gp, gk)); break;
      case 12: keep(wide ? t.GetChildAtW(wp, in.Index()) : t.GetChildAt(gp, in.Index())); break;
      case 13: {
        std::vector<View> kids;
        if ((wide ? t.GetChildrenW(wp, kids) : t.GetChildren(gp, kids)) > 0) keep(kids[in.Byte() % kids.size()]);
        break;
      }
      case 14: if (copies++ < 6) ZOQ_ON(t, Append, source); break;
      case 15: if (copies++ < 6) ZOQ_ON(t, SetElement, in.Index(), source); break;
      case 16: if (copies++ < 6) { if (wide) t.PutMemberW(wp, wk, source); else t.PutMember(gp, gk, source); } break;
      case 17: if (copies++ < 6) t.MergeObject(gp, source); break;
      case 18: if (copies++ < 6) t.ConcatArray(gp, source); break;
      case 19: if (wide) t.ParseAtW(wp, wk); else t.ParseAt(gp, gk); break;
      case 20: if (wide) t.RemoveMemberW(wp, wk); else t.RemoveMember(gp, gk); break;
      case 21: ZOQ_ON(t, RemoveElement, in.Index()); ZOQ_ON(t, ClearAt); break;
      case 22: ZOQ_ON(t, SortByKey, (op & 1) != 0); break;
      case 23: {  // a comparator that answers what the input says, consistent or not
        std::vector<uint8_t> answers{in.Byte(), in.Byte(), in.Byte()};
        size_t k = 0;
        ZOQ_ON(t, Sort, [&](const NodeHandle&, const NodeHandle&, int32_t) { return answers[k++ % 3] % 3 - 1; });
        break;
      }
      case 24: {  // the documents themselves: loads, copies, clears
        Doc& d = docs[op & 1];
        switch (in.Byte() % 5) {
          case 0: d.LoadNew(gk, flags); break;
          case 1: d.Load(gk); break;
          case 2: d.LoadW(wk); break;
          case 3: docs[1] = docs[0]; break;
          default: d.Clear(); break;
        }
        keep(d.GetNode(std::string{}));
        break;
      }
      default:  // the class's own ways of making nodes
        if constexpr (std::is_same_v<Doc, RefCountedJsonDocument>) {
          if (copies++ < 6) t.InsertMember(gp, in.Index(), gk, source);
          if (copies++ < 6) t.Insert(gp, in.Index(), source);
          keep(t.NewText(gk));
        } else {
          keep(wide ? t.AddMemberW(wp, wk, in.Byte() % 8) : t.AddMember(gp, gk, in.Byte() % 8));
          keep(t.InsertNew(gp, in.Index(), in.Byte() % 8));
        }
        break;
    }
#undef ZOQ_ON
  }
  for (const Doc& d : docs) {
    if (d.GetType() == kMissing) continue;  // cleared: no tree
    const ByteSet text = d.ToTextW();
    Doc again;
    int32_t code = 1;
    // The parser refuses an empty key, which the member operations take.
    const bool emptyKey = FromByteSet(text).find(u"\"\":") != std::u16string::npos;
    if (!again.LoadNewW(text, kDecodeUnicodeEscapes, &code) && !(emptyKey && code == kParseKeyError))
      return "written text does not load again: code " + std::to_string(code) + ": " +
             seam::Utf16ToGbk(FromByteSet(text));
  }
  return {};
}

}  // namespace

std::string CheckOps(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  Input in(data + 1, size - 1);
  const int32_t flags = (data[0] >> 2) & 3;
  switch (data[0] % 3) {
    case 0: return Run<JsonDocument>(in, flags);
    case 1: return Run<WideJsonDocument>(in, flags);
    default: return Run<RefCountedJsonDocument>(in, flags);
  }
}

}  // namespace zoq::json::fuzz
