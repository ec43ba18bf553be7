// Shared helpers of the JSON tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "json/document.hpp"
#include "json/refcounted_document.hpp"

namespace zoq::json::test {

using Rc = RefCountedJsonDocument;

inline ByteSet W(std::u16string_view s) { return ToByteSet(s); }
inline std::u16string U(const ByteSet& b) { return FromByteSet(b); }
inline std::string Gbk(std::u16string_view s) { return seam::Utf16ToGbk(s); }

template <class D = JsonDocument>
D Doc(const std::string& text) {
  D d;
  EXPECT_TRUE(d.Load(text)) << text;
  return d;
}

// Answers as text: each made in turn, joined.
inline std::string S(bool b) { return b ? "true" : "false"; }
inline std::string S(std::string v) { return v; }
template <class N>
std::string S(N v) { return std::to_string(v); }
inline std::string Seq(std::initializer_list<std::string> answers) {
  std::string s;
  for (const std::string& a : answers) s += a;
  return s;
}
inline std::string All(std::initializer_list<bool> a) { return S(std::all_of(a.begin(), a.end(), std::identity())); }

// One row of a table run on JsonDocument and RefCountedJsonDocument alike
// (or JsonDocument alone: `rc` empty): the document loaded from `start`
// (none: a document without a tree), the operation, its answer and the
// document's text afterwards (nullptr: not checked) for each class; no
// answer for the second class: as for the first.
struct OnBoth {
  const char* start;
  std::function<std::string(JsonDocument&)> json;
  std::function<std::string(Rc&)> rc;
  const char *jsonAnswer, *jsonText, *rcAnswer = nullptr, *rcText = nullptr;
};
#define ZOQ_BOTH(...) __VA_ARGS__, __VA_ARGS__

template <class D, class F>
void RunRow(const char* start, const F& op, const char* answer, const char* text) {
  D d;
  if (start) d.Load(start);
  const std::string got = op(d);
  EXPECT_EQ(got + "|" + (text ? d.ToText() : ""), std::string(answer) + "|" + (text ? text : "")) << start;
}

inline void RunRows(const std::vector<OnBoth>& rows) {
  for (const OnBoth& r : rows) {
    RunRow<JsonDocument>(r.start, r.json, r.jsonAnswer, r.jsonText);
    if (r.rc) RunRow<Rc>(r.start, r.rc, r.rcAnswer ? r.rcAnswer : r.jsonAnswer, r.rcAnswer ? r.rcText : r.jsonText);
  }
}

}  // namespace zoq::json::test
