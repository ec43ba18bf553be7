#include "platform/process.hpp"

#include <windows.h>

#include <exception>
#include <vector>

namespace zoq::platform {

std::optional<std::uint32_t> RunProgram(const std::string& program, const std::string& commandLine,
                                        const std::string& folder) {
  // The NUL device for all three standard handles: reading it gives the end
  // at once, whatever it writes goes nowhere.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (nul == INVALID_HANDLE_VALUE) return std::nullopt;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup, &info);
  CloseHandle(nul);
  if (!started) return std::nullopt;
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

namespace {

struct Other {
  const std::function<void()>* work;
  std::exception_ptr thrown;
};

DWORD WINAPI RunOther(void* given) {
  auto* other = static_cast<Other*>(given);
  try {
    (*other->work)();
  } catch (...) {
    other->thrown = std::current_exception();
  }
  return 0;
}

}  // namespace

void RunTogether(const std::function<void()>& other, const std::function<void()>& mine) {
  Other run{&other, nullptr};
  HANDLE thread = other ? CreateThread(nullptr, 0, &RunOther, &run, 0, nullptr) : nullptr;
  std::exception_ptr thrown;
  try {
    mine();
  } catch (...) {
    thrown = std::current_exception();
  }
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  } else if (other) {
    RunOther(&run);
  }
  if (thrown) std::rethrow_exception(thrown);
  if (run.thrown) std::rethrow_exception(run.thrown);
}

}  // namespace zoq::platform
