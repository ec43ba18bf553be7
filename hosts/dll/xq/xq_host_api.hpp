// The XQ host's adapter: functions named "S3_Api_" + operation, exported by
// the xqapi.dll that the host process has loaded. Each is looked up again at
// every call and receives the 8-byte auth id first; its text answers are heap
// blocks that the adapter copies and frees.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class XqHostApi {
  class ApiBinding : public hosts::HostBinding {
   public:
    explicit ApiBinding(XqHostApi& api) : api_(api) {}
    void* Address(const hosts::HostRowBase& row, void*& kept) override;
    bool LeadReady() const override { return !api_.authId_.empty(); }
    void PushLead(hosts::WordList& words) const override { words.PushAddress(api_.authId_.data()); }
    std::string_view LeadKinds() const override { return "k"; }

   private:
    XqHostApi& api_;
  };
  // The older version function, found without the prefix and without a box.
  class PlainBinding : public hosts::HostBinding {
   public:
    explicit PlainBinding(XqHostApi& api) : api_(api) {}
    void* Address(const hosts::HostRowBase& row, void*& kept) override;

   private:
    XqHostApi& api_;
  };

  std::string authId_;
  void* module_ = nullptr;
  ApiBinding api_{*this};
  PlainBinding plain_{*this};

 public:
  XqHostApi() = default;
  // A copy has the same auth id and module; it looks its functions up anew.
  XqHostApi(const XqHostApi& other) : authId_(other.authId_), module_(other.module_) {}
  XqHostApi& operator=(const XqHostApi&) = delete;

  // Finds xqapi.dll (the loaded one, else the one in the run directory's
  // "bin" folder); true when the host then reports a version above 0.
  bool BindModule();
  std::string GetAuthId() const { return authId_; }
  // The auth id becomes the little-endian bytes of `first`, then of `second`.
  void SetAuthId(std::int32_t first, std::int32_t second);
  void* module() const { return module_; }

  hosts::HostRow<hosts::BlockText(hosts::Lead)> GetOnlineAccounts{api_, "GetOnlineAccounts", "S3_Api_GetOnLineList"};
  void SendMessage(const std::string& robot, std::int32_t type, const std::string& group, const std::string& qq,
                   const std::string& message, std::int32_t sixth = 0) {
    sendMsg_(robot, type, group, qq, message, sixth);
  }
  hosts::HostRow<void(hosts::Lead, hosts::Text, hosts::Text, hosts::Text, hosts::Int)> MuteMember{
      api_, "MuteMember", "S3_Api_ShutUP"};
  hosts::HostRow<void(hosts::Lead, hosts::Text, hosts::Text, hosts::Text, hosts::Bool)> KickMember{
      api_, "KickMember", "S3_Api_KickGroupMBR"};
  hosts::HostRow<hosts::BlockText(hosts::Lead, hosts::Text, hosts::Text, hosts::Text, hosts::Text)> RecallMessage{
      api_, "RecallMessage", "S3_Api_WithdrawMsg"};
  hosts::HostRow<void(hosts::Lead, hosts::Text)> OutputLog{api_, "OutputLog", "S3_Api_OutPutLog"};

  // Without the auth id; nothing happens while no module is bound.
  void DbgName(const std::string& text);
  void Mark(const std::string& text);
  std::string GetVer();

  // The entry of "S3_Api_" + `name`, or null (after the warning boxes).
  void* ResolveApi(const std::string& name);

  const hosts::HostBinding& binding() const { return api_; }
  const hosts::HostBinding& plainBinding() const { return plain_; }

  // The boxes the adapter shows; replaceable (tests). `exclamation` is set
  // for the load warning, which also has the host's file name in its title.
  using MessageBoxFunction = std::function<void(const std::string& text, const std::string& title, bool exclamation)>;
  static void SetMessageBox(MessageBoxFunction box);
  // The load warning comes once per run; this starts a new run (tests).
  static void ResetLoadWarning();

 private:
  hosts::HostRow<void(hosts::Lead, hosts::Text, hosts::Int, hosts::Text, hosts::Text, hosts::Text, hosts::Int)>
      sendMsg_{api_, "SendMessage", "S3_Api_SendMsg"};
  hosts::HostRow<void(hosts::Text)> dbgName_{api_, "DbgName", "S3_Api_DbgName"};
  hosts::HostRow<void(hosts::Text)> mark_{api_, "Mark", "S3_Api_Mark"};
  hosts::HostRow<hosts::BlockText()> getVer_{api_, "GetVer", "S3_Api_GetVer"};
  hosts::HostRow<hosts::Text()> oldGetVer_{plain_, "GetVer", "Api_GetVer"};
};

}  // namespace zoq
