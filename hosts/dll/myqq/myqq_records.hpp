// The records that the MyQQ adapter's list and answer readers fill.
#pragma once
#include <cstdint>
#include <string>

namespace zoq {

struct MyQqFriendRecord {
  std::string Uin;
  std::string Name;
  bool operator==(const MyQqFriendRecord&) const = default;
};

struct MyQqAccountRecord {
  std::string Uin;
  bool operator==(const MyQqAccountRecord&) const = default;
};

struct MyQqGroupRecord {
  std::string GroupCode;
  std::string GroupName;
  std::string GroupOwner;
  std::int32_t MemberCount = 0;
  bool operator==(const MyQqGroupRecord&) const = default;
};

struct MyQqMemberRecord {
  std::string Uin;
  std::string Nick;
  std::int64_t JoinTime = 0;
  std::int64_t LastSpeakTime = 0;
  std::string Card;
  std::int32_t LevelPoint = 0;
  std::int32_t Level = 0;
  std::int32_t Role = 0;  // Api_GetGroupMemberList_C: 0 owner, 1 administrator, 2 member
  bool operator==(const MyQqMemberRecord&) const = default;
};

struct GroupNoticeRecord {
  std::string u;
  std::string title;
  std::string text;
  std::int32_t fromInst = 0;
  std::string fid;
  std::string pubt;
  bool operator==(const GroupNoticeRecord&) const = default;
};

struct BalanceRecord {
  std::string name;
  std::string card;
  std::string rmb;
  bool operator==(const BalanceRecord&) const = default;
};

struct GiftRecord {
  std::string GiftId;
  std::string GiftName;
  std::int32_t GiftNum = 0;
  bool operator==(const GiftRecord&) const = default;
};

struct LevelInfoRecord {
  std::string QQ;
  std::string Level;
  std::string Days;
  std::string NeedDays;
  std::string Vip;
  bool operator==(const LevelInfoRecord&) const = default;
};

struct MyQqPhotoRecord {
  std::string filekey;
  std::string ctime;
  std::string burl;
  std::string murl;
  std::string surl;
  std::string ourl;
  bool operator==(const MyQqPhotoRecord&) const = default;
};

struct MyQqMemberInfoRecord {
  std::string Uin;
  std::string QAge;
  std::string Card;
  std::string JoinTime;
  std::string LastSpeakTime;
  std::string Gender;
  std::int32_t LevelPoint = 0;
  std::int32_t Level = 0;
  std::int32_t Role = 0;
  bool operator==(const MyQqMemberInfoRecord&) const = default;
};

struct MyQqGroupSettings {
  std::int32_t ChatOpen = 0;
  std::int32_t DiscussOpen = 0;
  std::int32_t InviteFriend = 0;
  std::int32_t SearchOpen = 0;
  std::int32_t SelfMuted = 0;
  std::int32_t SelfMuteValue = 0;
  std::int32_t AllMuted = 0;
  std::int32_t FileOpen = 0;
  std::int32_t AlbumOpen = 0;
  bool operator==(const MyQqGroupSettings&) const = default;
};

struct MyQqAdminEntry {
  std::string Uin;
  std::string Nick;
  std::int32_t Owner = 0;
  std::int32_t Oper = 0;
  bool operator==(const MyQqAdminEntry&) const = default;
};

struct MyQqMutedEntry {
  std::string Uin;
  std::int32_t Manager = 0;
  std::int32_t T = 0;
  bool operator==(const MyQqMutedEntry&) const = default;
};

struct MyQqGroupFileEntry {
  std::int32_t Type = 0;
  std::string Id;
  std::string Name;
  std::int32_t Size = 0;
  std::string Md5;
  std::string Sha;
  std::int32_t DownloadTimes = 0;
  std::string OwnerUin;
  std::string OwnerName;
  std::string CreateTime;
  bool operator==(const MyQqGroupFileEntry&) const = default;
};

}  // namespace zoq
