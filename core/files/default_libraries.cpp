#include "core/files/default_libraries.hpp"

#include <initializer_list>
#include <utility>

#include "core/web_addresses.hpp"

namespace zoq {
namespace {

using Entry = std::pair<std::string, std::string>;

std::string Render(std::initializer_list<Entry> entries) {
  std::string out;
  for (const auto& [keyword, reply] : entries) out += "[" + keyword + "]\r\n回复=" + reply + "\r\n";
  return out;
}

const std::string kHelpLocalFiles = "本地图片和语音可直接拖到这[N]自动生成变量";
const std::string kHelpNewEntry = "填写关键词和回复内容点击保存即可[N]也可以使用快捷键CTRL+S";
const std::string kHelpBulkImport =
    "在词库编辑 关键词处 用|来隔开多关键词[N]可一次性批量导入[N]支持快捷键 空格 或 回车(Enter) 快速插入|符号";
const std::string kHelpFillIn =
    "回复内容在此填写[N]橡皮: 擦掉当前触发词和回复内容 CTRL+R[N]插入: 插入多种变量 快捷键 CTRL+D[N]保存: "
    "如无此关键词将新增 如有则为覆盖保存";
const std::string kApiNote = "[N](注: 该网络API非ZOQ提供 可能会失效)";

}  // namespace

std::string DefaultExactLibrary() {
  return Render({
      {"艾特指定人", "[@1357924680]"},
      {"@我", "[@]>随机内容演示<[|]就不艾特你[|]为什么要艾特你[|]我就不，气死你！"},
      {"头像", "[头像]"},
      {"大头像", "[大头]"},
      {"日期", "[日期][N][时间]"},
      {"星期几", "今天星期[星期]"},
      {"我的号码", "[号码]"},
      {"一言", "[一言]"},
      {"舔狗日记", "[舔狗]"},
      {"绿茶语录", "[绿茶]"},
      {"二次元", "[二次元]"},
      {"禁言", "[@][N]被我禁言了120秒..[禁言120]"},
      {"随机内容", "[一言][|][绿茶][|][舔狗][|]今天星期[星期][|]这是第四条[|]支持图片[|]支持语音"},
      {"幸运数字", "[@][N]这次的幸运数字是[数字520]"},
      {"来一份禁言套餐", "[@]一份小套餐[禁言[数字100]][|][@]一份大套餐[禁言[数字600]]"},
      {"我要退群", "[号码] 的愿望已被实现，干掉咯！[踢出]"},
      {"图片", std::string("接口演示: [图接口=") + web::kDemoPictureApi + "]" + kApiNote},
      {"文字", std::string("接口演示: [文接口=") + web::kDemoPoetryApi + "]" + kApiNote},
      {"帮助-本地文件", kHelpLocalFiles},
      {"帮助-新增词条", kHelpNewEntry},
      {"帮助-批量导入", kHelpBulkImport},
      {"触发词在此填写", kHelpFillIn},
  });
}

std::string DefaultFuzzyLibrary() {
  return Render({
      {"1357924680", "你找她干什么呀.？[|]这个号码我知道..[|]ZOQ.?"},
      {"@1357924680", "@她干嘛呀.?"},
      {"撤回演示", "[@]你这条消息有毒，已被我撤回！[撤回]"},
      {"撤回禁言", "[撤回][禁言60]"},
      {"复读", "[消息]"},
      {"目标号码", "[目标]"},
      {"翻译", std::string("[文接口=") + web::kDemoTranslateApi + "[消息]]" +
                   "[N]此为文接口提交参数演示" + kApiNote},
      {"帮助-新增词条", kHelpNewEntry},
      {"帮助-本地文件", kHelpLocalFiles},
      {"帮助-不会设置", std::string("ZOQ·交流论坛 有问题就反馈[N]") + web::kMakerForum + "[N]插件主页也有群号加 可提问"},
      {"帮助-批量导入", kHelpBulkImport},
      {"触发词在此填写", kHelpFillIn},
  });
}

}  // namespace zoq
