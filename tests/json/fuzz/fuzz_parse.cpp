#include "tests/json/fuzz/fuzz_checks.hpp"

#include "json/document.hpp"
#include "json/refcounted_document.hpp"
#include "json/script_value.hpp"

namespace zoq::json::fuzz {
namespace {

template <class Doc, class Text, class Load, class Write>
std::string Check(const Text& input, int32_t flags, Load load, Write write) {
  Doc d;
  int32_t code = 1, pos = -1;
  const bool ok = load(d, input, flags, &code, &pos);
  if (!KnownCode(code)) return "unknown code " + std::to_string(code);
  if (ok != (code == 0)) return "result and code disagree";
  if (!ok) return {};
  const Text first = write(d);
  // The writer turns a lone LF into the escape \n, which reads back as CR LF;
  // from the second round on the text must stay the same.
  Text second = first, third;
  for (int round = 0; round < 2; ++round) {
    Doc again;
    if (!load(again, round ? second : first, flags, &code, &pos))
      return "output does not parse again: code " + std::to_string(code);
    (round ? third : second) = write(again);
  }
  if (second != third) return "output changes from one round to the next";
  return {};
}

template <class Doc>
std::string CheckBothForms(const uint8_t* data, size_t size, int32_t flags) {
  const ByteSet wide(data + 1, data + size);
  std::string e = Check<Doc>(wide, flags,
      [](Doc& d, const ByteSet& t, int32_t f, int32_t* c, int32_t* p) { return d.LoadW(t, f, c, p); },
      [](const Doc& d) { return d.ToTextW(); });
  if (!e.empty()) return "UTF-16: " + e;
  const std::string gbk(reinterpret_cast<const char*>(data + 1), size - 1);
  e = Check<Doc>(gbk, flags,
      [](Doc& d, const std::string& t, int32_t f, int32_t* c, int32_t* p) { return d.Load(t, f, c, p); },
      [](const Doc& d) { return d.ToText(); });
  return e.empty() ? e : "GBK: " + e;
}

// The strict reader: what it takes, its JSON text and its script text (all
// numbers finite) read back to the same JSON text.
std::string CheckStrict(const uint8_t* data, size_t size) {
  const auto tree = script::Parse(FromByteSet(ByteSet(data + 1, data + size)));
  if (!tree) return {};
  const std::u16string json = script::Json(tree->get()), made = script::Script(tree->get());
  for (const std::u16string& text : {json, made}) {
    if (text.find(u"Infinity") != std::u16string::npos || text.find(u"NaN") != std::u16string::npos) continue;
    const auto again = script::Parse(text);
    if (!again || script::Json(again->get()) != json) return "strict: " + seam::Utf16ToGbk(text) + " reads otherwise";
  }
  return {};
}

}  // namespace

std::string CheckParse(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  if (data[0] & 8) return CheckStrict(data, size);
  const int32_t flags = data[0] & 3;
  if (data[0] & 4) return CheckBothForms<RefCountedJsonDocument>(data, size, flags & kDecodeUnicodeEscapes);
  return CheckBothForms<JsonDocument>(data, size, flags);
}

}  // namespace zoq::json::fuzz
