#include "core/messages/commands.hpp"

#include <algorithm>
#include <optional>

#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/plugin.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using reply::ReplyText;

constexpr const char* kKeywordMark = "[词汇]";
constexpr const char* kReplyMark = "[回复]";
constexpr const char* kDefaultAddConfirmation = "[词汇][N][回复]";

// As it is on the disk now: another process may have staged or taken it.
// None when the file cannot be read: `fallback` stands only for a keyword
// that is gone.
std::optional<std::string> ReadStaged(const std::string& fallback = {}) {
  return ReadIniItemIfReadable(AdminFile(), kStagingSection, kStagingKey, fallback);
}

struct LibraryTarget {
  const std::string& commandWord;
  std::string libraryFile;
  const char* confirmationKey;
  bool fuzzy;
};

// Without the blanks at its ends: the spaces and tabs, which an INI value
// loses on its way back, and the full-width spaces (A1 A1), which an owner
// types after a command word as readily.
std::string WithoutBlankEnds(std::string_view s) {
  std::size_t begin = s.size(), end = 0;
  for (std::size_t pos = 0, n; pos < s.size(); pos += n) {
    n = text::CharLength(s, pos);
    if ((n == 1 && (s[pos] == ' ' || s[pos] == '\t')) || s.substr(pos, n) == "\xA1\xA1") continue;
    begin = std::min(begin, pos);
    end = pos + n;
  }
  return begin < end ? std::string(s.substr(begin, end - begin)) : std::string();
}

// A value the INI read gives back whole: shorter than its read buffer.
bool FitsIniValue(const std::string& value) { return value.size() < kIniValueBuffer; }

// Nothing is confirmed unless the reply was stored whole: a reply or a
// staged keyword too long to be read back is refused, and so are a staged
// keyword that cannot be read and a write that failed (the staged keyword
// then stays for another try).
ReplyText AddReply(const std::string& text, const LibraryTarget& target) {
  std::string reply = text::ReplaceAll(text, target.commandWord, "");
  reply = text::ReplaceAll(reply, "\r\n", "[N]");
  const std::optional<std::string> staged = ReadStaged("无");
  if (!staged || !FitsIniValue(reply) || !FitsIniValue(*staged)) return {};
  const std::string& keyword = *staged;
  if (!WriteIniItem(target.libraryFile, keyword, std::string(kReplyKey), reply)) return {};
  if (target.fuzzy) ReloadFuzzyKeywords();
  ReplyText confirmation = ReplyText::Written(ReadAdminItem(target.confirmationKey, kDefaultAddConfirmation));
  confirmation.Replace(kKeywordMark, ReplyText::Outside(PlainKeywordForm(keyword)));
  confirmation.Replace(kReplyMark, ReplyText::Outside(reply));
  WriteIniItem(AdminFile(), kStagingSection, std::nullopt, std::nullopt);
  return confirmation;
}

// The section of `file` that `name` names, matched as the INI functions
// match section names (leading blanks skipped, ASCII letters without case),
// as the file keeps it; none when there is none. Full-width spaces before it
// are skipped as well: one stands after a command word as readily.
std::optional<std::string> SectionNamed(const std::string& file, const std::string& name) {
  std::size_t start = 0;
  while (start < name.size() && (static_cast<unsigned char>(name[start]) <= ' ' || name.compare(start, 2, "\xA1\xA1") == 0)) {
    start += name[start] == '\xA1' ? 2 : 1;
  }
  if (start == name.size()) return std::nullopt;
  const std::string_view wanted = std::string_view(name).substr(start);
  for (const std::string& section : Plugin().Libraries.SectionNames(file)) {
    if (text::EqualsIgnoreAsciiCase(section, wanted)) return section;
  }
  return std::nullopt;
}

}  // namespace

ReplyText StageKeyword(const std::string& keyword) {
  const std::string staged = WithoutBlankEnds(text::ReplaceAll(keyword, ReadAdminItem("添加命令"), ""));
  // The keyword confirmed is the one this command staged.
  const DataFolderLock folder(AdminFile());
  if (!folder.held() || !FitsIniValue(staged) ||
      !WriteIniItem(AdminFile(), kStagingSection, std::string(kStagingKey), staged)) {
    return {};
  }
  ReplyText confirmation = ReplyText::Written(ReadAdminItem("添加返回文本", kDefaultStageConfirmation));
  confirmation.Replace(kKeywordMark, ReplyText::Outside(PlainKeywordForm(ReadStaged().value_or(""))));
  return confirmation;
}

ReplyText AddExactReply(const Options& o, const std::string& reply) {
  return AddReply(reply, {o.Settings.精确命令, ExactLibraryFile(o), "精确返回文本", false});
}

ReplyText AddFuzzyReply(const Options& o, const std::string& reply) {
  return AddReply(reply, {o.Settings.模糊命令, FuzzyLibraryFile(o), "模糊返回文本", true});
}

bool DeleteKeyword(const std::string& keyword) {
  bool removed = false;
  for (const bool fuzzy : {false, true}) {
    const std::string file = fuzzy ? FuzzyLibraryFile() : ExactLibraryFile();
    // The section found is deleted: the INI functions delete none for a
    // name with blanks before it.
    const std::optional<std::string> section = SectionNamed(file, keyword);
    if (!section || !WriteIniItem(file, *section, std::nullopt, std::nullopt)) continue;
    removed = true;
    if (fuzzy) ReloadFuzzyKeywords();
  }
  return removed;
}

}  // namespace zoq
