// A host framework stand-in: loads the plug-in DLL by its file name, calls its
// exports as a host would (stdcall, argument words of the build's size) and
// answers each command of its standard input with one line on its standard
// output. In the x86-64 build nothing it makes lies below 4 GB
// (tests/high_addresses.hpp).
//
// Commands (texts travel as hex of their bytes, so GBK stays exact):
//   load <hex file name>                 -> ok | error <GetLastError> : the
//        calls go to it from now on
//   use <n>                              -> ok | error : the calls go to the
//        n-th plug-in loaded (from 0), another build side by side (benchmarks)
//   preload <hex file name>              -> ok | error : loads another DLL into
//        the host process, as a host has its own API DLL loaded
//   call <export> <t|n|v> [arg...]       -> ok <stack skew> <result>
//        arg: h<hex bytes> (a text), n<decimal> (a 32-bit word), z (null)
//        result: t = hex of the returned text, n = eax as signed decimal
//   clock <ticks> <y> <mo> <d> <wd> <h> <mi> <s>
//                                        -> ok : the loaded DLL's GetTickCount
//        and GetLocalTime imports answer these values from now on
//   cwd                                  -> ok <hex of the current folder>
//   spent <hex DLL name>                 -> ok <ns> <ns>: the last call's time
//        inside the export, and the time that fake host DLL spent answering
//   memory                               -> ok <bytes>: peak working set
//   twice <0|1>                          -> ok : from now on each call is
//        made twice in a row and only the second is timed (benchmarks: the
//        export's time while what it touches is still in the CPU's caches)
//   pages <0|1>                          -> ok : from now on each call is made
//        with every page of the plug-in's image guarded, to count the pages
//        the call touched
//   touched                              -> ok <code pages> <other pages> :
//        of the plug-in's image, what the last call touched (pages 1)
//   address <hex module> <hex function>  -> ok <decimal address> | error : a
//        function of a loaded module, as a host lists it in its API table
//   block <hex bytes>                    -> ok <decimal address> : a copy of
//        the bytes in the host's memory, kept until the host ends (records
//        and texts a host hands to the plug-in)
//   storm <threads> <times> <export> <arg...> [| <arg...>]...
//                                        -> ok : threads that call the export
//        over and over while the host goes on with its commands, their first
//        calls together; call i of a thread takes argument set i % sets, its
//        texts with "{n}" the round (i / sets) and "{t}" the thread
//   wait                                 -> ok <calls> <calls with a wrong
//        word count> : every storm has ended
//   hold <hex mutex name>                -> ok | error : takes the named mutex
//        and keeps it until the host ends (another process, stopped or
//        hung while it holds the data folder's lock; or one that dies so)
//   where                                -> ok <stack> <heap> <new> <plug-in>
//        : 1 for each of the calling thread's stack, a fresh block of the
//        process heap, a fresh block of new and the plug-in's image that
//        lies above 4 GB, else 0 (tests/high_addresses.hpp)
//   unload                               -> ok
//   quit
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/stdcall.hpp"
#include "tests/end_on_crash.hpp"
#include "tests/high_addresses.hpp"
#include "tests/host/hex.hpp"

namespace {

using zoq::testing::Hex;
using zoq::testing::Unhex;

HMODULE g_plugin = nullptr;               // the plug-in the calls go to
std::vector<HMODULE> g_loaded;            // every plug-in loaded, in order
DWORD g_ticks = 0;
SYSTEMTIME g_time{};


DWORD WINAPI FakeTickCount() { return g_ticks; }
void WINAPI FakeLocalTime(LPSYSTEMTIME st) { *st = g_time; }

// Points the loaded DLL's import of `function` (from any module) at `replacement`.
bool PatchImport(HMODULE module, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return false;
  bool patched = false;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::string(reinterpret_cast<char*>(byName->Name)) != function) continue;
      DWORD old = 0;
      VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
      slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
      patched = true;
    }
  }
  return patched;
}

long long g_lastCallTicks = 0;
bool g_twice = false;

// Pages the last call touched: every page of the plug-in's image is guarded
// before the call, and a page whose guard is gone afterwards was touched. The
// guard's exception is taken here, before any handler of the plug-in sees it.
bool g_countPages = false;
std::atomic<std::uintptr_t> g_imageBegin{0}, g_imageEnd{0};
int g_touchedCode = 0, g_touchedOther = 0;

// A guard met in the image (by any thread of the plug-in): the page was touched.
LONG WINAPI GuardTaken(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD& r = *e->ExceptionRecord;
  const std::uintptr_t at = r.NumberParameters > 1 ? r.ExceptionInformation[1] : 0;
  return r.ExceptionCode == STATUS_GUARD_PAGE_VIOLATION && at >= g_imageBegin && at < g_imageEnd
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}

struct GuardedRegion {
  char* base;
  SIZE_T size;
  DWORD protect;
};

std::vector<GuardedRegion> GuardImage(HMODULE module) {
  static const bool added = AddVectoredExceptionHandler(1, &GuardTaken) != nullptr;
  (void)added;
  std::vector<GuardedRegion> regions;
  MODULEINFO info{};
  if (!GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) return regions;
  char* const end = static_cast<char*>(info.lpBaseOfDll) + info.SizeOfImage;
  g_imageBegin = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
  g_imageEnd = reinterpret_cast<std::uintptr_t>(end);
  MEMORY_BASIC_INFORMATION m;
  for (char* p = static_cast<char*>(info.lpBaseOfDll); p < end && VirtualQuery(p, &m, sizeof m) == sizeof m;
       p = static_cast<char*>(m.BaseAddress) + m.RegionSize) {
    if (m.State != MEM_COMMIT || !m.Protect || (m.Protect & (PAGE_NOACCESS | PAGE_GUARD))) continue;
    DWORD old = 0;
    if (VirtualProtect(m.BaseAddress, m.RegionSize, m.Protect | PAGE_GUARD, &old)) {
      regions.push_back({static_cast<char*>(m.BaseAddress), m.RegionSize, m.Protect});
    }
  }
  return regions;
}

void CountTouched(const std::vector<GuardedRegion>& regions) {
  g_touchedCode = g_touchedOther = 0;
  for (const GuardedRegion& r : regions) {
    const bool code = (r.protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY));
    MEMORY_BASIC_INFORMATION m;
    for (char* p = r.base; p < r.base + r.size; p += 4096) {
      if (VirtualQuery(p, &m, sizeof m) == sizeof m && !(m.Protect & PAGE_GUARD)) ++(code ? g_touchedCode : g_touchedOther);
    }
    DWORD old = 0;
    VirtualProtect(r.base, r.size, r.protect, &old);
  }
}

long long Nanoseconds(long long ticks) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<long long>(static_cast<double>(ticks) * 1e9 / static_cast<double>(f.QuadPart));
}

// Texts the host passes keep their place until the call returns.
struct Arguments {
  std::vector<std::string> texts;
  std::vector<zoq::platform::HostWord> words;
};

// `specs` as argument words; in a text, "{n}" and "{t}" stand for `round`
// and `thread` (the storms' calls).
Arguments Parse(const std::vector<std::string>& specs, long round = 0, long thread = 0) {
  Arguments a;
  a.texts.reserve(specs.size());
  for (const std::string& s : specs) {
    if (s[0] == 'h') {
      std::string text = Unhex(s.substr(1));
      for (const auto& [mark, value] : {std::pair{"{n}", round}, std::pair{"{t}", thread}}) {
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, 3, std::to_string(value));
      }
      a.texts.push_back(std::move(text));
      a.words.push_back(zoq::platform::WordOf(a.texts.back().c_str()));
    } else if (s[0] == 'n') {
      a.words.push_back(static_cast<zoq::platform::HostWord>(std::stoll(s.substr(1))));
    } else {
      a.words.push_back(0);
    }
  }
  return a;
}

std::string Call(std::istringstream& in) {
  std::string name, kind, arg;
  in >> name >> kind;
  std::vector<std::string> specs;
  while (in >> arg) specs.push_back(arg);
  const Arguments a = Parse(specs);
  if (!g_plugin) return "error not-loaded";
  FARPROC fn = GetProcAddress(g_plugin, name.c_str());
  if (!fn) return "error no-export";
  if (g_twice) zoq::platform::CallStdcall(reinterpret_cast<const void*>(fn), a.words);
  const std::vector<GuardedRegion> guarded = g_countPages ? GuardImage(g_plugin) : std::vector<GuardedRegion>{};
  LARGE_INTEGER start, stop;
  QueryPerformanceCounter(&start);
  const auto out = zoq::platform::CallStdcall(reinterpret_cast<const void*>(fn), a.words);
  QueryPerformanceCounter(&stop);
  if (g_countPages) CountTouched(guarded);
  g_lastCallTicks = stop.QuadPart - start.QuadPart;
  std::string result;
  if (kind == "t") {
    const char* p = zoq::platform::AtWord<const char>(out.low);
    result = p ? Hex(p) : "null";
  } else if (kind == "n") {
    result = std::to_string(static_cast<std::int32_t>(out.low));
  }
  return "ok " + std::to_string(out.stackSkew) + " " + result;
}

// Storms: threads that call one export over and over while the host goes on
// with its commands, as a host that delivers events on several threads.
std::vector<std::thread> g_storm;
std::atomic<long> g_stormCalls{0}, g_stormSkews{0};

// storm <threads> <times> <export> <arg specs> [| <arg specs>]...: each
// thread makes `times` calls, the first once every thread is there; call i
// takes the argument set i % sets, with "{n}" the round (i / sets) and "{t}"
// the thread.
std::string Storm(std::istringstream& in) {
  long threads = 0, times = 0;
  std::string name, token;
  in >> threads >> times >> name;
  std::vector<std::vector<std::string>> sets(1);
  while (in >> token) {
    if (token == "|") {
      sets.emplace_back();
    } else {
      sets.back().push_back(token);
    }
  }
  if (!g_plugin) return "error not-loaded";
  FARPROC fn = GetProcAddress(g_plugin, name.c_str());
  if (!fn) return "error no-export";
  const auto ready = std::make_shared<std::atomic<long>>(0);
  for (long t = 0; t < threads; ++t) {
    g_storm.emplace_back([=] {
      for (++*ready; *ready < threads;) std::this_thread::yield();
      for (long i = 0; i < times; ++i) {
        const long set = i % static_cast<long>(sets.size());
        const Arguments a = Parse(sets[static_cast<std::size_t>(set)], i / static_cast<long>(sets.size()), t);
        const auto out = zoq::platform::CallStdcall(reinterpret_cast<const void*>(fn), a.words);
        ++g_stormCalls;
        if (out.stackSkew != 0) ++g_stormSkews;
      }
    });
  }
  return "ok";
}

// wait: every storm has ended -> ok <calls> <calls with a wrong word count>
std::string Wait() {
  for (std::thread& t : g_storm) t.join();
  g_storm.clear();
  return "ok " + std::to_string(g_stormCalls.exchange(0)) + " " + std::to_string(g_stormSkews.exchange(0));
}

std::string Handle(const std::string& line) {
  std::istringstream in(line);
  std::string cmd;
  in >> cmd;
  if (cmd == "load") {
    std::string hex;
    in >> hex;
    g_plugin = LoadLibraryA(Unhex(hex).c_str());
    if (g_plugin) g_loaded.push_back(g_plugin);
    return g_plugin ? "ok" : "error " + std::to_string(GetLastError());
  }
  if (cmd == "preload") {
    std::string hex;
    in >> hex;
    return LoadLibraryA(Unhex(hex).c_str()) ? "ok" : "error " + std::to_string(GetLastError());
  }
  if (cmd == "call") return Call(in);
  if (cmd == "storm") return Storm(in);
  if (cmd == "wait") return Wait();
  if (cmd == "clock") {
    int y, mo, d, wd, h, mi, s;
    in >> g_ticks >> y >> mo >> d >> wd >> h >> mi >> s;
    g_time = SYSTEMTIME{WORD(y), WORD(mo), WORD(wd), WORD(d), WORD(h), WORD(mi), WORD(s), 0};
    if (!g_plugin) return "error not-loaded";
    PatchImport(g_plugin, "GetTickCount", reinterpret_cast<void*>(&FakeTickCount));
    PatchImport(g_plugin, "GetLocalTime", reinterpret_cast<void*>(&FakeLocalTime));
    return "ok";
  }
  if (cmd == "cwd") {
    char buf[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof buf, buf);
    return "ok " + Hex(buf);
  }
  if (cmd == "spent") {
    // The last call's time inside the export, and the time the fake host
    // DLL of that name has spent answering calls so far.
    std::string hex;
    in >> hex;
    long long fake = 0;
    if (HMODULE m = GetModuleHandleA(Unhex(hex).c_str())) {
      if (auto f = reinterpret_cast<long long (*)()>(GetProcAddress(m, "FakeHost_SpentNanoseconds"))) fake = f();
    }
    return "ok " + std::to_string(Nanoseconds(g_lastCallTicks)) + " " + std::to_string(fake);
  }
  if (cmd == "twice") {
    in >> g_twice;
    return "ok";
  }
  if (cmd == "use") {
    std::size_t n = g_loaded.size();
    in >> n;
    if (n >= g_loaded.size()) return "error no-such-plugin";
    g_plugin = g_loaded[n];
    return "ok";
  }
  if (cmd == "pages") {
    in >> g_countPages;
    return "ok";
  }
  if (cmd == "touched") return "ok " + std::to_string(g_touchedCode) + " " + std::to_string(g_touchedOther);
  if (cmd == "memory") {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return "ok " + std::to_string(counters.PeakWorkingSetSize);
  }
  if (cmd == "address") {
    std::string module, function;
    in >> module >> function;
    HMODULE m = GetModuleHandleA(Unhex(module).c_str());
    FARPROC f = m ? GetProcAddress(m, Unhex(function).c_str()) : nullptr;
    return f ? "ok " + std::to_string(reinterpret_cast<std::uintptr_t>(f)) : "error no-function";
  }
  if (cmd == "block") {
    std::string hex;
    in >> hex;
    const std::string bytes = Unhex(hex);
    char* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes.size() + 1));
    std::copy(bytes.begin(), bytes.end(), block);
    return "ok " + std::to_string(reinterpret_cast<std::uintptr_t>(block));
  }
  if (cmd == "hold") {
    std::string hex;
    in >> hex;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, Unhex(hex).c_str());
    return mutex && WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0 ? "ok" : "error";
  }
  if (cmd == "where") {
    const int onStack = 0;
    void* heap = HeapAlloc(GetProcessHeap(), 0, 24);
    const auto fresh = std::make_unique<char[]>(24);
    const auto above = [](const void* p) { return zoq::testing::AboveLowAddresses(p) ? " 1" : " 0"; };
    const std::string answer =
        std::string("ok") + above(&onStack) + above(heap) + above(fresh.get()) + (g_plugin ? above(g_plugin) : " -");
    HeapFree(GetProcessHeap(), 0, heap);
    return answer;
  }
  if (cmd == "unload") {
    Wait();
    if (g_plugin) FreeLibrary(g_plugin);
    std::erase(g_loaded, g_plugin);
    g_plugin = nullptr;
    return "ok";
  }
  return "error unknown-command";
}

}  // namespace

int main() {
  zoq::testing::EndProgramOnACrash("zoqhost");
  return zoq::testing::RunAboveLowAddresses([] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == "quit") break;
      std::cout << Handle(line) << std::endl;
    }
    Wait();
    if (g_plugin) FreeLibrary(g_plugin);
    return 0;
  });
}
