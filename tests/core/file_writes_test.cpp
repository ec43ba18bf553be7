// The check a copy of a data file must pass before it takes the file's
// place: the file with the changes made and nothing else lost or added. The
// changes against the INI functions' own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "core/files/cooldown_times.hpp"
#include "core/files/file_writes.hpp"
#include "core/files/kept_times.hpp"
#include "platform/clock.hpp"
#include "platform/code_pages.hpp"
#include "platform/folder_lock.hpp"
#include "platform/files.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/host/harness.hpp"
#include "tests/messages/session.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using namespace std::string_literals;

IniChange Set(const char* section, const char* key, const char* value) { return {section, key, value}; }
IniChange DeleteKey(const char* section, const char* key) { return {section, key, std::nullopt}; }
IniChange DeleteSection(const char* section) { return {section, std::nullopt, std::nullopt}; }

// Whether an editor that lets others only read can open the file to write
// it: nothing else has it open for writing.
bool AnEditorOpens(const std::string& file) {
  const HANDLE editor = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (editor == INVALID_HANDLE_VALUE) return false;
  CloseHandle(editor);
  return true;
}

// Under a lock of its folder taken now, the file's value k of `section` is
// `value`, read through a handle that leaves the file to an editor.
void ExpectReadForReadingOnly(const std::string& file, const char* section, const char* value) {
  const DataFolderLock lock(file);
  EXPECT_EQ(ReadIniItemNow(file, section, "k"), value);
  EXPECT_TRUE(AnEditorOpens(file));
}

TEST(FileWrites, ACopyPassesOnlyAsTheFileWithItsChangesMadeAndNothingElse) {
  const std::string two = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", le = "\xFF\xFE[\0a\0]\0\r\0\n\0k\0=\0"s;
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
      {"UTF-16, a value changed", le + "1\0\r\0\n\0"s, le + "2\0\r\0\n\0"s, {Set("a", "k", "2")}, true},
      {"UTF-16, the byte after its last unit lost", le + "1\0\r\0\n\0x"s, le + "2\0\r\0\n\0"s, {Set("a", "k", "2")},
       false},
  };
  for (const auto& row : rows) EXPECT_EQ(IniChangesMadeWhole(row.original, row.written, row.changes), row.whole) << row.name;
}

// Mended: the INI functions rewrote every line (the characters of four
// bytes, lone lead bytes and NULs lost, line ends and blanks changed, `[]`
// merged into the section before); a value written back whole from a window
// was cut. Each change gives what WritePrivateProfileStringA gives from
// files it keeps byte for byte (`kept` empty), and leaves the other bytes of
// any file.
TEST(FileWrites, AChangeWritesWhereTheIniFunctionsDoAndKeepsEveryOtherByte) {
  const std::string folder = testing::FreshTestRunFolder("file-writes");
  const std::string ours = folder + "\\o.ini", theirs = folder + "\\t.ini";
  const std::string two = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", text(12180, 'x'), emoji = "\x94\x39\xFC\x36";
  const struct {
    std::string original;
    std::vector<IniChange> changes;
    std::string kept;
    bool made = true;
  } rows[] = {
      {two, {Set("a", "k", "9"), Set("a", "j", " 5"), Set("c", " j ", "\"q\" "), Set("b", "k", "2")}},
      // A last line without a line end gets one before the new line, which
      // ends without one (the INI functions end it).
      {"[a]\r\nk=1", {Set("a", "j", "5")}, "[a]\r\nk=1\r\nj=5"},
      {"[a]\r\nk=1\r\n[b]", {Set("b", "k", "5"), Set("d", "k", "5")}, "[a]\r\nk=1\r\n[b]\r\nk=5\r\n[d]\r\nk=5"},
      {"x=1\r\n[A]\r\nK=1\r\n;c\r\nv\r\n",
       {Set(" a ", "k", "2"), Set("a", ";c", "3"), Set("a", "V", "4"), Set(" ", "x", "5")}},
      {"[a]\r\nk=1\r\n[b]\r\n[a]\r\nj=2\r\nj=3\r\n", {Set("a", "j", "4"), DeleteKey("a", "j"), DeleteKey("a", "j")}},
      {"[a]\r\nk=1\r\n[b]\r\n[a]\r\nj=2\r\n", {DeleteSection("a"), DeleteKey("b", "z"), DeleteSection("z")}},
      {"", {Set("a", "k", "1"), Set("b", "k", "1"), DeleteKey("b", "k")}},
      {"\xEF\xBB\xBF[a]\r\nk=1\r\n", {Set("a", "k", "\xC4\xE3"), Set("b", "k", "2")}},
      {std::string("\xFF\xFE[\0a\0]\0\r\0\n\0", 12), {Set("a", "k", "\xC4\xE3")}},
      {"[a]\r\nk=1\r\n\r\n[b]\n k = 2 \rv=\"x\"", {Set("a", "j", "5"), Set("b", "k", "2")},
       "[a]\r\nk=1\r\nj=5\r\n\r\n[b]\n k = 2 \rv=\"x\""},
      // New lines end as most lines of the file do, not as its first line.
      {"[a]\nk=1\r\n[b]\r\nk=2\r\n", {Set("a", "j", "5"), Set("c", "k", "3")},
       "[a]\nk=1\r\nj=5\r\n[b]\r\nk=2\r\n[c]\r\nk=3\r\n"},
      {"[a]\r\nk=1\n[b]\rk=2\rj=3\r", {Set("b", "i", "4")}, "[a]\r\nk=1\n[b]\rk=2\rj=3\ri=4\r"},
      {"[emo" + emoji + "ji]\r\n[x\x81\x30y]\r\n[]\r\nk=1\r\n[b]\r\nk=a\0b\r\n"s,
       {Set("b", "j", "3"), DeleteKey("emo??ji", "z")},
       "[emo" + emoji + "ji]\r\n[x\x81\x30y]\r\n[]\r\nk=1\r\n[b]\r\nk=a\0b\r\nj=3\r\n"s},
      {"[admin]\n主人号码=1\n开启返回文本=" + text + emoji + "\r\n", {Set("admin", "主人号码", "12")},
       "[admin]\n主人号码=12\n开启返回文本=" + text + emoji + "\r\n"},
      {"[a]\r\nk=1", {Set("a", "k", "2")}, "[a]\r\nk=2"},
      {"[a]\r\nk=1\r\n", {DeleteSection(" a")}, "[a]\r\nk=1\r\n"},
      {two, {DeleteSection("b")}},
      // Deleted from the end of a file that ends without a line end: it still ends without.
      {"[a]\r\nk=1\r\n[b]\r\nk=2", {DeleteKey("b", "k")}, "[a]\r\nk=1\r\n[b]"},
      {"[a]\r\nk=1\r\n[b]\r\nk=2", {DeleteSection("b")}, "[a]\r\nk=1"},
      {"[a]\nk=1\n[b]\rk=2\n[c]", {DeleteSection("c"), DeleteSection("a")}, "[b]\rk=2"},
      // A lone surrogate that GB18030 would turn into another character.
      {std::string("\xFF\xFE[\0a\0]\0\r\0\n\0\x00\xD8", 14), {Set("a", "k", "1")},
       std::string("\xFF\xFE[\0a\0]\0\r\0\n\0\x00\xD8", 14), false},
      // UTF-8 without a mark, as most editors save it: changed as its text, kept UTF-8 (你 and
      // 猫 are GBK here), every other character too.
      {testing::Utf8(u8"[a]\r\nk=早安\r\n"), {Set("a", "k", "\xC4\xE3"), Set("b", "k", "2")},
       testing::Utf8(u8"[a]\r\nk=你\r\n[b]\r\nk=2\r\n")},
      {testing::Utf8(u8"[a]\r\nk=😀\r\n[b]\nj=é"), {Set("b", "j", "\xC3\xA8"), DeleteSection("c")},
       testing::Utf8(u8"[a]\r\nk=😀\r\n[b]\nj=猫")},
      // The whole file is judged: GBK whose changed section alone would be UTF-8 (洹颁啊:
      // E4 A1, B0 E4, B0 A1), beside one that is none (开), is changed as GBK.
      {"[a]\r\nk=\xBF\xAA\r\n[b]\r\nk=\xE4\xA1\xB0\xE4\xB0\xA1\r\n", {Set("b", "k", "\xE4\xA1\xB0\xE4\xB0\xA1" "x")}},
      // Characters of two bytes alone, or GBK beside UTF-8: text of the code page.
      {testing::Utf8(u8"[a]\r\nk=é\r\n"), {Set("a", "j", "\xC4\xE3")}},
      {testing::Utf8(u8"[a]\r\nk=早安\r\n") + "[b]\r\nk=\xD4\xE7\r\n", {Set("b", "k", "\xC4\xE3")}},
      // A change that would leave no character of three bytes, so that the file would
      // read as GBK: made, and the file gets the mark of UTF-8 (it was not made).
      {testing::Utf8(u8"[a]\r\nk=早\r\n[b]\r\nk=é\r\n"), {DeleteSection("a")},
       testing::Utf8(u8"\uFEFF[b]\r\nk=é\r\n")},
  };
  for (const auto& row : rows) {
    for (const std::string& file : {ours, theirs}) platform::WriteWholeFile(file, row.original);
    EXPECT_EQ(WriteIniChanges(ours, row.changes), row.made) << row.original;
    for (const IniChange& c : row.changes) {
      const char* value = c.value ? c.value->c_str() : nullptr;
      WritePrivateProfileStringA(c.section.c_str(), c.key ? c.key->c_str() : nullptr, value, theirs.c_str());
    }
    const std::string expected = row.kept.empty() ? platform::ReadWholeFile(theirs) : row.kept;
    EXPECT_EQ(platform::ReadWholeFile(ours), expected) << row.original;
  }
}

// Under the data folder's lock a value read again comes from the thread's
// read of the file (no writer of the plug-in comes in between), until the
// thread writes that file or lets the lock go; a file of the same size that
// another program put in its place meanwhile is the one a write changes.
TEST(FileWrites, AReadUnderTheLockLastsUntilTheThreadWritesTheFileOrLetsGo) {
  const std::string folder = testing::FreshTestRunFolder("file-writes-held-reads");
  const std::string file = folder + "\\admin", other = folder + "\\SayZ.ini";
  for (const std::string& f : {file, other}) platform::WriteWholeFile(f, "[a]\r\nk=1\r\n");
  {
    const DataFolderLock lock(file);
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), "1");
    platform::WriteWholeFile(file, "[a]\r\nk=2\r\n");
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), "1");
    EXPECT_TRUE(WriteIniChanges(other, {Set("a", "k", "3")}));
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), "1");
    EXPECT_TRUE(WriteIniChanges(file, {Set("a", "j", "5")}));
    EXPECT_EQ(platform::ReadWholeFile(file), "[a]\r\nk=2\r\nj=5\r\n");
    EXPECT_EQ(ReadIniItemNow(file, "a", "k") + ReadIniItemNow(other, "a", "k"), "23");
    EXPECT_TRUE(ReplaceWholeFile(other, "[a]\r\nk=6\r\n"));
    EXPECT_EQ(ReadIniItemNow(other, "a", "k"), "6");
    EXPECT_TRUE(RemoveDataFile(other));
    EXPECT_EQ(ReadIniItemNow(other, "a", "k", "none"), "none");
    platform::WriteWholeFile(file, "[a]\r\nk=4\r\n");
  }
  EXPECT_EQ(ReadIniItemNow(file, "a", "k"), "4");
}

// A file is read in the form of its own bytes, whatever was read of it
// before: GBK that a file of UTF-8 read as, and that is UTF-8 itself (洹颁啊,
// E4 A1 B0 E4 B0 A1: U+4870 U+4C21), is read as UTF-8 once it is the file's
// bytes, under the folder's lock as outside it.
TEST(FileWrites, AFileIsReadInTheFormOfItsOwnBytesWhateverWasReadBefore) {
  const std::string file = testing::FreshTestRunFolder("file-writes-forms") + "\\SayZ.ini";
  const std::string gbk = "\xE4\xA1\xB0\xE4\xB0\xA1", utf8 = testing::Utf8(u8"洹颁啊");
  const std::string asUtf8 = platform::WideToAnsi(std::wstring{0x4870, 0x4C21});
  for (const bool locked : {false, true}) {
    platform::WriteWholeFile(file, "[a]\r\nk=" + utf8 + "\r\n");
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), gbk);
    platform::WriteWholeFile(file, "[a]\r\nk=" + gbk + "\r\n");
    std::optional<DataFolderLock> lock;
    if (locked) lock.emplace(file);
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), asUtf8) << locked;
  }
}

// Under the lock, a file that another program is saving in place (emptied
// first) is read once it is saved, as a write reads it, and a write that
// follows starts from that read. (It was read at once as it was, empty: an
// add took a keyword staged in it for none, and stored its reply under
// another.)
TEST(FileWrites, UnderTheLockAFileBeingSavedIsReadAtOnceAndWrittenOnlyOnceSaved) {
  const std::string file = testing::FreshTestRunFolder("file-writes-held-saving") + "\\admin";
  EXPECT_TRUE(WriteIniChanges(file, {Set("a", "k", "1"), Set("c", "k", "9")}));
  for (const bool rest : {true, false}) {  // shorter: maybe not all written yet
    const DataFolderLock lock(file);
    platform::WriteWholeFile(file, "[a]\r\nk=5\r\n");
    std::thread saving([&] {
      Sleep(100);
      if (rest) platform::WriteWholeFile(file, "[a]\r\nk=6\r\n[c]\r\nk=9\r\n");
    });
    EXPECT_EQ(ReadIniItemNow(file, "a", "k", "none"), rest ? "6" : "5");
    saving.join();
    if (rest) EXPECT_TRUE(WriteIniChanges(file, {Set("a", "k", "1")}));
  }
  const DataFolderLock lock(file);
  platform::WriteWholeFile(file, "");  // the save begins
  std::thread editor([&] {
    Sleep(300);
    platform::WriteWholeFile(file, "[a]\r\nk=2\r\n[b]\r\nk=3\r\n");
  });
  EXPECT_EQ(ReadIniItemNow(file, "a", "k", "none"), "2");
  EXPECT_TRUE(WriteIniChanges(file, {DeleteSection("a")}));
  editor.join();
  EXPECT_EQ(platform::ReadWholeFile(file), "[b]\r\nk=3\r\n");
}

// A file to be written after it is read under the lock: the read opens it
// for writing as well, and the write that cuts its end goes through that
// handle. One that cannot be opened for writing (read-only) is read all
// the same, and is not written. Nothing keeps it open once the lock ends.
TEST(FileWrites, AFileReadToBeWrittenIsCutThroughItsReadOrReadAlone) {
  const std::string file = testing::FreshTestRunFolder("file-writes-read-to-write") + "\\admin";
  for (const bool readOnly : {false, true}) {
    platform::WriteWholeFile(file, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n");
    if (readOnly) SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    {
      const DataFolderLock lock(file);
      lock.WillWrite(file);
      EXPECT_EQ(ReadIniItemNow(file, "b", "k", "none"), "2") << readOnly;
      EXPECT_EQ(WriteIniChanges(file, {DeleteSection("b")}), !readOnly);
      EXPECT_EQ(ReadIniItemNow(file, "a", "k", "none"), "1") << readOnly;
    }
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(platform::ReadWholeFile(file), readOnly ? "[a]\r\nk=1\r\n[b]\r\nk=2\r\n" : "[a]\r\nk=1\r\n");
    EXPECT_TRUE(AnEditorOpens(file)) << readOnly;
  }
}

// What the thread read in a folder goes when that folder's lock ends, also
// while the thread holds the lock of another: a writer may come in before
// it takes the first again.
TEST(FileWrites, AReadUnderALockGoesWithThatLockInsideAnother) {
  const std::string outer = testing::FreshTestRunFolder("file-writes-outer-lock") + "\\admin";
  const std::string file = testing::FreshTestRunFolder("file-writes-inner-lock") + "\\SAVE";
  platform::WriteWholeFile(outer, "[a]\r\nk=1\r\n");
  platform::WriteWholeFile(file, "[g]\r\nk=1\r\n");
  const DataFolderLock held(outer);
  {
    const DataFolderLock inner(file);
    EXPECT_EQ(ReadIniItemNow(file, "g", "k"), "1");
  }
  std::thread([&] { EXPECT_TRUE(WriteIniChanges(file, {Set("g", "k", "22")})); }).join();
  const DataFolderLock again(file);
  EXPECT_EQ(ReadIniItemNow(file, "g", "k"), "22");
}

// A read under a lock whose thread did not say it will write the file opens
// it for reading only, also after an earlier lock that did (inside the lock
// of another folder, which the thread holds throughout): an editor that
// lets others only read may open it meanwhile.
TEST(FileWrites, AReadUnderALockThatWillNotWriteLetsAnEditorOpenTheFile) {
  const std::string file = testing::FreshTestRunFolder("file-writes-read-only-read") + "\\admin";
  platform::WriteWholeFile(file, "[a]\r\nk=1\r\n");
  const DataFolderLock outer(testing::FreshTestRunFolder("file-writes-read-only-outer") + "\\SAVE");
  {
    const DataFolderLock lock(file);
    lock.WillWrite(file);
    EXPECT_EQ(ReadIniItemNow(file, "a", "k"), "1");
  }
  ExpectReadForReadingOnly(file, "a", "1");
}

// A lock of another folder that the thread does not get (another holds it)
// ends nothing of the lock the thread holds: its reads stay. Nor does it
// mark a file to be written: taken later, its read opens the file for
// reading only.
TEST(FileWrites, ALockNotGotInsideAnotherLeavesTheOthersReads) {
  const std::string outer = testing::FreshTestRunFolder("file-writes-kept-outer") + "\\admin";
  const std::string file = testing::FreshTestRunFolder("file-writes-busy-inner") + "\\SAVE";
  platform::WriteWholeFile(outer, "[a]\r\nk=1\r\n");
  platform::WriteWholeFile(file, "[g]\r\nk=1\r\n");
  const DataFolderLock held(outer);
  EXPECT_EQ(ReadIniItemNow(outer, "a", "k"), "1");
  const HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr), done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    const DataFolderLock busy(file);
    SetEvent(taken);
    WaitForSingleObject(done, INFINITE);
  });
  WaitForSingleObject(taken, INFINITE);
  {
    const DataFolderLock notGot(file, DataFolderLock::OnlyIfFree{});
    EXPECT_FALSE(notGot.held());
    notGot.WillWrite(file);
  }
  SetEvent(done);
  other.join();
  CloseHandle(taken);
  CloseHandle(done);
  platform::WriteWholeFile(outer, "[a]\r\nk=2\r\n");
  EXPECT_EQ(ReadIniItemNow(outer, "a", "k"), "1");
  ExpectReadForReadingOnly(file, "g", "1");
}

// Large files one after the other, growing and shrinking, each changed a
// few times: each write gives its file with its changes and nothing of a
// file before.
TEST(FileWrites, LargeFilesOneAfterTheOtherEachGetTheirChangesAlone) {
  const std::string file = testing::FreshTestRunFolder("file-writes-large") + "\\SayZ.ini";
  for (const std::size_t size : {300000u, 700000u, 300000u, 400000u, 1000u}) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) {
      text += "[k" + std::to_string(size) + "-" + std::to_string(i) + "]\r\n回复=r\r\n";
    }
    platform::WriteWholeFile(file, text);
    for (const char* added : {"a", "b", "c"}) {
      EXPECT_TRUE(WriteIniChanges(file, {Set(added, "回复", "x")})) << size;
      text += "["s + added + "]\r\n回复=x\r\n";
      EXPECT_EQ(platform::ReadWholeFile(file), text) << size << added;
    }
  }
}

// A change that only cuts the end of the file away (the staged keyword,
// the last section of admin) is made in the file itself: a program that
// holds it open (sharing reads and writes, not its deletion, which a copy's
// rename needs) sees it at once. An added end is written as any other
// change: another program that appends to the file meanwhile from where
// it found the end would write over it in place. A program that has the
// file open for writing for a moment (sharing everything) holds the cut up
// until it lets go, the file of UTF-8 too.
TEST(FileWrites, AChangeThatOnlyCutsTheEndIsMadeInTheFileItself) {
  const std::string file = testing::FreshTestRunFolder("file-writes-cut") + "\\admin";
  const std::string kept = "[admin]\r\n主人号码=1\r\n", staged = kept + "[新增词库]\r\n待添词汇=你好\r\n";
  const struct {
    std::string was;
    IniChange change;
    std::string now;
    int heldMs = 0;  // by a program that has it open for writing
  } rows[] = {
      {staged, DeleteSection("新增词库"), kept},
      {staged, DeleteSection("新增词库"), kept, 200},
      {testing::Utf8(u8"[admin]\r\n主人号码=1\r\n[新增词库]\r\n待添词汇=你好\r\n"), DeleteSection("新增词库"),
       testing::Utf8(u8"[admin]\r\n主人号码=1\r\n"), 200},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(platform::WriteWholeFile(file, row.was));
    const HANDLE writer = row.heldMs == 0 ? INVALID_HANDLE_VALUE
                                          : CreateFileA(file.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    std::thread letGo([&] {
      Sleep(row.heldMs);
      if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    });
    const HANDLE viewer =
        CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteIniChanges(file, {row.change})) << row.now;
    letGo.join();
    EXPECT_EQ(platform::ReadWholeFile(file), row.now);
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(viewer, &size));
    EXPECT_EQ(size.QuadPart, static_cast<LONGLONG>(row.now.size())) << row.now;
    CloseHandle(viewer);
  }
}

// A change inside a file of one name, or at its end, is never written
// over the file (a crash would leave it torn, another writer could write
// over it): a copy takes its name, another file. A cut end is made in the
// file itself.
TEST(FileWrites, AChangeInsideTheFileTakesItsPlaceAsACopy) {
  const std::string file = testing::FreshTestRunFolder("file-writes-inside") + "\\SayZ.ini";
  const auto identity = [&] {
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = CreateFileA(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  };
  ASSERT_TRUE(platform::WriteWholeFile(file, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"));
  const struct {
    IniChange change;
    const char* now;
    bool inPlace;
  } rows[] = {
      {Set("a", "k", "9"), "[a]\r\nk=9\r\n[b]\r\nk=2\r\n", false},
      {Set("c", "k", "3"), "[a]\r\nk=9\r\n[b]\r\nk=2\r\n[c]\r\nk=3\r\n", false},
      {DeleteSection("c"), "[a]\r\nk=9\r\n[b]\r\nk=2\r\n", true},
  };
  for (const auto& row : rows) {
    const std::uint64_t before = identity();
    EXPECT_TRUE(WriteIniChanges(file, {row.change})) << row.now;
    EXPECT_EQ(platform::ReadWholeFile(file), row.now);
    EXPECT_EQ(identity() == before, row.inPlace) << row.now;
  }
}

// Runs a program of the system Wine runs on (a Unix one), in `folder`,
// until `done` holds: Wine does not wait for its end.
void RunInFolder(const std::string& folder, std::string command, const std::function<bool()>& done) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi));
  for (int waited = 0; !done() && waited < 10000; waited += 10) Sleep(10);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// Mended: a library with a second name (a hard link) got the change under
// the name written only; a symbolic link became a plain file, and the file
// it named never got the change. A file another program holds open for a
// moment (sharing reads only) gets it once that program lets go.
TEST(FileWrites, AChangeReachesTheFileTheNameLeadsTo) {
  const std::string folder = testing::FreshTestRunFolder("file-writes-links");
  const std::string file = folder + "\\SayZ.ini", other = folder + "\\other.ini";
  const struct {
    const char* name;
    bool linked;
    std::function<void()> make;
  } rows[] = {
      {"hard link", true, [&] { ASSERT_TRUE(CreateHardLinkA(file.c_str(), other.c_str(), nullptr)); }},
      {"symbolic link", true,
       [&] { RunInFolder(folder, "Z:\\bin\\ln -s other.ini SayZ.ini", [&] { return platform::FileExists(file); }); }},
      {"held open", false, [&] {
         platform::WriteWholeFile(file, "[a]\r\nk=1\r\n");
         HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         std::thread([held] {
           Sleep(200);
           CloseHandle(held);
         }).detach();
       }},
  };
  for (const auto& row : rows) {
    // A link too, which Wine does not delete.
    if (platform::FileExists(file)) RunInFolder(folder, "Z:\\bin\\rm SayZ.ini", [&] { return !platform::FileExists(file); });
    platform::WriteWholeFile(other, "[a]\r\nk=1\r\n");
    row.make();
    EXPECT_TRUE(WriteIniChanges(file, {Set("b", "k", "2")})) << row.name;
    EXPECT_EQ(platform::ReadWholeFile(file), "[a]\r\nk=1\r\n[b]\r\nk=2\r\n") << row.name;
    // Shorter, not by its end: a file written in place loses its old end.
    EXPECT_TRUE(WriteIniChanges(file, {Set("a", "k", "")})) << row.name;
    EXPECT_EQ(platform::ReadWholeFile(file), "[a]\r\nk=\r\n[b]\r\nk=2\r\n") << row.name;
    // Shorter by its end: the file is cut where it stands.
    EXPECT_TRUE(WriteIniChanges(file, {DeleteSection("b")})) << row.name;
    EXPECT_EQ(platform::ReadWholeFile(file), "[a]\r\nk=\r\n") << row.name;
    // Nothing of ours keeps it open: an editor that lets others only read opens it.
    const HANDLE editor = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(editor, INVALID_HANDLE_VALUE) << row.name;
    if (editor != INVALID_HANDLE_VALUE) CloseHandle(editor);
    EXPECT_EQ(platform::ReadWholeFile(other) == platform::ReadWholeFile(file), row.linked) << row.name;
    // Still one file under both names.
    platform::WriteWholeFile(other, "x");
    EXPECT_EQ(platform::ReadWholeFile(file) == "x", row.linked) << row.name;
  }
}

// Another program, played at one step of our write (once, or `again` at
// every time the step comes).
struct OtherProgram {
  static inline WriteStep at{};
  static inline std::function<void()> does;
  static inline bool again = false;
  static void Step(WriteStep step) {
    if (step != at || !does) return;
    const std::function<void()> once = again ? does : std::move(does);
    if (!again) does = nullptr;
    once();
  }
};

using testing::WriteInPlaceKeepingTimes;

// Mended: the check before our copy took the file's place compared sizes
// (or no bytes): an editor's save between our read and our rename, of the
// same size, was written over. A save at any step before the check is the
// file our change is made to, also one that keeps the size and the times,
// or a file made where there was none (an add then failed). Under the
// folder's lock, a read during which the file is saved in place reads the
// save. A program that saves again at every read keeps a message's write
// no longer than its budget (2 s, when the file was read anew at once
// without end).
TEST(FileWrites, AnotherProgramsSaveBeforeOurRenameIsWhatOurChangeIsMadeTo) {
  const std::string folder = testing::FreshTestRunFolder("file-writes-other-program");
  const std::string temporary = folder + "\\SayZ.tmp";
  std::string name, file;  // each row's own: nothing is known of it from a row before
  const std::string ours = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", saved = "[a]\r\nk=3\r\n[b]\r\nk=4\r\n";
  // A save of a program of the system Wine runs on, from a file it wrote
  // beside: a program of Windows cannot replace or make anew a file that
  // another holds open under Wine.
  const auto bySystem = [&](const std::string& commands) {
    platform::WriteWholeFile(temporary, saved);
    RunInFolder(folder, "Z:\\bin\\sh -c \"" + commands + "\" " + name,  // the file as $0
                [&] { return !platform::FileExists(temporary); });
  };
  int saves = 0;
  const struct {
    const char* name;
    WriteStep at;
    std::function<void()> save;
    bool there = true;  // the file is there at our read
    const char* readUnderLock = nullptr;  // the value of a.k a read under the lock gives first
    bool again = false;  // the program saves at each of our reads: a message's write gives up
    IniChange change = Set("c", "k", "5");
    const char* now = nullptr;  // the file after, when not the program's save with our change
  } rows[] = {
      {"renamed over, the same size", WriteStep::FileRead, [&] { bySystem("mv SayZ.tmp $0"); }},
      {"renamed over, the same size and times", WriteStep::FileRead,
       [&] { bySystem("touch -r $0 SayZ.tmp; mv SayZ.tmp $0"); }},
      {"deleted and made anew, the same size", WriteStep::FileRead,
       [&] { bySystem("rm $0; cp SayZ.tmp $0; rm SayZ.tmp"); }},
      {"written in place keeping size and times", WriteStep::FileRead, [&] { WriteInPlaceKeepingTimes(file, saved); }},
      {"made where there was none", WriteStep::LastChecked, [&] { platform::WriteWholeFile(file, saved); }, false},
      {"saved in place during a read under the lock", WriteStep::BytesRead,
       [&] { WriteInPlaceKeepingTimes(file, saved); }, true, "3"},
      {"renamed over at every read", WriteStep::Opened, [&] { bySystem("mv SayZ.tmp $0"); }, true, nullptr, true},
      {"saved in place after every read", WriteStep::FileRead,
       [&] { WriteInPlaceKeepingTimes(file, "[a]\r\nk=" + std::to_string(++saves) + "\r\n"); }, true, "1", true},
      // An editor that shares everything saves a longer text in place
      // between our check and our cut: it cannot (it tries again after),
      // where the cut fell inside its text and tore a line.
      {"saved in place between our check and our cut", WriteStep::LastChecked,
       [&] {
         const HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 7, nullptr, TRUNCATE_EXISTING, 0, nullptr);
         if (h == INVALID_HANDLE_VALUE) return;
         const std::string longer = "[a]\r\nnew=xyz\r\nk=3\r\n[b]\r\nk=4\r\n";
         DWORD wrote = 0;
         ::WriteFile(h, longer.data(), static_cast<DWORD>(longer.size()), &wrote, nullptr);
         CloseHandle(h);
       },
       true, nullptr, false, DeleteSection("b"), "[a]\r\nk=1\r\n"},
      {"saved in place, longer, before our cut", WriteStep::FileRead,
       [&] { WriteInPlaceKeepingTimes(file, "[a]\r\nnew=xyz\r\nk=3\r\n[b]\r\nk=4\r\n"); }, true, nullptr, false,
       DeleteSection("b"), "[a]\r\nnew=xyz\r\nk=3\r\n"},
  };
  otherProgramAt = &OtherProgram::Step;
  for (const auto& row : rows) {
    name = "SayZ" + std::to_string(&row - rows) + ".ini";
    file = folder + "\\" + name;
    if (row.there) platform::WriteWholeFile(file, ours);
    OtherProgram::at = row.at;
    OtherProgram::does = row.save;
    OtherProgram::again = row.again;
    if (row.again) {
      // Neither a read under the lock nor a write waits for the file to
      // stand still past a message's budget.
      const OtherProcessWait message(kMessageFolderWaitMs);
      const DataFolderLock lock(file);
      const ULONGLONG start = GetTickCount64();
      EXPECT_EQ(ReadIniItemNow(file, "a", "k", "none"), row.readUnderLock ? row.readUnderLock : "3") << row.name;
      EXPECT_FALSE(WriteIniChanges(file, {Set("c", "k", "5")})) << row.name;
      EXPECT_LT(GetTickCount64() - start, 1000u) << row.name;
      OtherProgram::does = nullptr;
      continue;
    }
    {
      const DataFolderLock lock(file);
      if (row.readUnderLock) {
        EXPECT_EQ(ReadIniItemNow(file, "a", "k", "none"), row.readUnderLock) << row.name;
      }
      EXPECT_TRUE(WriteIniChanges(file, {row.change})) << row.name;
    }
    EXPECT_FALSE(OtherProgram::does) << row.name << ": it came";
    EXPECT_EQ(platform::ReadWholeFile(file), row.now ? row.now : saved + "[c]\r\nk=5\r\n") << row.name;
  }
  otherProgramAt = nullptr;
  OtherProgram::again = false;
}

// The compare of what was read with the file through its handle: false
// once another program emptied the file or cut its end away meanwhile.
TEST(FileWrites, TheFileHoldsWhatWasReadOnlyWhileItHasAllOfIt) {
  const std::string file = testing::FreshTestRunFolder("file-writes-holds") + "\\SayZ.ini";
  const std::string read = "[a]\r\nk=1\r\n[b]\r\nk=2\r\n";
  const struct {
    std::string now;
    bool holds;
  } rows[] = {{read, true}, {"", false}, {"[a]\r\nk=1\r\n", false}};
  for (const auto& row : rows) {
    platform::WriteWholeFile(file, read);
    const platform::OpenedFile opened(file);
    platform::WriteWholeFile(file, row.now);
    EXPECT_EQ(opened.Holds(read), row.holds) << row.now;
  }
}

// What a reply's test does under the kept times' lock, counted in the times
// it looks at, with none kept and with 20,000 (SAVE read-only, or taking a
// few of them with each reply): as little either way. (It looked at every
// time kept, and with a read-only SAVE the times only grew: with 1,690 a
// message took 145 ms.) So too with 4,095 times of names of one FNV-1a-32
// hash, and the table linked anew after a process ended holding it looks
// at a few times for each. (The names' hash was FNV-1a-32, with the
// table's seed put in after it: such names shared one place whatever the
// seed, each message looked at every one of them, and the relink took
// seconds.) A kept time more than a cool-down ahead counts as none. A
// table too full for another time lets the oldest go: their groups may
// answer again before their cool-down is over, the newest are held; so
// does a place of the table that holds 16 names when a 17th comes, up to
// its oldest.
TEST(KeptTimes, AReplysTestLooksAtAFewTimesHoweverManyAreKept) {
  const std::string file = testing::FreshTestRunFolder("kept-times-work") + "\\SAVE";
  KeptTimes& kept = KeptTimes::Of(file);
  const auto readOnly = [&](bool on) {
    SetFileAttributesA(file.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
  };
  const std::vector<std::string> colliding = testing::NamesOfOneFnv1aHash();
  const struct {
    int kept;  // times kept first, each of a group of its own: g0 the oldest
    bool readOnly;
    const char* value = nullptr;  // the time they hold; none: now
    bool oldestAnswers = false;   // g0 answers again
    bool collide = false;         // the groups and the new one are named by names of one FNV-1a-32 hash
    bool onePlace = false;        // the groups and the new one are names of one place of the table
  } rows[] = {{0, true},  {20000, true}, {0, false}, {20000, false}, {60000, true, nullptr, true},
              {1, true, "9999年1月1日", true}, {4095, true, nullptr, false, true}, {4095, false, nullptr, false, true},
              {16, true, nullptr, true, false, true}};
  std::vector<std::string> onePlace;  // 17 names: "p" and a number
  for (const auto& row : rows) {
    if (row.onePlace && onePlace.empty()) {
      const KeptTimes::Hold hold(kept, 1000);
      std::vector<std::vector<std::string>> places(1 << 16);
      for (int n = 0; onePlace.empty(); ++n) {
        std::vector<std::string>& place = places[hold.Place("p" + std::to_string(n), "你好")];
        place.push_back("p" + std::to_string(n));
        if (place.size() == 17) onePlace = place;
      }
    }
    const auto group = [&](int i) {
      return row.collide ? colliding[i] : row.onePlace ? onePlace[i] : "g" + std::to_string(i);
    };
    const std::string fresh = row.collide ? colliding.back() : row.onePlace ? onePlace.back() : "new";
    readOnly(false);
    platform::WriteWholeFile(file, "[0]\r\nx=y\r\n");
    readOnly(row.readOnly);
    {
      const std::string value = row.value ? row.value : FormatDateTime(FromLocalTime(platform::Now()));
      KeptTimes::Hold hold(kept, 1000);
      ASSERT_TRUE(hold);
      hold.Clear();
      for (int i = 0; i < row.kept; ++i) hold.Keep({group(i), "你好", value}, true, KeptTimes::kAbsent, true);
    }
    const std::uint64_t before = KeptTimes::Visited();
    EXPECT_TRUE(TestAndRecord(file, fresh, "你好", 60, "0")) << row.kept;
    const std::uint64_t visited = KeptTimes::Visited() - before;
    EXPECT_LE(visited, row.onePlace ? 60u : 40u) << row.kept << " " << row.readOnly;  // a full place: 16 a look
    if (row.kept == 0) continue;
    EXPECT_EQ(TestAndRecord(file, group(0), "你好", 60, "0"), row.oldestAnswers) << row.kept;
    EXPECT_FALSE(TestAndRecord(file, group(row.kept - 1), "你好", 60, "0")) << row.kept;
    if (!row.collide) continue;
    testing::EndWithKeptTimesHeld(file);
    const std::uint64_t beforeRelink = KeptTimes::Visited();
    EXPECT_TRUE(KeptTimes::Hold(kept, 1000));
    EXPECT_LE(KeptTimes::Visited() - beforeRelink, 4u * row.kept) << row.readOnly;
  }
  readOnly(false);
  KeptTimes::Hold hold(kept, 1000);
  ASSERT_TRUE(hold);
  // A time of names as long as most of the table is kept, in an empty table
  // whose end is not at the ring's start; one longer than the table is not.
  const std::string now = FormatDateTime(FromLocalTime(platform::Now())), huge(3 << 20, 'x');
  hold.Clear();
  hold.Keep({"1", "a", now}, true, KeptTimes::kAbsent, true);
  hold.Clear();
  EXPECT_NE(hold.Keep({"1", huge, now}, true, KeptTimes::kAbsent, true), 0u);
  EXPECT_TRUE(hold.Find("1", huge));
  EXPECT_EQ(hold.Keep({"1", huge + huge, now}, true, KeptTimes::kAbsent, true), 0u);
  // The id of a time that went out as the ring came round names no other:
  // marked as in SAVE or forgotten by it, the time now where it stood
  // stays as it was. (Times of one size, over three rounds: the later
  // rounds' stand exactly where the earlier ones' did.)
  hold.Clear();
  constexpr int kTimes = 120000;
  std::vector<std::uint64_t> ids, gone;
  for (int i = 0; i < kTimes; ++i) {
    ids.push_back(hold.Keep({std::to_string(100000 + i), "k", now}, true, KeptTimes::kAbsent, true));
  }
  for (int i = 0; i < kTimes; ++i) {
    if (!hold.Find(std::to_string(100000 + i), "k")) gone.push_back(ids[i]);
  }
  ASSERT_GT(gone.size(), kTimes / 2u);
  hold.InFile(gone);
  const std::vector<KeptTimes::Time> oldest = hold.Unwritten(1, 0);
  ASSERT_EQ(oldest.size(), 1u);
  EXPECT_EQ(oldest[0].id, ids[gone.size()]);
  hold.Forget(gone);
  int found = 0;
  for (int i = 0; i < kTimes; ++i) found += hold.Find(std::to_string(100000 + i), "k").has_value();
  EXPECT_EQ(found, kTimes - static_cast<int>(gone.size()));
  hold.Clear();
}

// The names of a time are placed by SipHash-2-4 (the reference's vectors:
// the key 00 01 .. 0f, the message 00 01 .. of each length), keyed with a
// secret each table makes for itself: the same names fall into other
// places of another table.
TEST(KeptTimes, NamesArePlacedByAHashKeyedWithASecretOfTheTable) {
  const std::uint64_t key[2] = {0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
  const struct {
    std::size_t length;
    std::uint64_t hash;
  } rows[] = {{0, 0x726fdb47dd0e0e31ull}, {1, 0x74f839c593dc67fdull}, {7, 0xab0200f58b01d137ull},
              {8, 0x93f5f5799a932462ull}, {15, 0xa129ca6149be45e5ull}, {16, 0x3f2acc7f57c29bdbull}};
  std::string all;  // each message the first bytes of it: the hash reads none past its own
  for (char i = 0; i < 20; ++i) all += i;
  for (const auto& row : rows) {
    EXPECT_EQ(text::SipHash24(key, std::string_view(all).substr(0, row.length)), row.hash) << row.length;
  }
  const KeptTimes::Hold one(KeptTimes::Of(testing::FreshTestRunFolder("kept-times-secret-1") + "\\SAVE"), 1000);
  const KeptTimes::Hold other(KeptTimes::Of(testing::FreshTestRunFolder("kept-times-secret-2") + "\\SAVE"), 1000);
  ASSERT_TRUE(one && other);
  int same = 0;
  for (int n = 0; n < 8; ++n) same += one.Place("1", std::to_string(n)) == other.Place("1", std::to_string(n));
  EXPECT_LT(same, 8);
}

// What SAVE holds for the key of a time kept while SAVE could not take it
// (read-only): an owner's edit or deletion of the key, made after, stands
// over the kept time; what SAVE held then, the kept time itself, or the
// time it took the place of (which a write of another host process may
// have put there late) is no edit, and the kept time holds. Where SAVE
// could not be read when the time was kept, the later of the two holds.
//
// The same reply spelled with blanks around its group and key, or letters
// of another case, meets its time, as the INI functions take the names. A
// time forgotten for an edit stays forgotten when the owner puts the old
// value back. A reply's time, once it passed, holds the next: the time it
// took the place of is not written after it.
TEST(KeptTimes, OnlyAnotherTimeInSaveStandsOverAKeptOne) {
  const std::string file = testing::FreshTestRunFolder("kept-times-edits") + "\\SAVE";
  KeptTimes& kept = KeptTimes::Of(file);
  const std::string now = FormatDateTime(FromLocalTime(platform::Now()));
  const std::string then = "2000年1月1日", earlier = "1999年1月1日", edit = "2020年1月1日";
  const std::string recent = testing::LocalTimeTextIn(-5);  // an edit that holds by itself
  const struct {
    std::optional<std::string> before;  // what SAVE held when the time was kept (none: no value)
    std::optional<std::string> now;     // what it holds now
    bool passes;
    bool unread = false;  // SAVE could not be read when the time was kept
    std::pair<const char*, const char*> asked{"g", "k"};  // the group and key the reply is tested by
    std::optional<std::string> putBack{};  // then the owner puts this value back: the reply passes
    bool earlierOnly = false;              // only the earlier time is kept
  } rows[] = {{then, then, false},      {then, now, false},     {then, earlier, false}, {then, edit, true},
              {then, std::nullopt, true}, {std::nullopt, edit, true}, {std::nullopt, std::nullopt, false},
              {then, edit, false, true},
              {then, then, false, false, {" g\t", "K "}},
              {.before = then, .now = recent, .passes = false, .putBack = then},
              {.before = std::nullopt, .now = std::nullopt, .passes = true, .earlierOnly = true}};
  for (const auto& row : rows) {
    const std::string what = row.before.value_or("-") + " " + row.now.value_or("-") + " " + row.asked.first;
    platform::WriteWholeFile(file, row.now ? "[g]\r\nk=" + *row.now + "\r\n" : "[0]\r\nx=y\r\n");
    {
      KeptTimes::Hold hold(kept, 1000);
      ASSERT_TRUE(hold);
      hold.Clear();
      const KeptTimes::FileValue before = row.unread ? KeptTimes::kUnknown : KeptTimes::ValueInFile(row.before);
      hold.Keep({"g", "k", earlier}, true, before, true);  // the time this one took the place of
      if (!row.earlierOnly) hold.Keep({"g", "k", now}, true, before, true);
    }
    const auto [group, key] = row.asked;
    EXPECT_EQ(TestAndRecord(file, group, key, 60, "0"), row.passes) << what;
    if (row.passes) EXPECT_FALSE(TestAndRecord(file, group, key, 60, "0")) << what;
    if (!row.putBack) continue;
    platform::WriteWholeFile(file, "[g]\r\nk=" + *row.putBack + "\r\n");
    EXPECT_TRUE(TestAndRecord(file, group, key, 60, "0")) << what;
  }
  KeptTimes::Hold hold(kept, 1000);
  hold.Clear();
}

// The kept times after a process ended while it held them, in the middle of
// a change: the times up to the first that does not check out whole stay
// (one that fills its record to the byte among them), found and still to
// be written into SAVE, the rest go; also when they come after the bytes
// skipped at the ring's end. A head that does not check out makes the table
// anew, empty: the ids of its times name none of the times kept after it.
TEST(KeptTimes, AChangeCutShortByTheEndOfItsProcessLeavesTheTimesBeforeIt) {
  const std::string file = testing::FreshTestRunFolder("kept-times-torn") + "\\SAVE";
  const std::string name = KeptTimes::BlockNameFor(file);
  KeptTimes& kept = KeptTimes::Of(file);
  static int runs = 0;  // the block outlives a run of the suite: each run's records bytes of their own
  ++runs;
  const std::vector<std::string> keys{"A", "B", "C"};
  enum class Head { Whole, Magic, EndBeforeStart };
  const struct {
    const char* torn;  // the key whose record a byte of is changed, or none
    std::vector<std::string> left;
    bool afterPad = false;  // the times come right after the bytes skipped at the ring's end
    Head head = Head::Whole;
  } rows[] = {{nullptr, keys},          {"B", {"A"}}, {"A", {}}, {nullptr, keys, true}, {"C", {"A", "B"}, true},
              {nullptr, {}, false, Head::Magic}, {nullptr, {}, false, Head::EndBeforeStart}};
  // A time of group "1" whose record takes `bytes` (a value of 6 bytes).
  const auto filler = [](std::uint64_t bytes) { return std::string(bytes - KeptTimes::kRecordHeadBytes - 7, 'f'); };
  for (const auto& row : rows) {
    const std::string value = "1234" + std::to_string(&row - rows) + std::to_string(runs % 10);
    std::vector<std::uint64_t> ids;
    std::uint32_t moved = 0;
    {
      KeptTimes::Hold hold(kept, 1000);
      ASSERT_TRUE(hold);
      hold.Clear();
      moved = hold.Moved();
      if (row.afterPad) {
        // One time fills the ring and leaves its end at the ring's start; of
        // two more the second ends 64 bytes before the ring's end.
        for (const std::uint64_t bytes : {KeptTimes::kRingBytes, std::uint64_t{72}, KeptTimes::kRingBytes - 136}) {
          ASSERT_NE(hold.Keep({"1", filler(bytes), value}, true, KeptTimes::kAbsent, true), 0u);
        }
      }
      for (const std::string& key : keys) {
        ids.push_back(hold.Keep({"1", key, value}, true, KeptTimes::kAbsent, true));  // 1 + 1 + 6 bytes: no padding
      }
    }
    const HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str());
    ASSERT_NE(mapping, nullptr);
    char* block = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    MEMORY_BASIC_INFORMATION mapped{};
    VirtualQuery(block, &mapped, sizeof mapped);
    char* const blockEnd = block + mapped.RegionSize;
    if (row.torn) {
      const std::string text = std::string("1") + row.torn + value;
      char* at = std::search(block, blockEnd, text.begin(), text.end());
      ASSERT_NE(at, blockEnd);
      at[2] = '7';
    }
    if (row.head == Head::Magic) block[0] ^= 0x55;
    if (row.head == Head::EndBeforeStart) {
      // The head's end (past C's record) is put before its start (A's).
      const std::uint64_t end = ids.back() - 1 + 72, start = ids.front() - 1 - 8;
      std::uint64_t* head = reinterpret_cast<std::uint64_t*>(block);
      std::uint64_t* at = std::find(head, head + 8, end);
      ASSERT_NE(at, head + 8);
      *at = start;
    }
    testing::EndWithKeptTimesHeld(file);
    KeptTimes::Hold hold(kept, 1000);
    ASSERT_TRUE(hold);
    std::vector<std::string> left, unwritten;
    for (const std::string& key : keys) {
      if (hold.Find("1", key)) left.push_back(key);
    }
    for (const KeptTimes::Time& t : hold.Unwritten(10, 0)) unwritten.push_back(*t.time.key);
    const std::string what = (row.torn ? row.torn : "none") + std::string(row.afterPad ? " after the pad" : "");
    EXPECT_EQ(left, row.left) << what;
    EXPECT_EQ(unwritten, row.left) << what;
    EXPECT_NE(hold.Moved(), moved) << what;  // a test that read SAVE meanwhile looks again
    if (row.head != Head::Whole) {
      for (const std::string& key : keys) {
        const std::uint64_t id = hold.Keep({"1", key, value}, true, KeptTimes::kAbsent, true);
        EXPECT_GT(id, *std::max_element(ids.begin(), ids.end())) << key;
      }
      hold.Forget(ids);
      hold.InFile(ids);
      EXPECT_EQ(hold.Unwritten(10, 0).size(), keys.size());
    }
    UnmapViewOfFile(block), CloseHandle(mapping);
  }
}

}  // namespace
}  // namespace zoq
