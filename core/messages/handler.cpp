#include "core/messages/handler.hpp"

#include "core/expand.hpp"
#include "core/messages/commands.hpp"
#include "core/messages/cooldown.hpp"
#include "core/messages/sending.hpp"
#include "core/ini_items.hpp"
#include "core/settings.hpp"
#include "text/text.hpp"
#include "platform/files.hpp"
#include "platform/http.hpp"

namespace zoq {
namespace {

using reply::ReplyText;

// A command word begins the text. An empty word is a disabled command.
bool BeginsWithCommand(const std::string& text, const std::string& word) {
  return !word.empty() && text::StartsWith(text, word);
}

bool SomethingStaged() { return !ReadIniItem(AdminFile(), kStagingSection, kStagingKey).empty(); }

// The owner's on and off words; true when one of them was the message.
bool RunSwitchCommand(const MessageRecord& record) {
  struct SwitchCommand {
    const std::string& word;
    bool on;
    const char* replyKey;
    const char* defaultReply;
  };
  PluginState& p = Plugin();
  const SwitchCommand commands[] = {
      {p.Settings.开启命令, true, "开启返回文本", "关键词回复已开启"},
      {p.Settings.关闭命令, false, "关闭返回文本", "关键词回复已关闭"},
  };
  for (const SwitchCommand& c : commands) {
    if (c.word.empty() || record.text != c.word) continue;
    // The switch takes effect at once; it is confirmed only once stored.
    p.插件开关 = c.on;
    if (WriteAdminItem("插件开关", c.on ? kSwitchOn : kSwitchOff)) {
      SendReply(record, ReplyText::Written(ReadAdminItem(c.replyKey, c.defaultReply)));
    }
    return true;
  }
  return false;
}

// The delete, add and stage commands; true when the message was one.
bool RunLibraryCommand(MessageRecord& record, bool owner) {
  const SettingsRecord& s = Plugin().Settings;
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
    ReplyText (*add)(const std::string&);
  };
  for (const AddCommand& c : {AddCommand{s.精确命令, AddExactReply}, AddCommand{s.模糊命令, AddFuzzyReply}}) {
    if (!BeginsWithCommand(text, c.word)) continue;
    // Nothing staged: an ordinary message, command word and all.
    if (!SomethingStaged()) return false;
    text = text::ReplaceAll(text, c.word, "");
    SendReply(record, c.add(text));
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
bool ApplyMustMention(std::string& text, bool mentioned) {
  PluginState& p = Plugin();
  if (!p.Settings.必须艾特) return true;
  if (!mentioned) return false;
  const std::string mention = "[@" + p.RobotAccount + "]";
  text = text::ReplaceAll(text::ReplaceAll(text, mention + " ", ""), mention, "");
  return true;
}

// The message text without its ASCII and full-width blanks.
std::string WithoutBlanks(const std::string& s) {
  return text::ReplaceAll(text::ReplaceAll(s, " ", ""), "\xA1\xA1", "");
}

struct Answer {
  ReplyText reply;
  bool send = false;
};

// Exact library: the whole text is the keyword; the cool-down is tested on
// the expanded reply. Empty reply: the exact library has no answer.
Answer ExactAnswer(MessageRecord& record) {
  const std::string keyword = StoredKeywordForm(record.text);
  Answer a;
  a.reply = ExpandReply(record, ExactLibraryFile(), keyword, /*keywordIsMessageText=*/true);
  if (!a.reply.empty()) a.send = CooldownPasses(record.group, keyword, Plugin().Settings.精确冷却, "0");
  return a;
}

// Fuzzy library: the first keyword found in the text answers (the message as
// written against each keyword as a message writes it); its cool-down is
// tested before the expansion, which runs (with its actions) either way.
bool FuzzyAnswer(MessageRecord& record, Answer& a) {
  PluginState& p = Plugin();
  if (p.FuzzyIndex.size() != p.FuzzyKeywords.size()) ReloadFuzzyKeywords();
  const std::int32_t found = p.FuzzyIndex.FirstIn(WithoutBlanks(record.text));
  if (found < 0) return false;
  const std::string keyword = p.FuzzyKeywords[static_cast<std::size_t>(found)];
  a.send = CooldownPasses(record.group, keyword, p.Settings.模糊冷却, {});
  a.reply = ExpandReply(record, FuzzyLibraryFile(), keyword);
  return true;
}

// Counts a reply; every 151st deletes every cool-down time.
void CountReply() {
  PluginState& p = Plugin();
  if (++p.ReplyCounter > kCooldownPurgeAfter) {
    platform::RemoveFile(CooldownFile());
    p.ReplyCounter = 0;
  }
}

}  // namespace

bool IsOwner(const std::string& sender) { return text::ListHoldsNumber(Plugin().Settings.主人号码, sender); }

std::int32_t HandleMessage(MessageRecord& record) {
  const platform::HttpBudget webBudget;  // one deadline for every web request of the message
  PluginState& p = Plugin();
  record.delivered = record.text;
  const bool mentioned = p.Settings.必须艾特 && MentionsAccount(record.delivered, p.RobotAccount);
  record.text = NormalizeIncomingText(record.delivered, p.HostType);
  const bool owner = IsOwner(record.sender);
  if (owner && RunSwitchCommand(record)) return 1;
  if (!p.插件开关) return 0;
  if (RunLibraryCommand(record, owner)) return 1;
  if (!ApplyMustMention(record.text, mentioned)) return 0;

  Answer a = ExactAnswer(record);
  if (a.reply.empty() && !FuzzyAnswer(record, a)) return 0;
  if (!a.send || a.reply.empty()) return 0;
  CountReply();
  SendReply(record, a.reply);
  return 1;
}

}  // namespace zoq
