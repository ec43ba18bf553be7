// A stand-in for a host framework's API DLL. The same source is built once
// per host under the host DLL's own file name; the functions it exports come
// from that host's list (name, argument kinds, result kind), turned into
// fakehost_exports.inc and a module-definition file at build time.
//
// Every call is recorded as one line: the DLL's file name, the function name
// and each argument, separated by tabs (see README.md), kept in memory for
// FakeHost_Log and appended to fakehost.log in the DLL's folder. Answers come
// from FakeHost_SetAnswer, else from fakehost.answers in the DLL's folder,
// else 0 (a null text).
#include <windows.h>

#include <atomic>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "log_format.hpp"

namespace {

// One argument word: 32 bits in the i386 build, as the hosts' own API DLLs
// take them; 64 in the x86-64 one, where a word holds an address whole and
// a 64-bit number or a double is one word.
using W = std::uintptr_t;
constexpr bool kWideWords = sizeof(W) == 8;

// The start record of the WeChat-style host's InitApp, as a C compiler lays
// it out for the build's processor.
struct StartRecord {
  const char* appName;
  const char* fileName;
  std::int32_t logOutput, state;
  const char* version;
  std::int32_t update;
};

struct Entry {
  const char* name;
  const char* kinds;  // argument kind letters, one per argument
  char result;        // result kind letter
  const char* answer; // the answer when no test set one, or null
};

std::uint64_t Dispatch(int index, const W* words);

}  // namespace

#include "fakehost_exports.inc"

namespace {

std::mutex g_mutex;
std::string g_log;
std::map<std::string, std::optional<std::string>> g_answers;     // set in-process
std::map<std::string, std::optional<std::string>> g_fileAnswers;  // last read from fakehost.answers
// Blocks handed out, by address and size (a block of another size at the
// same place is another block).
std::vector<std::pair<void*, std::size_t>> g_blocks;

void Handed(void* block, std::size_t size) {
  std::erase_if(g_blocks, [&](const auto& b) { return b.first == block; });
  g_blocks.emplace_back(block, size);
}
// Extra bytes that keep other allocations of the host process from taking
// over a freed block's place before a test looks at it.
constexpr std::size_t kBlockPadding = 200;
HMODULE g_self = nullptr;

// This DLL's own path, cut after its last backslash: the folder (with the
// backslash) and the file name.
struct OwnPath {
  std::string folder, file;
};

const OwnPath& Self() {
  static const OwnPath self = [] {
    char path[MAX_PATH + 1] = {};
    const std::string p(path, GetModuleFileNameA(g_self, path, MAX_PATH));
    const std::size_t cut = p.find_last_of('\\') + 1;  // 0 without a backslash
    return OwnPath{p.substr(0, cut), p.substr(cut)};
  }();
  return self;
}

using zoq::fakehost::Escape;

std::optional<std::string> AnswerValue(const std::string& field) {
  if (field == zoq::fakehost::kNullField) return std::nullopt;
  return zoq::fakehost::Unescape(field);
}

std::string TextAt(W address) {
  const char* p = reinterpret_cast<const char*>(address);
  return p ? Escape(p) : std::string(zoq::fakehost::kNullField);
}

// A 64-bit number or a double: two words, low first, or one wide word.
std::uint64_t Take64(const W*& w) {
  if constexpr (kWideWords) return *w++;
  const std::uint64_t v = w[0] | (std::uint64_t(w[1]) << 32);
  w += 2;
  return v;
}

std::string Hex(const unsigned char* p, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// One argument as the log shows it; advances over the words it used.
std::string Render(char kind, const W*& w) {
  switch (kind) {
    case 'i': return std::to_string(static_cast<std::int32_t>(*w++));
    case 'b': return std::to_string(static_cast<std::uint32_t>(*w++));
    case 'l': return std::to_string(static_cast<std::int64_t>(Take64(w)));
    case 'd': {
      const std::uint64_t v = Take64(w);
      double d;
      std::memcpy(&d, &v, sizeof d);
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", d);
      return text;
    }
    case 'c': {
      const char* p = reinterpret_cast<const char*>(w[0]);
      const auto n = static_cast<std::uint32_t>(w[1]);
      w += 2;
      return p ? Escape(std::string_view(p, n)) : (n ? std::string(zoq::fakehost::kNullField) : std::string());
    }
    case 'k': {
      const auto* p = reinterpret_cast<const unsigned char*>(*w++);
      return p ? Hex(p, 8) : std::string(zoq::fakehost::kNullField);
    }
    case 'p': case 'q': case 's': case 'o': case 'r':
      return *w++ ? std::string("ptr") : std::string(zoq::fakehost::kNullField);
    case 'f': return std::to_string(*w++);
    case 'h': case 'n': {
      // The array the variable holds (two 32-bit numbers, 1 and the count,
      // then the items): its count and, for numbers, the numbers.
      const W* variable = reinterpret_cast<const W*>(*w++);
      if (!variable) return std::string(zoq::fakehost::kNullField);
      const auto* block = reinterpret_cast<const std::uint32_t*>(*variable);
      if (!block) return "array:null";
      std::string out = "array:" + std::to_string(block[1]);
      for (std::uint32_t i = 0; kind == 'n' && i < block[1]; ++i) {
        std::int64_t v;
        std::memcpy(&v, block + 2 + 2 * i, 8);
        out += "," + std::to_string(v);
      }
      return out;
    }
    case 'e': {
      // A cell holding the address of the start record: text, text, 32-bit,
      // 32-bit, text, 32-bit; the six fields become six of the line's.
      const auto* cell = reinterpret_cast<const W*>(*w++);
      if (!cell || !*cell) return std::string(zoq::fakehost::kNullField);
      const auto* r = reinterpret_cast<const StartRecord*>(*cell);
      const W fields[] = {reinterpret_cast<W>(r->appName), reinterpret_cast<W>(r->fileName),
                          static_cast<W>(r->logOutput),    static_cast<W>(r->state),
                          reinterpret_cast<W>(r->version), static_cast<W>(r->update)};
      const W* field = fields;
      std::string out;
      for (const char kind : std::string_view("ttiiti")) out += (out.empty() ? "" : "\t") + Render(kind, field);
      return out;
    }
    default: return TextAt(*w++);  // t, y, a: the bytes up to the first NUL
  }
}

void AppendToFile(const std::string& line) {
  const std::string path = Self().folder + "fakehost.log";
  HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(f);
}

void ReadAnswerFile() {
  const std::string path = Self().folder + "fakehost.answers";
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(f);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    const std::size_t tab = line.find('\t');
    if (line.empty()) continue;
    if (tab == std::string::npos) g_fileAnswers[line] = std::nullopt;
    else g_fileAnswers[line.substr(0, tab)] = AnswerValue(line.substr(tab + 1));
  }
}

// The answer set for `key` in-process or in the answers file, else null.
const std::optional<std::string>* SetAnswer(const std::string& key) {
  if (auto it = g_answers.find(key); it != g_answers.end()) return &it->second;
  ReadAnswerFile();
  if (auto it = g_fileAnswers.find(key); it != g_fileAnswers.end()) return &it->second;
  return nullptr;
}

const std::optional<std::string>* Answer(const Entry& e) {
  if (const auto* set = SetAnswer(e.name)) return set;
  if (!e.answer) return nullptr;
  static std::map<std::string, std::optional<std::string>> listed;
  return &(listed[e.name] = std::string(e.answer));
}

// A block handed out through an out-variable: LiveBlocks counts it too.
W NewBlock(const void* bytes, std::size_t n, std::size_t room) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, room + kBlockPadding);
  if (n) std::memcpy(block, bytes, n);
  Handed(block, room + kBlockPadding);
  return reinterpret_cast<W>(block);
}
W NewText(const std::string& s) { return NewBlock(s.c_str(), s.size() + 1, s.size() + 1); }

// What the host stores in an out-variable of kind `kind` at `address`, as
// the answer "<function>#<argument index>" gives it (see README.md).
void StoreOut(char kind, W address, const std::string& value) {
  W* variable = reinterpret_cast<W*>(address);
  if (!variable) return;
  switch (kind) {
    case 'p': {
      const auto v = static_cast<std::int32_t>(std::stoll(value));
      std::memcpy(variable, &v, 4);
      break;
    }
    case 'q': {
      const std::int64_t v = std::stoll(value);
      std::memcpy(variable, &v, 8);
      break;
    }
    case 's': *variable = NewText(value); break;
    case 'o': {
      std::string block(8, '\0');
      const std::uint32_t header[2] = {1, static_cast<std::uint32_t>(value.size())};
      std::memcpy(block.data(), header, 8);
      block += value;
      *variable = NewBlock(block.data(), block.size(), block.size());
      break;
    }
    case 'r': {  // texts separated by "|", one per word; empty pieces leave their word
      std::size_t word = 0, from = 0;
      for (;;) {
        const std::size_t bar = value.find('|', from);
        const std::string piece = value.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        if (!piece.empty()) variable[word] = NewText(piece);
        if (bar == std::string::npos) break;
        from = bar + 1;
        ++word;
      }
      break;
    }
    case 'h': {  // a new array of that many zeroed 64-byte records: 1, the count, their addresses
      const auto n = static_cast<std::uint32_t>(std::stoul(value));
      std::string block(8, '\0');
      const std::uint32_t header[2] = {1, n};
      std::memcpy(block.data(), header, 8);
      for (std::uint32_t i = 0; i < n; ++i) {
        const W record = NewBlock(nullptr, 0, 64);
        block.append(reinterpret_cast<const char*>(&record), sizeof record);
      }
      *variable = NewBlock(block.data(), block.size(), block.size());
      break;
    }
    default: break;
  }
}

std::uint64_t Reply(char result, const std::optional<std::string>* answer) {
  if (!answer || !answer->has_value()) return 0;
  const std::string& value = **answer;
  switch (result) {
    case 't': return reinterpret_cast<std::uintptr_t>(value.c_str());
    case 'x': {
      auto* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, 4 + value.size() + kBlockPadding));
      const auto n = static_cast<std::uint32_t>(value.size());
      std::memcpy(block, &n, 4);
      std::memcpy(block + 4, value.data(), value.size());
      // A block at the place of an earlier one means that one was freed.
      Handed(block, 4 + value.size() + kBlockPadding);
      return reinterpret_cast<std::uintptr_t>(block);
    }
    case 'v': return 0;
    default: return static_cast<std::uint64_t>(std::stoll(value.empty() ? "0" : value));
  }
}

// Time spent answering calls, for benchmarks that take it out of theirs.
std::atomic<long long> g_spentTicks{0};

struct SpentTime {
  LARGE_INTEGER start;
  SpentTime() { QueryPerformanceCounter(&start); }
  ~SpentTime() {
    LARGE_INTEGER stop;
    QueryPerformanceCounter(&stop);
    g_spentTicks += stop.QuadPart - start.QuadPart;
  }
};

std::uint64_t Dispatch(int index, const W* words) {
  const SpentTime spent;
  const Entry& e = kEntries[index];
  std::lock_guard lock(g_mutex);
  std::string line = Self().file + "\t" + e.name;
  const W* w = words;
  std::vector<std::pair<char, W>> outs;  // (kind, address) by argument index
  for (const char* k = e.kinds; *k; ++k) {
    outs.emplace_back(*k, *w);
    line += "\t" + Render(*k, w);
  }
  line += "\n";
  g_log += line;
  AppendToFile(line);
  for (std::size_t i = 0; i < outs.size(); ++i) {
    if (!std::strchr("pqsorh", outs[i].first)) continue;
    const auto* value = SetAnswer(std::string(e.name) + "#" + std::to_string(i));
    if (value && value->has_value()) StoreOut(outs[i].first, outs[i].second, **value);
  }
  return Reply(e.result, Answer(e));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}

// Forgets the recorded calls and the answers set in-process.
__declspec(dllexport) void FakeHost_Reset() {
  std::lock_guard lock(g_mutex);
  g_log.clear();
  g_answers.clear();
}

// From now on `function` answers `length` bytes of `value` (length -1: up
// to its NUL); a null value answers 0 (a null text).
__declspec(dllexport) void FakeHost_SetAnswer(const char* function, const char* value, int length) {
  std::lock_guard lock(g_mutex);
  if (!value) g_answers[function] = std::nullopt;
  else g_answers[function] = std::string(value, length < 0 ? std::strlen(value) : static_cast<std::size_t>(length));
}

// The lines recorded since the last reset.
__declspec(dllexport) long long FakeHost_SpentNanoseconds() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<long long>(static_cast<double>(g_spentTicks) * 1e9 / static_cast<double>(f.QuadPart));
}

__declspec(dllexport) const char* FakeHost_Log() {
  static std::string copy;
  std::lock_guard lock(g_mutex);
  copy = g_log;
  return copy.c_str();
}

// How many of the text blocks handed out are still allocated.
__declspec(dllexport) int FakeHost_LiveBlocks() {
  std::lock_guard lock(g_mutex);
  int live = 0;
  HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) continue;
    for (const auto& [b, size] : g_blocks) live += entry.lpData == b && entry.cbData == size ? 1 : 0;
  }
  HeapUnlock(heap);
  return live;
}

// The list this DLL was built from: one "name kinds result" line a function
// ("-" for no arguments).
__declspec(dllexport) const char* FakeHost_Functions() {
  static std::string list;
  std::lock_guard lock(g_mutex);
  if (list.empty()) {
    for (const Entry& e : kEntries) {
      list += std::string(e.name) + " " + (*e.kinds ? e.kinds : "-") + " " + e.result;
      list += e.answer ? std::string(" ") + e.answer + "\n" : std::string("\n");
    }
  }
  return list.c_str();
}

}  // extern "C"
