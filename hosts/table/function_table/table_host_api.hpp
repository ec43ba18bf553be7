// The adapter of the host that hands over its API as a JSON table of
// function addresses, with a plug-in key that goes first to every function.
// Each host function is looked up in the kept table again at every call.
// Copies are independent (each holds its own key and table).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "hosts/call/host_call.hpp"
#include "hosts/table/function_table/text_code_parser.hpp"

namespace zoq {

// Record layouts of the host's lists: the byte offsets of the members that
// are blocks of their own, freed with the record (see hosts::HostArray).
struct FriendInfo {
  static constexpr std::array<std::uint16_t, 9> kTexts{0, 12, 16, 20, 28, 44, 48, 52, 64};
  static constexpr int kBlockArray = 56;
};
struct GroupInfo {
  static constexpr std::array<std::uint16_t, 2> kTexts{208, 212};
  static constexpr int kBlockArray = -1;
};
struct GroupMemberInfo {
  static constexpr std::array<std::uint16_t, 7> kTexts{0, 12, 16, 20, 24, 28, 32};
  static constexpr int kBlockArray = -1;
};

// Records whose layout is the host's alone: the plug-in hands over zeroed
// room (a record) or an array block and neither reads nor frees what the
// host writes into their members.
using GroupMemberBriefInfo = hosts::HostRecord;
using GroupMemberDetail = hosts::HostRecord;
using GroupQueryInfo = hosts::HostRecord;
using WalletInfo = hosts::HostRecord;
using OrderDetail = hosts::HostRecord;
using PaymentRecord = hosts::HostRecord;
using ProfileDisplaySettings = hosts::HostRecord;
using LoginDeviceInfo = hosts::HostRecord;
using GroupCollectionState = hosts::HostRecord;
using ForwardedChatItem = hosts::OpaqueRecordLayout;
using GroupFileEntry = hosts::OpaqueRecordLayout;
using UnclaimedRedPacketInfo = hosts::OpaqueRecordLayout;
using DiscussionMemberInfo = hosts::OpaqueRecordLayout;
using SubscriptionAccountInfo = hosts::OpaqueRecordLayout;
using DiscussionGroupInfo = hosts::OpaqueRecordLayout;
using GroupAppInfo = hosts::OpaqueRecordLayout;
using GroupCollectionEntry = hosts::OpaqueRecordLayout;
using MemberRemovalEntry = hosts::OpaqueRecordLayout;

// A guild user's profile as the host fills it: seven words, the last five
// texts of the host's heap, freed with the record.
class ChannelUserProfile {
 public:
  ChannelUserProfile() = default;
  ~ChannelUserProfile();
  ChannelUserProfile(const ChannelUserProfile&) = delete;
  ChannelUserProfile& operator=(const ChannelUserProfile&) = delete;
  // The text of word `word` (2 to 6); empty for a null one.
  std::string TextAt(std::size_t word) const;
  std::string AvatarAddress() const { return TextAt(3); }

 private:
  std::array<hosts::Word, 7> words_{};
};

class TableHostApi {
 public:
  // Replaces the kept key and table (an empty text is kept as empty).
  void InitApiTable(const std::string& key, const std::string& table) {
    binding_.pluginKey.set(key);
    binding_.apiTable.set(table);
  }
  // The address the table gives the host function `name`; 0 when none.
  hosts::Word LookupApiAddress(const std::string& name) const { return binding_.Lookup(name); }

  // The uploads answer the host's code with the picture's size or the
  // voice's length put before its closing "]"; the size and the length are
  // not passed to the host.
  std::string 上传好友图片(std::int64_t robot, std::int64_t friendNumber, bool flag, const std::string& picture,
                           std::int32_t width = 0, std::int32_t height = 0, bool cartoon = false) {
    return WithSize(UploadFriendPicture(robot, friendNumber, flag, picture), width, height, cartoon);
  }
  std::string 上传群图片(std::int64_t robot, std::int64_t group, bool flag, const std::string& picture,
                         std::int32_t width = 0, std::int32_t height = 0, bool cartoon = false) {
    return WithSize(UploadGroupPicture(robot, group, flag, picture), width, height, cartoon);
  }
  std::string 上传好友语音(std::int64_t robot, std::int64_t friendNumber, std::int32_t kind, const std::string& text,
                           const std::string& voice, std::int32_t time = 0) {
    return WithTime(UploadFriendVoice(robot, friendNumber, kind, text, voice), time);
  }
  std::string 上传群语音(std::int64_t robot, std::int64_t group, std::int32_t kind, const std::string& text,
                         const std::string& voice, std::int32_t time = 0) {
    return WithTime(UploadGroupVoice(robot, group, kind, text, voice), time);
  }
  std::string 上传频道图片(std::int64_t robot, std::int64_t guild, std::int64_t subchannel, const std::string& picture,
                           std::int32_t width = 0, std::int32_t height = 0, bool cartoon = false) {
    return WithSize(UploadChannelPicture(robot, guild, subchannel, picture), width, height, cartoon);
  }

  // The direct-message channel: the host's two texts read as numbers into
  // the caller's variables, which are 0 when the host gives nothing.
  bool 取私信频道Id(std::int64_t robot, std::int64_t guild, std::int64_t user, std::int64_t* first = nullptr,
                    std::int64_t* second = nullptr);

  // A code that ends with "]" gets `suffix` before it; any other answer
  // stays as it is.
  static std::string WithSuffix(std::string code, const std::string& suffix);
  static std::string WithSize(std::string code, std::int32_t width, std::int32_t height, bool cartoon);
  static std::string WithTime(std::string code, std::int32_t time);

  // ---- Operations that do more than forward (table_host_slots.cpp) ----
  // Voice conversions by the programs in main\corn below the run folder:
  // the converted file's bytes, or empty; the outcome goes to the host's log.
  std::string SilkDecodeToMp3(const std::string& path);
  std::string EncodeToSilk(const std::string& path);
  std::string EncodeToAmr(const std::string& path);

  // The profile fields of 修改资料; a field left out is not sent.
  struct ProfileChange {
    std::optional<std::string> 昵称;
    std::optional<std::int32_t> 性别;  // 1 or 2, anything else sent as 1
    std::optional<std::string> 生日;
    std::optional<std::int32_t> 职业;  // 1 to 14, anything else sent as 1
    std::optional<std::string> 公司, 所在地, 家乡, 邮箱, 个人说明;
  };
  // The host receives the fields as {"info":{"昵称":"...",...}}.
  bool 修改资料(std::int64_t account, const ProfileChange& change = {});
  // A frequency below 0 goes as 0.
  bool 群权限_设置群发言频率(std::int64_t account, std::int64_t group, std::int32_t frequency);
  // A way outside 0 to 2 goes as 1.
  bool 群权限_设置群查找方式(std::int64_t account, std::int64_t group, std::int32_t way = 1);
  // A setting outside 0 to 2 goes as 2.
  bool 置群内消息通知(std::int64_t account, std::int64_t group, std::int64_t member, std::int32_t setting = 2);
  // The picture is handed to the host last, after the five flags.
  std::string 发送群公告(std::int64_t account, std::int64_t group, const std::string& title, const std::string& content,
                         const std::string& picture = {}, const std::string& video = {}, bool a = false, bool b = false,
                         bool c = false, bool d = false, bool e = false);
  // An amount of 0 or below (none given) goes as 5000000.
  std::string 取收款链接(std::int64_t account, std::int32_t amount, const std::string& text);
  // The video code answered, completed with the size and time given.
  std::string 上传小视频(std::int64_t account, std::int64_t group, const std::string& text, const std::string& video,
                         std::int32_t width = 0, std::int32_t height = 0, std::int32_t time = 0);
  // An empty form goes as the host's default check-in form.
  bool 群聊签到(std::int64_t account, std::int64_t group, const std::string& form = {});
  // A new parser: a copy of the host's own parser when the host has one,
  // else one of the plug-in's own.
  NullTextCodeParser 创建小栗子文本代码解析类对象();
  // `code` is replaced by what the host wrote (a fresh empty byte set at
  // least); the bytes it held are released.
  std::string QQ列表_二维码登录_拉取二维码(std::int64_t account, hosts::HostBytes* code);
  // The fifth and sixth arguments left out go as 2 and 1.
  bool 创建子频道(std::int64_t account, std::int64_t guild, const std::string& name, const std::string& text,
                  std::optional<std::int32_t> fifth, std::optional<std::int32_t> sixth, std::int32_t seventh,
                  std::int32_t eighth, std::int32_t ninth, hosts::HostI64Array* first, hosts::HostI64Array* second,
                  std::int32_t twelfth, std::int32_t thirteenth);
  // The host receives the first number, the text, the second and third
  // numbers, then the second, third and first int.
  std::string 上传频道文件(std::int64_t first, std::int64_t second, std::int64_t third, const std::string& text,
                           std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0);

 private:
  struct Binding {
    hosts::KeptValue<std::string> pluginKey;
    hosts::KeptValue<std::string> apiTable;
    hosts::Word Lookup(const std::string& name) const;
    void* Address(std::size_t, const char* function) const {
      return platform::AtWord(Lookup(function));
    }
    bool LeadReady() const { return true; }
    void PushLead(hosts::WordList& words) const { words.PushAddress(pluginKey.get().c_str()); }
    static constexpr std::string_view kLeadKinds = "t";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/table/function_table/table_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
