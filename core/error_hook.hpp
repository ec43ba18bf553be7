// Runtime errors: failures that cannot be handled where they happen (a host
// function missing from its DLL or declared with other arguments, an index
// out of range). Each goes to the handler registered last, which receives the
// code and the message. The handler only reports: the process always goes on,
// and the failing operation gives its empty result. A runtime error raised
// while a handler is reporting (a report that itself fails in the host) is
// dropped: no handler is ever entered again from within itself.
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace zoq {

enum RuntimeErrorCode : int {
  kErrMissingDllCommand = 0,  // "无法找到指定DLL库文件“%s”中的输出命令“%s”"
  kErrIndexOutOfRange = 1,
  kErrNotNumeric = 2,
  kErrIndexBelowOne = 4,
  kErrStackImbalance = 6,
  kErrBadRedimension = 10,
};

using ErrorHandler = std::function<void(int code, const std::string& message)>;

// Makes `handler` the one that receives every later runtime error.
void RegisterErrorHook(ErrorHandler handler);

// Hands a runtime error to the handler registered last; returns afterwards.
void RaiseRuntimeError(int code, const std::string& message);

// The standard message of `code`; for kErrMissingDllCommand the DLL and the
// function name are put in.
std::string RuntimeErrorMessage(int code, std::string_view dll = {}, std::string_view function = {});

// The load-time hook's report text: "澜错误代码:" code CR LF "澜错误信息:" message.
std::string BuildRuntimeErrorReport(int code, const std::string& message);

// Registers the load-time hook, which hands the report to the never-bound
// second XQ adapter object (so it reaches no host), and has the host call
// path's faults (a host function that cannot be found or that left the stack
// unbalanced) raised as runtime errors.
void RegisterLoadTimeErrorHook();

}  // namespace zoq
