// The adapter of the host that hands over its API as a JSON table of
// function addresses, with a plug-in key that goes first to every function.
// Each host function is looked up in the kept table again at every call.
// (The operations the plug-in core calls; the rest come with the host's own
// work.)
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class TableHostApi {
  class Binding : public hosts::HostBinding {
   public:
    explicit Binding(const TableHostApi& api) : api_(api) {}
    void* Address(const hosts::HostRowBase& row, void*& kept) override;
    void PushLead(hosts::WordList& words) const override { words.PushAddress(api_.pluginKey.c_str()); }
    std::string_view LeadKinds() const override { return "t"; }

   private:
    const TableHostApi& api_;
  };

 public:
  std::string pluginKey;
  std::string apiTable;

 private:
  Binding table_{*this};

 public:
  TableHostApi() = default;
  // A copy has its own copies of the key and the table.
  TableHostApi(const TableHostApi& other) : pluginKey(other.pluginKey), apiTable(other.apiTable) {}
  TableHostApi& operator=(const TableHostApi&) = delete;

  // Replaces the kept key and table (an empty text is kept as empty).
  void InitApiTable(const std::string& key, const std::string& table) {
    pluginKey = key;
    apiTable = table;
  }
  // The address the table gives the host function `name`; 0 when none.
  std::uint32_t LookupApiAddress(const std::string& name) const;

  // Colours in the host's format; the defaults when the caller gives none.
  std::string OutputLog(const std::string& line, std::int32_t colour = 32768, std::int32_t background = 16777215) {
    return outputLog_(line, colour, background);
  }
  // The host may write the message's random number and request id into the
  // variables given; without them it writes into zeroed ones of the call.
  std::string SendPrivateMessage(std::int64_t robot, std::int64_t qq, const std::string& message,
                                 std::int64_t* random = nullptr, std::int32_t* request = nullptr);
  std::string SendGroupMessage(std::int64_t robot, std::int64_t group, const std::string& message,
                               bool anonymous = false) {
    return sendGroup_(robot, group, message, anonymous);
  }
  using I64 = hosts::I64;
  using Text = hosts::Text;
  hosts::HostRow<Text(hosts::Lead)> GetOnlineAccounts{table_, "GetOnlineAccounts", "取框架QQ"};
  hosts::HostRow<hosts::Bool(hosts::Lead, I64, I64, I64, hosts::Bool)> KickMember{table_, "KickMember", "删除群成员"};
  hosts::HostRow<hosts::Bool(hosts::Lead, I64, I64, I64, hosts::Int)> MuteMember{table_, "MuteMember", "禁言群成员"};
  hosts::HostRow<hosts::Bool(hosts::Lead, I64, I64, I64, hosts::Int)> RecallMessage{table_, "RecallMessage",
                                                                                    "撤回消息_群聊"};
  hosts::HostRow<Text(hosts::Lead, I64, I64, I64, Text)> SendChannelMessage{table_, "SendChannelMessage",
                                                                            "发送频道消息"};
  hosts::HostRow<Text(hosts::Lead, I64, I64, I64, Text)> SendChannelDirectMessage{
      table_, "SendChannelDirectMessage", "发送频道私信消息"};
  hosts::HostRow<Text(hosts::Lead, I64, I64, I64, hosts::Int)> RecallChannelMessage{table_, "RecallChannelMessage",
                                                                                    "撤回频道消息"};
  bool MuteChannelMember(std::int64_t robot, std::int64_t guild, std::int64_t member, std::int32_t seconds = 0) {
    return muteChannelMember_(robot, guild, member, seconds);
  }
  bool KickChannelMember(std::int64_t robot, std::int64_t guild, std::int64_t member, bool flag = false) {
    return kickChannelMember_(robot, guild, member, flag);
  }

  const hosts::HostBinding& binding() const { return table_; }

 private:
  hosts::HostRow<Text(hosts::Lead, Text, hosts::Int, hosts::Int)> outputLog_{table_, "OutputLog", "输出日志"};
  hosts::HostRow<Text(hosts::Lead, I64, I64, Text, hosts::OutAddress, hosts::OutAddress)> sendPrivate_{
      table_, "SendPrivateMessage", "发送好友消息"};
  hosts::HostRow<Text(hosts::Lead, I64, I64, Text, hosts::Bool)> sendGroup_{table_, "SendGroupMessage", "发送群消息"};
  hosts::HostRow<hosts::Bool(hosts::Lead, I64, I64, I64, hosts::Int)> muteChannelMember_{
      table_, "MuteChannelMember", "禁言频道成员"};
  hosts::HostRow<hosts::Bool(hosts::Lead, I64, I64, I64, hosts::Bool)> kickChannelMember_{
      table_, "KickChannelMember", "移除频道成员"};
};

}  // namespace zoq
