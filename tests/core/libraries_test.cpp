// The libraries in memory against the Windows INI functions themselves, on
// seeded random files made of the shapes that tell parsers apart; the fuzzy
// search against a plain search; the files kept in memory against the edits
// and locks of other programs, and the data folder swapped under a running
// plug-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/libraries.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "platform/ini.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "tests/messages/session.hpp"
#include "text/text.hpp"

namespace zoq::testing {
namespace {

using namespace std::string_literals;

struct Random {
  int Below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
  std::string Pick(const std::vector<std::string>& from) { return from[Below(static_cast<int>(from.size()))]; }
  std::string Of(const std::vector<std::string>& pieces, int most) {  // at most `most` pieces
    std::string s;
    for (int n = Below(most + 1); n > 0; --n) s += Pick(pieces);
    return s;
  }
  std::mt19937 rng;
};

// Letters and characters mostly, now and then a byte that tells parsers apart.
const std::vector<std::string> kNamePieces = {
    "a", "a", "B", "B", "z", "字", "字", "Ω", "ω", "ａ", "Ａ", "回复", "ab", "字字", " ", "\t", "\x1A", "\x01", "\x1F",
    "\0"s, "]", "[", "=", "\"", "'", ";", "\x81", "\x81\x5D", "\x81\x7F", "\x80", "\xFF", "\xA1\xA1"};
const std::vector<std::string> kValuePieces = {"v", "V", "值", " ", "\t", "\0"s, "\"", "'", "=", "[", "]", "\x81",
                                               "\x81\x7F", "\x80", "\xFF", "字字", std::string(5110, 'L'),
                                               std::string(10237, 'L'), std::string(10238, 'L')};
const std::vector<std::string> kBlanks = {"", "", " ", "\t", " \x1A"};
const std::vector<std::string> kLineEnds = {"\r\n", "\r\n", "\n", "\r", "\n\r", "\r\n\r\n"};

// A file of sections of a few keys, now and then a stray line; the section
// names it writes.
std::string RandomFile(Random& r, std::vector<std::string>& names) {
  std::string file;
  const auto line = [&](const std::string& text) { file += r.Pick(kBlanks) + text + r.Pick(kBlanks) + r.Pick(kLineEnds); };
  for (int sections = r.Below(6); sections > 0; --sections) {
    if (r.Below(6) == 0) line(r.Of(kValuePieces, 3));
    names.push_back(r.Of(kNamePieces, 3));
    line("[" + names.back() + "]" + r.Pick({"", "", "x", "]"}));
    for (int keys = r.Below(3); keys >= 0; --keys) {
      const std::string quote = r.Pick({"", "", "\"", "'"});
      line(r.Pick({"回复", "回复", "回复", "回 复", "X", "\x01"s, "回复\0x"s, r.Of(kNamePieces, 2)}) + r.Pick(kBlanks) +
           (r.Below(8) ? "=" + r.Pick(kBlanks) + quote + r.Of(kValuePieces, 3) + quote : ""));
    }
  }
  return file;
}

// Mended: a NUL in a name or a value, a probe ending in a lone lead byte and
// names of control characters only answered otherwise than the INI functions.
TEST(IniImage, AnswersAsTheIniFunctionsOnRandomFiles) {
  const std::string file = FreshTestRunFolder("libraries-test") + "\\case.ini";
  const std::string absent = "\x01" "absent";
  Random r{std::mt19937(20240607)};
  for (int round = 0; round < 1000; ++round) {
    std::vector<std::string> names;
    std::string bytes = RandomFile(r, names);
    if (round == 0) bytes = "\xEF\xBB\xBF[\xE4\xBD\xA0\xE5\xA5\xBD]\r\n\xE5\x9B\x9E\xE5\xA4\x8D=utf8\r\n";  // 你好, 回复
    ASSERT_TRUE(platform::WriteWholeFile(file, bytes));
    IniImage image;
    image.Load(platform::FileTextAsAnsi(bytes));
    ASSERT_EQ(image.SectionNames(), platform::GetIniSectionNames(file, kIniSectionListBuffer)) << "round " << round;
    names.push_back(r.Pick({"你好", "\x01\x02", "", r.Of(kNamePieces, 3)}));
    // A value set through the image walks one section; the image of the
    // result, made from this one, answers as the result parsed anew.
    const std::vector<IniChange> set{{r.Pick(names), kReplyKey, r.Pick({"v", "值", r.Of(kValuePieces, 2)})}};
    const std::string changed = WithIniChanges(image, bytes, set);
    ASSERT_EQ(changed, WithIniChanges(bytes, set)) << "round " << round;
    if (const std::optional<IniImage> after = CheckedImage(image, bytes, changed, set)) {
      IniImage fresh;
      fresh.Load(platform::FileTextAsAnsi(changed));
      ASSERT_EQ(after->text(), fresh.text()) << "round " << round;
      ASSERT_EQ(after->SectionNames(), fresh.SectionNames()) << "round " << round;
      for (const std::string& name : names) EXPECT_EQ(after->Value(name, kReplyKey), fresh.Value(name, kReplyKey));
    }
    for (std::string probe : names) {
      probe = probe.c_str();  // what is asked for is a NUL-ended text
      switch (r.Below(5)) {
        case 1: probe = " " + probe + "\t"; break;
        case 2: probe += "\x81"; break;
        case 3: for (char& c : probe) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      const std::string key = r.Pick({kReplyKey, kReplyKey, kReplyKey, " 回复 ", "x", "\x01"});
      const std::string byTheIniFunctions = BlankIniName(probe) || BlankIniName(key)
                                                ? std::string()
                                                : platform::GetIniString(file, probe, key, absent, kIniValueBuffer);
      EXPECT_EQ(image.Value(probe, key).value_or(absent), byTheIniFunctions)
          << "round " << round << ": [" << probe << "] " << key;
      EXPECT_EQ(ReadIniItem(file, probe, key, absent), byTheIniFunctions) << "round " << round;
    }
  }
}

// The names of a library index in steps of about their number, whatever
// the names: 4,096 keywords built to share an unkeyed hash (FNV-1a-32, the
// folded bytes) are placed as random ones are, and each is found; one name
// many times over costs no steps. (Of one hash, the index took some 8
// million steps, a library read 40 times as long.)
TEST(IniImage, NamesBuiltToShareAHashIndexAsOthersDo) {
  std::vector<std::string> random;
  for (int i = 0; i < 4096; ++i) random.push_back("k" + std::to_string(i * 7919));
  const struct {
    const char* what;
    std::vector<std::string> names;
  } rows[] = {{"of one hash", NamesOfOneFnv1aHash()}, {"random", random}, {"one", std::vector<std::string>(4096, "Ab")}};
  for (const auto& row : rows) {
    std::string text;
    for (std::size_t i = 0; i < row.names.size(); ++i) text += "[" + row.names[i] + "]\r\nk=" + std::to_string(i) + "\r\n";
    IniImage image;
    image.Load(text);
    EXPECT_LE(image.IndexSteps(), 4 * row.names.size()) << row.what;
    for (std::size_t i = 0; i < row.names.size(); i += 97) {
      EXPECT_EQ(image.Value(row.names[i], "k"), std::to_string(row.names[i] == "Ab" ? 0 : i)) << row.what << i;
    }
  }
  EXPECT_EQ(IniImage().IndexSteps(), 0u);
}

// A plain search: the first keyword (brackets in their plain form, unless
// `form` takes the keywords as given) whose bytes, ASCII capitals of
// one-byte characters folded, begin where a character of the text begins.
std::int32_t PlainSearch(const std::vector<std::string>& keywords, std::string_view text,
                         FuzzyMatcher::Form form = FuzzyMatcher::Form::Plain) {
  const auto fold = [](std::string s) {
    for (std::size_t pos = 0, n = 0; pos < s.size(); pos += n) {
      if ((n = text::CharLength(s, pos)) == 1) s[pos] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[pos])));
    }
    return s;
  };
  const std::string folded = fold(std::string(text));
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    const std::string k = fold(form == FuzzyMatcher::Form::Plain ? PlainKeywordForm(keywords[i]) : keywords[i]);
    for (std::size_t s = 0; !k.empty() && s < text.size(); s += text::CharLength(text, s)) {
      if (folded.compare(s, k.size(), k) == 0) return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

TEST(FuzzyMatcher, FindsWhatAPlainSearchFinds) {
  // Many characters of one lead byte: a state of more children than a
  // search among them should take.
  std::vector<std::string> manyChildren = {"a", "B", "字", "\x81"};
  for (int trail = 0x40; trail <= 0xFE; ++trail) manyChildren.push_back("\x81" + std::string(1, static_cast<char>(trail)));
  // The characters of four lead bytes, and as many "a": such states after
  // "a" too, some close together in number.
  std::vector<std::string> manyLeads;
  for (int lead = 0x81; lead < 0x85; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      manyLeads.push_back({static_cast<char>(lead), static_cast<char>(trail)});
      manyLeads.push_back("a");
    }
  }
  // Over seventy keywords of "a" and of "xa", each followed by another
  // character: states of many children, where a keyword of other pieces
  // after them is found through their fail links ("a" then the root).
  std::vector<std::string> wideStates;
  for (const char* prefix : {"a", "xa"}) {
    for (char c = '!'; c <= '~'; ++c) {
      if (c != 'a' && c != 'b' && c != 'x' && !(c >= 'A' && c <= 'Z')) wideStates.push_back(prefix + std::string(1, c));
    }
    for (const char* c : {"字", "天", "气"}) wideStates.push_back(prefix + std::string(c));
  }
  const struct {
    std::vector<std::string> pieces;
    int keywords, pieces_per_keyword, rounds;
    std::vector<std::string> first = {};  // the keywords of every round before the random ones
  } rows[] = {
      {{"a", "A", "b", "B", "z", "\x81", "\x81\x41", "\x81\x61", "\x82\x81", "\x41", "字", "天气", "&uoS8#", "[",
        "]", "\x80"},
       12, 4, 3000},
      {manyChildren, 400, 2, 60},
      {manyLeads, 6000, 2, 20},
      // Long keywords of few letters: many share their first eight bytes or more.
      {{"a", "b", "字"}, 60, 8, 400},
      {{"a", "b", "x"}, 4, 3, 200, wideStates},
  };
  Random r{std::mt19937(7)};
  FuzzyMatcher m;  // built again and again
  for (const auto& row : rows) {
    for (int round = 0; round < row.rounds; ++round) {
      std::vector<std::string> keywords = row.first;
      for (int n = 1 + r.Below(row.keywords); n > 0; --n) keywords.push_back(r.Of(row.pieces, row.pieces_per_keyword));
      // Every other round the keywords as given ("&uoS8#" searched as it stands).
      const auto form = round % 2 ? FuzzyMatcher::Form::AsGiven : FuzzyMatcher::Form::Plain;
      m.Build(keywords, form);
      for (int t = 0; t < 10; ++t) {
        const std::string text = r.Of(row.pieces, 10);
        ASSERT_EQ(m.FirstIn(text), PlainSearch(keywords, text, form)) << "round " << round << ": " << text;
      }
    }
  }
}

// Writes `bytes` to `file` and gives it the write time `written`: with
// bytes of the old size, an edit that only the system's reports tell.
void WriteKeepingStamp(const std::string& file, const std::string& bytes, const FILETIME& written) {
  ASSERT_TRUE(platform::WriteWholeFile(file, bytes));
  HANDLE h = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
}

FILETIME WriteTime(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Mended: a library read while another program held it without sharing
// stayed empty until its next change, and an edit that kept the size and
// write time was never seen. A rewrite of this process within one tick of
// the clock, at the same size, is read before the system reports it; a read
// that fails builds no write (and one that waits a moment for the file
// does).
TEST(KeywordLibraries, SeeEveryEditAndOutliveALock) {
  const std::string file = FreshTestRunFolder("libraries-edits") + "\\SayZ.ini";
  KeywordLibraries libraries;
  ASSERT_TRUE(platform::WriteWholeFile(file, "[k]\r\n回复=one\r\n"));
  EXPECT_EQ(libraries.Reply(file, "k"), "one");
  WriteKeepingStamp(file, "[k]\r\n回复=two\r\n", WriteTime(file));
  Sleep(200);  // the system reports a change a moment after it
  EXPECT_EQ(libraries.Reply(file, "k"), "two");
  {  // a folder held without sharing is not watched: the stamps tell, and this process's writes
    const std::string folder = FreshTestRunFolder("libraries-unwatched"), other = folder + "\\SayZ.ini";
    HANDLE held = CreateFileA(folder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_TRUE(platform::WriteWholeFile(other, "[k]\r\n回复=one\r\n"));
    EXPECT_EQ(libraries.Reply(other, "k"), "one");
    const FILETIME read = WriteTime(other);
    ASSERT_TRUE(WriteIniChanges(other, {{"k", kReplyKey, "six"}}));
    WriteKeepingStamp(other, platform::ReadWholeFile(other), read);
    EXPECT_EQ(libraries.Reply(other, "k"), "six");
    CloseHandle(held);
  }
  // Held without sharing for a moment, the file is read once it is let go
  // and the write is made to it; held past the write's time, no read, and
  // no write built on none.
  for (const auto& [heldMs, written, reply] : {std::tuple{300, true, "four"}, {1500, false, "three"}}) {
    ASSERT_TRUE(platform::WriteWholeFile(file, "[k]\r\n回复=three\r\n"));
    HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);  // held without sharing
    EXPECT_EQ(libraries.Reply(file, "k"), written ? "two" : "four");  // what was read last
    std::thread letGo([h, heldMs = heldMs] { Sleep(heldMs), CloseHandle(h); });
    EXPECT_EQ(WriteIniChanges(file, {{"k", kReplyKey, "four"}}), written) << heldMs;
    letGo.join();
    EXPECT_EQ(libraries.Reply(file, "k"), reply) << heldMs;
  }
}

// Mended: a data folder renamed away with another put in its place was
// watched no more, and its edits that kept size and write time were never
// seen; an edit that the system reported only after the next message was
// not seen by it. Every library here has the write time of the first.
TEST(KeywordLibraries, FollowTheirFolderWhenItIsSwappedOrMadeAgain) {
  Session s("libraries-folder", HostCaseNamed("VLQ"), {{"SayZ.ini", Library({{"k", "one"}})}});
  ASSERT_TRUE(s.Start());
  const std::string folder = s.DataFile(""), path = folder.substr(0, folder.size() - 1), file = s.DataFile("SayZ.ini");
  const FILETIME first = WriteTime(file);
  int swaps = 0;
  // Each change gives the path that the new library is written to.
  const std::function<std::string()> link = [&] {  // an edit there is never reported for the folder
    const std::string other = s.host().folder() + "\\link.ini";
    EXPECT_TRUE(CreateHardLinkA(other.c_str(), file.c_str(), nullptr));
    return other;
  };
  const std::function<std::string()> swap = [&] {
    EXPECT_TRUE(MoveFileA(path.c_str(), (path + "-old" + std::to_string(++swaps)).c_str()));
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    return file;
  };
  const std::function<std::string()> remake = [&] {  // under Wine the folder stays until the plug-in lets it go
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    do DeleteFileA((folder + found.cFileName).c_str());
    while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
    CreateDirectoryA(path.c_str(), nullptr);
    return file;
  };
  const std::function<std::string()> edit = [&] { return file; };
  const std::function<std::string()> flood = [&] {  // more reports than the system keeps: it names none
    for (int i = 0; i < 300; ++i) {
      const std::string other = folder + std::string(100, 'x') + std::to_string(i);
      platform::WriteWholeFile(other, ""), platform::RemoveFile(other);
    }
    return file;
  };
  const std::function<std::string()> floodAbove = [&] {  // of the folder's name, in the folder above
    for (int i = 0; i < 300; ++i) {
      const std::string other = path.substr(0, path.rfind('\\') + 1) + std::string(100, 'x') + std::to_string(i);
      CreateDirectoryA(other.c_str(), nullptr), RemoveDirectoryA(other.c_str());
    }
    return file;
  };
  const std::function<std::string()> linked = [&] { return s.host().folder() + "\\link.ini"; };
  const struct {
    const char* what;
    const std::function<std::string()>& change;
    const char* reply;
    const std::function<std::string()>* then = nullptr;  // after the edit
  } steps[] = {{"renamed away, another in its place", swap, "two"},
               {"an edit in the new folder", edit, "six"},
               {"swapped again", swap, "ten"},
               {"deleted and made again", remake, "new"},
               {"an edit in it", edit, "old"},
               {"an edit of another size, not reported", link, "four"},
               {"an edit among more reports than the system keeps", flood, "many"},
               {"an unreported edit, then more reports than the system keeps", linked, "lots", &flood},
               {"an unreported edit, then more reports of the folder above than it keeps", linked, "much", &floodAbove}};
  for (const auto& step : steps) {
    WriteKeepingStamp(step.change(), Library({{"k", step.reply}}), first);
    if (step.then) (*step.then)();
    Sleep(200);  // the system reports a change a moment after it
    EXPECT_EQ(s.Group("k").number, 1) << step.what;
    EXPECT_EQ(s.TakeSent(), Sent{step.reply}) << step.what;
  }
}

}  // namespace
}  // namespace zoq::testing
