// The check a copy of a data file must pass before it takes the file's
// place: the file with the changes made and nothing else lost or added.
#include <gtest/gtest.h>

#include "core/file_writes.hpp"

namespace zoq {
namespace {

IniChange Set(const char* section, const char* key, const char* value) { return {section, key, value}; }
IniChange DeleteKey(const char* section, const char* key) { return {section, key, std::nullopt}; }
IniChange DeleteSection(const char* section) { return {section, std::nullopt, std::nullopt}; }

TEST(FileWrites, ACopyPassesOnlyAsTheFileWithItsChangesMadeAndNothingElse) {
  const std::string two = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n";
  const struct {
    const char* name;
    std::string original, written;
    std::vector<IniChange> changes;
    bool whole;
  } rows[] = {
      {"a value changed", two, "[a]\r\nk=9\r\n[b]\r\nk=2\r\n", {Set("a", "k", "9")}, true},
      {"a section added", two, two + "[c]\r\nk=3\r\n", {Set("c", "k", "3")}, true},
      {"to a missing file", "", "[c]\r\nk=3\r\n", {Set("c", "k", "3")}, true},
      {"names in another case, blanks, comments", " [Abc] \r\n K = 1 \r\n;note\r\n", "[Abc]\r\nK=1\r\n;note\r\nj=2\r\n",
       {Set("abc", "j", "2")}, true},
      {"quotes stay on the line", two, "[a]\r\nk=\"q\"\r\n[b]\r\nk=2\r\n", {Set("a", "k", "\"q\"")}, true},
      {"a key deleted", two, "[a]\r\n[b]\r\nk=2\r\n", {DeleteKey("a", "k")}, true},
      {"a section deleted", two, "[b]\r\nk=2\r\n", {DeleteSection("a")}, true},
      {"several changes", two, "[a]\r\nk=7\r\n[b]\r\nk=8\r\n", {Set("a", "k", "7"), Set("b", "k", "8")}, true},
      {"cut after the new header", two, two + "[c]\r\n", {Set("c", "k", "3")}, false},
      {"cut before the new section", two, two, {Set("c", "k", "3")}, false},
      {"cut inside a value", two + "[c]\r\nk=long\r\n", "[a]\r\nk=9\r\n[b]\r\nk=2\r\n[c]\r\nk=lo", {Set("a", "k", "9")}, false},
      {"sections lost at the end", two + "[c]\r\nk=3\r\n", "[a]\r\nk=9\r\n", {Set("a", "k", "9")}, false},
      {"another key lost", "[a]\r\nk=1\r\nj=2\r\n", "[a]\r\nk=9\r\n", {Set("a", "k", "9")}, false},
      {"a line no change writes", two, "[a]\r\nk=9\r\nx=1\r\n[b]\r\nk=2\r\n", {Set("a", "k", "9")}, false},
      {"the whole file deleted", two, "", {DeleteSection("a")}, false},
      {"nothing written", two, two, {Set("a", "k", "9")}, false},
  };
  for (const auto& row : rows) EXPECT_EQ(IniChangesMadeWhole(row.original, row.written, row.changes), row.whole) << row.name;
}

}  // namespace
}  // namespace zoq
