// End-to-end tests: a fresh run directory holding the test host program and
// the real plug-in DLL (and, on request, fake host API DLLs), with the host
// program running there as a separate process, driven command by command.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/host/hex.hpp"

namespace zoq::testing {

// The build's folders, found from the running test program (build/bin).
std::string BinFolder();
std::string FakeHostFolder();
std::string PluginFileName();  // "ZOQ·关键词.dll" in GBK

// Deletes and re-creates build/e2e-runs/<name>; returns its path.
std::string FreshRunFolder(const std::string& name);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The bytes as the file's, written in place by a program that then gives
// it back its times (all of them where the system lets it: Wine keeps the
// change time of the write). Throws when the file cannot be opened.
void WriteInPlaceKeepingTimes(const std::string& file, const std::string& bytes);
// The bytes of a UTF-8 literal (u8"..."), which the build leaves UTF-8: text
// as an editor saves it in UTF-8.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct Null {};
// An address in the host process, a whole word.
struct Address {
  std::uintptr_t value = 0;
};
using Arg = std::variant<std::string, std::int32_t, Null, Address>;

struct CallResult {
  bool ok = false;
  std::int32_t stackSkew = 0;
  std::string text;        // for text results
  std::int32_t number = 0; // for number results
  std::string raw;         // the host's answer line
};

class Host {
 public:
  // Copies the host program and the plug-in into `runFolder` (plus the named
  // fake host DLLs from the fake host folder) and starts the host there.
  explicit Host(const std::string& runFolder, std::initializer_list<std::string> fakeHostDlls = {});
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::string& folder() const { return folder_; }

  bool Load();  // loads the plug-in
  // Loads another DLL (a host's API DLL) into the host process.
  bool Preload(const std::string& dll);
  void Unload();
  // Ends the host process at once, as a crash or End task does.
  void Kill();
  CallResult CallText(const std::string& name, const std::vector<Arg>& args = {});
  CallResult CallNumber(const std::string& name, const std::vector<Arg>& args = {});
  CallResult CallVoid(const std::string& name, const std::vector<Arg>& args = {});
  // Starts `threads` threads of the host that each call the export `name`
  // `times` times while the host goes on, their first calls together; call
  // i of a thread takes the argument set i % sets, its texts with "{n}" the
  // round (i / sets) and "{t}" the thread's number.
  bool Storm(int threads, int times, const std::string& name, const std::vector<std::vector<Arg>>& sets);
  // Waits for the storms to end: the calls made, and those that removed
  // another number of argument words.
  std::pair<long, long> Wait();
  // From now on the plug-in's tick count and local time read these values.
  void SetClock(std::uint32_t ticks, int year, int month, int day, int weekday, int hour, int minute, int second);
  std::string CurrentFolder();
  // The last call's nanoseconds inside the export, and those the fake host
  // DLL `dll` has spent answering calls so far (benchmarks).
  std::pair<long long, long long> Spent(const std::string& dll);
  // The host process's peak working set in bytes.
  long long PeakMemory();
  // Counts, from now on, the pages of the plug-in's image each call touches
  // (each call made with all of them guarded): of its code, and of the rest,
  // for the last call.
  void CountPages(bool on);
  std::pair<int, int> PagesTouched();
  // The address of `function` of the loaded module `dll` in the host
  // process; 0 when there is none.
  std::uintptr_t FunctionAddress(const std::string& dll, const std::string& function);
  // The address of a copy of `bytes` in the host process's memory.
  std::uintptr_t Block(const std::string& bytes);
  std::string Command(const std::string& line);

 private:
  CallResult Call(const std::string& name, char kind, const std::vector<Arg>& args);
  std::string folder_;
  void* process_ = nullptr;
  void* toHost_ = nullptr;
  void* fromHost_ = nullptr;
  std::string pending_;
};

}  // namespace zoq::testing
