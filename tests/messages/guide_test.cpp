// The owners' guide (docs/使用说明.md) against the code. The names it lists
// are the code's: the variables of the expansion and of the settings
// window's picker, the keys of section admin that the enable reads with
// their defaults, the command words with the keys and window defaults of
// their texts. Every example it gives is run and gives what it says: the
// variable and code examples, its dialogs (with the files shown before
// them, and SAVE as shown after) and its tables of the hosts, through the
// real DLL and the hosts' fake APIs; the four web texts, which come from
// fixed addresses, through the expansion in this process. The examples and
// dialogs run as on a fresh install: the keywords they show are added to the
// built-in libraries, and one that reuses a built-in keyword with another
// reply fails.
//
// The guide is read as UTF-8. Its tables: one whose first column is 变量
// names the variables, one whose first column is 键 the keys, one whose
// first column is 命令 the command words (each name in backticks); one whose
// last columns are 回复写成, 有人发 and 机器人发出 gives examples; one whose
// last columns are 发 and 机器人发出 (在哪 and 谁 before them, 时间 first
// where it has one) is a dialog; one whose first column is 框架 gives what
// each host sends for the template heading each column. What the robot
// sends: alternatives in backticks joined by 或, or （不回复）; then the
// actions after "；"; then （请求 `address`，回答 `answer`） for a web request
// (回答 GBK 编码的 `answer`: the answer's bytes are GBK, not UTF-8).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/files/default_libraries.hpp"
#include "core/info/info_records.hpp"
#include "core/libraries.hpp"
#include "core/program.hpp"
#include "core/reply/environment.hpp"
#include "core/reply/expand.hpp"
#include "core/reply/sending.hpp"
#include "core/settings.hpp"
#include "core/web_addresses.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "tests/messages/session.hpp"
#include "tests/web/web_server.hpp"
#include "ui/settings_window.hpp"
#include "ui/variable_picker.hpp"

namespace zoq::testing {
namespace {

// ---- Texts: the guide is UTF-8, the plug-in's texts and this file's
// literals are GBK.

std::string Utf8(std::string_view gbk) {
  const std::wstring wide = platform::GbkToWide(gbk);
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Gbk(std::string_view utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return platform::WideToGbk(wide);
}

bool Has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::string ReplacedAll(std::string s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// The texts in backticks.
std::vector<std::string> Spans(std::string_view cell) {
  std::vector<std::string> spans;
  for (std::size_t open = cell.find('`'); open != std::string_view::npos; open = cell.find('`', open)) {
    const std::size_t close = cell.find('`', open + 1);
    if (close == std::string_view::npos) break;
    spans.emplace_back(cell.substr(open + 1, close - open - 1));
    open = close + 1;
  }
  return spans;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// ---- The guide: its tables, and the files it shows in code blocks whose
// first line is "; <name>".

struct Block {
  std::string name, text;  // the text with CR LF line ends
};

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<Block> before;  // the files shown since the table before it
  std::vector<Block> after;
};

// A table row's cells; "\|" is a "|" of a cell.
std::vector<std::string> Cells(std::string_view line) {
  line = line.substr(1);
  if (!line.empty() && line.back() == '|') line.remove_suffix(1);
  std::vector<std::string> cells;
  std::string cell;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
      cell += '|';
      ++i;
    } else if (line[i] == '|') {
      cells.push_back(Trimmed(cell));
      cell.clear();
    } else {
      cell += line[i];
    }
  }
  cells.push_back(Trimmed(cell));
  return cells;
}

std::vector<Table> ReadGuide() {
  const std::string text = ReadFile(ZOQ_GUIDE);
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    from = end + 1;
  }
  std::vector<Table> tables;
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with("```")) {
      Block b;
      std::size_t j = i + 1;
      for (; j < lines.size() && !lines[j].starts_with("```"); ++j) {
        if (j == i + 1 && lines[j].starts_with("; ")) b.name = lines[j].substr(2);
        else b.text += lines[j] + "\r\n";
      }
      i = j;
      if (b.name == Utf8("对话之后的 SAVE") && !tables.empty()) tables.back().after.push_back(b);
      else if (!b.name.empty()) blocks.push_back(b);
      continue;
    }
    if (!lines[i].starts_with("|")) continue;
    Table t;
    t.header = Cells(lines[i]);
    for (++i; i < lines.size() && lines[i].starts_with("|"); ++i) {
      if (lines[i].find_first_not_of("|-: ") == std::string::npos) continue;
      t.rows.push_back(Cells(lines[i]));
      t.rows.back().resize(t.header.size());
    }
    t.before = std::exchange(blocks, {});
    tables.push_back(std::move(t));
  }
  return tables;
}

const std::vector<Table>& Guide() {
  static const std::vector<Table> tables = ReadGuide();
  return tables;
}

// The tables whose header begins (or, `atEnd`, ends) with `columns`.
std::vector<const Table*> TablesWith(std::initializer_list<const char*> columns, bool atEnd = false) {
  std::vector<const Table*> found;
  for (const Table& t : Guide()) {
    if (t.header.size() < columns.size()) continue;
    std::size_t at = atEnd ? t.header.size() - columns.size() : 0;
    bool same = true;
    for (const char* c : columns) same = same && t.header[at++] == Utf8(c);
    if (same) found.push_back(&t);
  }
  return found;
}

// ---- Names.

template <class T>
std::set<T> Without(const std::set<T>& a, const std::set<T>& b) {
  std::set<T> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

TEST(Guide, NamesEveryVariableOfTheExpansionAndOfThePickerAndNoOther) {
  std::set<std::string> code;
  for (const TemplateVariable& v : kTemplateVariables) code.insert(Utf8(std::string(v.opening) + std::string(v.closing)));
  for (const std::string& v : ui::PickerVariables()) code.insert(Utf8(v));
  std::set<std::string> guide;
  const std::vector<const Table*> tables = TablesWith({"变量"});
  ASSERT_FALSE(tables.empty());
  for (const Table* t : tables) {
    for (const auto& row : t->rows) {
      for (const std::string& name : Spans(row[0])) guide.insert(name);
    }
  }
  EXPECT_EQ(Without(code, guide), std::set<std::string>{}) << "missing from the guide";
  EXPECT_EQ(Without(guide, code), std::set<std::string>{}) << "named by the guide, unknown to the code";
}

// What the expansion looks for is checked against its table when it is
// compiled; so is what the guide names.
TEST(Guide, TheExpansionsTableTellsItsVariablesFromOtherTexts) {
  const struct {
    const char* text;
    bool known;
  } cases[] = {
      {"[星期]", true},  {"[|]", true},      {"[数字", true},     {"[数字]", true},    {"[禁言]", true},
      {"[图接口=]", true}, {"[星期X]", false}, {"[数字9", false},   {"[数字]]", false},  {"[目标", false},
      {"", false},       {"星期", false},    {"[图接口", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTemplateVariable(c.text), c.known) << Utf8(c.text);
}

TEST(Guide, NamesEveryKeyTheEnableReadsWithItsDefaultAndNoOther) {
  std::map<std::string, std::string> code, guide;
  for (const AdminItem& item : kAdminItems) code[Utf8(item.key)] = Utf8(item.fallback);
  const std::vector<const Table*> tables = TablesWith({"键", "默认"});
  ASSERT_FALSE(tables.empty());
  for (const Table* t : tables) {
    for (const auto& row : t->rows) {
      const std::vector<std::string> key = Spans(row[0]), fallback = Spans(row[1]);
      ASSERT_EQ(key.size(), 1u) << row[0];
      guide[key[0]] = fallback.empty() && row[1] == Utf8("（空）") ? "" : fallback.at(0);
    }
  }
  EXPECT_EQ(guide, code);
}

TEST(Guide, NamesEveryCommandWordWithItsDefaultAndTheKeyAndWindowDefaultOfItsText) {
  std::map<std::string, std::string> defaults;
  for (const AdminItem& item : kAdminItems) defaults[Utf8(item.key)] = Utf8(item.fallback);
  using Row = std::vector<std::string>;  // command, word, key of its text, the window's default text
  std::set<Row> code, guide;
  for (const ui::CommandReturnText& c : ui::CommandReturnTexts()) {
    code.insert({Utf8(c.command), defaults.at(Utf8(c.command)), Utf8(c.returnText), Utf8(c.fallback)});
  }
  const std::vector<const Table*> tables =
      TablesWith({"命令", "默认词", "回复文字的键", "回复（从没打开过「远程命令」页）", "回复（打开过以后）"});
  ASSERT_FALSE(tables.empty());
  for (const Table* t : tables) {
    for (const auto& row : t->rows) {
      Row names;
      for (int column : {0, 1, 2, 4}) {
        const std::vector<std::string> spans = Spans(row[column]);
        ASSERT_EQ(spans.size(), 1u) << row[column];
        names.push_back(spans[0]);
      }
      guide.insert(names);
    }
  }
  EXPECT_EQ(Without(code, guide), std::set<Row>{}) << "missing from the guide, or other there";
  EXPECT_EQ(Without(guide, code), std::set<Row>{}) << "named by the guide, unknown to the code";
}

TEST(Guide, SaysWhichVersionItCovers) {
  EXPECT_TRUE(Has(ReadFile(ZOQ_GUIDE), Utf8("这份说明写的是 " + VersionText() + " 版")));
}

// ---- What the robot sends, as the guide says it.

enum class Action { Mute, Recall, Kick };

struct Expected {
  std::vector<std::string> replies;  // one of these (UTF-8, with placeholders); none: nothing is sent
  std::vector<std::pair<Action, std::string>> actions;  // each with its seconds where it has some
  std::string address, answer;  // the web request made, and its answer
  bool gbkAnswer = false;        // the answer's bytes are GBK
};

// The answer's bytes as the web server gives them.
std::string Served(const Expected& e) { return e.gbkAnswer ? Gbk(e.answer) : e.answer; }

Expected ReadExpected(std::string cell) {
  Expected e;
  const std::string request = Utf8("（请求 `"), answered = Utf8("`，回答 `"), end = Utf8("`）");
  const std::string answeredGbk = Utf8("`，回答 GBK 编码的 `");
  if (const std::size_t at = cell.find(request); at != std::string::npos) {
    std::size_t mid = cell.find(answered, at), skip = answered.size();
    if (mid == std::string::npos) {
      mid = cell.find(answeredGbk, at);
      skip = answeredGbk.size();
      e.gbkAnswer = true;
    }
    const std::size_t close = cell.find(end, mid);
    EXPECT_TRUE(mid != std::string::npos && close != std::string::npos) << cell;
    e.address = cell.substr(at + request.size(), mid - at - request.size());
    e.answer = cell.substr(mid + skip, close - mid - skip);
    cell.erase(at, close + end.size() - at);
  }
  const std::string separator = Utf8("；");
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t at = cell.find(separator, from);
    parts.push_back(cell.substr(from, at - from));
    if (at == std::string::npos) break;
    from = at + separator.size();
  }
  if (!Has(parts[0], Utf8("（不回复）"))) e.replies = Spans(parts[0]);
  EXPECT_TRUE(Has(parts[0], Utf8("（不回复）")) != !e.replies.empty()) << cell;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string digits;
    for (char c : parts[i]) {
      if (c >= '0' && c <= '9') digits += c;
    }
    if (Has(parts[i], Utf8("禁言"))) e.actions.push_back({Action::Mute, digits});
    else if (Has(parts[i], Utf8("撤回这条消息"))) e.actions.push_back({Action::Recall, ""});
    else if (Has(parts[i], Utf8("踢出发消息的人"))) e.actions.push_back({Action::Kick, ""});
    else ADD_FAILURE() << "an action the test does not know: " << parts[i];
  }
  return e;
}

// Whether "{a-b}" stands at `at`.
bool NumberRange(const std::string& pattern, std::size_t at, long& lo, long& hi) {
  int length = 0;
  return std::sscanf(pattern.c_str() + at, "{%ld-%ld}%n", &lo, &hi, &length) == 2 && length > 0;
}

// Whether `sent` (GBK) is `pattern` (UTF-8): "↵" a line break, "{框架文件夹}"
// the host's folder, "{a-b}" a whole number from a to b.
bool Matches(const std::string& sent, const std::string& pattern, const std::string& hostFolder) {
  const std::string actual = Utf8(sent), lineBreak = "\xE2\x86\xB5", folder = Utf8("{框架文件夹}");
  std::size_t a = 0;
  for (std::size_t p = 0; p < pattern.size();) {
    if (pattern.compare(p, lineBreak.size(), lineBreak) == 0) {
      if (actual.compare(a, 2, "\r\n") != 0) return false;
      a += 2;
      p += lineBreak.size();
    } else if (pattern.compare(p, folder.size(), folder) == 0) {
      const std::string f = Utf8(hostFolder);
      if (actual.compare(a, f.size(), f) != 0) return false;
      a += f.size();
      p += folder.size();
    } else if (long lo = 0, hi = 0; pattern[p] == '{' && NumberRange(pattern, p, lo, hi)) {
      const std::size_t close = pattern.find('}', p);
      std::size_t digits = a;
      while (digits < actual.size() && std::isdigit(static_cast<unsigned char>(actual[digits]))) ++digits;
      if (digits == a) return false;
      const long n = std::stol(actual.substr(a, digits - a));
      if (n < lo || n > hi) return false;
      a = digits;
      p = close + 1;
    } else {
      if (a >= actual.size() || actual[a] != pattern[p]) return false;
      ++a;
      ++p;
    }
  }
  return a == actual.size();
}

// The calls a message made: the sends and the actions as the guide says.
void ExpectCalls(Session& s, const Expected& e, const std::string& group, const std::string& sender,
                 const std::string& what) {
  std::vector<std::string> sent;
  std::vector<FakeCall> others;
  for (const FakeCall& c : s.TakeCalls()) {
    std::string message;
    if (IsSend(s.hostCase(), c, &message)) sent.push_back(message);
    else others.push_back(c);
  }
  std::vector<FakeCall> actions;
  for (const auto& [action, seconds] : e.actions) {
    switch (action) {
      case Action::Mute: actions.push_back({"VLQapi.dll", "Api_Shutup", {kRobot, group, sender, seconds}}); break;
      case Action::Recall: actions.push_back({"VLQapi.dll", "Api_WithdrawMsg", {kRobot, group, "idB", "idA"}}); break;
      case Action::Kick: actions.push_back({"VLQapi.dll", "Api_KickGroupMBR", {kRobot, group, sender, "0"}}); break;
    }
  }
  EXPECT_EQ(others, actions) << what;
  if (e.replies.empty()) {
    EXPECT_EQ(sent, std::vector<std::string>{}) << what;
    return;
  }
  ASSERT_EQ(sent.size(), 1u) << what;
  const bool one = std::any_of(e.replies.begin(), e.replies.end(),
                               [&](const std::string& r) { return Matches(sent[0], r, s.host().folder()); });
  EXPECT_TRUE(one) << what << "\n  sent: " << Utf8(sent[0]);
}

// The values of an INI text: section, key -> value.
std::map<std::pair<std::string, std::string>, std::string> IniValues(const std::string& text) {
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::string section;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    from = end + 2;
    if (line.starts_with("[") && line.ends_with("]")) section = line.substr(1, line.size() - 2);
    else if (const std::size_t eq = line.find('='); eq != std::string::npos) {
      values[{section, line.substr(0, eq)}] = line.substr(eq + 1);
    }
  }
  return values;
}

// A library text's sections in file order: the name and the section's
// lines, its header first.
std::vector<std::pair<std::string, std::string>> SectionsOf(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> sections;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = text.find("\r\n", from);
    end = end == std::string::npos ? text.size() : end + 2;
    const std::string line = text.substr(from, end - from);
    from = end;
    if (line.starts_with("[")) sections.push_back({line.substr(1, line.find(']') - 1), ""});
    if (sections.empty()) {
      ADD_FAILURE() << "a library shown with a line before its first keyword: " << Utf8(line);
      continue;
    }
    sections.back().second += line;
  }
  return sections;
}

// Library `name` (GBK `shown` of SayZ.ini or SayM.ini) as an owner's fresh
// install holds it once what is shown is added: the built-in keywords, then
// each shown one that is not built in. A shown keyword that is built in
// with another reply would not answer on a fresh install as the guide says.
std::string OnFreshInstall(const std::string& name, const std::string& shown) {
  const std::string builtIn = name == "SayZ.ini" ? DefaultExactLibrary() : DefaultFuzzyLibrary();
  const auto builtInValues = IniValues(builtIn);
  std::string library = builtIn;
  for (const auto& [keyword, lines] : SectionsOf(shown)) {
    const auto reply = builtInValues.find({keyword, std::string(kReplyKey)});
    if (reply == builtInValues.end()) {
      library += lines;
      continue;
    }
    const auto own = IniValues(lines);
    const auto ownReply = own.find({keyword, std::string(kReplyKey)});
    EXPECT_TRUE(ownReply != own.end() && ownReply->second == reply->second)
        << name << ": the built-in keyword " << Utf8(keyword) << " with another reply";
  }
  return library;
}

// The guide's stand-in for an owner's web address.
constexpr const char* kExampleSite = "http://example.com";

// ---- The examples of the variables and the codes: one message each, of
// 40001 in group 111, to the VLQ host.

struct Example {
  std::string reply, message, fuzzyKeyword;  // UTF-8; the keyword empty: the exact one, the message
  Expected expected;
  std::string what;
};

std::vector<Example> Examples() {
  std::vector<Example> examples;
  for (const Table* t : TablesWith({"回复写成", "有人发", "机器人发出"}, /*atEnd=*/true)) {
    const std::size_t n = t->header.size();
    for (const auto& row : t->rows) {
      Example x;
      const std::vector<std::string> reply = Spans(row[n - 3]), message = Spans(row[n - 2]);
      EXPECT_EQ(reply.size(), 1u) << row[n - 3];
      EXPECT_FALSE(message.empty()) << row[n - 2];
      if (reply.size() != 1 || message.empty()) continue;
      x.reply = reply[0];
      x.message = message[0];
      if (Has(row[n - 2], Utf8("模糊词"))) x.fuzzyKeyword = message.at(1);
      x.expected = ReadExpected(row[n - 1]);
      x.what = row[0] + " | " + row[n - 3] + " | " + row[n - 2];
      examples.push_back(std::move(x));
    }
  }
  return examples;
}

// The libraries of a fresh install that hold what `examples` store: each
// keyword once.
Files LibrariesOf(const std::vector<Example>& examples, const std::string& site) {
  std::map<std::string, std::string> exact, fuzzy;
  for (const Example& x : examples) {
    auto& library = x.fuzzyKeyword.empty() ? exact : fuzzy;
    const std::string keyword = Gbk(x.fuzzyKeyword.empty() ? x.message : x.fuzzyKeyword);
    const std::string reply = Gbk(ReplacedAll(x.reply, kExampleSite, site));
    const auto [it, added] = library.emplace(keyword, reply);
    EXPECT_TRUE(added || it->second == reply) << "one keyword, two replies: " << x.what;
  }
  return {{"SayZ.ini", OnFreshInstall("SayZ.ini", Library({exact.begin(), exact.end()}))},
          {"SayM.ini", OnFreshInstall("SayM.ini", Library({fuzzy.begin(), fuzzy.end()}))}};
}

// The four web texts come from the plug-in's own service: those examples are
// run through the expansion in this process, pointed at the test's server.
bool FromTextService(const Example& x) { return x.expected.address.starts_with(web::kTextApiHost); }

TEST(Guide, EveryVariableAndCodeExampleSendsWhatTheGuideSays) {
  std::vector<Example> examples = Examples();
  std::erase_if(examples, FromTextService);
  ASSERT_GE(examples.size(), 20u);
  WebServer web;
  for (Example& x : examples) {
    x.expected.address = ReplacedAll(x.expected.address, kExampleSite, web.base());
    for (std::string& r : x.expected.replies) r = ReplacedAll(r, kExampleSite, web.base());
    if (!x.expected.address.empty()) {
      ASSERT_TRUE(x.expected.address.starts_with(web.base())) << x.what;
      web.Serve(PercentDecoded(x.expected.address.substr(web.base().size())), Served(x.expected));
    }
  }
  Session s("guide-examples", HostCaseNamed("VLQ"), LibrariesOf(examples, web.base()));
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  std::size_t requests = 0;
  for (const Example& x : examples) {
    s.Group(Gbk(x.message), "111", "40001");
    ExpectCalls(s, x.expected, "111", "40001", x.what);
    const std::vector<WebRequest> made = web.Requests();
    std::vector<std::string> lines;
    for (std::size_t i = requests; i < made.size(); ++i) lines.push_back(made[i].line);
    requests = made.size();
    const std::string path = x.expected.address.empty() ? "" : x.expected.address.substr(web.base().size());
    EXPECT_EQ(lines, path.empty() ? std::vector<std::string>{} : std::vector<std::string>{"GET " + path + " HTTP/1.0"})
        << x.what;
  }
}

TEST(Guide, EveryWebTextExampleGivesWhatTheGuideSays) {
  std::vector<Example> examples = Examples();
  std::erase_if(examples, [](const Example& x) { return !FromTextService(x); });
  ASSERT_EQ(examples.size(), 4u);
  WebServer web;
  const std::string folder = FreshTestRunFolder("guide-runs");
  // The plug-in loaded in this process, its texts served by `web`.
  struct Loaded {
    explicit Loaded(const std::string& folder) { ProgramStart(folder); }
    ~Loaded() {
      reply::ResetEnv();
      ProgramExit();
    }
  } loaded(folder);
  PluginState& p = Plugin();
  p.HostType = kHostVlq;
  p.SetRobotAccount(kRobot, true);
  platform::CreateFolder(folder + "\\ZOQData");
  platform::CreateFolder(folder + "\\ZOQData\\ZOQ-F-关键词");
  p.Change([&](Options& o) { o.DataFolder = DataFolderPaths(folder + "\\ZOQData\\ZOQ-F-关键词\\"); });
  reply::Env().textApiHost = web.base();
  reply::Env().tickCount = [] { return 1000u; };
  reply::Env().now = [] { return platform::LocalTime{2026, 12, 5, 6, 17, 46, 29, 0}; };
  WriteFile(ExactLibraryFile(), LibrariesOf(examples, kExampleSite).front().second);
  std::size_t seen = 0;
  for (const Example& x : examples) {
    ASSERT_TRUE(x.fuzzyKeyword.empty()) << x.what;
    const std::string target = x.expected.address.substr(std::string(web::kTextApiHost).size());
    web.Serve(target, Served(x.expected));
    const std::string message = Gbk(x.message);
    MessageRecord record{MessageKind::Group, "111", "40001", NormalizeIncomingText(message, kHostVlq), "idA", "idB"};
    record.delivered = message;
    const std::string sent =
        ToHostCodes(ExpandReply(record, ExactLibraryFile(), StoredKeywordForm(record.text), true), kHostVlq, message);
    ASSERT_EQ(x.expected.replies.size(), 1u) << x.what;
    EXPECT_TRUE(Matches(sent, x.expected.replies[0], folder)) << x.what << "\n  sent: " << Utf8(sent);
    const std::vector<std::string> targets = web.Targets();
    EXPECT_EQ(std::vector<std::string>(targets.begin() + static_cast<std::ptrdiff_t>(std::min(seen, targets.size())),
                                       targets.end()),
              std::vector<std::string>{target})
        << x.what;
    seen = targets.size();
  }
}

// ---- The dialogs: each in a session of its own, with the files shown
// before it (the libraries on a fresh install); SAVE as shown after it.

TEST(Guide, EveryDialogGoesAsTheGuideSays) {
  std::vector<const Table*> dialogs = TablesWith({"谁", "在哪", "发", "机器人发出"}, /*atEnd=*/true);
  ASSERT_GE(dialogs.size(), 5u);
  int n = 0;
  for (const Table* d : dialogs) {
    Files files;
    for (const Block& b : d->before) {
      const bool library = b.name == "SayZ.ini" || b.name == "SayM.ini";
      EXPECT_TRUE(library || b.name == "admin") << b.name;
      files.push_back({b.name, library ? OnFreshInstall(b.name, Gbk(b.text)) : Gbk(b.text)});
    }
    Session s("guide-dialog-" + std::to_string(++n), HostCaseNamed("VLQ"), files);
    ASSERT_TRUE(s.Start());
    s.TakeCalls();
    const bool timed = d->header[0] == Utf8("时间");
    const std::size_t who = timed ? 1 : 0;
    for (const auto& row : d->rows) {
      const std::string what = "dialog " + std::to_string(n) + ": " + row[who] + " | " + row[who + 1] + " | " + row[who + 2];
      if (timed) {
        int h = 0, m = 0, sec = 0;
        ASSERT_EQ(std::sscanf(row[0].c_str(), "%d:%d:%d", &h, &m, &sec), 3) << what;
        s.SetClock(2026, 12, 5, h, m, sec);
      }
      std::string sender, group;
      for (char c : row[who]) {
        if (c >= '0' && c <= '9') sender += c;
      }
      for (char c : row[who + 1]) {
        if (c >= '0' && c <= '9') group += c;
      }
      EXPECT_TRUE(!group.empty() || row[who + 1] == Utf8("私聊")) << what;
      const std::vector<std::string> message = Spans(row[who + 2]);
      ASSERT_EQ(message.size(), 1u) << what;
      s.Message(group.empty() ? 1 : 2, group, sender, Gbk(message[0]));
      ExpectCalls(s, ReadExpected(row[who + 3]), group, sender, what);
    }
    for (const Block& b : d->after) {
      EXPECT_EQ(IniValues(Utf8(ReadFile(s.DataFile("SAVE")))), IniValues(b.text)) << "SAVE after dialog " << n;
    }
  }
}

// ---- The built-in keywords: the guide lists each keyword of the libraries
// of a fresh install with its library, and marks the ones that mute, recall
// or kick. Sent in a group, each does what it is marked with and nothing
// else; a keyword whose reply the plug-in fetches from the web is looked at
// in its reply instead. A fuzzy one acts on any message that holds it.

std::multiset<Action> ActionsOfCalls(const std::vector<FakeCall>& calls, const HostCase& host) {
  const std::map<std::string, Action> kActions{
      {"Api_Shutup", Action::Mute}, {"Api_WithdrawMsg", Action::Recall}, {"Api_KickGroupMBR", Action::Kick}};
  std::multiset<Action> actions;
  for (const FakeCall& c : calls) {
    if (IsSend(host, c)) continue;
    const auto action = kActions.find(c.function);
    EXPECT_NE(action, kActions.end()) << c.function;
    if (action != kActions.end()) actions.insert(action->second);
  }
  return actions;
}

TEST(Guide, ListsEveryBuiltInKeywordAndMarksTheOnesThatMuteRecallOrKick) {
  using Keyword = std::pair<std::string, std::string>;  // library, keyword (UTF-8)
  std::map<Keyword, std::string> replies;               // GBK
  for (const auto& [library, text] : {std::pair{"精确", DefaultExactLibrary()}, std::pair{"模糊", DefaultFuzzyLibrary()}}) {
    for (const auto& [section, lines] : SectionsOf(text)) {
      replies[{Utf8(library), Utf8(section)}] = IniValues(lines).at({section, std::string(kReplyKey)});
    }
  }
  const std::vector<const Table*> tables = TablesWith({"关键词", "词库"});
  ASSERT_EQ(tables.size(), 1u);
  std::map<Keyword, std::multiset<Action>> marked;
  for (const auto& row : tables[0]->rows) {
    const std::vector<std::string> keyword = Spans(row[0]);
    ASSERT_EQ(keyword.size(), 1u) << row[0];
    std::multiset<Action>& actions = marked[{row[1], keyword[0]}];
    const std::string& cell = row.back();
    if (Has(cell, Utf8("禁言"))) actions.insert(Action::Mute);
    if (Has(cell, Utf8("撤回"))) actions.insert(Action::Recall);
    if (Has(cell, Utf8("踢"))) actions.insert(Action::Kick);
  }
  std::set<Keyword> inCode, inGuide;
  for (const auto& [keyword, reply] : replies) inCode.insert(keyword);
  for (const auto& [keyword, actions] : marked) inGuide.insert(keyword);
  EXPECT_EQ(inGuide, inCode);
  ASSERT_EQ(inCode.size(), 34u);

  Session s("guide-built-in", HostCaseNamed("VLQ"));
  ASSERT_TRUE(s.Start());
  s.TakeCalls();
  for (const auto& [keyword, reply] : replies) {
    const bool web = Has(reply, "[文接口=") || Has(reply, "[一言]") || Has(reply, "[绿茶]") || Has(reply, "[舔狗]");
    std::multiset<Action> actions;
    if (web) {
      if (Has(reply, "[禁言")) actions.insert(Action::Mute);
      if (Has(reply, "[撤回]")) actions.insert(Action::Recall);
      if (Has(reply, "[踢出]")) actions.insert(Action::Kick);
    } else {
      s.Group(Gbk(keyword.second), "111", "40001");
      actions = ActionsOfCalls(s.TakeCalls(), s.hostCase());
    }
    EXPECT_EQ(actions, marked[keyword]) << keyword.first << " " << keyword.second;
  }
  s.Group("怎么撤回禁言啊", "111", "40001");  // the guide's example of a fuzzy one
  EXPECT_EQ(ActionsOfCalls(s.TakeCalls(), s.hostCase()), (std::multiset<Action>{Action::Mute, Action::Recall}));
}

// ---- The tables of the hosts: what each sends for the template heading a
// column, or whether it carries the action out (✓ or —).

TEST(Guide, EveryHostSendsWhatTheHostTablesSay) {
  const std::map<std::string, std::string> kHostNames{{Utf8("函数表框架"), "Table"}, {Utf8("VLW（微信）"), "WX"}};
  struct Cell {
    std::string reply, expected;
  };
  std::map<std::string, std::vector<Cell>> byHost;
  const std::vector<const Table*> tables = TablesWith({"框架"});
  ASSERT_GE(tables.size(), 2u);
  for (const Table* t : tables) {
    std::set<std::string> hosts;
    for (const auto& row : t->rows) {
      const auto named = kHostNames.find(row[0]);
      const std::string host = named == kHostNames.end() ? row[0] : named->second;
      hosts.insert(host);
      for (std::size_t column = 1; column < t->header.size(); ++column) {
        const std::vector<std::string> reply = Spans(t->header[column]);
        ASSERT_EQ(reply.size(), 1u) << t->header[column];
        byHost[host].push_back({reply[0], row[column]});
      }
    }
    std::set<std::string> all;
    for (const HostCase& c : AllHostCases()) all.insert(c.name);
    EXPECT_EQ(hosts, all) << t->header[0];
  }
  WebServer web;
  web.Serve("/cat.png", "picture-bytes");
  const std::string done = "\xE2\x9C\x93", none = "\xE2\x80\x94";  // ✓ and —
  for (const auto& [host, cells] : byHost) {
    std::vector<std::pair<std::string, std::string>> library;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      library.push_back({"k" + std::to_string(i), Gbk(ReplacedAll(cells[i].reply, kExampleSite, web.base()))});
    }
    Session s("guide-host-" + host, HostCaseNamed(host), {{"SayZ.ini", Library(library)}});
    ASSERT_TRUE(s.Start()) << host;
    s.TakeCalls();
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::string what = host + ": " + cells[i].reply;
      s.Group("k" + std::to_string(i), "111", "40001");
      std::vector<std::string> sent;
      std::size_t others = 0;
      for (const FakeCall& c : s.TakeCalls()) {
        std::string message;
        if (IsSend(s.hostCase(), c, &message)) sent.push_back(message);
        else ++others;
      }
      if (cells[i].expected == done || cells[i].expected == none) {
        EXPECT_TRUE(sent.empty()) << what;
        EXPECT_EQ(others, cells[i].expected == done ? 1u : 0u) << what;
        continue;
      }
      const std::vector<std::string> expected = Spans(cells[i].expected);
      ASSERT_EQ(expected.size(), 1u) << what;
      ASSERT_EQ(sent.size(), 1u) << what;
      EXPECT_EQ(others, 0u) << what;
      EXPECT_TRUE(Matches(sent[0], ReplacedAll(expected[0], kExampleSite, web.base()), s.host().folder()))
          << what << "\n  sent: " << Utf8(sent[0]);
    }
  }
}

}  // namespace
}  // namespace zoq::testing
