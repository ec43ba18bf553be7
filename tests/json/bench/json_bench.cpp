// Throughput of parsing (GBK text -> tree) and writing (tree -> compact GBK
// text) against nlohmann's ordered_json (UTF-8 text), same compiler, same
// process. Prints one line per input and direction with the ratio
// ours / nlohmann (above 1: faster than nlohmann).
//
// Before timing an input, both sides must write the same document (the same
// values in the same order; the run fails otherwise). Where the work
// differs: ours writes each number literal back as it was read ("1e3",
// "0.0001"), nlohmann formats the parsed double anew ("1000.0"), so on
// numbers nlohmann's writer does more; ours also converts GBK <-> UTF-16
// where nlohmann reads and writes UTF-8 as it is. Each input's line says
// whether the two texts are the same byte for byte.
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "json/document.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::string Utf8(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x800) out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    else out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
  }
  return out;
}

std::u16string Num(long long v) {
  const std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

std::u16string Nested(int records) {
  std::u16string t = u"{\"users\":[";
  for (int k = 0; k < records; ++k) {
    if (k) t += u",";
    t += u"{\"id\":" + Num(k) + u",\"name\":\"user" + Num(k) + u"\",\"tags\":[\"alpha\",\"beta\",\"gamma\"],"
         u"\"profile\":{\"age\":" + Num(20 + k % 50) + u",\"active\":" + (k % 2 ? u"true" : u"false") +
         u",\"score\":" + Num(k % 100) + u".25,\"address\":{\"city\":\"Springfield\",\"zip\":\"" + Num(10000 + k) +
         u"\",\"geo\":{\"lat\":12.5,\"lng\":-45.75}}},\"friends\":[" + Num(k + 1) + u"," + Num(k + 2) + u"]}";
  }
  return t + u"]}";
}

std::u16string Numbers(int rows) {
  std::u16string t = u"[";
  for (int k = 0; k < rows; ++k) {
    if (k) t += u",";
    t += u"[" + Num(k) + u"," + Num(-k * 7) + u"," + Num(k % 1000) + u".125," + Num(k) + u"e3,0.000" + Num(k % 97 + 1) +
         u"," + Num(123456789LL * k) + u"]";
  }
  return t + u"]";
}

std::u16string Chinese(int items) {
  const std::u16string words[] = {u"\u4e2d\u6587\u5b57\u7b26\u4e32", u"\u5173\u952e\u8bcd\u81ea\u52a8\u56de\u590d",
                                  u"\u673a\u5668\u4eba\u6846\u67b6", u"\u8bbe\u7f6e\u7a97\u53e3\u548c\u8d26\u53f7"};
  std::u16string t = u"{\"items\":[";
  for (int k = 0; k < items; ++k) {
    if (k) t += u",";
    t += u"{\"\u6807\u9898\":\"" + words[k % 4] + words[(k + 1) % 4] + u"\",\"\u5185\u5bb9\":\"" + words[(k + 2) % 4] +
         u"\uff0c" + words[(k + 3) % 4] + u"\u3002" + words[k % 4] + u"\",\"n\":" + Num(k) + u"}";
  }
  return t + u"]}";
}

template <class F>
double SecondsPerRun(F&& f) {
  size_t runs = 0;
  const auto start = Clock::now();
  std::chrono::duration<double> spent{};
  do {
    f();
    ++runs;
    spent = Clock::now() - start;
  } while (spent.count() < 0.4 || runs < 3);
  return spent.count() / static_cast<double>(runs);
}

// Both sides' output of one input: the same values, or a loud failure.
bool SameOutput(const char* name, const zoq::json::JsonDocument& doc, const nlohmann::ordered_json& j) {
  std::u16string wide;
  if (!zoq::json::seam::GbkToUtf16(doc.ToText(), wide)) wide.clear();
  const std::string ours = Utf8(wide), theirs = j.dump();
  const auto a = nlohmann::ordered_json::parse(ours, nullptr, false);
  if (a.is_discarded() || a != nlohmann::ordered_json::parse(theirs)) {
    std::fprintf(stderr, "%s: MISMATCH: ours and nlohmann's outputs hold different documents\n", name);
    return false;
  }
  if (ours == theirs) {
    std::printf("%-10s output: the same text\n", name);
  } else {
    size_t at = 0;
    while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
    const size_t from = at < 8 ? 0 : at - 8;
    std::printf("%-10s output: the same values; texts differ from byte %lu (ours ...%s..., nlohmann ...%s...): "
                "number literals written back as read vs reformatted\n",
                name, static_cast<unsigned long>(at), ours.substr(from, 16).c_str(), theirs.substr(from, 16).c_str());
  }
  return true;
}

bool Bench(const char* name, const std::u16string& text) {
  const std::string gbk = zoq::json::seam::Utf16ToGbk(text);
  const std::string utf8 = Utf8(text);
  zoq::json::JsonDocument doc;
  nlohmann::ordered_json j;
  if (!doc.Load(gbk)) {
    std::fprintf(stderr, "%s: MISMATCH: our parser refuses the input\n", name);
    return false;
  }
  j = nlohmann::ordered_json::parse(utf8);
  if (!SameOutput(name, doc, j)) return false;
  size_t sink = 0;
  const double ourParse = SecondsPerRun([&] { doc.Load(gbk); sink += doc.GetCount(); });
  const double theirParse = SecondsPerRun([&] { j = nlohmann::ordered_json::parse(utf8); sink += j.size(); });
  const double ourWrite = SecondsPerRun([&] { sink += doc.ToText().size(); });
  const double theirWrite = SecondsPerRun([&] { sink += j.dump().size(); });
  const double mb = static_cast<double>(gbk.size()) / 1e6;
  std::printf("%-10s %8.1f KB  parse: ours %7.1f MB/s, nlohmann %7.1f MB/s, ratio %.2f\n", name, mb * 1e3,
              mb / ourParse, mb / theirParse, theirParse / ourParse);
  std::printf("%-10s %8.1f KB  write: ours %7.1f MB/s, nlohmann %7.1f MB/s, ratio %.2f\n", name, mb * 1e3,
              mb / ourWrite, mb / theirWrite, theirWrite / ourWrite);
  if (sink == 0) std::puts("");
  return true;
}

}  // namespace

int main() {
  const bool ok = Bench("small", Nested(40)) && Bench("nested", Nested(5000)) && Bench("numbers", Numbers(25000)) &&
                  Bench("chinese", Chinese(6000));
  return ok ? 0 : 1;
}
