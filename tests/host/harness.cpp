#include "tests/host/harness.hpp"

#include <cstdio>

#include <windows.h>

#include <stdexcept>

#include "platform/code_pages.hpp"
#include "platform/files.hpp"

namespace zoq::testing {

std::string BinFolder() { return platform::ExecutableFolder(); }

std::string FakeHostFolder() {
  const std::string bin = BinFolder();
  return bin.substr(0, platform::LastPathSeparator(bin)) + "\\fakehosts";
}

std::string PluginFileName() { return "ZOQ·关键词.dll"; }

namespace {

// A folder and all it holds, at any length of path (the runtime's own
// remover cannot go past MAX_PATH, and a long data folder's test makes one).
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName, inner = path + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(inner);
      } else {
        SetFileAttributesW(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(inner.c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

std::string FreshRunFolder(const std::string& name) {
  const std::string bin = BinFolder();
  const std::string root = bin.substr(0, platform::LastPathSeparator(bin)) + "\\e2e-runs";
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string folder = root + "\\" + name;
  const std::wstring wide = platform::WidePath(folder);
  RemoveTree(wide.starts_with(L"\\\\?\\") ? wide : L"\\\\?\\" + wide);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string ReadFile(const std::string& path) { return platform::ReadWholeFile(path); }
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
void WriteFile(const std::string& path, const std::string& bytes) { platform::WriteWholeFile(path, bytes); }

void WriteInPlaceKeepingTimes(const std::string& file, const std::string& bytes) {
  const HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + file);
  FILE_BASIC_INFO times{};
  GetFileInformationByHandleEx(h, FileBasicInfo, &times, sizeof times);
  DWORD wrote = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
  SetEndOfFile(h);
  SetFileInformationByHandle(h, FileBasicInfo, &times, sizeof times);
  CloseHandle(h);
}

Host::Host(const std::string& runFolder, std::initializer_list<std::string> fakeHostDlls) : folder_(runFolder) {
  const std::string bin = BinFolder();
  CopyFileA((bin + "\\zoqhost.exe").c_str(), (folder_ + "\\zoqhost.exe").c_str(), FALSE);
  CopyFileA((bin + "\\" + PluginFileName()).c_str(), (folder_ + "\\" + PluginFileName()).c_str(), FALSE);
  for (const std::string& dll : fakeHostDlls) {
    CopyFileA((FakeHostFolder() + "\\" + dll).c_str(), (folder_ + "\\" + dll).c_str(), FALSE);
  }

  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite;
  CreatePipe(&inRead, &inWrite, &sa, 0);
  CreatePipe(&outRead, &outWrite, &sa, 0);
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  // Started by its long name, as its owner starts it (a short name of
  // `runFolder` stands for one the code page cannot hold).
  std::wstring exe(32768, L'\0');
  exe.resize(GetLongPathNameW(platform::AnsiToWide(folder_ + "\\zoqhost.exe").c_str(), exe.data(), 32768));
  std::wstring cmd = L"\"" + exe + L"\"";
  // The host starts elsewhere: the plug-in must make its own folder current.
  const std::wstring startFolder = platform::AnsiToWide(bin);
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, startFolder.c_str(), &si, &pi)) {
    throw std::runtime_error("cannot start the test host (error " + std::to_string(GetLastError()) + ")");
  }
  CloseHandle(pi.hThread);
  CloseHandle(inRead);
  CloseHandle(outWrite);
  process_ = pi.hProcess;
  toHost_ = inWrite;
  fromHost_ = outRead;
}

Host::~Host() {
  Command("quit");
  CloseHandle(toHost_);
  WaitForSingleObject(process_, 10000);
  CloseHandle(fromHost_);
  CloseHandle(process_);
}

std::string Host::Command(const std::string& line) {
  const std::string out = line + "\n";
  DWORD wrote = 0;
  ::WriteFile(toHost_, out.data(), static_cast<DWORD>(out.size()), &wrote, nullptr);
  if (line == "quit") return {};
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string answer = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      if (!answer.empty() && answer.back() == '\r') answer.pop_back();
      return answer;
    }
    char buf[4096];
    DWORD got = 0;
    if (!::ReadFile(fromHost_, buf, sizeof buf, &got, nullptr) || got == 0) return "error host-gone";
    pending_.append(buf, got);
  }
}

bool Host::Load() { return Command("load " + Hex(PluginFileName())) == "ok"; }
std::pair<long long, long long> Host::Spent(const std::string& dll) {
  long long call = -1, fake = -1;
  std::sscanf(Command("spent " + Hex(dll)).c_str(), "ok %lld %lld", &call, &fake);
  return {call, fake};
}

void Host::CountPages(bool on) { Command(on ? "pages 1" : "pages 0"); }
std::pair<int, int> Host::PagesTouched() {
  int code = -1, other = -1;
  std::sscanf(Command("touched").c_str(), "ok %d %d", &code, &other);
  return {code, other};
}

long long Host::PeakMemory() {
  long long bytes = -1;
  std::sscanf(Command("memory").c_str(), "ok %lld", &bytes);
  return bytes;
}

bool Host::Preload(const std::string& dll) { return Command("preload " + Hex(dll)) == "ok"; }
void Host::Unload() { Command("unload"); }

void Host::Kill() {
  TerminateProcess(process_, 9);
  WaitForSingleObject(process_, 10000);
}

namespace {
std::string Specs(const std::vector<Arg>& args) {
  std::string line;
  for (const Arg& a : args) {
    if (auto* s = std::get_if<std::string>(&a)) line += " h" + Hex(*s);
    else if (auto* n = std::get_if<std::int32_t>(&a)) line += " n" + std::to_string(*n);
    else if (auto* w = std::get_if<Address>(&a)) line += " n" + std::to_string(w->value);
    else line += " z";
  }
  return line;
}
}  // namespace

bool Host::Storm(int threads, int times, const std::string& name, const std::vector<std::vector<Arg>>& sets) {
  std::string line = "storm " + std::to_string(threads) + " " + std::to_string(times) + " " + name;
  for (std::size_t i = 0; i < sets.size(); ++i) line += (i ? " |" : "") + Specs(sets[i]);
  return Command(line) == "ok";
}

std::pair<long, long> Host::Wait() {
  long calls = -1, skews = -1;
  std::sscanf(Command("wait").c_str(), "ok %ld %ld", &calls, &skews);
  return {calls, skews};
}

CallResult Host::Call(const std::string& name, char kind, const std::vector<Arg>& args) {
  const std::string line = "call " + name + " " + kind + Specs(args);
  CallResult r;
  r.raw = Command(line);
  if (r.raw.rfind("ok ", 0) != 0) return r;
  r.ok = true;
  const std::size_t sp = r.raw.find(' ', 3);
  r.stackSkew = std::stoi(r.raw.substr(3, sp - 3));
  const std::string value = sp == std::string::npos ? std::string() : r.raw.substr(sp + 1);
  if (kind == 't') r.text = Unhex(value);
  if (kind == 'n' && !value.empty()) r.number = std::stoi(value);
  return r;
}

CallResult Host::CallText(const std::string& name, const std::vector<Arg>& args) { return Call(name, 't', args); }
CallResult Host::CallNumber(const std::string& name, const std::vector<Arg>& args) { return Call(name, 'n', args); }
CallResult Host::CallVoid(const std::string& name, const std::vector<Arg>& args) { return Call(name, 'v', args); }

void Host::SetClock(std::uint32_t ticks, int year, int month, int day, int weekday, int hour, int minute, int second) {
  Command("clock " + std::to_string(ticks) + " " + std::to_string(year) + " " + std::to_string(month) + " " +
          std::to_string(day) + " " + std::to_string(weekday) + " " + std::to_string(hour) + " " +
          std::to_string(minute) + " " + std::to_string(second));
}

namespace {
std::uintptr_t AddressAnswer(const std::string& answer) {
  return answer.rfind("ok ", 0) == 0 ? static_cast<std::uintptr_t>(std::stoull(answer.substr(3))) : 0;
}
}  // namespace

std::uintptr_t Host::FunctionAddress(const std::string& dll, const std::string& function) {
  return AddressAnswer(Command("address " + Hex(dll) + " " + Hex(function)));
}
std::uintptr_t Host::Block(const std::string& bytes) { return AddressAnswer(Command("block " + Hex(bytes))); }

std::string Host::CurrentFolder() {
  const std::string a = Command("cwd");
  return a.rfind("ok ", 0) == 0 ? Unhex(a.substr(3)) : std::string();
}

}  // namespace zoq::testing
