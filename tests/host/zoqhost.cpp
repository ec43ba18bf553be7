// A host framework stand-in: loads the plug-in DLL by its file name, calls its
// exports as a host would (stdcall, 32-bit argument words) and answers each
// command of its standard input with one line on its standard output.
//
// Commands (texts travel as hex of their bytes, so GBK stays exact):
//   load <hex file name>                 -> ok | error <GetLastError>
//   preload <hex file name>              -> ok | error : loads another DLL into
//        the host process, as a host has its own API DLL loaded
//   call <export> <t|n|v> [arg...]       -> ok <stack skew> <result>
//        arg: h<hex bytes> (a text), n<decimal> (a 32-bit word), z (null)
//        result: t = hex of the returned text, n = eax as signed decimal
//   clock <ticks> <y> <mo> <d> <wd> <h> <mi> <s>
//                                        -> ok : the loaded DLL's GetTickCount
//        and GetLocalTime imports answer these values from now on
//   cwd                                  -> ok <hex of the current folder>
//   address <hex module> <hex function>  -> ok <decimal address> | error : a
//        function of a loaded module, as a host lists it in its API table
//   block <hex bytes>                    -> ok <decimal address> : a copy of
//        the bytes in the host's memory, kept until the host ends (records
//        and texts a host hands to the plug-in)
//   unload                               -> ok
//   quit
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stdcall.hpp"
#include "tests/host/hex.hpp"

namespace {

using zoq::testing::Hex;
using zoq::testing::Unhex;

HMODULE g_plugin = nullptr;
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

std::string Call(std::istringstream& in) {
  std::string name, kind, arg;
  in >> name >> kind;
  std::vector<std::string> texts;
  std::vector<std::string> specs;
  while (in >> arg) specs.push_back(arg);
  texts.reserve(specs.size());
  std::vector<std::uint32_t> words;
  for (const std::string& s : specs) {
    if (s[0] == 'h') {
      texts.push_back(Unhex(s.substr(1)));
      words.push_back(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(texts.back().c_str())));
    } else if (s[0] == 'n') {
      words.push_back(static_cast<std::uint32_t>(std::stoll(s.substr(1))));
    } else {
      words.push_back(0);
    }
  }
  if (!g_plugin) return "error not-loaded";
  FARPROC fn = GetProcAddress(g_plugin, name.c_str());
  if (!fn) return "error no-export";
  const auto out = zoq::platform::CallStdcall(reinterpret_cast<const void*>(fn), words);
  std::string result;
  if (kind == "t") {
    const char* p = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(out.eax));
    result = p ? Hex(p) : "null";
  } else if (kind == "n") {
    result = std::to_string(static_cast<std::int32_t>(out.eax));
  }
  return "ok " + std::to_string(out.stackSkew) + " " + result;
}

std::string Handle(const std::string& line) {
  std::istringstream in(line);
  std::string cmd;
  in >> cmd;
  if (cmd == "load") {
    std::string hex;
    in >> hex;
    g_plugin = LoadLibraryA(Unhex(hex).c_str());
    return g_plugin ? "ok" : "error " + std::to_string(GetLastError());
  }
  if (cmd == "preload") {
    std::string hex;
    in >> hex;
    return LoadLibraryA(Unhex(hex).c_str()) ? "ok" : "error " + std::to_string(GetLastError());
  }
  if (cmd == "call") return Call(in);
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
  if (cmd == "unload") {
    if (g_plugin) FreeLibrary(g_plugin);
    g_plugin = nullptr;
    return "ok";
  }
  return "error unknown-command";
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "quit") break;
    std::cout << Handle(line) << std::endl;
  }
  if (g_plugin) FreeLibrary(g_plugin);
  return 0;
}
