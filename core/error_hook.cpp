#include "core/error_hook.hpp"

#include <mutex>

#include "core/hosts.hpp"

namespace zoq {
namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}

ErrorHandler& CurrentHandler() {
  static ErrorHandler handler;
  return handler;
}

}  // namespace

void RegisterErrorHook(ErrorHandler handler) {
  std::lock_guard lock(HookMutex());
  CurrentHandler() = std::move(handler);
}

void RaiseRuntimeError(int code, const std::string& message) {
  // Set while this thread's handler runs: what the report itself raises is
  // dropped instead of reported from within the report.
  thread_local bool reporting = false;
  if (reporting) return;
  ErrorHandler handler;
  {
    std::lock_guard lock(HookMutex());
    handler = CurrentHandler();
  }
  if (!handler) return;
  reporting = true;
  try {
    handler(code, message);
  } catch (...) {
    // A report that fails is dropped; the caller goes on either way.
  }
  reporting = false;
}

std::string RuntimeErrorMessage(int code, std::string_view dll, std::string_view function) {
  switch (code) {
    case kErrMissingDllCommand:
      return "无法找到指定DLL库文件“" + std::string(dll) + "”中的输出命令“" + std::string(function) + "”";
    case kErrIndexOutOfRange: return "数组成员引用下标超出定义范围";
    case kErrNotNumeric: return "未得到所需要的数值型数据";
    case kErrIndexBelowOne: return "数组成员引用下标必须大于等于1";
    case kErrStackImbalance: return "调用DLL命令后发现堆栈错误";
    case kErrBadRedimension: return "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零";
    default: return {};
  }
}

std::string BuildRuntimeErrorReport(int code, const std::string& message) {
  return "澜错误代码:" + std::to_string(code) + "\r\n澜错误信息:" + message;
}

namespace {

// The hook registered at load: the report goes to the second XQ adapter,
// which is never bound, so it reaches no host.
void ReportRuntimeError(int code, const std::string& message) {
  if (PluginState* state = PluginIfAlive()) state->Adapters->xqReport.Mark(BuildRuntimeErrorReport(code, message));
}

}  // namespace

void RegisterLoadTimeErrorHook() {
  RegisterErrorHook(&ReportRuntimeError);
  hosts::SetFaultSink([](const hosts::HostFault& fault) {
    const int code = fault.kind == hosts::HostFault::MissingFunction ? kErrMissingDllCommand : kErrStackImbalance;
    RaiseRuntimeError(code, RuntimeErrorMessage(code, fault.library, fault.function));
  });
}

}  // namespace zoq
