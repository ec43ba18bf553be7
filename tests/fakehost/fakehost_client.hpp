// The tests' side of the fake host DLLs: copy one into a folder, load it in
// this process, set its answers and read the calls it recorded; or read the
// fakehost.log that a fake DLL wrote in another process.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zoq::testing {

// One recorded call: the DLL's file name, the function, the arguments as
// the log writes them (texts as their bytes, numbers in decimal, an 8-byte
// auth id in hex; a null text as "\N").
struct FakeCall {
  std::string dll;
  std::string function;
  std::vector<std::string> args;
  bool operator==(const FakeCall&) const = default;
};

// For test failures: dll!function(arg, ...).
inline void PrintTo(const FakeCall& c, std::ostream* os) {
  *os << c.dll << "!" << c.function << "(";
  for (std::size_t i = 0; i < c.args.size(); ++i) *os << (i ? ", " : "") << '"' << c.args[i] << '"';
  *os << ")";
}

// The folder the build puts the fake host DLLs in (<build>/fakehosts).
std::string FakeHostBuildFolder();

// A folder of the running test's own, <build>/<runs>/<suite>.<test>, made
// anew and empty.
std::string FreshTestRunFolder(const std::string& runs);

// Parses log lines (FakeHost_Log or a fakehost.log file).
std::vector<FakeCall> ParseFakeHostLog(const std::string& text);

// One line of fakehost.answers: `function` answers `value` (nullopt: 0, a
// null text).
std::string FakeHostAnswerLine(const std::string& function, const std::optional<std::string>& value);

class FakeHostDll {
 public:
  // Copies <fake host folder>/<file> into `folder` (made if missing) and
  // loads the copy; `file` may name a sub-folder ("xq-old\\xqapi.dll").
  // The copy is unloaded with the object, so that the next test's copy of
  // the same name is the one a host binding finds.
  FakeHostDll(const std::string& file, const std::string& folder);
  ~FakeHostDll();
  FakeHostDll(const FakeHostDll&) = delete;
  FakeHostDll& operator=(const FakeHostDll&) = delete;

  bool loaded() const { return module_ != nullptr; }
  void* module() const { return module_; }
  const std::string& path() const { return path_; }

  void Reset();
  void SetAnswer(const std::string& function, const std::optional<std::string>& value);
  std::vector<FakeCall> Calls() const;
  // The functions the DLL exports, from its list: name -> "<argument kinds> <result kind>".
  std::vector<std::pair<std::string, std::string>> Functions() const;
  // How many heap blocks it handed out are not freed yet.
  int LiveBlocks() const;

 private:
  void* Export(const char* name) const;
  std::string path_;
  void* module_ = nullptr;
};

}  // namespace zoq::testing
