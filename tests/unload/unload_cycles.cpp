// A host that loads and frees the plug-in over and over, as a host program
// does when its owner switches plug-ins on and off, and measures what its
// process holds after each cycle.
//
//   unloadcycles.exe <dll> <cycles> <vlq|isky|none> [quiet|message|threads]
//
// Each cycle: LoadLibrary of <dll> (a file in the program's folder), the
// host's start (VLQ: the enable event and the robot account; ISky: the
// initialisation and the start, which takes COM), with `message` (the
// default) a private message 你好 that the library answers, with `threads`
// the same message from a thread of its own as well (ended before the
// unload), the host's stop, FreeLibrary. `none` only loads and frees the DLL.
// The host's API DLL (VLQapi.dll or message.dll, beside the program) stays
// loaded all along, as a host's own does, and so do the system DLLs that
// <dll> imports, as in a host that uses them itself: what the DLL leaves in
// them adds up from one cycle to the next instead of going with them (and
// their own loading and freeing, which under Wine keeps a few bytes each
// time, is not counted).
//
// After each cycle one line:
//   cycle <n> loaded <0|1> replies <n> handles <n> tls <n> fls <n>
//   heap <bytes> private <bytes> threads <n> kinds <Kind>=<n>,...
// loaded: the DLL is still mapped after FreeLibrary; replies: the messages
// the plug-in sent through the host's API in the cycle; handles: the
// process's handles (by kind in `kinds`); tls, fls: the thread-local and
// fiber-local storage slots that can still be had; heap: the bytes of the
// busy blocks of every heap of the process; private: its committed private
// memory; threads: its threads.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// ---- Measures. Nothing here allocates from a heap while it counts.

// The process's handles, looked for one by one: the system gives out the
// lowest free value (4, 8, ...), so past the last handle in use nothing
// follows but free values. (The system-wide handle list would do it in one
// call, but Wine's server, version 8, fails when it lists a process that is
// ending meanwhile, and takes every process of the prefix down with it.)
constexpr ULONG kObjectTypeInformation = 2;
constexpr int kFreeValuesAfterTheLast = 1024;

using QueryObject = NTSTATUS(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

struct Kind {
  char name[40] = {};
  int count = 0;
};

struct Usage {
  int handles = 0;
  Kind kinds[48];
  int kindCount = 0;
  int tls = 0, fls = 0;  // free slots
  unsigned long long heap = 0;
  unsigned long long privateBytes = 0;
  int threads = 0;
};

void CountHandles(Usage& u) {
  static const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  for (ULONG_PTR value = 4, free = 0; free < kFreeValuesAfterTheLast; value += 4) {
    alignas(8) char info[512];
    if (query(reinterpret_cast<HANDLE>(value), kObjectTypeInformation, info, sizeof info, nullptr) != 0) {
      ++free;
      continue;
    }
    free = 0;
    ++u.handles;
    const auto* type = reinterpret_cast<const UNICODE_STRING*>(info);
    char name[40] = {};
    WideCharToMultiByte(CP_ACP, 0, type->Buffer, type->Length / 2, name, sizeof name - 1, nullptr, nullptr);
    int k = 0;
    while (k < u.kindCount && std::strcmp(u.kinds[k].name, name) != 0) ++k;
    if (k == 48) continue;
    if (k == u.kindCount) std::strcpy(u.kinds[u.kindCount++].name, name);
    ++u.kinds[k].count;
  }
}

// The slots that can still be had.
int FreeTlsSlots() {
  static DWORD taken[2048];
  int n = 0;
  for (DWORD t; n < 2048 && (t = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken[n++] = t;
  for (int i = 0; i < n; ++i) TlsFree(taken[i]);
  return n;
}
int FreeFlsSlots() {
  static DWORD taken[8192];
  int n = 0;
  for (DWORD t; n < 8192 && (t = FlsAlloc(nullptr)) != FLS_OUT_OF_INDEXES;) taken[n++] = t;
  for (int i = 0; i < n; ++i) FlsFree(taken[i]);
  return n;
}

unsigned long long HeapBytes() {
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  unsigned long long busy = 0;
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heaps[i], &e)) {
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return busy;
}

unsigned long long PrivateBytes() {
  unsigned long long bytes = 0;
  MEMORY_BASIC_INFORMATION m;
  for (const char* at = nullptr; VirtualQuery(at, &m, sizeof m) == sizeof m; at += m.RegionSize) {
    if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) bytes += m.RegionSize;
    if (reinterpret_cast<std::uintptr_t>(at) + m.RegionSize < reinterpret_cast<std::uintptr_t>(at)) break;
  }
  return bytes;
}

int CountThreads() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 t{};
  t.dwSize = sizeof t;
  int n = 0;
  for (BOOL more = Thread32First(snap, &t); more; more = Thread32Next(snap, &t)) {
    if (t.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  }
  CloseHandle(snap);
  return n;
}

void Measure(Usage& u) {
  u = Usage{};
  u.threads = CountThreads();
  u.tls = FreeTlsSlots();
  u.fls = FreeFlsSlots();
  CountHandles(u);
  u.heap = HeapBytes();
  u.privateBytes = PrivateBytes();
}

// ---- The host's side.

// Calls the export `name` of `module` as a stdcall function.
template <typename Result, typename... Args>
Result Call(HMODULE module, const char* name, Args... args) {
  const auto f = reinterpret_cast<Result(__stdcall*)(Args...)>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!f) {
    std::printf("error no export %s\n", name);
    std::exit(2);
  }
  return f(args...);
}

constexpr const char* kRobot = "20001";
constexpr const char* kOwner = "30001";

// VLQ: every event through one export with a numeric code.
void VlqEvent(HMODULE m, const char* robot, std::int32_t code, const char* text = "") {
  using W = std::int32_t;
  using T = const char*;
  Call<W, T, W, W, T, T, T, T, T, T, T, T, W>(m, "Event", robot, code, 0, "", kOwner, "", text, "idB", "idA", "", "", 0);
}

struct HostKind {
  const char* name;
  const char* api;  // the host's API DLL, beside the program
  void (*start)(HMODULE);
  void (*message)(HMODULE);
  void (*stop)(HMODULE);
};
const HostKind kHosts[] = {
    {"vlq", "VLQapi.dll",
     [](HMODULE m) {
       VlqEvent(m, "", 12000);
       VlqEvent(m, kRobot, 1101);
     },
     [](HMODULE m) { VlqEvent(m, kRobot, 1, "你好"); }, [](HMODULE m) { VlqEvent(m, kRobot, 12002); }},
    // ISky: events as JSON texts; COM is taken at start and given back at
    // stop. The information record is left out: it looks the maker's group
    // up on the web each time, and Wine's WinInet keeps 512 bytes of every
    // look at the proxy settings.
    {"isky", "message.dll",
     [](HMODULE m) {
       Call<std::int32_t>(m, "ISky_Initialization");
       Call<std::int32_t>(m, "ISky_pluginStart");
     },
     [](HMODULE m) {
       Call<std::int32_t>(m, "ISky_Get_New_Msg", "{\"isky\":{\"type\":1,\"user_id\":30001,\"msg\":\"你好\",\"msg_id\":7}}");
     },
     [](HMODULE m) { Call<std::int32_t>(m, "ISky_pluginStop"); }},
    {"none", "", [](HMODULE) {}, [](HMODULE) {}, [](HMODULE) {}},
};

enum class Mode { Quiet, Message, Threads };

struct Work {
  const HostKind* host;
  HMODULE module;
};
DWORD WINAPI MessageThread(void* work) {
  const auto* w = static_cast<const Work*>(work);
  w->host->message(w->module);
  return 0;
}

// Loads the DLLs that `dll` imports.
void LoadImports(const std::string& dll) {
  HMODULE image = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!image) return;
  auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<std::uintptr_t>(image) & ~std::uintptr_t(3));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress) {
    for (auto* i = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); i->Name; ++i) {
      LoadLibraryA(reinterpret_cast<const char*>(base + i->Name));
    }
  }
  FreeLibrary(image);
}

// The replies the host's API sent since the last look (the fake API's
// record, emptied each time so that it does not grow).
int TakeReplies(HMODULE api) {
  using Log = const char* (*)();
  using Reset = void (*)();
  const auto log = reinterpret_cast<Log>(reinterpret_cast<void*>(GetProcAddress(api, "FakeHost_Log")));
  const auto reset = reinterpret_cast<Reset>(reinterpret_cast<void*>(GetProcAddress(api, "FakeHost_Reset")));
  if (!log || !reset) return 0;
  int replies = 0;
  for (const char* at = log(); (at = std::strstr(at, "\tApi_SendMsg\t")) != nullptr; ++at) ++replies;
  reset();
  return replies;
}

void Cycle(const std::string& dll, const HostKind& host, Mode mode) {
  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) {
    std::printf("error load %lu\n", GetLastError());
    std::exit(2);
  }
  host.start(module);
  if (mode != Mode::Quiet) host.message(module);
  if (mode == Mode::Threads) {
    Work work{&host, module};
    HANDLE thread = CreateThread(nullptr, 0, MessageThread, &work, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  host.stop(module);
  FreeLibrary(module);
}

// A fault (code of the freed DLL run after all, say) ends the program at
// once, instead of waiting on a debugger.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS* fault) {
  std::printf("error fault %08lx at %p\n", fault->ExceptionRecord->ExceptionCode,
              fault->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(EndOnFault);
  const HostKind* host = kHosts;
  while (argc > 3 && std::strcmp(host->name, argv[3]) != 0 && std::strcmp(host->name, "none") != 0) ++host;
  if (argc < 4 || std::strcmp(host->name, argv[3]) != 0) {
    std::fprintf(stderr, "usage: unloadcycles <dll> <cycles> <vlq|isky|none> [quiet|message|threads]\n");
    return 1;
  }
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self);
  folder.resize(folder.find_last_of('\\'));
  const std::string dll = folder + "\\" + argv[1];
  const int cycles = std::atoi(argv[2]);
  const std::string m = argc > 4 ? argv[4] : "message";
  const Mode mode = m == "quiet" ? Mode::Quiet : m == "threads" ? Mode::Threads : Mode::Message;
  HMODULE api = *host->api ? LoadLibraryA((folder + "\\" + host->api).c_str()) : nullptr;
  LoadImports(dll);

  Usage u;
  for (int n = 0; n <= cycles; ++n) {
    if (n > 0) Cycle(dll, *host, mode);
    const int replies = TakeReplies(api);
    Measure(u);
    std::printf("cycle %d loaded %d replies %d handles %d tls %d fls %d heap %llu private %llu threads %d kinds ", n,
                GetModuleHandleA(dll.c_str()) != nullptr, replies, u.handles, u.tls, u.fls, u.heap, u.privateBytes,
                u.threads);
    for (int k = 0; k < u.kindCount; ++k) std::printf("%s%s=%d", k ? "," : "", u.kinds[k].name, u.kinds[k].count);
    std::printf("\n");
    std::fflush(stdout);
  }
  return 0;
}
