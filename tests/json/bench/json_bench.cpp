// A MyQQ member list of growing size (190 bytes a member): parsing (GBK
// text -> tree) and writing (tree -> compact GBK text) with JsonDocument
// against nlohmann's ordered_json (ratio above 1: ours faster); in the cross
// build also ScriptJson: LoadNew, and LoadNew with every record read as the
// MyQQ adapter reads it. Times per MB show whether the cost is linear.
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>

#include "json/document.hpp"
#ifdef _WIN32
#include "json/script_json.hpp"
#endif

namespace {

std::string MemberList(int members) {
  const auto n = [](long long v) { return std::to_string(v); };
  std::string t = R"({"ec":0,"em":"","mems":[)";
  for (int k = 0; k < members; ++k)
    t += (k ? R"(,{"uin":)" : R"({"uin":)") + n(100000000 + k * 7919LL) + R"(,"role":2,"g":)" + n(k % 2) +
         R"(,"join_time":)" + n(1500000000 + k) + R"(,"last_speak_time":)" + n(1600000000 + k) + R"(,"lv":{"point":)" +
         n(k % 5000) + R"(,"level":)" + n(k % 7) + R"(},"card":"card)" + n(k) + R"(","tags":"-1","flag":0,)" +
         R"("nick":"nick&amp;)" + n(k) + R"(","qage":5,"rm":0})";
  return t + R"(],"count":1,"search_count":1})";
}

template <class F>
double Ms(F&& f) {
  size_t runs = 0;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::duration<double> spent{};
  for (; spent.count() < 1.0 || runs < 3; ++runs, spent = std::chrono::steady_clock::now() - start) f();
  return spent.count() * 1e3 / static_cast<double>(runs);
}

}  // namespace

int main() {
  for (int members : {1900, 3800, 7600}) {
    const std::string list = MemberList(members);
    const double mb = static_cast<double>(list.size()) / 1e6;
    zoq::json::JsonDocument doc;
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(list);
    if (!doc.Load(list) || nlohmann::ordered_json::parse(doc.ToText(), nullptr, false) != j)
      return std::fprintf(stderr, "MISMATCH: ours and nlohmann's outputs hold different documents\n"), 1;
    size_t sink = 0;
    for (const auto& [what, mine, theirs] :
         {std::tuple("parse", Ms([&] { doc.Load(list), sink += doc.GetCount(); }),
                     Ms([&] { j = nlohmann::ordered_json::parse(list), sink += j.size(); })),
          std::tuple("write", Ms([&] { sink += doc.ToText().size(); }), Ms([&] { sink += j.dump().size(); }))})
      std::printf("%7.1f KB JsonDocument %s %7.2f ms (%6.2f ms/MB), nlohmann %7.2f ms, ratio %.2f\n", mb * 1e3, what,
                  mine, mine / mb, theirs, theirs / mine);
#ifdef _WIN32
    const double load = Ms([&] { zoq::json::ScriptJson d; sink += d.LoadNew(list); });
    const double all = Ms([&] {
      zoq::json::ScriptJson d;
      d.LoadNew(list);
      for (int k = 0, n = d.GetCount("mems"); k < n; ++k)
        for (const char* field : {".uin", ".last_speak_time", ".join_time", ".lv.point", ".lv.level", ".card", ".nick",
                                  ".role"})
          sink += d.GetText("mems[" + std::to_string(k) + "]" + field).size();
    });
    std::printf("%7.1f KB ScriptJson LoadNew %7.2f ms (%6.2f ms/MB); with %d records read %8.2f ms (%7.2f ms/MB)\n",
                mb * 1e3, load, load / mb, members, all, all / mb);
#endif
    if (sink == 0) std::puts("");
  }
  return 0;
}
