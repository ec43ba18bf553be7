// The WeChat-style host's adapter over Api.dll. The host names accounts,
// friends and groups by texts (wxid). Its edition, given at initialisation,
// decides which Api.dll is used (the basic one in <host>\Bin\, the
// professional one in <host>\Bin\Bin\) and so which declaration of a
// function is called: the rows' robot leads say how (wx_rows.inc).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/call/host_call.hpp"
#include "hosts/dll/wx/wx_records.hpp"

namespace zoq {

class WxHostApi {
 public:
  // 1 once an initialisation named the professional edition ("VLW_Pro",
  // "VLW_Max"); nothing sets it back.
  std::int32_t ProMode() const { return binding_.proMode; }
  const HostIdentity& Identity() const { return binding_.identity.get(); }
  // Where Api.dll is looked for before the standard search; empty: only there.
  const std::string& FirstFolder() const { return binding_.firstFolder.get(); }

  // Takes the host's initialisation JSON: the identity, the edition, the
  // folder of Api.dll; hands the basic edition its start record.
  std::int32_t InitApp(const std::string& hostJson);
  // The plug-in's information record: compact JSON of nine members.
  std::string BuildPluginInfo(const WxPluginInfoRecord& info);
  // Reports a runtime error to the host (application name first); the
  // host's answer is not looked at.
  void ReportError(std::int32_t code, const std::string& message);

  // The one logged-in account: the basic edition's, or the professional
  // edition's when exactly one is logged in; else empty.
  std::string GetLoginAccount();
  // Professional edition: appends the logged-in accounts and returns the
  // host's raw answer; otherwise nothing and empty.
  std::string GetAccountList(std::vector<WxAccountRecord>& list);
  // Basic edition only: the account's details.
  WxLoginInfo 取登录账号信息();

  void SendGroupMsgAndAtByByteHex(const std::string& robot, const std::string& a, const std::string& b,
                                  const std::string& c, const std::string& d, const std::string& e);
  void SendLinkMsg_企业(const std::string& robot, const std::string& a, const std::string& b, const std::string& c,
                        const std::string& d, const std::string& e);
  void SendLinkCard(const std::string& robot, const std::string& target, const std::string& title,
                    const std::string& des, const std::string& thumburl, const std::string& url);
  void SendMusicCard(const std::string& robot, const std::string& target, const std::string& title,
                     const std::string& des, const std::string& url, const std::string& f,
                     const std::string& thumburl);
  static std::string LinkCard(const std::string& title, const std::string& des, const std::string& thumburl,
                              const std::string& url);
  static std::string MusicCard(const std::string& title, const std::string& des, const std::string& url,
                               const std::string& thumburl);

  WxContactDetail GetDetailInfoByWxid(const std::string& robot, const std::string& wxid);
  // -1 for fewer than two wxids; else the host's answer to "a|b|...".
  std::int32_t BuildingGroup(const std::string& robot, const std::vector<std::string>& wxids);

  // Enterprise lists (professional edition only): the records are appended
  // to `list`; the host's answer is returned.
  std::string 获取内部联系人_企业(const std::string& robot, std::vector<WxEnterpriseContact>& list);
  std::string 获取外部联系人_企业(const std::string& robot, std::vector<WxEnterpriseContact>& list);
  std::string 获取群列表_企业(const std::string& robot, std::vector<WxEnterpriseGroup>& list);
  std::string 获取群成员列表_企业(const std::string& robot, const std::string& group,
                                  std::vector<WxEnterpriseContact>& list);

  WxSearchResult SearchAccount(const std::string& robot, const std::string& search);
  // Professional edition only: the wxids joined by ",".
  void 邀请好友入群_企业(const std::string& robot, const std::string& group, const std::vector<std::string>& wxids);

  // The list operations append to `list` and return its length afterwards;
  // those ending in 2 read fewer members of a group or a member.
  WxGroupMemberList GetGroupMember(const std::string& robot, const std::string& group, std::int32_t option);
  WxGroupMemberList GetGroupMember2(const std::string& robot, const std::string& group, std::int32_t option);
  std::int32_t GetGrouplist(const std::string& robot, std::vector<WxGroup>& list, std::int32_t option);
  std::int32_t GetGrouplist2(const std::string& robot, std::vector<WxGroup>& list, std::int32_t option);
  std::int32_t GetFriendlist(const std::string& robot, std::vector<WxFriend>& list, std::int32_t option);
  std::int32_t GetFriendlist2(const std::string& robot, std::vector<WxFriend>& list, std::int32_t option);
  std::int32_t GetSubscriptionlist(const std::string& robot, std::vector<WxSubscription>& list, std::int32_t option);
  std::int32_t GetSubscriptionlist2(const std::string& robot, std::vector<WxSubscription>& list, std::int32_t option);
  WxGroupMemberDetail GetGroupMemberDetailInfo(const std::string& robot, const std::string& id1, const std::string& id2);

  // Mentions read out of a message's JSON text, without the host: the last
  // entry's user; the "atuserlist" entries appended to `items` (returns
  // their number afterwards).
  static WxAtUser ParseAtList(const std::string& message);
  static std::int32_t ParseAtUserList(const std::string& message, std::vector<WxAtUserItem>& items);

  // Moments and enterprise friends, in every edition; the moments lists are
  // emptied first.
  WxEnterpriseFriendDetail 获取好友详细_企业(const std::string& robot, const std::string& friendId);
  void 获取朋友圈(const std::string& robot, const std::string& second, std::int32_t third,
                  std::vector<WxMomentItem>& moments);
  void 获取好友朋友圈(const std::string& robot, const std::string& friendId, const std::string& third,
                      std::int32_t fourth, std::vector<WxMomentItem>& moments);

  // Favourites, contact details, invitations and notices, in every edition;
  // the lists are emptied first.
  void 获取收藏列表(const std::string& robot, std::vector<WxFavouriteItem>& favourites);
  WxContactDetail wxid查详细信息(const std::string& robot, const std::string& wxid);
  void 获取群成员邀请信息(const std::string& robot, const std::string& group, std::vector<WxGroupInviteInfo>& members);
  void 获取群公告列表(const std::string& robot, std::vector<WxGroupNotice>& notices);

  static std::string Base64Encode(std::string_view bytes);

 private:
  // The start record of the basic edition's InitApp.
  struct WxInitRecord {
    const char* AppName;
    const char* FileName;
    std::int32_t LogOutput;
    std::int32_t P_state;
    const char* F_Version;
    std::int32_t P_update;
  };
  // Where the host reads it in the 32-bit DLL.
  static_assert(sizeof(void*) != 4 || (sizeof(WxInitRecord) == 24 && offsetof(WxInitRecord, LogOutput) == 8 &&
                                       offsetof(WxInitRecord, F_Version) == 16 &&
                                       offsetof(WxInitRecord, P_update) == 20));

  struct Binding {
    Binding() = default;
    Binding(const Binding& other)
        : identity(other.identity), proMode(other.proMode.load()), firstFolder(other.firstFolder),
          found(other.Found()), module(other.module), missing(other.missing) {}
    hosts::KeptValue<HostIdentity> identity;
    std::atomic<std::int32_t> proMode{0};
    hosts::KeptValue<std::string> firstFolder;
    mutable std::mutex lock;  // over found
    // The addresses found, by name, all in `module` (a copy takes them first).
    std::map<std::string, void*, std::less<>> found;
    hosts::KeptModule module;
    hosts::MissingFunctions missing;
    std::map<std::string, void*, std::less<>> Found() const {
      std::lock_guard<std::mutex> hold(lock);
      return found;
    }
    void* Address(std::size_t slot, const char* function);
    bool LeadReady() const { return true; }
    void PushLead(hosts::WordList& words) const {
      const HostIdentity& kept = identity.get();
      words.PushAddress(kept.FileName.c_str());
      words.PushAddress(kept.AppName.c_str());
    }
    bool ProEdition() const { return proMode == 1; }
    static constexpr std::string_view kLeadKinds = "tt";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/dll/wx/wx_rows.inc"
#include "hosts/call/rows.inc"
};

// The two ways the adapter cuts a field out of a host answer without
// parsing it: the text after "key":" up to the next double quote, and the
// number right after "key": (0 when none stands there).
std::string QuotedField(std::string_view answer, std::string_view key);
std::int32_t NumberField(std::string_view answer, std::string_view key);

}  // namespace zoq
