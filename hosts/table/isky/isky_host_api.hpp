// The ISky host's adapter over message.dll: every host function takes the
// auth code the host handed over first.
// (The operations the plug-in core calls; the rest come with the host's own
// work.)
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class IskyHostApi {
 public:
  void SetAuthCode(std::int32_t code) { binding_.authCode = code; }

  // Kind 1 with an empty group text; kind 2 with an empty user text.
  template <class... Flag>
  std::int32_t SendPrivateMessage(const std::string& qq, const std::string& message, Flag... flag) {
    return SendMsg(1, std::string(), qq, message, flag...);
  }
  template <class... Flag>
  std::int32_t SendGroupMessage(const std::string& group, const std::string& message, Flag... flag) {
    return SendMsg(2, group, std::string(), message, flag...);
  }
  static std::string MentionCode(const std::string& qq) { return "[CQ:at,qq=" + qq + "]"; }

 private:
  struct Binding : hosts::LibraryBinding {
    Binding() : LibraryBinding("message.dll") {}
    std::int32_t authCode = 0;
    bool LeadReady() const { return true; }
    void PushLead(hosts::WordList& words) const { words.Push(static_cast<std::uint32_t>(authCode)); }
    static constexpr std::string_view kLeadKinds = "i";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/table/isky/isky_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
