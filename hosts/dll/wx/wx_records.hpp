// The records the WeChat-style host's adapter takes and gives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zoq {

// The plug-in's information record for the host, filled at every request.
struct WxPluginInfoRecord {
  std::string name;
  std::string author;
  std::string version;
  std::string description;
  std::string pluginId;
  std::int32_t priority = 0;
  std::int32_t sdkVersion = 0;
  std::string icon;  // PNG bytes
  std::string contact;
};

// The host's identity, taken from its initialisation text; every host
// function but InitApp and Error takes FileName, then AppName, first.
struct HostIdentity {
  std::string AppName;
  std::string FileName;
  bool operator==(const HostIdentity&) const = default;
};

// One logged-in robot account of the professional edition.
struct WxAccountRecord {
  std::string wxid;
  std::string username;
  std::string wx_num;
  std::string wx_headimgurl;
  std::int32_t EnterpriseFlag = 0;
  std::int32_t EnterpriseClientId = 0;
  bool operator==(const WxAccountRecord&) const = default;
};

// The logged-in account of the basic edition.
struct WxLoginInfo {
  std::string wxid;
  std::string wx_num;
  std::string nickname;
  std::string headimgurl;
  std::string country;
  std::string province;
  std::string city;
  std::int32_t sex = 0;
  std::string signature;
  std::string backgroundimgurl;
  std::string wx_wind_handle;
  std::string wx_pid;
  bool operator==(const WxLoginInfo&) const = default;
};

// One contact: cut out of GetDetailInfoByWxid's answer, or read below "data"
// of wxid查详细信息's (whose keys for wx_num, headimgurl and
// backgroundimgurl are "account", "avatar" and "sns_pic").
struct WxContactDetail {
  std::string wxid;
  std::string wx_num;
  std::string nickname;
  std::string headimgurl;
  std::string country;
  std::string province;
  std::string city;
  std::int32_t sex = 0;
  std::int32_t scene = 0;
  std::string signature;
  std::string backgroundimgurl;
  bool operator==(const WxContactDetail&) const = default;
};

// Enterprise accounts: a contact (internal, external, group member) and a group.
struct WxEnterpriseContact {
  std::string user_id;
  std::string username;
  std::string corp_id;
  std::string realname;
  std::string remark;
  std::string position;
  std::int32_t sex = 0;
  std::string avatar;
  bool operator==(const WxEnterpriseContact&) const = default;
};

struct WxEnterpriseGroup {
  std::string conversation_id;
  std::string nickname;
  std::string create_user_id;
  std::int32_t total = 0;
  std::int32_t is_external = 0;
  bool operator==(const WxEnterpriseGroup&) const = default;
};

// The account an account search found.
struct WxSearchResult {
  std::string from_wxid;
  std::string from_nickname;
  std::string headimgurl;
  std::string v1;
  std::string v2;
  std::int32_t sex = 0;
  std::string country;
  std::string city;
  std::string province;
  std::string signature;
  std::int32_t status = 0;
  std::string status_desc;
  bool operator==(const WxSearchResult&) const = default;
};

struct WxFriend {
  std::string wxid;
  std::string wx_num;
  std::string nickname;
  std::string note;
  bool operator==(const WxFriend&) const = default;
};

struct WxSubscription {
  std::string wxid;
  std::string wx_num;
  std::string nickname;
  bool operator==(const WxSubscription&) const = default;
};

struct WxGroup {
  std::string wxid;
  std::string nickname;
  std::string avatar;
  std::int32_t total_member = 0;
  std::string manager_wxid;
  std::int32_t is_manager = 0;
  bool operator==(const WxGroup&) const = default;
};

struct WxGroupMember {
  std::string wxid;
  std::string wx_num;
  std::string group_nickname;
  std::string nickname;
  std::string avatar;
  std::string country;
  std::string city;
  std::string province;
  std::int32_t sex = 0;
  bool operator==(const WxGroupMember&) const = default;
};

// One group as the host describes it: its head, cut from the answer, and
// its members.
struct WxGroupMemberList {
  std::string group_wxid;
  std::string group_name;
  std::int32_t count = 0;
  std::string owner_wxid;
  std::string owner_nickname;
  std::vector<WxGroupMember> member_list;
  bool operator==(const WxGroupMemberList&) const = default;
};

struct WxGroupMemberDetail {
  std::string wxid;
  std::string wx_num;
  std::string nickname;
  std::string nickname_;
  std::string headimgurl;
  std::string country;
  std::string province;
  std::string city;
  std::int32_t sex = 0;
  std::int32_t scene = 0;
  std::string signature;
  std::string backgroundimgurl;
  bool operator==(const WxGroupMemberDetail&) const = default;
};

// A mention in a message's JSON text: one user, and one entry of its
// "atuserlist" with the positions the host gives.
struct WxAtUser {
  std::string wxid;
  std::string nickname;
  bool operator==(const WxAtUser&) const = default;
};

struct WxAtUserItem {
  std::string wxid;
  std::string nickname;
  std::int32_t position_from = 0;
  std::int32_t position_to = 0;
  bool operator==(const WxAtUserItem&) const = default;
};

// One post of a moments feed.
struct WxMomentItem {
  std::string username;
  std::string nickname;
  std::string pyq_id;
  std::string object;
  bool operator==(const WxMomentItem&) const = default;
};

struct WxEnterpriseFriendDetail {
  std::string user_id;
  std::string username;
  std::string realname;
  std::string remark;
  std::string position;
  std::int32_t sex = 0;
  std::string avatar;
  bool operator==(const WxEnterpriseFriendDetail&) const = default;
};

struct WxFavouriteItem {
  std::string from_user;
  std::int32_t local_id = 0;
  std::string title;
  std::int32_t type = 0;
  std::int32_t update_time = 0;
  std::string xml;
  bool operator==(const WxFavouriteItem&) const = default;
};

// A group member and who invited it.
struct WxGroupInviteInfo {
  std::string wxid;
  std::string nickname;
  std::string avatar;
  std::string invite_by;
  std::int32_t flag = 0;
  bool operator==(const WxGroupInviteInfo&) const = default;
};

struct WxGroupNotice {
  std::string group_wxid;
  std::string wxid;
  std::string content;
  std::string timestamp;
  bool operator==(const WxGroupNotice&) const = default;
};

}  // namespace zoq
