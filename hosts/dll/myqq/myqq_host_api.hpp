// The MyQQ host's adapter over MyQQApi.DLL: functions bound by name at their
// first call, texts copied from the host's own memory (a null text is the
// empty text). The plain operations are the rows of myqq_rows.inc; the
// operations below have logic of their own. JSON answers are read through a
// ScriptJson document made for the call; list answers are split at CR LF.
// An out-argument given as a pointer may be left out (null) and is then not
// written; an array is emptied before it is filled.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "hosts/call/host_call.hpp"
#include "hosts/dll/myqq/myqq_records.hpp"

namespace zoq {

class MyQqHostApi {
 public:
  using Texts = std::vector<std::string>;

  // Sends through the function of `form`: 0 (and any value but 1 to 3)
  // `Api_SendMsgEx`, 1 `Api_SendXml`, 2 `Api_SendJson`, 3 `Api_SendLongMsg`.
  // An `anonymous` of 1 or more goes as 1.
  void SendMessage(const std::string& robot, std::int32_t kind, const std::string& group, const std::string& qq,
                   const std::string& message, std::int32_t extra = 0, std::int32_t anonymous = 0,
                   std::int32_t form = 0);
  // Mode 0 (and any value but 1 and 2) the on-line list, 1 every account,
  // 2 the off-line list; a CR LF separated text, not split.
  std::string GetOnlineAccounts(std::int32_t mode = 0);

  // `Api_UpVote`, or `Api_UpVoteEx` when `ex` is not 0.
  std::string Api_UpVote(const std::string& a, const std::string& b, std::int32_t ex = 0);
  // Kind 0 to 7: the group, zone, blog, classroom, tenpay, report, QQ info
  // and VIP key; any other kind calls nothing and gives the empty text.
  std::string Api_GetGroupPsKey(const std::string& a, std::int32_t kind);
  // The host's 32-bit time stamp, widened with its sign.
  std::int64_t Api_GetTimeStamp();
  // Mode 1 `Api_AdminInviteGroup`, else `Api_NoAdminInviteGroup`; the host
  // receives the first, third and second text in that order.
  std::int32_t Api_NoAdminInviteGroup(const std::string& a, const std::string& b, const std::string& c,
                                      std::int32_t mode = 0);
  // Calls the host and always gives the empty text.
  std::string Api_DelMsgEssence(const std::string& a, const std::string& b, const std::string& c,
                                const std::string& d);

  // Friend, administrator and group lists. The results are the host's
  // answers; those of Api_GetFriendList and Api_GetGroupList_B decoded by
  // UnescapeUnicodeText first.
  std::string Api_GetFriendList(const std::string& a, std::vector<MyQqFriendRecord>* friends = nullptr);
  std::string Api_GetFriendList_B(const std::string& a, std::vector<MyQqFriendRecord>* friends = nullptr);
  std::string Api_GetAdminList(const std::string& a, const std::string& b,
                               std::vector<MyQqAccountRecord>* admins = nullptr);
  std::string Api_GetGroupList(const std::string& a, std::vector<MyQqGroupRecord>* groups = nullptr);
  std::string Api_GetGroupList_A(const std::string& a, std::vector<MyQqGroupRecord>* groups = nullptr);
  std::string Api_GetGroupList_B(const std::string& a, std::vector<MyQqGroupRecord>& groups);
  std::string Api_GetGroupMemberList(const std::string& a, const std::string& b,
                                     std::vector<MyQqMemberRecord>& members);
  std::string Api_GetGroupMemberList_B(const std::string& a, const std::string& b,
                                       std::vector<MyQqMemberRecord>& members);
  std::string Api_GetGroupMemberList_C(const std::string& a, const std::string& b,
                                       std::vector<MyQqMemberRecord>& members);
  std::string Api_GetDisGroupList(const std::string& a, std::vector<MyQqGroupRecord>& groups);
  std::string Api_GetDisGroupMemberList(const std::string& a, const std::string& b,
                                        std::vector<MyQqMemberRecord>& members);

  // Notices, gifts, levels, photos, files and settings read from JSON.
  std::string Api_GetNotice(const std::string& a, const std::string& b,
                            std::vector<GroupNoticeRecord>* notices = nullptr);
  bool Api_QueryBalance(const std::string& a, const std::string& b, BalanceRecord* balance = nullptr,
                        std::string* answer = nullptr);
  std::string Api_TakeGift(const std::string& a, GiftRecord* gift = nullptr);
  std::string Api_CheckGift(const std::string& a, std::vector<GiftRecord>* gifts = nullptr);
  std::string Api_GetQQLevelInfo(const std::string& a, const std::string& b, LevelInfoRecord* level = nullptr);
  std::string Api_GetNoticDetail(const std::string& a, const std::string& b, const std::string& c, Texts& uins);
  std::string Api_GetPhotoWall(const std::string& a, const std::string& b, std::vector<MyQqPhotoRecord>& photos);
  std::string Api_GetGroupFileUrl(const std::string& a, const std::string& b, const std::string& c,
                                  const std::string& d, const std::string& e);
  std::string Api_GetGroupMemberInfo(const std::string& a, const std::string& b, const std::string& c,
                                     MyQqMemberInfoRecord& info);
  std::string Api_GetGroupSetInfo(const std::string& a, const std::string& b, MyQqGroupSettings& settings,
                                  std::vector<MyQqAdminEntry>& admins, std::vector<MyQqMutedEntry>& muted);
  std::string Api_GetGroupFileList(const std::string& a, const std::string& b, const std::string& c,
                                   std::vector<MyQqGroupFileEntry>& files);
  std::string Api_GetGroupFileList(const std::string& a, const std::string& b,
                                   std::vector<MyQqGroupFileEntry>& files) {
    return Api_GetGroupFileList(a, b, std::string(), files);
  }
  std::string Api_GetAdminListEx(const std::string& a, const std::string& b, std::vector<MyQqAdminEntry>& admins);

  // Red packets and transfers: true exactly when the host answers
  // "success"; the answer goes to `answer` when it is given.
  bool Api_RedPack_Kmp3(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                        const std::string& e, const std::string& f = {}, std::int32_t g = 0,
                        const std::string& h = {}, std::string* answer = nullptr);
  bool Api_TransferAccounts(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                            const std::string& e, const std::string& f, std::int32_t g = 0,
                            std::string* answer = nullptr);
  bool Api_RedPack_KeyWord(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                           const std::string& e, const std::string& f, std::int32_t g,
                           std::string* answer = nullptr);
  bool Api_RedPack_Luck(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                        const std::string& e, const std::string& f, std::string* answer = nullptr);
  bool Api_RedPack_Ordinary(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                            const std::string& e, const std::string& f, std::int32_t g, const std::string& h = {},
                            std::string* answer = nullptr);
  bool Api_RedPack_Game(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                        const std::string& e, const std::string& f, std::int32_t g, const std::string& h,
                        std::string* answer = nullptr);
  bool Api_RedPack_Voice(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                         const std::string& e, const std::string& f, std::int32_t g, std::string* answer = nullptr);
  bool Api_RedPack_Exclusive(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                             const std::string& e, const std::string& f, const std::string& g,
                             std::string* answer = nullptr);

  // Word `number` (from 1) of `source` once `remove` is taken out, the ends
  // trimmed of blanks (full-width too) and runs of spaces collapsed; with
  // `stripMention` 1 the mention brackets "[@" and "]" go. No host call.
  static std::string PickWord(const std::string& source, const std::string& remove, std::int32_t number,
                              std::int32_t stripMention = 0);

 private:
  hosts::LibraryBinding binding_{"MyQQApi.DLL"};

#define ZOQ_ROWS_FILE "hosts/dll/myqq/myqq_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
