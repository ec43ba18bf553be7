// The classic QQ hosts (VLQ, OQ, MingQQ, SP, ER): one layout of operations
// over each host's API DLL, which differ only in the DLL, in a few function
// names, in the length of `Api_SendMsg` and in the mention code.
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

struct ClassicHostConfig {
  const char* library;        // API DLL file name
  const char* sendMsg6;       // `Api_SendMsg` with the trailing 0, or null
  const char* sendMsg5;       // `Api_SendMsg` without it, or null
  const char* shutUp;         // the mute with an integer answer ("Api_Shutup"), or null
  const char* shutUpQuietly;  // the mute without an answer ("Api_Shutup" or "Api_ShutUP"), or null
  const char* outputLog;      // "Api_OutPutLog" or "Api_OutPut"
  const char* onlineList;     // "Api_GetOnLineList" or "Api_GetOnlineQQlist"
  const char* mentionPrefix;  // "[@" or "[at="
};

class ClassicHostApi {
 public:
  explicit ClassicHostApi(const ClassicHostConfig& config) : config_(config), binding_(config.library) {}

  void SendPrivateMessage(const std::string& robot, const std::string& qq, const std::string& message) {
    Send(robot, 1, qq, message);
  }
  void SendGroupMessage(const std::string& robot, const std::string& group, const std::string& message) {
    Send(robot, 2, group, message);
  }
  std::string MentionCode(const std::string& qq) const { return config_.mentionPrefix + qq + "]"; }
  // The host's answer where it gives one, else 0.
  std::int32_t MuteMember(const std::string& robot, const std::string& group, const std::string& qq,
                          std::int32_t seconds) {
    if (config_.shutUp) return ShutUp(robot, group, qq, seconds);
    ShutUpQuietly(robot, group, qq, seconds);
    return 0;
  }

 private:
  ClassicHostConfig config_;
  hosts::LibraryBinding binding_;

  // The target goes twice: as the group and as the qq of the host function.
  void Send(const std::string& robot, std::int32_t kind, const std::string& target, const std::string& message) {
    if (config_.sendMsg6) SendMsg6(robot, kind, target, target, message, 0);
    else SendMsg5(robot, kind, target, target, message);
  }

#define ZOQ_ROWS_FILE "hosts/dll/classic/classic_rows.inc"
#include "hosts/call/rows.inc"
};

extern const ClassicHostConfig kVlqHost;
extern const ClassicHostConfig kOqHost;
extern const ClassicHostConfig kMingQqHost;
extern const ClassicHostConfig kSpHost;
extern const ClassicHostConfig kErHost;

template <const ClassicHostConfig& Config>
class ClassicHostOf : public ClassicHostApi {
 public:
  ClassicHostOf() : ClassicHostApi(Config) {}
};

class VlqHostApi : public ClassicHostOf<kVlqHost> {};
class OqHostApi : public ClassicHostOf<kOqHost> {};
class MingQqHostApi : public ClassicHostOf<kMingQqHost> {};
class SpHostApi : public ClassicHostOf<kSpHost> {};
class ErHostApi : public ClassicHostOf<kErHost> {};

}  // namespace zoq
