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
// With `run`, a long run instead: the plug-in loaded and started once, then
// <messages> messages of a mixed load, and a line every <every> messages:
//
//   unloadcycles.exe <dll> <messages> <vlq|isky> run <every> [lead] [web=<address>] [threads=<k>]
//
// The libraries: 1,000 exact and 1,000 fuzzy keywords, most of their
// replies with variables (the message, the sender and group, the time, a
// number, a random piece, a mention); cool-downs of 60 s on both. Each
// message, drawn from its number: from one of 3,000,000 groups and 100,000
// senders; an exact hit, a fuzzy hit, a miss that no message said before,
// or a private exact or fuzzy hit; every 16th (every k-th) from a thread of
// its own, which ends after it. With `lead`, this process writes the data
// folder first (SAVE made read-only until half the messages are through)
// and rewrites a library every second, the exact and the fuzzy one in
// turn; a second process on the same folder without `lead` answers beside
// it, every other message one the lead had too (two robots in the same
// groups: the cool-down lets one of them answer). With a web address, the
// replies of every eighth keyword fetch their text from <address>/t. Each
// line:
//   messages <n> ms <since start> replies <n> handles <n> threads <n>
//   heap <busy bytes> heapcommitted <bytes> private <bytes> mapped <bytes>
//   kinds <Kind>=<n>,...
// replies: sent since the line before; heapcommitted: what the heaps'
// regions hold; mapped: the committed views of sections (the blocks the
// processes share among them). At the end, the messages of each sort and
// how many of them were answered.
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

#include <atomic>
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
  unsigned long long heap = 0, heapCommitted = 0;
  unsigned long long privateBytes = 0, mapped = 0;
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

// The bytes of the busy blocks of every heap of the process; in
// `committed`, what their regions have committed.
unsigned long long HeapBytes(unsigned long long* committed = nullptr) {
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  unsigned long long busy = 0, regions = 0;
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heaps[i], &e)) {
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
      if (e.wFlags & PROCESS_HEAP_REGION) regions += e.Region.dwCommittedSize;
    }
    HeapUnlock(heaps[i]);
  }
  if (committed) *committed = regions;
  return busy;
}

// The process's committed memory of the type (private, or views of
// sections such as the blocks processes share).
unsigned long long CommittedBytes(DWORD type = MEM_PRIVATE) {
  unsigned long long bytes = 0;
  MEMORY_BASIC_INFORMATION m;
  for (const char* at = nullptr; VirtualQuery(at, &m, sizeof m) == sizeof m; at += m.RegionSize) {
    if (m.State == MEM_COMMIT && m.Type == type) bytes += m.RegionSize;
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
  u.heap = HeapBytes(&u.heapCommitted);
  u.privateBytes = CommittedBytes();
  u.mapped = CommittedBytes(MEM_MAPPED);
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
std::int32_t VlqEvent(HMODULE m, const char* robot, std::int32_t code, const char* text = "", const char* group = "",
                      const char* sender = kOwner) {
  using W = std::int32_t;
  using T = const char*;
  return Call<W, T, W, W, T, T, T, T, T, T, T, T, W>(m, "Event", robot, code, 0, group, sender, "", text, "idB", "idA",
                                                       "", "", 0);
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

// ---- A long run: the plug-in loaded once, then message after message.

// Keywords are made of one set of GBK characters, the words around them and
// the misses of another, so that a message holds exactly the keyword it is
// made with.
std::string Character(int lead, unsigned n) {
  return {static_cast<char>(lead + static_cast<int>(n / 94)), static_cast<char>(0xA1 + n % 94)};
}
std::string Filler(unsigned from, int characters) {
  std::string s;
  for (int i = 0; i < characters; ++i) s += Character(0xD0, (from + static_cast<unsigned>(i) * 7u) % (8 * 94));
  return s;
}

constexpr int kRunKeywords = 1000;

// Keyword i of the exact (0) or the fuzzy (1) library: two to four
// characters and its number.
std::string RunKeyword(int library, int i) {
  unsigned x = static_cast<unsigned>(library + 1) * 2654435761u + static_cast<unsigned>(i) * 40503u + 12345u;
  std::string k;
  for (unsigned c = 0, length = 2 + x % 3; c < length; ++c) {
    x = x * 1103515245u + 12345u;
    k += Character(0xB0, (x >> 8) % (24 * 94));
  }
  return k + std::to_string(i);
}

// Where the replies of every eighth keyword fetch their text, when given.
std::string g_webBase;

// The reply of keyword i; the first one's says `edit`.
std::string RunReply(int i, int edit) {
  if (i == 0) return "改" + std::to_string(edit);
  if (i % 8 == 0 && !g_webBase.empty()) return "网[文接口=" + g_webBase + "/t]";
  switch (i % 8) {
    case 1: return "你说[消息]";
    case 2: return "[号码]在[群号]说话";
    case 3: return "现在[时间]，[日期][星期]";
    case 4: return "[数字100]点";
    case 5: return "甲[|]乙[|]丙" + std::to_string(i);
    case 6: return "[@]你好";
    case 7: return "长回答" + Filler(static_cast<unsigned>(i), 100);
    default: return "回答" + std::to_string(i);
  }
}

std::string RunLibrary(int library, int edit) {
  std::string text;
  for (int i = 0; i < kRunKeywords; ++i) text += "[" + RunKeyword(library, i) + "]\r\n回复=" + RunReply(i, edit) + "\r\n";
  return text;
}

bool PutFile(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool done = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
  CloseHandle(f);
  return done;
}

// A message: its kind (1 private, 2 group), group, sender and text.
struct RunMessage {
  std::int32_t kind;
  std::string group, sender, text;
  int sort = 0;  // 0 exact, 1 fuzzy, 2 miss (+ 3: private)
};
// Message n of the draw `salt`.
RunMessage MessageNumber(unsigned n, unsigned salt) {
  unsigned x = n * 2654435761u ^ 0x5bd1e995u ^ salt;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  RunMessage m{2, std::to_string(1000000 + x % 3000000), std::to_string(2000000 + (x >> 7) % 100000), {}};
  const int keyword = static_cast<int>((x >> 3) % kRunKeywords);
  switch ((x >> 17) % 20) {
    case 18: m.kind = 1; m.group.clear(); m.sort = 3; [[fallthrough]];
    case 0: case 1: case 2: case 3: case 4: case 5: case 6:
      m.text = RunKeyword(0, keyword);
      break;
    case 19: m.kind = 1; m.group.clear(); m.sort = 3; [[fallthrough]];
    case 7: case 8: case 9: case 10: case 11: case 12: case 13:
      m.text = Filler(x, 3) + RunKeyword(1, keyword) + Filler(x >> 9, 1 + static_cast<int>(x % 20));
      m.sort += 1;
      break;
    default:
      m.text = Filler(x, 2 + static_cast<int>(x % 30)) + std::to_string(n);
      m.sort = 2;
  }
  return m;
}

struct Delivery {
  HMODULE module;
  bool isky;
  const RunMessage* message;
  std::int32_t result = 0;
};
DWORD WINAPI DeliverOnThread(void* d) {
  auto* delivery = static_cast<Delivery*>(d);
  const RunMessage& m = *delivery->message;
  if (delivery->isky) {
    const std::string event = "{\"isky\":{\"type\":" + std::to_string(m.kind) + ",\"group_id\":" +
                              (m.group.empty() ? "0" : m.group) + ",\"user_id\":" + m.sender + ",\"msg\":\"" +
                              m.text + "\",\"msg_id\":7}}";
    delivery->result = Call<std::int32_t>(delivery->module, "ISky_Get_New_Msg", event.c_str());
  } else {
    delivery->result = VlqEvent(delivery->module, kRobot, m.kind, m.text.c_str(), m.group.c_str(), m.sender.c_str());
  }
  return 0;
}

std::atomic<bool> g_running{true};

// The owner's edits: a library written whole every second, the exact and
// the fuzzy one in turn.
DWORD WINAPI EditEverySecond(void* folder) {
  const std::string& data = *static_cast<const std::string*>(folder);
  for (int edit = 1; g_running; ++edit) {
    Sleep(1000);
    const int library = edit % 2;
    PutFile(data + (library ? "SayM.ini" : "SayZ.ini"), RunLibrary(library, edit));
  }
  return 0;
}

int Run(const std::string& dll, const HostKind& host, HMODULE api, const std::string& folder, unsigned messages,
        unsigned every, bool lead, unsigned threadEvery) {
  const bool isky = std::strcmp(host.name, "isky") == 0;
  const std::string data = folder + "\\ZOQData\\ZOQ-F-关键词\\";
  const std::string save = data + "SAVE";
  if (lead) {
    CreateDirectoryA((folder + "\\ZOQData").c_str(), nullptr);
    CreateDirectoryA(data.c_str(), nullptr);
    SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!PutFile(data + "SayZ.ini", RunLibrary(0, 0)) || !PutFile(data + "SayM.ini", RunLibrary(1, 0)) ||
        !PutFile(data + "admin", "[admin]\r\n精确冷却=60\r\n模糊冷却=60\r\n") || !PutFile(save, "") ||
        !PutFile(folder + "\\fakehost.answers", "Api_GetLoginQQ\t20001\n") ||
        !SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_READONLY)) {
      std::printf("error data folder\n");
      return 2;
    }
  }
  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) {
    std::printf("error load %lu\n", GetLastError());
    return 2;
  }
  host.start(module);
  HANDLE editor = lead ? CreateThread(nullptr, 0, EditEverySecond, const_cast<std::string*>(&data), 0, nullptr) : nullptr;
  const ULONGLONG start = GetTickCount64();
  unsigned sent[5][2] = {};  // by sort: not answered, answered
  Usage u;
  for (unsigned n = 0;; ++n) {
    if (n % every == 0 || n == messages) {
      const int replies = TakeReplies(api);
      DeleteFileA((folder + "\\fakehost.log").c_str());  // the fake API's record on the disk
      Measure(u);
      std::printf("messages %u ms %llu replies %d handles %d threads %d heap %llu heapcommitted %llu private %llu "
                  "mapped %llu kinds ",
                  n, GetTickCount64() - start, replies, u.handles, u.threads, u.heap, u.heapCommitted,
                  u.privateBytes, u.mapped);
      for (int k = 0; k < u.kindCount; ++k) std::printf("%s%s=%d", k ? "," : "", u.kinds[k].name, u.kinds[k].count);
      std::printf("\n");
      std::fflush(stdout);
    }
    if (n == messages) break;
    if (lead && n == messages / 2) SetFileAttributesA(save.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The other process: every other message is one the lead had too (two
    // robots in one group), the rest its own.
    const RunMessage m = MessageNumber(n, lead || n % 2 ? 0 : 0x9E3779B9u);
    Delivery d{module, isky, &m};
    if (n % threadEvery == threadEvery - 1) {
      HANDLE thread = CreateThread(nullptr, 0, DeliverOnThread, &d, 0, nullptr);
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    } else {
      DeliverOnThread(&d);
    }
    ++sent[m.sort][d.result == 1];
  }
  std::printf("answered of sent: exact %u/%u fuzzy %u/%u miss %u/%u private exact %u/%u private fuzzy %u/%u\n",
              sent[0][1], sent[0][0] + sent[0][1], sent[1][1], sent[1][0] + sent[1][1], sent[2][1],
              sent[2][0] + sent[2][1], sent[3][1], sent[3][0] + sent[3][1], sent[4][1], sent[4][0] + sent[4][1]);
  g_running = false;
  if (editor) {
    WaitForSingleObject(editor, INFINITE);
    CloseHandle(editor);
  }
  host.stop(module);
  FreeLibrary(module);
  return 0;
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
    std::fprintf(stderr, "usage: unloadcycles <dll> <cycles> <vlq|isky|none> [quiet|message|threads]\n"
                         "       unloadcycles <dll> <messages> <vlq|isky> run <every> [lead] [web=<address>] [threads=<k>]\n");
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
  if (m == "run") {
    if (std::strcmp(host->name, "none") == 0) return 1;
    const unsigned every = argc > 5 ? static_cast<unsigned>(std::atoi(argv[5])) : 10000;
    bool lead = false;
    unsigned threadEvery = 16;
    for (int i = 6; i < argc; ++i) {
      const std::string option = argv[i];
      if (option == "lead") lead = true;
      if (option.starts_with("web=")) g_webBase = option.substr(4);
      if (option.starts_with("threads=")) threadEvery = static_cast<unsigned>(std::atoi(option.c_str() + 8));
    }
    return Run(dll, *host, api, folder, static_cast<unsigned>(cycles), every ? every : 1, lead,
               threadEvery ? threadEvery : 1);
  }

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
