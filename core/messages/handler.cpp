#include "core/messages/handler.hpp"

#include <algorithm>
#include <mutex>
#include <optional>

#include "core/files/cooldown_times.hpp"
#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/messages/commands.hpp"
#include "core/messages/cooldown.hpp"
#include "core/reply/expand.hpp"
#include "core/reply/sending.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"
#include "platform/files.hpp"
#include "platform/http.hpp"
#include "platform/lock.hpp"

namespace zoq {
namespace {

using reply::ReplyText;

// A command word begins the text. An empty word is a disabled command.
bool BeginsWithCommand(const std::string& text, const std::string& word) {
  return !word.empty() && text::StartsWith(text, word);
}

// Read as it is on the disk now: another process may have staged or taken
// it a moment ago.
bool SomethingStaged() { return !ReadIniItemNow(AdminFile(), kStagingSection, kStagingKey).empty(); }

// The owner's on and off words; true when one of them was the message.
bool RunSwitchCommand(const Options& o, const MessageRecord& record) {
  struct SwitchCommand {
    const std::string& word;
    bool on;
    const char* replyKey;
    const char* defaultReply;
  };
  const SwitchCommand commands[] = {
      {o.Settings.开启命令, true, "开启返回文本", "关键词回复已开启"},
      {o.Settings.关闭命令, false, "关闭返回文本", "关键词回复已关闭"},
  };
  for (const SwitchCommand& c : commands) {
    if (c.word.empty() || record.text != c.word) continue;
    const OtherProcessWait command(kCommandFolderWaitMs);
    // The switch takes effect at once; it is confirmed only once stored.
    Plugin().Change([&](Options& changed) { changed.插件开关 = c.on; });
    if (WriteAdminItem("插件开关", c.on ? kSwitchOn : kSwitchOff)) {
      SendReply(record, ReplyText::Written(ReadAdminItem(c.replyKey, c.defaultReply)));
    }
    return true;
  }
  return false;
}

// The delete, add and stage commands; true when the message was one.
bool RunLibraryCommand(const Options& o, MessageRecord& record, bool owner) {
  const OtherProcessWait command(kCommandFolderWaitMs);
  const SettingsRecord& s = o.Settings;
  std::string& text = record.text;
  if ((s.全员删除 || owner) && BeginsWithCommand(text, s.删除命令)) {
    text = StoredKeywordForm(text::ReplaceAll(text, s.删除命令, ""));
    if (!text.empty() && DeleteKeyword(text)) {
      SendReply(record, ReplyText::Written(ReadAdminItem("删除返回文本", "删除成功")));
    }
    return true;
  }
  if (!(s.全员可用 || owner)) return false;
  struct AddCommand {
    const std::string& word;
    ReplyText (*add)(const Options&, const std::string&);
  };
  for (const AddCommand& c : {AddCommand{s.精确命令, AddExactReply}, AddCommand{s.模糊命令, AddFuzzyReply}}) {
    if (!BeginsWithCommand(text, c.word)) continue;
    ReplyText confirmation;
    {
      // The staged keyword is taken and the reply stored by one writer: no
      // other thread or process stages or adds in between. Nothing staged:
      // an ordinary message, command word and all, which waits on no other
      // writer (it is looked at before the wait, and again after it).
      std::optional<DataFolderLock> folder;
      folder.emplace(AdminFile(), DataFolderLock::OnlyIfFree{});
      if (!folder->held()) {
        folder.reset();
        if (!SomethingStaged()) return false;
        folder.emplace(AdminFile());
      }
      // What is staged is taken away by a write that follows the look.
      folder->WillWrite(AdminFile());
      if (folder->held() && !SomethingStaged()) return false;
      text = text::ReplaceAll(text, c.word, "");
      if (folder->held()) confirmation = c.add(o, text);
    }
    SendReply(record, confirmation);
    return true;
  }
  if (BeginsWithCommand(text, s.添加命令)) {
    text = StoredKeywordForm(text::ReplaceAll(text, s.添加命令, ""));
    if (!text.empty()) SendReply(record, StageKeyword(text));
    return true;
  }
  return false;
}

// With must-mention on, only a message that mentions the robot goes on
// (`mentioned`: decided on the message as the host delivered it), and the
// mention is taken out of it.
bool ApplyMustMention(const Options& o, const std::string& robot, std::string& text, bool mentioned) {
  if (!o.Settings.必须艾特) return true;
  if (!mentioned) return false;
  const std::string mention = "[@" + robot + "]";
  text = text::ReplaceAll(text::ReplaceAll(text, mention + " ", ""), mention, "");
  return true;
}

// The message text without its ASCII and full-width ("\xA1\xA1") blanks,
// character by character: the text itself when it holds none.
std::string_view WithoutBlanks(const std::string& s, std::string& changed) {
  const auto blankAt = [&](std::size_t i) {
    return s[i] == ' ' || (s[i] == '\xA1' && text::CharLength(s, i) == 2 && s[i + 1] == '\xA1');
  };
  std::size_t i = 0;
  while (i < s.size() && !blankAt(i)) i += text::CharLength(s, i);
  if (i == s.size()) return s;
  changed.assign(s, 0, i);
  for (; i < s.size(); i += text::CharLength(s, i)) {
    if (!blankAt(i)) changed.append(s, i, text::CharLength(s, i));
  }
  return changed;
}

struct Answer {
  ReplyText reply;
  bool send = false;
};

// Exact library: the whole text is the keyword; the cool-down is tested on
// the expanded reply. Empty reply: the exact library has no answer.
Answer ExactAnswer(const Options& o, MessageRecord& record) {
  const std::string keyword = StoredKeywordForm(record.text);
  Answer a;
  a.reply = ExpandReply(record, ExactLibraryFile(o), keyword, /*keywordIsMessageText=*/true);
  if (!a.reply.empty()) a.send = CooldownPasses(record.group, keyword, o.Settings.精确冷却, "0");
  return a;
}

// Fuzzy library: the first keyword found in the text answers (the message as
// written against each keyword as a message writes it); its cool-down is
// tested before the expansion, which runs (with its actions) either way.
bool FuzzyAnswer(const Options& o, MessageRecord& record, Answer& a) {
  const std::shared_ptr<const FuzzyKeywordIndex> fuzzy = Plugin().Fuzzy();
  std::string changed;
  const std::int32_t found = fuzzy->matcher.FirstIn(WithoutBlanks(record.text, changed));
  if (found < 0) return false;
  const std::string keyword(fuzzy->keywords[static_cast<std::size_t>(found)]);
  a.send = CooldownPasses(record.group, keyword, o.Settings.模糊冷却, {});
  a.reply = ExpandReply(record, FuzzyLibraryFile(o), keyword);
  return true;
}

// Counts a reply; the 151st deletes every cool-down time, and while that
// cannot be done, every one after it tries again.
void CountReply(const Options& o) {
  PluginState& p = Plugin();
  const auto due = [](std::int32_t counted) { return counted > kCooldownPurgeAfter; };
  if (!due(p.CountReply())) return;
  // One thread at a time, and only while still due: one that finds another
  // at it leaves the purge to it (or to the next reply, when it fails).
  static platform::Mutex purging;
  const std::unique_lock<platform::Mutex> one(purging, std::try_to_lock);
  if (one && due(p.RepliesCounted()) && ForgetCooldowns(CooldownFile(o))) p.PurgeDone();
}

}  // namespace

bool IsOwner(const Options& o, const std::string& sender) { return text::ListHoldsNumber(o.Settings.主人号码, sender); }
bool IsOwner(const std::string& sender) { return IsOwner(*Plugin().Current(), sender); }

ZOQ_HOT std::int32_t HandleMessage(MessageRecord& record) {
  const platform::HttpBudget webBudget;  // one deadline for every web request of the message
  const OtherProcessWait filesBudget(kMessageFolderWaitMs);  // and one for its waits on other processes
  PluginState& p = Plugin();
  // The options as they are now, for the whole message.
  const std::shared_ptr<const Options> options = p.Current();
  const Options& o = *options;
  const std::string robot = p.RobotAccount();
  record.delivered = std::move(record.text);
  const bool mentioned = o.Settings.必须艾特 && MentionsAccount(record.delivered, robot);
  record.text = NormalizeIncomingText(record.delivered, p.HostType);
  const bool owner = IsOwner(o, record.sender);
  if (owner && RunSwitchCommand(o, record)) return 1;
  if (!o.插件开关) return 0;
  if (RunLibraryCommand(o, record, owner)) return 1;
  if (!ApplyMustMention(o, robot, record.text, mentioned)) return 0;

  Answer a = ExactAnswer(o, record);
  if (a.reply.empty() && !FuzzyAnswer(o, record, a)) return 0;
  if (!a.send || a.reply.empty()) return 0;
  CountReply(o);
  SendReply(record, a.reply);
  return 1;
}

}  // namespace zoq
