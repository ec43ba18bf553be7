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
 public:
  // What the adapter takes from the plug-in around it: the plug-in name of
  // the boxes' titles and the folder of the host's executable, under which
  // "bin\xqapi.dll" is the fallback module.
  using TextSource = std::function<std::string()>;
  static void SetPluginContext(TextSource pluginName, TextSource runDirectory);
  // The load warning comes once per run; this starts a new run (tests).
  static void ResetLoadWarning();

  // Finds xqapi.dll (the loaded one; when that reports no version, the one
  // in the run directory's "bin" folder if that is loaded, else the first
  // stays); true when the host then reports a version above 0.
  bool BindModule();
  std::string GetAuthId() const { return binding_.authId.get(); }
  // The auth id becomes the little-endian bytes of `first`, then of `second`.
  void SetAuthId(std::int32_t first, std::int32_t second);
  void* module() const { return binding_.module; }

  // Without the auth id; nothing happens while no module is bound.
  void DbgName(const std::string& text) {
    if (binding_.module) DbgNameRow(text);
  }
  void Mark(const std::string& text) {
    if (binding_.module) MarkRow(text);
  }
  std::string GetVer();

  // Operations of the host's table with logic of their own (the rest are
  // rows); like the rows, each does nothing without the auth id.
  //
  // Replaces `qrcode` by 255 zero bytes, which the host may fill, also when
  // the host lacks the function; without the auth id `qrcode` stays as it is.
  std::string GetQrcode(std::string& qrcode);
  // The host takes only the second text.
  std::string CreateGroup(const std::string& /*first*/, const std::string& second) { return CreateGroupRow(second); }
  // The host's seventh argument is always 0; `seventh` is not passed on.
  void SendXML(const std::string& robot, std::int32_t type, std::int32_t third, const std::string& group,
               const std::string& qq, const std::string& xml, std::int32_t /*seventh*/ = 0) {
    SendXmlRow(robot, type, third, group, qq, xml, 0);
  }

  // The entry of "S3_Api_" + `name`, or null (after the warning boxes).
  void* ResolveApi(const std::string& name) const;

 private:
  struct Binding {
    Binding() = default;
    Binding(const Binding& other) : authId(other.authId), module(other.module.load()) {}
    hosts::KeptValue<std::string> authId;
    std::atomic<void*> module{nullptr};
    void* Address(std::size_t, const char* function) const;
    bool LeadReady() const { return !authId.get().empty(); }
    void PushLead(hosts::WordList& words) const { words.PushAddress(authId.get().data()); }
    static constexpr std::string_view kLeadKinds = "k";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/dll/xq/xq_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
