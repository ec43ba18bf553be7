// The ISky host's adapter over message.dll: every host function takes the
// auth code the host handed over first. message.dll is the module the host
// process has loaded, else the file beside the host's executable. The host
// reads rich content as CQ codes inside message texts; the builders write
// them without calling the host.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hosts/call/host_call.hpp"

namespace zoq {

// A date and time of day to the second.
struct IskyDateTime {
  std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const IskyDateTime&) const = default;
};

struct IskyFrameInfo {
  std::string name;
  std::string version;
  bool operator==(const IskyFrameInfo&) const = default;
};

struct IskyVersionInfo {
  std::string app_version;
  std::string app_full_name;
  std::string runtime_version;
  std::string runtime_os;
  std::string version;
  bool operator==(const IskyVersionInfo&) const = default;
};

// Sex: 0 male, 1 female, -1 other. Role: 3 owner, 2 administrator, 1 member.
struct IskyStrangerInfo {
  std::string userId;
  std::string nickname;
  std::int32_t sex = 0;
  std::int32_t age = 0;
  std::string qid;
  bool operator==(const IskyStrangerInfo&) const = default;
};

struct IskyFriend {
  std::string userId;
  std::string nickname;
  std::string remark;
  bool operator==(const IskyFriend&) const = default;
};

struct IskyGroupInfo {
  std::string groupId;
  std::string groupName;
  std::string groupMemo;
  IskyDateTime createTime;
  std::int64_t groupLevel = 0;
  std::int32_t memberCount = 0;
  std::int32_t maxMemberCount = 0;
  bool operator==(const IskyGroupInfo&) const = default;
};

struct IskyVipInfo {
  std::string userId;
  std::string nickname;
  std::int64_t level = 0;
  double levelSpeed = 0;
  std::string vipLevel;
  std::int64_t vipGrowthSpeed = 0;
  std::int64_t vipGrowthTotal = 0;
  bool operator==(const IskyVipInfo&) const = default;
};

struct IskyMemberInfo {
  std::string groupId;
  std::string userId;
  std::string nickname;
  std::string card;
  std::int32_t sex = 0;
  std::int32_t age = 0;
  std::string area;
  IskyDateTime joinTime;
  IskyDateTime lastSentTime;
  std::string level;
  std::int32_t role = 0;
  bool unfriendly = false;
  std::string title;
  IskyDateTime titleExpireTime;
  bool cardChangeable = false;
  bool operator==(const IskyMemberInfo&) const = default;
};

class IskyHostApi {
 public:
  // The auth code is one for the whole process: every adapter object passes
  // the one the host handed over last.
  static void SetAuthCode(std::int32_t code);
  static std::string GetSdkVersion() { return "v2.2021.05.08"; }

  // The host's frame information: false for an empty answer or one that is
  // not JSON (the record then stays as it was).
  bool GetGocqInfo(IskyFrameInfo& info);
  bool GetVersionInfo(IskyVersionInfo& info);
  // The group's avatar picture on the QQ group-avatar service.
  static std::string GetGroupAvatarUrl(const std::string& group);

  // Kind 1 private, 2 group, 3 a group member; any other kind sends nothing
  // and gives -1, as does a host that cannot be called. (Inline: windows.h
  // may rename it in some of its callers.)
  std::int32_t SendMessage(std::int32_t kind, const std::string& group, const std::string& user,
                           const std::string& message, std::int32_t flag = 1) {
    switch (kind) {
      case 1: return SendPrivateMessage(user, message, flag);
      case 2: return SendGroupMessage(group, message, flag);
      case 3: return SendTempMessage(user, group, message, flag);
      default: return -1;
    }
  }
  std::int32_t SendPrivateMessage(const std::string& user, const std::string& message, std::int32_t flag = 1) {
    return SendMsg(1, std::string(), user, message, flag);
  }
  // The user before the group here; the host takes the group first.
  std::int32_t SendTempMessage(const std::string& user, const std::string& group, const std::string& message,
                               std::int32_t flag = 1) {
    return SendMsg(3, group, user, message, flag);
  }
  std::int32_t SendGroupMessage(const std::string& group, const std::string& message, std::int32_t flag = 1) {
    return SendMsg(2, group, std::string(), message, flag);
  }

  // ---- CQ codes. Values go in unchanged; EscapeCqText makes a text literal.
  static std::string EscapeCqText(const std::string& text);
  static std::string XmlCode(const std::string& data);
  static std::string XmlCode2(const std::string& data) { return XmlCode(data); }
  static std::string TtsCode(const std::string& text);
  static std::string PokeCode(std::int64_t user);
  static std::string GiftCode(std::int64_t user, std::int32_t gift);
  // An empty content or image is left out.
  static std::string ShareCode(const std::string& url, const std::string& title, const std::string& content = {},
                               const std::string& image = {});
  // Source 1 qq, 2 163, 3 xm; any other gives the empty text.
  static std::string MusicCode(std::int32_t source, std::int64_t song);
  static std::string CustomMusicCode(const std::string& url, const std::string& audio, const std::string& title,
                                     const std::string& content = {}, const std::string& image = {});
  // Style 1 flash, 2 show, anything else plain; the effect whenever given.
  static std::string LocalImageCode(std::int32_t style, const std::string& path,
                                    std::optional<std::int32_t> effect = std::nullopt);
  static std::string ImageCode(std::int32_t style, const std::string& address,
                               std::optional<std::int32_t> effect = std::nullopt,
                               std::optional<bool> cache = std::nullopt);
  static std::string LocalVoiceCode(const std::string& path, std::optional<bool> magic = std::nullopt);
  static std::string VoiceCode(const std::string& address, std::optional<bool> magic = std::nullopt,
                               std::optional<bool> cache = std::nullopt);
  static std::string FaceCode(std::int32_t face);
  static std::string MentionCode(const std::string& qq) { return "[CQ:at,qq=" + qq + "]"; }
  static std::string MentionAllCode() { return "[CQ:at,qq=all]"; }

  // ---- Administration beyond the plain rows.
  void LeaveGroup(const std::string& group) { SetGroupLeave(group, 0); }
  void DismissGroup(const std::string& group) { SetGroupLeave(group, 1); }
  void SetGroupAddRequest(std::int32_t type, const std::string& flag, std::int32_t approve,
                          const std::string& reason = {}) {
    GroupAddRequest(flag, type, approve, reason);
  }

  // ---- Readers of the host's JSON answers (their member "data"). A single
  // record: false for an empty or unparsable answer (the record untouched),
  // else the record overwritten and true when its ids read are not 0. A
  // list: emptied first, then one record per element; the count.
  bool GetStrangerInfo(const std::string& user, IskyStrangerInfo& info) { return GetStrangerInfo(user, 1, info); }
  bool GetStrangerInfo(const std::string& user, std::int32_t option, IskyStrangerInfo& info);
  std::int32_t GetFriendList(std::vector<IskyFriend>& list);
  bool GetGroupInfo(const std::string& group, IskyGroupInfo& info) { return GetGroupInfo(group, 1, info); }
  bool GetGroupInfo(const std::string& group, std::int32_t option, IskyGroupInfo& info);
  std::int32_t GetGroupList(std::vector<IskyGroupInfo>& list);
  bool GetVipInfo(const std::string& user, IskyVipInfo& info);
  bool GetGroupMemberInfo(const std::string& group, const std::string& user, IskyMemberInfo& info) {
    return GetGroupMemberInfo(group, user, 1, info);
  }
  bool GetGroupMemberInfo(const std::string& group, const std::string& user, std::int32_t option,
                          IskyMemberInfo& info);
  std::int32_t GetGroupMemberList(const std::string& group, std::vector<IskyMemberInfo>& list);

  // Seconds since 1970-01-01 00:00:00 UTC, shown at UTC+8 whatever the
  // machine's time zone.
  static IskyDateTime UnixTimeToDate(std::int32_t seconds);

 private:
  struct Binding : hosts::LibraryBinding {
    Binding() : LibraryBinding("message.dll") {}
    bool LeadReady() const { return true; }
    void PushLead(hosts::WordList& words) const;
    static constexpr std::string_view kLeadKinds = "i";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/table/isky/isky_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
