// The JSON answers read into records: notices, balance and gifts, level
// information, notice readers, photo wall, file link, member info, group
// settings, group files and the administrator list.
#include "hosts/dll/myqq/myqq_host_api.hpp"
#include "hosts/dll/myqq/myqq_reading.hpp"

namespace zoq {

using myqq::At;
using myqq::FlagAt;
using myqq::JsonTextAt;
using myqq::NumberAt;
using myqq::TextAt;

namespace {

GroupNoticeRecord Notice(const json::ScriptJson& doc, const std::string& p, std::int32_t fromInst) {
  GroupNoticeRecord r;
  r.fid = TextAt(doc, p + ".fid");
  r.title = TextAt(doc, p + ".msg.title");
  r.text = text::ReplaceAll(TextAt(doc, p + ".msg.text"), "&#10;", "\r\n");
  r.u = JsonTextAt(doc, p + ".u");
  r.fromInst = fromInst;
  r.pubt = JsonTextAt(doc, p + ".pubt");
  return r;
}

MyQqAdminEntry Admin(const json::ScriptJson& doc, const std::string& p, bool nickAsJson) {
  return {JsonTextAt(doc, p + ".uin"), doc.GetText(p + ".nick", nickAsJson), FlagAt(doc, p + ".owner"),
          FlagAt(doc, p + ".oper")};
}

}  // namespace

std::string MyQqHostApi::Api_GetNotice(const std::string& a, const std::string& b,
                                       std::vector<GroupNoticeRecord>* notices) {
  const std::string answer = NoticeRow(a, b);
  if (!notices) return answer;
  notices->clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  notices->push_back(Notice(doc, "inst[0]", 1));  // always first, whatever the answer held
  const std::int32_t n = doc.GetCount("feeds");
  for (std::int32_t k = 0; k < n; ++k) notices->push_back(Notice(doc, "feeds" + At(k), 0));
  return answer;
}

bool MyQqHostApi::Api_QueryBalance(const std::string& a, const std::string& b, BalanceRecord* balance,
                                   std::string* answer) {
  const std::string text = QueryBalanceRow(a, b);
  json::ScriptJson doc;
  if (!doc.LoadNew(text)) {
    if (answer) *answer = text;
    return false;
  }
  if (balance) {
    balance->name = TextAt(doc, "name");
    balance->rmb = TextAt(doc, "rmb");
    balance->card = TextAt(doc, "card");
  }
  return true;
}

std::string MyQqHostApi::Api_TakeGift(const std::string& a, GiftRecord* gift) {
  const std::string answer = TakeGiftRow(a);
  if (gift) gift->GiftName = TextAt(myqq::Loaded(answer), "Data.op[0].packet[0].name");
  return answer;
}

std::string MyQqHostApi::Api_CheckGift(const std::string& a, std::vector<GiftRecord>* gifts) {
  const std::string answer = CheckGiftRow(a);
  if (!gifts) return answer;
  gifts->clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("data.pkgList.giftInfo");
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string p = "data.pkgList.giftInfo" + At(k);
    gifts->push_back({JsonTextAt(doc, p + ".GiftId"), TextAt(doc, p + ".GiftName"), NumberAt(doc, p + ".GiftNum")});
  }
  return answer;
}

std::string MyQqHostApi::Api_GetQQLevelInfo(const std::string& a, const std::string& b, LevelInfoRecord* level) {
  const json::ScriptJson doc = myqq::Loaded(LevelInfoRow(a, b));
  if (level)
    *level = {TextAt(doc, "QQ"), TextAt(doc, "Level"), TextAt(doc, "Days"), TextAt(doc, "NeedDays"),
              TextAt(doc, "Vip")};
  return doc.ToText();
}

std::string MyQqHostApi::Api_GetNoticDetail(const std::string& a, const std::string& b, const std::string& c,
                                            Texts& uins) {
  const std::string answer = NoticDetailRow(a, b, c);
  uins.clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("data.users");
  for (std::int32_t k = 0; k < n; ++k) uins.push_back(JsonTextAt(doc, "data.users" + At(k) + ".uin"));
  return answer;
}

std::string MyQqHostApi::Api_GetPhotoWall(const std::string& a, const std::string& b,
                                          std::vector<MyQqPhotoRecord>& photos) {
  const std::string answer = PhotoWallRow(a, b);
  photos.clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("data['photo_list']");
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string p = "data['photo_list']" + At(k);
    photos.push_back({TextAt(doc, p + ".filekey"), JsonTextAt(doc, p + ".ctime"), TextAt(doc, p + ".burl"),
                      TextAt(doc, p + ".murl"), TextAt(doc, p + ".surl"), TextAt(doc, p + ".ourl")});
  }
  return answer;
}

std::string MyQqHostApi::Api_GetGroupFileUrl(const std::string& a, const std::string& b, const std::string& c,
                                             const std::string& d, const std::string& e) {
  return TextAt(myqq::Loaded(GroupFileUrlRow(a, b, c, d, e)), "filelink");
}

std::string MyQqHostApi::Api_GetGroupMemberInfo(const std::string& a, const std::string& b, const std::string& c,
                                                MyQqMemberInfoRecord& info) {
  const std::string answer = MemberInfoRow(a, b, c);
  const json::ScriptJson doc = myqq::Loaded(answer);
  if (TextAt(doc, "search_count") != "1") return {};
  info.Uin = JsonTextAt(doc, "mems[0].uin");
  info.QAge = JsonTextAt(doc, "mems[0].qage");
  info.LevelPoint = NumberAt(doc, "mems[0].lv.point");
  info.Level = NumberAt(doc, "mems[0].lv.level");
  info.Card = TextAt(doc, "mems[0].card");
  info.JoinTime = JsonTextAt(doc, "mems[0]['join_time']");
  info.LastSpeakTime = JsonTextAt(doc, "mems[0]['last_speak_time']");
  info.Role = NumberAt(doc, "mems[0].role");
  info.Gender = JsonTextAt(doc, "mems[0].g") == "0" ? "男" : "女";
  return answer;
}

std::string MyQqHostApi::Api_GetGroupSetInfo(const std::string& a, const std::string& b,
                                             MyQqGroupSettings& settings, std::vector<MyQqAdminEntry>& admins,
                                             std::vector<MyQqMutedEntry>& muted) {
  admins.clear();
  muted.clear();
  const std::string answer = GroupSetInfoRow(a, b);
  const json::ScriptJson doc = myqq::Loaded(answer);
  const auto off = [&](const char* path) { return NumberAt(doc, path) == 0 ? 1 : 0; };
  const auto on = [&](const char* path) { return NumberAt(doc, path) != 0 ? 1 : 0; };
  settings.SearchOpen = off("search");
  settings.ChatOpen = off("['forbid_chat']");
  settings.DiscussOpen = off("['forbid_discuss']");
  settings.SelfMuted = on("shutup['me_shutup']");
  settings.SelfMuteValue = NumberAt(doc, "shutup['me_shutup']");
  settings.AllMuted = on("shutup['all_shutup']");
  settings.InviteFriend = on("['invite_friend']");
  settings.FileOpen = off("file");
  settings.AlbumOpen = off("album");
  const std::int32_t n = doc.GetCount("admin_auth");
  for (std::int32_t k = 0; k < n; ++k) admins.push_back(Admin(doc, "['admin_auth']" + At(k), true));
  const std::int32_t m = doc.GetCount("shutup.list");
  for (std::int32_t k = 0; k < m; ++k) {
    const std::string p = "shutup.list" + At(k);
    muted.push_back({JsonTextAt(doc, p + ".uin"), FlagAt(doc, p + ".manager"), NumberAt(doc, p + ".t")});
  }
  return answer;
}

std::string MyQqHostApi::Api_GetGroupFileList(const std::string& a, const std::string& b, const std::string& c,
                                              std::vector<MyQqGroupFileEntry>& files) {
  files.clear();
  const std::string answer = GroupFileListRow(a, b, c);
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("file_list");
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string p = "['file_list']" + At(k);
    MyQqGroupFileEntry f;
    f.Type = NumberAt(doc, p + ".type");
    f.Id = TextAt(doc, p + ".id");
    f.Name = TextAt(doc, p + ".name");
    f.Md5 = TextAt(doc, p + ".md5");
    f.Sha = TextAt(doc, p + ".sha");
    f.Size = NumberAt(doc, p + ".size");
    f.DownloadTimes = NumberAt(doc, p + "['download_times']");
    f.OwnerUin = JsonTextAt(doc, p + "['owner_uin']");
    f.OwnerName = TextAt(doc, p + "['owner_name']");
    f.CreateTime = JsonTextAt(doc, p + "['create_time']");
    files.push_back(std::move(f));
  }
  return answer;
}

std::string MyQqHostApi::Api_GetAdminListEx(const std::string& a, const std::string& b,
                                            std::vector<MyQqAdminEntry>& admins) {
  admins.clear();
  const std::string answer = AdminListExRow(a, b);
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount();
  for (std::int32_t k = 0; k < n; ++k) admins.push_back(Admin(doc, At(k), false));
  return answer;
}

}  // namespace zoq
