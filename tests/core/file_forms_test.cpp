// The form a data file is read in, decided on the whole file: text of the
// code page, whatever it holds, is never taken for UTF-8 without a mark.
// The built-in libraries, every settings file the plug-in writes, and a
// corpus of keyword texts, alone and as the plug-in keeps them. Every form an
// owner's editor saves, taking each change in its own bytes; the forms that
// NUL bytes show; where a file's text does not read whole; random texts of
// each form read against a reference that takes them a character at a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/default_libraries.hpp"
#include "core/files/file_writes.hpp"
#include "core/files/ini_items.hpp"
#include "core/files/text_forms.hpp"
#include "core/settings.hpp"
#include "platform/code_pages.hpp"
#include "tests/core/core_fixture.hpp"
#include "tests/fakehost/fakehost_client.hpp"
#include "text/text.hpp"
#include "ui/settings_window.hpp"

namespace zoq::testing {
namespace {

using namespace std::string_literals;

// Words and phrases of the chat that owners make keywords of (GBK at run
// time, as every text of the sources).
constexpr std::string_view kWords = R"(
早安 午安 晚安 早上好 中午好 下午好 晚上好 你好 您好 大家好 哈喽 嗨 在吗 在不在 有人吗 有人在吗 再见 拜拜 回头见 明天见 晚安好梦 好梦 睡觉 睡了 起床 起床了 醒了 困了 累了 饿了 渴了 冷 热 好冷 好热 下雨了 下雪了 出太阳了
谢谢 多谢 感谢 谢谢你 谢谢大家 不客气 没关系 对不起 抱歉 不好意思 辛苦了 麻烦了 打扰了 请问 请教 求助 救命 帮帮我 帮我 帮个忙
菜单 帮助 功能 指令 命令 说明 教程 签到 打卡 积分 排行 排行榜 抽奖 天气 今日天气 明日天气 明天天气 查天气 翻译 点歌 听歌 来首歌 唱歌 讲个笑话 笑话 段子 故事 讲故事 成语接龙 猜谜 谜语 脑筋急转弯 一言 舔狗日记 毒鸡汤 鸡汤 情话 土味情话 夸我 骂我 夸夸我 安慰我 抱抱 亲亲 摸摸头 举高高 贴贴
禁言 解禁 踢人 撤回 全员禁言 解除禁言 群规 群公告 公告 入群欢迎 欢迎 欢迎新人 欢迎欢迎 退群 拉黑 管理员 群主 群友 新人 老人 潜水 冒泡 水群 灌水 刷屏 广告 举报 投诉
哈哈 哈哈哈 哈哈哈哈 嘿嘿 呵呵 嘻嘻 笑死 笑死我了 无语 好吧 好的 收到 明白 懂了 知道了 真的吗 假的吧 厉害 太强了 强 羡慕 心疼 难过 开心 高兴 生气 委屈 害怕 紧张 激动 感动 无聊 好无聊 好烦 烦死了 郁闷 伤心 想哭 哭了 别哭 加油 冲 冲冲冲 稳 绝了 离谱 真香 牛逼 可以 不行 没问题 当然 算了 随便 都行 好啊 行吧 是吗 是的 不是 对 不对 嗯 嗯嗯 哦 哦哦 啊 哇 哎 唉 嗷 呜呜
吃饭 吃了吗 吃饭了吗 午饭 晚饭 早饭 夜宵 奶茶 咖啡 火锅 烧烤 炸鸡 啤酒 可乐 面条 米饭 饺子 包子 馒头 粽子 月饼 汤圆 水果 西瓜 苹果 香蕉 橘子 葡萄 草莓 零食 外卖 点外卖 请客 红包 发红包 抢红包 谢谢老板 老板大气
我爱你 想你了 喜欢你 爱你 我想你 在干嘛 干嘛呢 睡了吗 起床了吗 上班 下班 上学 放学 放假 周末 假期 作业 考试 复习 期末 及格 挂科 毕业 工作 加班 工资 发工资 摸鱼 请假 迟到 早退 开会 出差 回家 到家了 出门 路上 堵车 地铁 公交 打车 高铁 飞机 旅游 旅行
小猫 猫咪 小狗 狗狗 兔子 熊猫 老虎 狮子 大象 猴子 小鸟 鱼 金鱼 乌龟 仓鼠 宠物 撸猫 养猫 养狗
游戏 打游戏 开黑 上分 掉分 排位 组队 来人 缺人 一起玩 玩吗 带我 大佬 萌新 菜鸡 高手 装备 充值 抽卡 保底 出货 非酋 欧皇 副本 任务 活动 更新 维护 服务器 卡了 掉线 延迟
电影 电视剧 追剧 综艺 动漫 番剧 新番 漫画 小说 看书 读书 音乐 歌曲 歌词 视频 直播 主播 弹幕 点赞 关注 转发 评论 收藏 投币 三连
生日快乐 新年快乐 春节快乐 元宵节快乐 端午节快乐 中秋节快乐 国庆节快乐 圣诞快乐 情人节快乐 节日快乐 恭喜 恭喜发财 万事如意 身体健康 心想事成 大吉大利 发财 好运 祝福
现在几点 几点了 今天几号 今天星期几 星期几 日期 时间 时钟 闹钟 倒计时 提醒 提醒我 备忘录 日历 农历 节气 黄历 运势 星座 今日运势 抽签 求签 算命 占卜 塔罗
头像 大头像 我的号码 号码 群号 艾特我 艾特 图片 来张图 发张图 表情 表情包 斗图 壁纸 美图 头像框 语音 文字 随机 随机数 掷骰子 骰子 石头剪刀布 猜拳 抛硬币 幸运数字
机器人 小助手 助手 主人 管家 客服 人工 人工客服 转人工 你是谁 你叫什么 你几岁 你多大 你是男是女 你会什么 你能干嘛 你真棒 你真笨 笨蛋 傻瓜 坏蛋 讨厌 走开 闭嘴 安静 别说话 说话 理我 别理我 不理你 滚
开 关 开启 关闭 开关 打开 关掉 启用 停用 开始 结束 暂停 继续 重来 重启 刷新 保存 删除 添加 修改 查询 搜索 查找 设置 选项 配置 权限 等级 经验 升级 金币 钻石 会员 兑换 商店 购买 出售 背包 仓库
学习 英语 数学 语文 物理 化学 历史 地理 生物 单词 背单词 题目 答案 解题 计算 算术 公式 问题 提问 回答 问答 百科 知识 常识 科普
天气好 天气不错 今天天气 晴天 阴天 雨天 多云 刮风 台风 雾霾 空气 温度 湿度 穿衣 带伞 紫外线 防晒
早点睡 早点休息 注意身体 多喝热水 照顾好自己 别熬夜 熬夜 失眠 做梦 梦见 噩梦 午睡 打盹 发呆 摸鱼中 忙 很忙 不忙 有空 没空 等等 等一下 马上 稍等 快点 慢点 来了 走了 去哪 在哪 哪里 这里 那里
)";

std::vector<std::string> Words() {
  std::vector<std::string> words;
  for (std::size_t at = 0, end; at < kWords.size(); at = end + 1) {
    end = std::min(kWords.find_first_of(" \n", at), kWords.size());
    if (end > at) words.emplace_back(kWords.substr(at, end - at));
  }
  return words;
}

// Every GBK character whose two bytes are a character of UTF-8 as well (猫
// is C3 A8, è): what a file of them alone would be misread as.
std::vector<std::string> TwoByteUtf8Characters() {
  std::vector<std::string> found;
  for (int lead = 0xC2; lead <= 0xDF; ++lead) {
    for (int trail = 0x80; trail <= 0xBF; ++trail) {
      const std::string c{static_cast<char>(lead), static_cast<char>(trail)};
      const std::wstring wide = platform::GbkToWide(c);
      if (wide.size() == 1 && platform::WideToGbk(wide) == c) found.push_back(c);
    }
  }
  return found;
}

// Several thousand keyword texts: each word alone, with a particle or a
// mark after it, two words together, in brackets; each of the characters
// above alone, two and three of them together; switch values.
std::vector<std::string> KeywordTexts() {
  const std::vector<std::string> words = Words(), twos = TwoByteUtf8Characters();
  const std::vector<std::string> after = {"了", "吗", "呀", "啊", "呢", "吧", "哦", "啦", "!", "?", "~", "。"};
  std::vector<std::string> texts = words;
  const std::size_t n = words.size(), m = twos.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (const std::string& a : after) texts.push_back(words[i] + a);
    texts.push_back(words[i] + words[(i * 37 + 11) % n]);
    texts.push_back(words[i] + " " + words[(i * 53 + 7) % n]);
    texts.push_back("[" + words[i] + "]");
  }
  for (std::size_t i = 0; i < m; ++i) {
    texts.push_back(twos[i]);
    texts.push_back(twos[i] + twos[(i + 1) % m]);
    texts.push_back(twos[i] + twos[(i * 7 + 3) % m] + twos[(i * 11 + 5) % m]);
  }
  for (const char* s : {"开", "关", "开关", "关开", "开开关关", "开 关", "开/关"}) texts.emplace_back(s);
  return texts;
}

// Read as the bytes themselves, by every reader of a data file.
void ExpectReadAsGbk(const std::string& bytes, const std::string& what) {
  EXPECT_EQ(platform::FileFormOf(bytes), platform::FileForm::Ansi) << what;
  EXPECT_EQ(platform::FileTextAsAnsi(bytes), bytes) << what;
  EXPECT_EQ(platform::FileTextAsGb18030(bytes), bytes) << what;
  EXPECT_EQ(FormOf(bytes), TextForm::CodePage) << what;
  EXPECT_EQ(Gb18030TextOf(bytes), bytes) << what;
}

// The corpus holds texts that are UTF-8 of two-byte characters only (a rule
// that took any such file for UTF-8 would misread them), none of three.
TEST(DataFileForms, KeywordTextsOfGbkAreNeverTakenForUtf8) {
  const std::vector<std::string> texts = KeywordTexts(), twos = TwoByteUtf8Characters();
  ASSERT_GE(texts.size(), 10000u);
  ASSERT_GE(twos.size(), 930u);
  std::map<int, int> longest;  // texts by their longest character read as UTF-8
  std::string bare, library, admin;
  for (const std::string& t : texts) {
    ++longest[text::LongestUtf8Character(t)];
    const std::string section = "[" + t + "]\r\n回复=" + t + "\r\n";
    const std::string items = "[admin]\r\n主人号码=" + t + "\r\n开启返回文本=" + t + "\r\n[新增词库]\r\n待添词汇=" + t + "\r\n";
    for (const std::string& file : {t, t + "\r\n", section, items}) ExpectReadAsGbk(file, t);
    bare += t + "\r\n", library += section, admin += items;
  }
  for (const std::string& file : {bare, library, admin}) ExpectReadAsGbk(file, file.substr(0, 40));
  EXPECT_EQ(longest[3] + longest[4], 0);
  EXPECT_GE(longest[2], 5000);
  for (const char* c : {"猫", "路", "没", "模", "录", "谢谢", "小猫", "学习"}) EXPECT_EQ(text::LongestUtf8Character(c), 2) << c;
}

using DataFileFormsTest = CoreTest;

// The libraries written where none is, and the settings file with each key
// the plug-in writes alone (as the first command or click writes it) and
// all of them together, with every value it writes of its own.
TEST_F(DataFileFormsTest, WhatThePlugInWritesIsNeverTakenForUtf8) {
  LoadSettings();
  for (const std::string& file : {DefaultExactLibrary(), DefaultFuzzyLibrary(), ReadFile(ExactLibraryFile()),
                                  ReadFile(FuzzyLibraryFile())}) {
    ExpectReadAsGbk(file, file.substr(0, 40));
  }
  std::vector<std::pair<std::string, std::string>> items;
  for (const AdminItem& item : kAdminItems) {
    for (const std::string_view value : {item.fallback, std::string_view(kSwitchOn), std::string_view(kSwitchOff)}) {
      items.emplace_back(std::string(item.key), std::string(value));
    }
  }
  for (const ui::CommandReturnText& c : ui::CommandReturnTexts()) items.emplace_back(c.returnText, c.fallback);
  for (const char* text : {"关键词回复已开启", "关键词回复已关闭", "删除成功", kDefaultStageConfirmation}) {
    items.emplace_back("开启返回文本", text);
  }
  for (const auto& [key, value] : items) {
    DeleteFileA(AdminFile().c_str());
    ASSERT_TRUE(WriteAdminItem(key, value));
    ExpectReadAsGbk(ReadFile(AdminFile()), key + "=" + value);
  }
  for (const auto& [key, value] : items) ASSERT_TRUE(WriteAdminItem(key, value));
  ASSERT_TRUE(WriteIniItem(AdminFile(), kStagingSection, std::string(kStagingKey), "早安"));
  ExpectReadAsGbk(ReadFile(AdminFile()), "all");
}

// ---- Every form of an owner's editor ----------------------------------------

struct EditorForm {
  const char* name;
  const char* mark;
  enum { Gbk, Utf8, Utf16le, Utf16be } encoding;
};
constexpr EditorForm kEditorForms[] = {
    {"GBK", "", EditorForm::Gbk},           {"UTF-8", "", EditorForm::Utf8},
    {"UTF-8 BOM", "\xEF\xBB\xBF", EditorForm::Utf8}, {"UTF-16LE BOM", "\xFF\xFE", EditorForm::Utf16le},
    {"UTF-16BE BOM", "\xFE\xFF", EditorForm::Utf16be}, {"UTF-16LE", "", EditorForm::Utf16le},
    {"UTF-16BE", "", EditorForm::Utf16be}};

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                           wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// Characters (UTF-16) in UTF-8.
std::string Utf8Bytes(std::wstring_view wide) {
  std::string bytes(3 * wide.size(), '\0');
  bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                            bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
  return bytes;
}

// Units of UTF-16 as bytes of the order.
std::string BytesOfUnits(std::wstring_view units, bool little) {
  std::string out;
  for (const wchar_t u : units) {
    out += {static_cast<char>(little ? u & 0xFF : u >> 8), static_cast<char>(little ? u >> 8 : u & 0xFF)};
  }
  return out;
}

// A text (UTF-8) as an editor of the form saves it; of GBK, each character
// the code page lacks in GB18030 (as a window writes it).
std::string InForm(const std::string& utf8, const EditorForm& form) {
  const std::wstring wide = Wide(utf8);
  std::string out = form.mark;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const std::size_t n = wide[i] >= 0xD800 && wide[i] <= 0xDBFF ? 2 : 1;
    const std::wstring_view c(wide.data() + i, n);
    i += n - 1;
    if (form.encoding == EditorForm::Gbk) {
      const std::string gbk = platform::WideToAnsiExact(c);
      out += gbk.empty() ? platform::WideToGb18030(c) : gbk;
    } else if (form.encoding == EditorForm::Utf8) {
      out += Utf8Bytes(c);
    } else {
      out += BytesOfUnits(c, form.encoding == EditorForm::Utf16le);
    }
  }
  return out;
}

IniChange SetIn(const std::string& section, const std::string& key, const std::string& value) { return {section, key, value}; }

// Mended: an add to a file of UTF-8 or UTF-16 was checked through the whole
// file turned into GB18030 (the euro sign of code page 936, 0x80, is no
// character there: the add was refused, and A2 E3 came back as 0x80); UTF-16
// without a mark was read as GBK, and written into as GBK; new lines ended
// in CR LF whatever the file's own line end, and a last line without one
// gained one (also when the last section was deleted). Each change, in every form, gives the file's own bytes with
// just that change, in the form, with the file's line ends, and reads back
// as set.
TEST(DataFileForms, EveryFormTakesEachChangeInItsOwnBytesAndLineEnds) {
  const std::string file = FreshTestRunFolder("file-forms-changes") + "\\SayZ.ini";
  const std::string emoji = platform::WideToGb18030(L"\U0001F600");  // as the window hands it over
  const struct {
    const char* what;
    std::string before;
    std::vector<IniChange> changes;
    std::string after;
    std::vector<std::array<std::string, 3>> reads;  // section, key, the value read (GBK)
    bool gbkReads = true;  // what the code page lacks reads as "?" in the forms of Unicode alone
  } rows[] = {
      {"an add, the euro sign", Utf8(u8"[早安]\r\n回复=早上好\r\n"), {SetIn("欧元\x80", "回复", "\x80uro")},
       Utf8(u8"[早安]\r\n回复=早上好\r\n[欧元€]\r\n回复=€uro\r\n"), {{"欧元\x80", "回复", "\x80uro"}}},
      {"an add after a last line without a line end, LF", Utf8(u8"[早安]\n回复=早上好"), {SetIn("午安", "回复", "好")},
       Utf8(u8"[早安]\n回复=早上好\n[午安]\n回复=好"), {{"午安", "回复", "好"}, {"早安", "回复", "早上好"}}},
      {"a set, CR", Utf8(u8"[admin]\r主人号码=1\r开启返回文本=旧\r"), {SetIn("admin", "开启返回文本", "新\x80")},
       Utf8(u8"[admin]\r主人号码=1\r开启返回文本=新€\r"), {{"admin", "开启返回文本", "新\x80"}, {"admin", "主人号码", "1"}}},
      {"a set of the last line", Utf8(u8"[admin]\r\n主人号码=1"), {SetIn("admin", "主人号码", "2")},
       Utf8(u8"[admin]\r\n主人号码=2"), {{"admin", "主人号码", "2"}}},
      {"a key added to a section, LF", Utf8(u8"[admin]\n主人号码=1\n[b]\n"), {SetIn("admin", "插件开关", "开")},
       Utf8(u8"[admin]\n主人号码=1\n插件开关=开\n[b]\n"), {{"admin", "插件开关", "开"}}},
      {"a delete", Utf8(u8"[早安]\r\n回复=1\r\n[€]\r\n回复=2\r\n[晚安]\r\n回复=3\r\n"), {{"\x80", std::nullopt, std::nullopt}},
       Utf8(u8"[早安]\r\n回复=1\r\n[晚安]\r\n回复=3\r\n"), {{"晚安", "回复", "3"}, {"\x80", "回复", ""}}},
      {"a key deleted", Utf8(u8"[新增词库]\r\n待添词汇=€\r\nx=1\r\n"), {{"新增词库", "待添词汇", std::nullopt}},
       Utf8(u8"[新增词库]\r\nx=1\r\n"), {{"新增词库", "x", "1"}}},
      {"the last section deleted, the file without a final line end", Utf8(u8"[早安]\r\n回复=1\r\n[晚安]\r\n回复=3"),
       {{"晚安", std::nullopt, std::nullopt}}, Utf8(u8"[早安]\r\n回复=1"), {{"早安", "回复", "1"}, {"晚安", "回复", ""}}},
      // (Keywords of an emoji and another character before a letter and a digit: names of
      // their own.)
      {"the window's save of several keywords, an emoji", Utf8(u8"[早安]\r\n回复=早上好\r\n"),
       {SetIn("早安", "回复", emoji), SetIn("笑|", "回复", emoji + "!"), SetIn(emoji + "早x1", "回复", "1"),
        SetIn(emoji + "早y1", "回复", "2")},
       Utf8(u8"[早安]\r\n回复=😀\r\n[笑|]\r\n回复=😀!\r\n[😀早x1]\r\n回复=1\r\n[😀早y1]\r\n回复=2\r\n"),
       {{"早安", "回复", "?"}, {"笑|", "回复", "?!"}, {emoji + "早x1", "回复", "1"}, {emoji + "早y1", "回复", "2"}}, false},
      {"the pair A2 E3, a character of the code page's own", Utf8(u8"[早]\r\nk=1\r\n"), {SetIn("早", "k", "\xA2\xE3")},
       Utf8(u8"[早]\r\nk=\uE76C\r\n"), {{"早", "k", "\xA2\xE3"}}},
      {"a character the code page lacks, of four bytes 81 30 ..", Utf8(u8"[早]\r\nk=1\r\n"),
       {SetIn("早", "k", platform::WideToGb18030(L"ç"))}, Utf8(u8"[早]\r\nk=ç\r\n"), {{"早", "k", "?"}}, false},
      {"a reply's emoji read, one \"?\" a character", Utf8(u8"[表情]\r\n回复=😀好😀\r\n"), {},
       Utf8(u8"[表情]\r\n回复=😀好😀\r\n"), {{"表情", "回复", "?好?"}}, false},
  };
  for (const auto& row : rows) {
    for (const EditorForm& form : kEditorForms) {
      SCOPED_TRACE(std::string(row.what) + ", " + form.name);
      platform::WriteWholeFile(file, InForm(row.before, form));
      EXPECT_TRUE(WriteIniChanges(file, row.changes));
      EXPECT_EQ(ReadFile(file), InForm(row.after, form));
      if (form.encoding == EditorForm::Gbk && !row.gbkReads) continue;
      for (const auto& [section, key, value] : row.reads) EXPECT_EQ(ReadIniItem(file, section, key), value) << key;
    }
  }
}

// A change to a file of UTF-8 without a mark that would leave it without a
// character of three bytes (so that it would read as GBK) is made, and the
// file gets the mark of UTF-8; one that leaves ASCII alone needs none (it
// reads alike either way). UTF-16 without a mark that would not show its
// NUL bytes any more gets the mark of its order. (Mended: the delete was
// refused, and the owner told nothing.) A file whose text does not read
// whole is never written.
TEST(DataFileForms, AChangeKeepsTheFormReadOrIsNotMade) {
  const std::string file = FreshTestRunFolder("file-forms-kept") + "\\SayZ.ini";
  const std::string le = "\xFF\xFE", cut = InForm(Utf8(u8"[a]\r\nk=早"), kEditorForms[5]);
  const struct {
    std::string before;
    IniChange change;
    std::string after;  // none: not made, the file as it was
    TextForm form;
    const char* read = nullptr;  // the value of a.k read after
  } rows[] = {
      {Utf8(u8";café\r\n[早安]\r\n回复=早上好\r\n"), {"早安", std::nullopt, std::nullopt}, Utf8(u8"\uFEFF;café\r\n"),
       TextForm::MarkedUtf8},
      {Utf8(u8"[早安]\r\n回复=1\r\n[a]\r\nk=v\r\n"), {"早安", std::nullopt, std::nullopt}, "[a]\r\nk=v\r\n",
       TextForm::CodePage},
      {Utf8(u8"[a]\r\nk=早\r\n"), {"a", "k", "\xA8\xA6"}, Utf8(u8"\uFEFF[a]\r\nk=é\r\n"), TextForm::MarkedUtf8},
      {InForm(Utf8(u8"好\r[早安]\r回复=1\r"), kEditorForms[5]), {"早安", std::nullopt, std::nullopt},
       le + InForm(Utf8(u8"好\r"), kEditorForms[5]), TextForm::Utf16le},
      // Not read whole: a half of a surrogate pair, a byte after the last unit, a byte that is no UTF-8 after a mark.
      {le + InForm(Utf8(u8"[a]\r\nk=1\r\n"), kEditorForms[5]) + "\x00\xD8"s, {"a", "k", "2"}, "", TextForm::Utf16le},
      // What reads of such a file: "?" for the half alone, the character after it as it is.
      {le + InForm(Utf8(u8"[a]\r\nk="), kEditorForms[5]) + "\x00\xD8"s + InForm(Utf8(u8"\uE76C\r\n"), kEditorForms[5]),
       {"a", "k", "2"}, "", TextForm::Utf16le, "?\xA2\xE3"},
      {cut + "\x0A", {"a", "k", "2"}, "", TextForm::BareUtf16le},
      {le + InForm(Utf8(u8"[a]\r\nk=1\r\n"), kEditorForms[5]) + "x", {"a", std::nullopt, std::nullopt}, "",
       TextForm::Utf16le},
      {Utf8(u8"\uFEFF[a]\r\nk=早\r\n") + "\xD4\xE7\r\n", {"a", "k", "2"}, "", TextForm::MarkedUtf8},
      // A change that would leave a character first that is the mark of UTF-8 (U+FEFF, which
      // reads as "?" there), so that the file would read otherwise, is not made.
      {Utf8(u8"k=1\r\n\uFEFF;x\r\n[早]\r\n回复=1\r\n"), {"", "k", std::nullopt}, "", TextForm::Utf8},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.before.substr(0, 12));
    platform::WriteWholeFile(file, row.before);
    EXPECT_EQ(WriteIniChanges(file, {row.change}), !row.after.empty());
    EXPECT_EQ(ReadFile(file), row.after.empty() ? row.before : row.after);
    EXPECT_EQ(FormOf(ReadFile(file)), row.form);
    if (row.read) {
      EXPECT_EQ(ReadIniItem(file, "a", "k"), row.read);
    }
  }
}

// The NUL bytes of UTF-16 without a mark show its order; text of the code
// page with a NUL byte or a few beside its signs is read as the code page.
TEST(DataFileForms, NulBytesShowUtf16WithoutAMark) {
  const std::string ini = Utf8(u8"[早安]\r\n回复=上午好，一\r\n");
  const struct {
    std::string bytes;
    TextForm form;
  } rows[] = {
      {InForm(ini, kEditorForms[5]), TextForm::BareUtf16le},
      {InForm(ini, kEditorForms[6]), TextForm::BareUtf16be},
      {InForm(Utf8(u8"[a]"), kEditorForms[5]), TextForm::BareUtf16le},
      {InForm(ini, kEditorForms[3]), TextForm::Utf16le},
      {"[a]\r\nk=a\0b\r\n"s, TextForm::CodePage},
      {"[a]\r\nk\0=\0[\0]\0\r\n"s, TextForm::CodePage},
      {"[a]\r\nk=1\0\r\nj=2\0\r\n"s, TextForm::CodePage},
      {"[a]\nk\0=1\nj\0=2\n"s, TextForm::CodePage},
      {InForm(ini, kEditorForms[1]), TextForm::Utf8},
      // A character whose high byte is that of a line end (ਕ, U+0A15) for one line end
      // unit in eight at most: eight of them, and seven.
      {InForm(Utf8(u8"[a]\r\nk=ਕ\r\n\r\n\r\n"), kEditorForms[5]), TextForm::BareUtf16le},
      {InForm(Utf8(u8"[a]\r\nk=ਕ\r\n\r\n\r\n"), kEditorForms[6]), TextForm::BareUtf16be},
      {InForm(Utf8(u8"[a]\r\nk=ਕ\r\n\r\n\r"), kEditorForms[5]), TextForm::CodePage},
      // Signs more than four times as many as read the other way round: "[a]", a line end and
      // "=" against 嬀 (U+5B00: "[" read big-endian); letters are no sign.
      {InForm(Utf8(u8"[a]\r\nk=嬀"), kEditorForms[5]), TextForm::BareUtf16le},
      {InForm(Utf8(u8"key"), kEditorForms[5]), TextForm::CodePage},
  };
  for (const auto& row : rows) EXPECT_EQ(FormOf(row.bytes), row.form) << &row - rows;
}

// Where a file mixes two forms, or is cut inside a character: the line the
// settings window names.
TEST(DataFileForms, AFileThatMixesTwoFormsIsToldWithALine) {
  const std::string utf8 = Utf8(u8"[早安]\r\n回复=早上好\r\n[晚安]\r\n回复=好梦\r\n");
  const std::string le = "\xFF\xFE" + InForm(Utf8(u8"[早安]\r\n回复=早上好\r\n"), kEditorForms[5]);
  using Kind = FormTrouble::Kind;
  const struct {
    std::string bytes;
    Kind kind;
    std::size_t line;
  } rows[] = {
      {utf8, Kind::None, 0},
      {utf8 + "[\xCE\xE7\xB0\xB2]\r\n" + utf8, Kind::Mixed, 5},
      {utf8 + Utf8(u8"[午安]\n回复=下午好").substr(0, 24), Kind::Mixed, 6},
      {Utf8(u8"\uFEFF[a]\r\n") + "k=\xD4\xE7\r\n", Kind::Mixed, 2},
      {"[\xCE\xE7]\r\nk=\xE4\xA1\xB0\r\nj=\xBF\xAA\r\n", Kind::None, 0},
      // More lines of UTF-8 with a character of three bytes than lines that are none: two
      // against one mixes, one against one is the code page's text (洹 is E4 A1 B0 in GBK).
      {Utf8(u8"[早安]\r\n") + "k=\xBF\xAA\r\n" + Utf8(u8"j=晚\r\n"), Kind::Mixed, 2},
      {"[\xCE\xE7]\r\nk=\xE4\xA1\xB0\r\n", Kind::None, 0},
      // Lines of two-byte characters alone are not counted as UTF-8 (猫 is C3 A8).
      {Utf8(u8"[早安]\r\nk=é\r\nj=è\r\n") + "x=\xBF\xAA\r\n", Kind::None, 0},
      // A GBK character whose lead byte begins one of three bytes in UTF-8 (炫 is EC C5).
      {Utf8(u8"[早安]\r\n回复=早\r\n") + "k=\xEC\xC5\r\n", Kind::Mixed, 3},
      // Lines end in LF or CR alone as in CRLF, a blank one is a line, and the first line
      // may be the one named.
      {Utf8(u8"[早安]\n回复=早\n\n[晚安]\n") + "k=\xCE\xE7\n", Kind::Mixed, 5},
      {"[\xCE\xE7]\r" + Utf8(u8"回复=早\r[晚安]\r回复=好\r"), Kind::Mixed, 1},
      {Utf8(u8"\uFEFF[a]\rb=1\r\r") + "k=\xD4\xE7\r", Kind::Mixed, 4},
      {Utf8(u8"\uFEFF[a]\nb=1\n") + "k=\xD4\xE7", Kind::Mixed, 3},
      // Cut inside its last character with as many lines of UTF-8 as not: a character of
      // three bytes after one byte or two, one of four after three, one of two after its
      // first; a last byte that begins no character of UTF-8 (C1), or ASCII alone before
      // the cut, is the code page's text.
      {Utf8(u8"[早]\r\nk=") + "\xE6\x97", Kind::Mixed, 2},
      {Utf8(u8"[早]\r\nk=") + "\xE6", Kind::Mixed, 2},
      {Utf8(u8"[早]\r\nk=") + "\xF0\x9F\x98", Kind::Mixed, 2},
      {Utf8(u8"[早]\r\nk=") + "\xC2", Kind::Mixed, 2},
      {Utf8(u8"[早]\r\nk=") + "\xC1", Kind::None, 0},
      {"[a]\r\nk=\xE6\x97", Kind::None, 0},
      {le + "\x00\xD8"s + InForm(Utf8(u8"\r\n"), kEditorForms[5]), Kind::Broken, 3},
      {le + "x", Kind::Broken, 3},
      {le + std::string(2, '\0'), Kind::Broken, 3},
      {"\xFF\xFE[\0a\0]\0"s, Kind::None, 0},
  };
  for (const auto& row : rows) {
    const FormTrouble trouble = TroubleOf(row.bytes);
    EXPECT_EQ(trouble.kind, row.kind) << &row - rows;
    EXPECT_EQ(trouble.line, row.line) << &row - rows;
  }
}

// ---- Each form read against a reference, a character at a time ------------

// What the random texts below are made of: characters (ASCII with the signs
// of INI lines and runs of it, Chinese, the euro sign, characters the code
// page lacks of two, three and four bytes of UTF-8, the NUL character), and
// bytes that are no UTF-8 or units of UTF-16 that are no character alone.
struct Piece {
  std::wstring characters;  // none: the bytes or units below
  std::string utf8;         // in UTF-8 (none: not in it)
  std::wstring units;       // in UTF-16 (none: not in it)
};
const std::vector<Piece>& Pieces() {
  static const std::vector<Piece> pieces = {
      {L"a"}, {L"Zq9"}, {L" "}, {L"\r\n"}, {L"\n"}, {L"\r"}, {L"="}, {L"["}, {L"]"}, {L"[k]\r\nv="},
      {L"abcdefghijklmnopqrstu"}, {L"0123456789"}, {L"关"}, {L"键词"}, {L"回复好的"}, {L"\u20AC"}, {L"\u00E9"},
      {L"\u00B7"}, {L"\uD55C"}, {L"\U0001F600"}, {std::wstring(1, L'\0')},
      // Bytes that are no UTF-8: a byte that follows one alone, a lead byte cut short, overlong
      // forms, a surrogate, a lead byte past U+10FFFF and bytes that lead nothing.
      {{}, "\x80"}, {{}, "\xBF"}, {{}, "\xE4\xB8"}, {{}, "\xF0\x9F\x98"}, {{}, "\xC0\xAF"}, {{}, "\xE0\x80\xAF"},
      {{}, "\xED\xA0\x80"}, {{}, "\xF4\x90\x80\x80"}, {{}, "\xF5"}, {{}, "\xFF"},
      // Units of UTF-16 that are no character alone: either half of a pair, NUL.
      {{}, {}, L"\xD83D"}, {{}, {}, L"\xDE00"}, {{}, {}, std::wstring(1, L'\0')}};
  return pieces;
}

// A character's bytes in code page 936, as Windows writes it; none where it
// has none that read back as it.
std::string InCodePage(const std::wstring& c) {
  char bytes[8];
  BOOL lacking = FALSE;
  const int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, c.data(), static_cast<int>(c.size()), bytes, 8,
                                    nullptr, &lacking);
  wchar_t back[4];
  const bool exact = n > 0 && !lacking &&
                     MultiByteToWideChar(936, 0, bytes, n, back, 4) == static_cast<int>(c.size()) &&
                     std::wstring(back, c.size()) == c;
  return exact ? std::string(bytes, static_cast<std::size_t>(n)) : std::string();
}

// What a file of the form reads as, taken a character (or bytes that are
// none) at a time: the text as held, the text a change is made in (none
// where a byte is no character), the counts, whether it is exact, and where
// characters begin (in the text as held, in the file's bytes).
struct Reference {
  std::string held;
  std::optional<std::string> change = std::string();
  FormCounts counts;
  bool exact = true;
  std::set<std::pair<std::size_t, std::size_t>> beginnings;
};
Reference ReferenceOf(const EditorForm& form, const std::string& bytes) {
  Reference r;
  std::size_t at = std::string_view(form.mark).size();
  r.beginnings.insert({0, at});
  // A character (none: bytes that are none) that ends at `end`.
  const auto take = [&](std::optional<std::wstring> c, std::size_t end) {
    if (!c) {
      r.held += '?', r.change.reset(), r.exact = false;
    } else if (*c == std::wstring(1, L'\0')) {
      r.held += '\0';
      if (r.change) *r.change += '\0';
    } else {
      const std::string gbk = InCodePage(*c);
      r.held += gbk.empty() ? "?" : gbk;
      if (r.change) *r.change += gbk.empty() ? platform::WideToGb18030(*c) : gbk;
    }
    at = end;
    r.beginnings.insert({r.held.size(), at});
  };
  const auto byte = [&](std::size_t i) -> unsigned { return static_cast<unsigned char>(bytes[i]); };
  if (form.encoding == EditorForm::Utf8) {
    while (at < bytes.size()) {
      // The well-formed sequences of UTF-8: by the lead byte, how many bytes
      // and the range of the one after it (the others 80..BF).
      const unsigned lead = byte(at), from = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80,
                     to = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
      unsigned length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
      for (unsigned k = 1; k < length; ++k) {
        if (at + k >= bytes.size() || byte(at + k) < (k == 1 ? from : 0x80) || byte(at + k) > (k == 1 ? to : 0xBF)) {
          length = 0;
        }
      }
      if (length == 0) {
        take(std::nullopt, at + 1);
        continue;
      }
      wchar_t wide[2];
      const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + at, static_cast<int>(length),
                                        wide, 2);
      r.counts.nonAscii += length > 1, r.counts.longUtf8 += length > 2;
      take(std::wstring(wide, static_cast<std::size_t>(std::max(n, 0))), at + length);
    }
    return r;
  }
  const bool little = form.encoding == EditorForm::Utf16le;
  const auto unit = [&](std::size_t i) -> wchar_t {
    return static_cast<wchar_t>(little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1));
  };
  const auto isLineEnd = [](unsigned b) { return b == '\r' || b == '\n'; };
  const auto isSign = [&](unsigned b) { return isLineEnd(b) || b == '=' || b == '[' || b == ']'; };
  for (std::size_t i = at; std::string_view(form.mark).empty() && i + 2 <= bytes.size(); i += 2) {
    const unsigned a = byte(i), b = byte(i + 1);
    r.counts.nuls += (a == 0) + (b == 0);
    r.counts.signs[0] += b == 0 && isSign(a), r.counts.lineEnds[0] += b == 0 && isLineEnd(a);
    r.counts.signs[1] += a == 0 && isSign(b), r.counts.lineEnds[1] += a == 0 && isLineEnd(b);
    r.counts.misplacedLineEnds[0] += isLineEnd(b), r.counts.misplacedLineEnds[1] += isLineEnd(a);
  }
  while (at + 2 <= bytes.size()) {
    const wchar_t u = unit(at);
    const bool high = u >= 0xD800 && u <= 0xDBFF, alone = u == 0 || (u >= 0xD800 && u <= 0xDFFF);
    if (high && at + 4 <= bytes.size() && unit(at + 2) >= 0xDC00 && unit(at + 2) <= 0xDFFF) {
      take(std::wstring{u, unit(at + 2)}, at + 4);
    } else {
      take(alone ? std::nullopt : std::optional(std::wstring(1, u)), at + 2);
    }
  }
  if (at != bytes.size()) r.exact = false, r.change.reset();
  return r;
}

std::array<std::int64_t, 9> CountsOf(const FormCounts& c) {
  return {c.longUtf8,    c.nonAscii,    c.nuls, c.signs[0], c.signs[1], c.lineEnds[0], c.lineEnds[1],
          c.misplacedLineEnds[0], c.misplacedLineEnds[1]};
}

// Where two texts first differ, with the bytes about it; empty where they
// do not.
std::string FirstDifference(const std::string& got, const std::string& want) {
  if (got == want) return {};
  const auto at = static_cast<std::size_t>(std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first -
                                           got.begin());
  const auto hex = [&](const std::string& t) {
    std::string h;
    for (std::size_t i = at >= 8 ? at - 8 : 0; i < std::min(t.size(), at + 8); ++i) {
      h += {"0123456789ABCDEF"[static_cast<unsigned char>(t[i]) >> 4], "0123456789ABCDEF"[t[i] & 0xF],
            i + 1 == at ? '|' : ' '};
    }
    return h;
  };
  return "at " + std::to_string(at) + " of " + std::to_string(got.size()) + "/" + std::to_string(want.size()) +
         ": " + hex(got) + "against " + hex(want);
}

// Random texts of each form, of many lengths (short ones, ones about the
// blocks of 1 KiB the decodings take, ending a byte or three into the last
// bytes they take at once), read as a reference takes them a character at a
// time: the text as held, the text a change is made in, the counts, whether
// it is exact and where its marks are. (The decodings take Chinese text and
// ASCII a run at a time.)
TEST(DataFileForms, RandomTextsOfEachFormReadAsTheirCharactersOneByOne) {
  constexpr unsigned kSeed = 20240611;
  const struct {
    const EditorForm& form;
    std::wstring head;    // before the random text: what makes the form judged
    bool noneOfNul;       // no NUL character, which a file without a mark may not hold
    bool oddByte;         // a byte after the last unit
  } rows[] = {
      {kEditorForms[1], L"[早安]\r\n", true, false},  {kEditorForms[2], L"", false, false},
      {kEditorForms[3], L"", false, false},           {kEditorForms[4], L"", false, false},
      {kEditorForms[3], L"", false, true},            {kEditorForms[5], L"[a]\r\nk=v\r\n", false, false},
      {kEditorForms[6], L"[a]\r\nk=v\r\n", false, false},
  };
  std::mt19937 random(kSeed);
  int texts = 0;
  for (const auto& row : rows) {
    const std::size_t mark = std::string_view(row.form.mark).size();
    const bool utf8 = row.form.encoding == EditorForm::Utf8;
    std::vector<const Piece*> usable;
    for (const Piece& p : Pieces()) {
      const bool fits = !p.characters.empty() ? !(row.noneOfNul && p.characters[0] == 0)
                        : utf8                ? !p.utf8.empty() && mark > 0
                                              : !p.units.empty();
      if (fits) usable.push_back(&p);
    }
    for (const std::size_t length : {0, 1, 2, 3, 5, 7, 8, 9, 15, 17, 31, 40, 255, 256, 257, 300, 340, 341, 342, 343,
                                     511, 512, 513, 600, 1023, 1024, 1025, 2000, 3000}) {
      for (int sample = 0; sample < 2; ++sample, ++texts) {
        std::string bytes = row.form.mark;
        for (std::size_t k = 0; k <= length; ++k) {
          const Piece& p = k == 0 ? Piece{row.head} : *usable[random() % usable.size()];
          const std::wstring& units = p.characters.empty() ? p.units : p.characters;
          bytes += !utf8                   ? BytesOfUnits(units, row.form.encoding == EditorForm::Utf16le)
                   : p.characters.empty() ? p.utf8
                                          : Utf8Bytes(units);
        }
        if (row.oddByte) bytes += 'x';
        SCOPED_TRACE(std::string(row.form.name) + (row.oddByte ? " and a byte" : "") + ", " + std::to_string(length) +
                     " pieces, text " + std::to_string(texts) + " from seed " + std::to_string(kSeed));
        const Reference want = ReferenceOf(row.form, bytes);
        const FileText got = ReadFileText(bytes);
        ASSERT_TRUE(got.unicode);
        const TextForm form = got.unicode->form;
        EXPECT_EQ(form, FormOf(bytes));
        EXPECT_TRUE(utf8 ? form == (mark > 0 ? TextForm::MarkedUtf8 : TextForm::Utf8)
                    : mark > 0 ? form == TextForm::Utf16le || form == TextForm::Utf16be
                               : form == TextForm::BareUtf16le || form == TextForm::BareUtf16be);
        EXPECT_EQ(FirstDifference(got.text, want.held), "");
        EXPECT_EQ(got.unicode->exact, want.exact);
        EXPECT_EQ(CountsOf(got.unicode->counts), CountsOf(want.counts));
        for (const UnicodeFile::Mark& m : got.unicode->marks) {
          EXPECT_TRUE(want.beginnings.count({m.text, m.bytes})) << m.text << " " << m.bytes;
        }
        const std::optional<std::string> change = TextToChange(form, std::string_view(bytes).substr(mark));
        ASSERT_EQ(change.has_value(), want.change.has_value());
        if (change) {
          EXPECT_EQ(FirstDifference(*change, *want.change), "");
        }
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace zoq::testing
