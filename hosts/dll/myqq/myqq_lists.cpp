// The friend, administrator, group, member and discussion-group lists.
#include <algorithm>

#include "hosts/dll/myqq/myqq_host_api.hpp"
#include "hosts/dll/myqq/myqq_reading.hpp"
#include "hosts/dll/myqq/myqq_text.hpp"

namespace zoq {
namespace myqq {

std::vector<std::string> SplitLines(const std::string& answer) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < answer.size()) {
    const std::size_t end = text::Find(answer, "\r\n", start);
    if (end == text::npos) {
      lines.push_back(answer.substr(start));
      break;
    }
    lines.push_back(answer.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

namespace {

// One record per line, the line in the field that `field` selects.
template <class Record, class Field>
void FillFromLines(const std::string& answer, std::vector<Record>& records, Field field) {
  records.clear();
  for (std::string& line : SplitLines(answer)) {
    Record r{};
    r.*field = std::move(line);
    records.push_back(std::move(r));
  }
}

}  // namespace
}  // namespace myqq

using myqq::At;
using myqq::JsonTextAt;
using myqq::TextAt;

std::string MyQqHostApi::Api_GetFriendList(const std::string& a, std::vector<MyQqFriendRecord>* friends) {
  const std::string answer = myqq::UnescapeUnicodeText(FriendListRow(a));
  if (!friends) return answer;
  friends->clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  std::vector<std::string> keys;
  doc.GetKeys(keys, "result");
  for (const std::string& key : keys) {
    const std::string mems = "result" + json::ScriptJson::KeyPath(key) + ".mems";
    const std::int32_t n = doc.GetCount(mems);
    for (std::int32_t k = 0; k < n; ++k)
      friends->push_back({JsonTextAt(doc, mems + At(k) + ".uin"), TextAt(doc, mems + At(k) + ".name")});
  }
  return answer;
}

std::string MyQqHostApi::Api_GetFriendList_B(const std::string& a, std::vector<MyQqFriendRecord>* friends) {
  const std::string answer = FriendListBRow(a);
  if (friends) myqq::FillFromLines(answer, *friends, &MyQqFriendRecord::Uin);
  return answer;
}

std::string MyQqHostApi::Api_GetAdminList(const std::string& a, const std::string& b,
                                          std::vector<MyQqAccountRecord>* admins) {
  const std::string answer = AdminListRow(a, b);
  if (admins) myqq::FillFromLines(answer, *admins, &MyQqAccountRecord::Uin);
  return answer;
}

std::string MyQqHostApi::Api_GetGroupList(const std::string& a, std::vector<MyQqGroupRecord>* groups) {
  const std::string answer = GroupListRow(a);
  if (!groups) return answer;
  groups->clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("data.group");
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string g = "data.group" + At(k);
    groups->push_back({JsonTextAt(doc, g + ".groupcode"), TextAt(doc, g + ".groupname"), "",
                       myqq::NumberAt(doc, g + "['total_member']")});
  }
  return answer;
}

std::string MyQqHostApi::Api_GetGroupList_A(const std::string& a, std::vector<MyQqGroupRecord>* groups) {
  const std::string answer = GroupListARow(a);
  if (groups) myqq::FillFromLines(answer, *groups, &MyQqGroupRecord::GroupCode);
  return answer;
}

std::string MyQqHostApi::Api_GetGroupList_B(const std::string& a, std::vector<MyQqGroupRecord>& groups) {
  groups.clear();
  const std::string answer = myqq::UnescapeUnicodeText(GroupListBRow(a));
  const json::ScriptJson doc = myqq::Loaded(answer);
  for (const char* list : {"manage", "join"}) {
    const std::int32_t n = doc.GetCount(list);
    for (std::int32_t k = 0; k < n; ++k) {
      const std::string g = list + At(k);
      groups.push_back({JsonTextAt(doc, g + ".gc"), TextAt(doc, g + ".gn"), JsonTextAt(doc, g + ".owner"), 0});
    }
  }
  return answer;
}

std::string MyQqHostApi::Api_GetGroupMemberList(const std::string& a, const std::string& b,
                                                std::vector<MyQqMemberRecord>& members) {
  const std::string answer = MemberListRow(a, b);
  members.clear();
  const json::ScriptJson doc = myqq::Loaded(answer);
  const std::int32_t n = doc.GetCount("mems");
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string m = "mems" + At(k);
    MyQqMemberRecord r;
    r.Uin = TextAt(doc, m + ".uin");
    r.LastSpeakTime = text::ReadWholeNumber(TextAt(doc, m + ".last_speak_time"));
    r.JoinTime = text::ReadWholeNumber(TextAt(doc, m + ".join_time"));
    r.LevelPoint = text::ReadWholeNumber32(TextAt(doc, m + ".lv.point"));
    r.Level = text::ReadWholeNumber32(TextAt(doc, m + ".lv.level"));
    std::string card = TextAt(doc, m + ".card");
    r.Card = myqq::DecodeHtmlEntities(card);
    std::string nick = TextAt(doc, m + ".nick");
    r.Nick = myqq::DecodeHtmlEntities(nick);
    r.Role = text::ReadWholeNumber32(TextAt(doc, m + ".role"));
    members.push_back(std::move(r));
  }
  return answer;
}

std::string MyQqHostApi::Api_GetGroupMemberList_B(const std::string& a, const std::string& b,
                                                  std::vector<MyQqMemberRecord>& members) {
  const std::string answer = MemberListBRow(a, b);
  myqq::FillFromLines(answer, members, &MyQqMemberRecord::Uin);
  return answer;
}

std::string MyQqHostApi::Api_GetGroupMemberList_C(const std::string& a, const std::string& b,
                                                  std::vector<MyQqMemberRecord>& members) {
  members.clear();
  const std::string answer = MemberListCRow(a, b);
  const json::ScriptJson doc = myqq::Loaded(answer);
  // The owner and each administrator as their JSON texts, each compared
  // whole with a member's key: a number is its digits, a string keeps its
  // quotes; a negative number is no member (joined behind "-" into one text,
  // -14 read as 14).
  const std::string owner = JsonTextAt(doc, "owner");
  std::vector<std::string> admins;
  const std::int32_t m = doc.GetCount("adm");
  for (std::int32_t k = 0; k < m; ++k) admins.push_back(JsonTextAt(doc, "adm" + At(k)));
  std::vector<std::string> keys;
  doc.GetKeys(keys, "members");
  for (const std::string& uin : keys) {
    const std::string p = "members" + json::ScriptJson::KeyPath(uin);
    MyQqMemberRecord r;
    r.Uin = uin;
    r.LastSpeakTime = text::ReadWholeNumber(JsonTextAt(doc, p + ".lst"));
    r.JoinTime = text::ReadWholeNumber(JsonTextAt(doc, p + ".jt"));
    r.LevelPoint = myqq::NumberAt(doc, p + ".lp");
    r.Level = myqq::NumberAt(doc, p + ".ll");
    r.Card = TextAt(doc, p + ".cd");
    r.Nick = TextAt(doc, p + ".nk");
    r.Role = uin == owner ? 0 : std::find(admins.begin(), admins.end(), uin) != admins.end() ? 1 : 2;
    members.push_back(std::move(r));
  }
  return answer;
}

std::string MyQqHostApi::Api_GetDisGroupList(const std::string& a, std::vector<MyQqGroupRecord>& groups) {
  groups.clear();
  const std::string answer = DisGroupListRow(a);
  myqq::FillFromLines(answer, groups, &MyQqGroupRecord::GroupCode);
  return answer;
}

std::string MyQqHostApi::Api_GetDisGroupMemberList(const std::string& a, const std::string& b,
                                                   std::vector<MyQqMemberRecord>& members) {
  const std::string answer = DisGroupMembersRow(a, b);
  myqq::FillFromLines(answer, members, &MyQqMemberRecord::Uin);
  return answer;
}

}  // namespace zoq
