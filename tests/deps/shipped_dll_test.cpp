// The plug-in DLL as users copy it into a host (build/bin/ZOQ·关键词.dll of
// the cross build), read as a PE file: what a host relies on when it loads
// it and calls its exports. Each check returns the faults it finds; the
// mutant rows at the end break a copy of the DLL in memory and expect the
// check to report it.
#include <gtest/gtest.h>
#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <set>
#include <string>
#include <vector>

#include "tests/deps/pe_file.hpp"

namespace zoq::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Problems = std::vector<std::string>;

constexpr std::uint32_t kSizeLimit = 6 * 1024 * 1024;      // on disk and in the host's address space
constexpr const char* kInit = "\xB3\xF5\xCA\xBC\xBB\xAF";  // 初始化 in GBK

// Every export and the bytes of arguments its host pushes, as exports/*.cpp
// declare them (an int32 or a pointer 4 bytes, an int64 or a double 8): a
// stdcall function removes exactly these on return. `releasing`: a settings
// export (ZOQ_SETTINGS_EXPORT), an assembly stub that returns through
// FreeLibrary, held below by the shape of its way out.
struct ExportRow {
  const char* name;
  std::uint16_t argumentBytes;
  bool releasing = false;
};
constexpr ExportRow kExports[] = {
    {"SdkVersion", 0},
    // VLQ, OQ, MingQQ, SP, ER, XQ, MyQQ: events of 12 or 11 words, the plain message notice of 6.
    {"Event", 48}, {"end", 0}, {"info", 0}, {"set", 0, true},
    {"OQ_Event", 48}, {"OQ_Message", 24}, {"OQ_DestroyPlugin", 0}, {"OQ_Create", 0}, {"OQ_SetUp", 0, true},
    {"MQEvent", 44}, {"MQend", 0}, {"MQinfo", 0}, {"MQset", 0, true},
    {"SP_Event", 44}, {"SP_DestroyPlugin", 0}, {"SP_Create", 0}, {"SP_SetUp", 0, true},
    {"ER_Event", 44}, {"ER_DestroyPlugin", 0}, {"ER_Create", 0}, {"ER_SetUp", 0, true},
    {"XQ_Event", 48}, {"XQ_AuthId", 8}, {"XQ_DestroyPlugin", 0}, {"XQ_Create", 4}, {"XQ_SetUp", 0, true},
    {"MQ_Event", 44}, {"MQ_Message", 24}, {"MQ_Info", 0}, {"MQ_Set", 0, true},
    // ISky: one JSON text per event.
    {"ISky_Information", 4}, {"ISky_Initialization", 0}, {"ISky_pluginStart", 0}, {"ISky_pluginStop", 0},
    {"ISky_Menu", 0, true}, {"ISky_Get_New_Msg", 4}, {"ISky_Get_New_Anonymous_Msg", 4}, {"ISky_Get_Group_Upload", 4},
    {"ISky_Get_Notice_Group_Admin", 4}, {"ISky_Get_Notice_Group_Decrease", 4}, {"ISky_Get_Notice_Group_Increase", 4},
    {"ISky_Get_Notice_Group_Ban", 4}, {"ISky_Get_Notice_Friend_Add", 4}, {"ISky_Get_Notice_Group_Recall", 4},
    {"ISky_Get_Notice_Friend_Recall", 4}, {"ISky_Get_Notice_Notify_Friend_Poke", 4},
    {"ISky_Get_Notice_Notify_Group_Poke", 4}, {"ISky_Get_Notice_Notify_Lucky_King", 4},
    {"ISky_Get_Notice_Notify_Honor", 4}, {"ISky_Get_Notice_Group_Card", 4}, {"ISky_Get_Notice_Offline_File", 4},
    {"ISky_Get_Request_Friend", 4}, {"ISky_Get_Request_Group", 4}, {"ISky_Get_Notice_Client_Status", 4},
    {"ISky_Get_Notice_Essence", 4},
    // The function-table host: 初始化(table, key), then one event record each.
    {kInit, 8}, {"ZOQ_KyOn", 0}, {"ZOQ_KyFOn", 0}, {"ZOQ_MeKyu", 0, true}, {"ZOQ_Frekey", 4},
    {"ZOQ_FrFeSxKey", 4}, {"ZOQ_QGPush", 4}, {"ZOQ_ToTKeyEv", 4},
    // The WeChat-style host.
    {"Initialization", 8}, {"Information", 0}, {"Enable", 0}, {"Login", 12}, {"EventGroupChat", 40},
    {"EventPrivateChat", 28}, {"Settings", 0, true}, {"StopUsing", 0}, {"Uninstall", 0}};

// What Windows itself has in System32: the DLL may import nothing else
// (no libstdc++-6, libgcc_s_*, libwinpthread-1, zlib1, libiconv-2: those are linked in).
constexpr std::string_view kSystemDlls[] = {
    "KERNEL32.DLL", "USER32.DLL",   "GDI32.DLL",   "ADVAPI32.DLL", "SHELL32.DLL", "OLE32.DLL",   "OLEAUT32.DLL",
    "COMCTL32.DLL", "COMDLG32.DLL", "WININET.DLL", "MSVCRT.DLL",   "WS2_32.DLL",  "SHLWAPI.DLL", "VERSION.DLL",
    "WINMM.DLL",    "CRYPT32.DLL",  "SECUR32.DLL", "GDIPLUS.DLL",  "UXTHEME.DLL", "BCRYPT.DLL",  "NTDLL.DLL"};

// A name as a message shows it: non-ASCII bytes in hex.
std::string Shown(const std::string& name) {
  std::string shown;
  for (unsigned char c : name) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    shown += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return shown;
}

std::optional<Bytes> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  if (!in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), bytes.size())) return std::nullopt;
  return bytes;
}

std::string DllPath() {
  const char* set = std::getenv("ZOQ_SHIPPED_DLL");
  return set && *set ? set : ZOQ_SHIPPED_DLL;
}

std::string Gbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no UTF-8 to GBK converter");
  std::string out(utf8.size() * 2, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* to = out.data();
  std::size_t inLeft = utf8.size(), outLeft = out.size();
  const std::size_t rc = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error(utf8 + " has no GBK form");
  out.resize(to - out.data());
  return out;
}

// The names of exports.def.in (UTF-8 in the tree), as GBK like the build makes them.
std::set<std::string> ListedNames() {
  std::ifstream def(ZOQ_SOURCE_DIR "/exports/exports.def.in");
  if (!def) throw std::runtime_error("cannot read " ZOQ_SOURCE_DIR "/exports/exports.def.in");
  std::set<std::string> names;
  bool exports = false;
  for (std::string line; std::getline(def, line);) {
    line.erase(0, line.find_first_not_of(" \t"));
    if (line.empty() || line.starts_with(';')) continue;
    if (line.starts_with("EXPORTS"))
      exports = true;
    else if (exports && line.starts_with('"'))
      names.insert(Gbk(line.substr(1, line.find('"', 1) - 1)));
    else if (exports)
      names.insert(line.substr(0, line.find_first_of(" \t=@")));
  }
  return names;
}

Problems ExportNameProblems(const PeFile& dll) {
  Problems problems;
  const auto exports = dll.Exports();
  const std::set<std::string> listed = ListedNames();
  for (const std::string& name : listed)
    if (!exports.contains(name)) problems.push_back("hosts look up " + Shown(name) + ", which is not exported");
  for (const auto& [name, rva] : exports) {
    if (!listed.contains(name)) problems.push_back("exports " + Shown(name) + ", which exports.def.in does not list");
    if (name.find('@') != std::string::npos) problems.push_back("exports the decorated name " + Shown(name));
  }
  if (!exports.contains(kInit)) problems.push_back("初始化 is not exported as the GBK bytes B3 F5 CA BC BB AF");
  return problems;
}

// The returns of the function at `entry` and of every function it jumps to
// outside its own code: tail calls, and the parts of it the compiler moved
// away (.cold). Each function is decoded whole, from the first byte to the
// last its unwind table entry (FDE) gives, so that every return in its body
// is seen, reachable or not. That is sound for GCC's i386 code, which keeps
// no data in .text (switch tables are in .rdata): an instruction the
// decoder does not know, or one that runs past the function's end, throws
// and fails the check.
void CollectReturns(const PeFile& dll, const std::vector<CodeRange>& functions, std::uint32_t entry,
                    const std::string& who, std::map<std::uint32_t, std::uint16_t>& returns, Problems& problems) {
  std::set<std::uint32_t> done;
  std::vector<std::uint32_t> todo{entry};
  while (!todo.empty()) {
    const std::uint32_t at = todo.back();
    todo.pop_back();
    auto next = std::upper_bound(functions.begin(), functions.end(), at,
                                 [](std::uint32_t a, const CodeRange& f) { return a < f.begin; });
    if (next == functions.begin() || at >= std::prev(next)->end) {
      problems.push_back(who + ": code at " + Hex(at) + " lies in no function of the unwind tables");
      continue;
    }
    const CodeRange f = *std::prev(next);
    if (!done.insert(f.begin).second) continue;
    const std::uint8_t* code = dll.At(f.begin, f.end - f.begin);
    for (std::uint32_t offset = 0; offset < f.end - f.begin;) {
      const X86Instruction in = DecodeX86(code + offset, f.end - f.begin - offset);
      const std::uint32_t here = f.begin + offset, target = here + in.target;
      if (in.kind == X86Instruction::kReturn) returns[here] = in.popped;
      if ((in.kind == X86Instruction::kJump || in.kind == X86Instruction::kConditionalJump) &&
          (target < f.begin || target >= f.end))
        todo.push_back(target);
      if (in.kind == X86Instruction::kJumpThroughPointer)
        problems.push_back(who + ": leaves through a pointer at " + Hex(here) + ", which this test cannot follow");
      offset += in.length;
    }
  }
}

// The way out of the settings exports (_zoq_ReturnReleasingModule in
// platform/modules_i386.S), entered with the host's return address on top:
// call the body; without a module to release, `ret`; with one,
// FreeLibrary(module) returns into SetLastError(result), which returns into
// GetLastError, which hands the result to the host. Each of the three
// removes its own argument, so the host's stack is left as by a function
// without arguments. 0x100: a byte of an import slot's address.
constexpr std::uint16_t S = 0x100;
constexpr std::uint16_t kWayOut[] = {0xFF, 0xD0, 0x85, 0xD2, 0x74, 0x14, 0x50, 0xFF, 0x35, S, S, S, S,   0x52,
                                     0xFF, 0x35, S,    S,    S,    S,    0xFF, 0x25, S,    S, S, S, 0xC3};
void CheckWayOut(const PeFile& dll, std::uint32_t rva, Problems& problems) {
  const std::uint8_t* code = dll.At(rva, std::size(kWayOut));
  for (std::size_t i = 0; i < std::size(kWayOut); ++i)
    if (kWayOut[i] != S && kWayOut[i] != code[i])
      return problems.push_back("the way out at " + Hex(rva) + " is not the one this test knows");
  const auto slots = dll.ImportSlots();
  for (const auto& [offset, function] : {std::pair{9, "GetLastError"}, {16, "SetLastError"}, {22, "FreeLibrary"}}) {
    const auto slot = slots.find(Le32(code + offset) - dll.imageBase);
    if (slot == slots.end() || slot->second.function != function ||
        strcasecmp(slot->second.dll.c_str(), "KERNEL32.dll"))
      problems.push_back(std::string("the way out does not go through KERNEL32's ") + function);
  }
}

Problems StackProblems(const PeFile& dll) {
  Problems problems;
  const auto exports = dll.Exports();
  const auto functions = dll.Functions();
  for (const auto& exported : exports)
    if (std::none_of(std::begin(kExports), std::end(kExports),
                     [&](const ExportRow& r) { return exported.first == r.name; }))
      problems.push_back(Shown(exported.first) + " has no row in this test's table");
  std::optional<std::uint32_t> wayOut;
  for (const ExportRow& row : kExports) {
    const std::string who = Shown(row.name);
    const auto found = exports.find(row.name);
    if (found == exports.end()) {
      problems.push_back(who + " is not exported");
      continue;
    }
    try {
      std::uint32_t entry = found->second;
      if (row.releasing) {  // mov $body, %eax; jmp <way out>
        const std::uint8_t* stub = dll.At(entry, 10);
        if (stub[0] != 0xB8 || stub[5] != 0xE9) {
          problems.push_back(who + " is not the stub of a settings export");
          continue;
        }
        const std::uint32_t target = entry + 10 + Le32(stub + 6);
        if (!wayOut) CheckWayOut(dll, *(wayOut = target), problems);
        if (target != *wayOut)
          problems.push_back(who + ": jumps to " + Hex(target) + ", not to the way out at " + Hex(*wayOut));
        if (row.argumentBytes != 0) problems.push_back(who + ": the way out removes no argument");
        entry = Le32(stub + 1) - dll.imageBase;  // the body, which the way out calls: it removes nothing
      }
      std::map<std::uint32_t, std::uint16_t> returns;
      CollectReturns(dll, functions, entry, who, returns, problems);
      if (returns.empty()) problems.push_back(who + ": no return found");
      const std::uint16_t expected = row.releasing ? 0 : row.argumentBytes;
      for (const auto& [at, popped] : returns)
        if (popped != expected)
          problems.push_back(who + ": `ret " + std::to_string(popped) + "` at " + Hex(at) + " where " +
                             std::to_string(expected) + " bytes are passed");
    } catch (const std::exception& e) {
      problems.push_back(who + ": " + e.what());
    }
  }
  return problems;
}

Problems ImportProblems(const PeFile& dll) {
  Problems problems;
  for (std::string name : dll.ImportedDlls()) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (std::find(std::begin(kSystemDlls), std::end(kSystemDlls), upper) == std::end(kSystemDlls))
      problems.push_back("imports " + name + ", which is no DLL of Windows: link it in statically");
  }
  return problems;
}

Problems RelocationProblems(const PeFile& dll) {
  Problems problems;
  if (dll.characteristics & 0x0001) problems.push_back("relocations stripped (IMAGE_FILE_RELOCS_STRIPPED)");
  if (!(dll.dllCharacteristics & 0x0040)) problems.push_back("not relocatable at load (no DYNAMIC_BASE)");
  const PeFile::Directory dir = dll.DataDirectory(5);
  std::uint32_t addresses = 0;
  for (std::uint32_t at = dir.rva; at < dir.rva + dir.size;) {  // blocks: page, size, 16-bit entries
    const std::uint32_t size = dll.U32At(at + 4);
    if (size < 8 || size > dir.rva + dir.size - at) return {"a malformed block of base relocations at " + Hex(at)};
    const std::uint8_t* entries = dll.At(at + 8, size - 8);
    for (std::uint32_t i = 0; i + 1 < size - 8; i += 2) addresses += (entries[i + 1] >> 4) == 3;  // HIGHLOW
    at += size;
  }
  if (addresses == 0) problems.push_back("no base relocations: the DLL loads only at its preferred base");
  return problems;
}

struct DebugFile {
  bool found = false, holdsDebugInfo = false;
  std::uint32_t crc = 0;
};
const DebugFile& DebugFileAt(const std::string& path) {
  static std::map<std::string, DebugFile> read;
  if (const auto it = read.find(path); it != read.end()) return it->second;
  DebugFile& file = read[path];
  if (auto bytes = ReadFile(path)) {
    file = {true, false, Crc32(bytes->data(), bytes->size())};
    try {
      file.holdsDebugInfo = PeFile(std::move(*bytes)).Section(".debug_info") != nullptr;
    } catch (const std::exception&) {
    }
  }
  return file;
}

// No debug information and no symbol table; the debug link (name, padding
// to 4 bytes, CRC-32) names the debug file beside the DLL as it is.
Problems DebugProblems(const PeFile& dll) {
  Problems problems;
  for (const PeSection& s : dll.sections)
    if (s.name.starts_with(".debug") || s.name.starts_with(".zdebug"))
      problems.push_back("carries debug information: section " + s.name);
  if (dll.symbolCount) problems.push_back("carries a symbol table of " + std::to_string(dll.symbolCount) + " symbols");
  const PeSection* link = dll.Section(".gnu_debuglink");
  if (!link) {
    problems.push_back("has no debug link (.gnu_debuglink)");
    return problems;
  }
  const std::uint8_t* content = dll.At(link->rva, link->virtualSize);
  const std::string name(reinterpret_cast<const char*>(content),
                         strnlen(reinterpret_cast<const char*>(content), link->virtualSize));
  const std::uint32_t padded = (name.size() + 4) & ~3u;
  if (link->virtualSize != padded + 4) {
    problems.push_back("a malformed debug link");
    return problems;
  }
  const std::string path = DllPath().substr(0, DllPath().rfind('/') + 1) + name;
  const DebugFile& file = DebugFileAt(path);
  if (!file.found)
    problems.push_back("the debug link names " + name + ", which is not beside the DLL");
  else if (file.crc != Le32(content + padded))
    problems.push_back("the debug link's CRC " + Hex(Le32(content + padded)) + " is not that of " + name + ", " +
                       Hex(file.crc));
  else if (!file.holdsDebugInfo)
    problems.push_back(name + " holds no debug information");
  return problems;
}

Problems SizeProblems(const PeFile& dll) {
  Problems problems;
  if (dll.Bytes().size() > kSizeLimit)
    problems.push_back("takes " + std::to_string(dll.Bytes().size()) + " bytes on disk");
  if (dll.imageSize > kSizeLimit) problems.push_back("its image takes " + std::to_string(dll.imageSize) + " bytes");
  return problems;
}

Problems KindProblems(const PeFile& dll) {
  Problems problems;
  if (dll.machine != 0x14C) problems.push_back("machine " + Hex(dll.machine) + ", not i386 (0x14c)");
  if (!(dll.characteristics & 0x2000)) problems.push_back("not a DLL (IMAGE_FILE_DLL)");
  if (!(dll.characteristics & 0x0002)) problems.push_back("not an executable image");
  return problems;
}

std::string Joined(const Problems& problems) {
  std::string text;
  for (const std::string& p : problems) text += p + "\n";
  return text;
}

// Read once per program. A missing DLL fails every test: it is what they hold.
class ShippedDll : public ::testing::Test {
 protected:
  void SetUp() override {
    struct Loaded {
      std::optional<PeFile> dll;
      std::string error;
    };
    static const Loaded loaded = []() -> Loaded {
      auto bytes = ReadFile(DllPath());
      if (!bytes) return {std::nullopt, "no " + DllPath() + ": build the DLL first (scripts/build.sh)"};
      try {
        return {PeFile(std::move(*bytes)), ""};
      } catch (const std::exception& e) {
        return {std::nullopt, DllPath() + ": " + e.what()};
      }
    }();
    ASSERT_TRUE(loaded.dll) << loaded.error;
    dll_ = &*loaded.dll;
  }
  const PeFile* dll_ = nullptr;
};

TEST_F(ShippedDll, IsA32BitI386Dll) { EXPECT_EQ(Joined(KindProblems(*dll_)), ""); }
TEST_F(ShippedDll, ExportsEveryNameHostsLookUp) { EXPECT_EQ(Joined(ExportNameProblems(*dll_)), ""); }
TEST_F(ShippedDll, EachExportRemovesTheArgumentsItsHostPasses) { EXPECT_EQ(Joined(StackProblems(*dll_)), ""); }
TEST_F(ShippedDll, ImportsOnlyDllsOfWindows) { EXPECT_EQ(Joined(ImportProblems(*dll_)), ""); }
TEST_F(ShippedDll, CanBeRelocated) { EXPECT_EQ(Joined(RelocationProblems(*dll_)), ""); }
TEST_F(ShippedDll, HoldsNoDebugInformationAndLinksTheFileBesideIt) { EXPECT_EQ(Joined(DebugProblems(*dll_)), ""); }
TEST_F(ShippedDll, TakesAtMostSixMiB) { EXPECT_EQ(Joined(SizeProblems(*dll_)), ""); }

// Where things are in the file, for the mutants.
std::uint32_t NameOffset(const PeFile& dll, const char* name) {
  const PeFile::Directory dir = dll.DataDirectory(0);
  for (std::uint32_t i = 0, table = dll.U32At(dir.rva + 32); i < dll.U32At(dir.rva + 24); ++i)
    if (dll.StringAt(dll.U32At(table + 4 * i)) == name) return dll.FileOffset(dll.U32At(table + 4 * i));
  throw std::runtime_error(std::string("no export ") + name);
}
std::uint32_t ReturnOffset(const PeFile& dll, const char* name) {  // of the imm16 of the first `ret`
  std::map<std::uint32_t, std::uint16_t> returns;
  Problems ignored;
  CollectReturns(dll, dll.Functions(), dll.Exports().at(name), name, returns, ignored);
  if (returns.empty() || *dll.At(returns.begin()->first, 1) != 0xC2) throw std::runtime_error("no `ret imm16` found");
  return dll.FileOffset(returns.begin()->first) + 1;
}
void Put32(Bytes& b, std::uint32_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> 8 * i);
}
std::uint32_t Optional(const PeFile& dll) { return dll.HeaderOffset() + 24; }
std::uint32_t LinkOffset(const PeFile& dll) { return dll.FileOffset(dll.Section(".gnu_debuglink")->rva); }
std::uint32_t LinkCrcOffset(const PeFile& dll) {
  return LinkOffset(dll) + ((std::strlen(reinterpret_cast<const char*>(&dll.Bytes()[LinkOffset(dll)])) + 4) & ~3u);
}
std::uint32_t SectionHeader(const PeFile& dll, const char* name) {
  const auto s =
      std::find_if(dll.sections.begin(), dll.sections.end(), [&](const PeSection& s) { return s.name == name; });
  return dll.SectionTableOffset() + 40 * static_cast<std::uint32_t>(s - dll.sections.begin());
}
std::uint32_t LongNameOffset(const PeFile& dll, std::string_view name) {  // the last copy: the string table's
  const auto& b = dll.Bytes();
  return static_cast<std::uint32_t>(std::find_end(b.begin(), b.end(), name.begin(), name.end()) - b.begin());
}

struct Mutant {
  const char* name;
  Problems (*check)(const PeFile&);
  void (*mutate)(const PeFile&, Bytes&);
  const char* expected;  // in the problems the check reports
};
const Mutant kMutants[] = {
    {"ExportRenamed", ExportNameProblems, [](const PeFile& d, Bytes& b) { b[NameOffset(d, "Login") + 1] = 'X'; },
     "hosts look up Login,"},
    {"InitNotGbk", ExportNameProblems, [](const PeFile& d, Bytes& b) { b[NameOffset(d, kInit) + 5] = 0xB0; },
     "B3 F5 CA BC BB AF"},
    {"NameDecorated", ExportNameProblems, [](const PeFile& d, Bytes& b) { b[NameOffset(d, "Enable") + 4] = '@'; },
     "decorated name Enab@e"},
    {"EventRet44", StackProblems, [](const PeFile& d, Bytes& b) { b[ReturnOffset(d, "Event")] = 44; },
     "Event: `ret 44`"},
    {"FrekeyRet8", StackProblems, [](const PeFile& d, Bytes& b) { b[ReturnOffset(d, "ZOQ_Frekey")] = 8; },
     "ZOQ_Frekey: `ret 8`"},
    {"SettingsJumpsElsewhere", StackProblems,
     [](const PeFile& d, Bytes& b) { ++b[d.FileOffset(d.Exports().at("MQset")) + 6]; }, "MQset: jumps to"},
    {"WayOutFreesNothing", StackProblems,
     [](const PeFile& d, Bytes& b) {
       const std::uint32_t stub = d.Exports().at("set"), out = d.FileOffset(stub + 10 + Le32(d.At(stub + 6, 4)));
       Put32(b, out + 22, Le32(&b[out + 9]));
     },
     "KERNEL32's FreeLibrary"},
    {"ImportsZlib", ImportProblems,
     [](const PeFile& d, Bytes& b) {
       std::uint32_t at = d.DataDirectory(1).rva;
       while (strcasecmp(d.StringAt(d.U32At(at + 12)).c_str(), "msvcrt.dll") != 0) at += 20;
       std::memcpy(&b[d.FileOffset(d.U32At(at + 12))], "zlib1.dll", 10);
     },
     "imports zlib1.dll"},
    {"NoRelocations", RelocationProblems, [](const PeFile& d, Bytes& b) { Put32(b, Optional(d) + 100 + 8 * 5, 0); },
     "no base relocations"},
    {"RelocationsStripped", RelocationProblems, [](const PeFile& d, Bytes& b) { b[d.HeaderOffset() + 22] |= 1; },
     "stripped"},
    {"DebugSection", DebugProblems,
     [](const PeFile& d, Bytes& b) { std::memcpy(&b[SectionHeader(d, ".rsrc")], ".debug_x", 8); }, "section .debug_x"},
    {"SymbolTable", DebugProblems,
     [](const PeFile& d, Bytes& b) {
       Put32(b, d.HeaderOffset() + 12, Le32(&b[d.HeaderOffset() + 12]) - 18);
       Put32(b, d.HeaderOffset() + 16, 1);
     },
     "symbol table of 1"},
    {"NoDebugLink", DebugProblems, [](const PeFile& d, Bytes& b) { b[LongNameOffset(d, ".gnu_debuglink") + 1] = 'X'; },
     "no debug link"},
    {"DebugLinkNamesAnother", DebugProblems, [](const PeFile& d, Bytes& b) { b[LinkOffset(d) + 4] = 'X'; },
     "not beside the DLL"},
    {"DebugLinkCrc", DebugProblems, [](const PeFile& d, Bytes& b) { b[LinkCrcOffset(d)] ^= 1; }, "CRC"},
    {"FileTooLarge", SizeProblems, [](const PeFile&, Bytes& b) { b.resize(kSizeLimit + 1); }, "on disk"},
    {"ImageTooLarge", SizeProblems, [](const PeFile& d, Bytes& b) { Put32(b, Optional(d) + 56, kSizeLimit + 0x1000); },
     "image takes"},
    {"Amd64", KindProblems,
     [](const PeFile& d, Bytes& b) { b[d.HeaderOffset() + 4] = 0x64, b[d.HeaderOffset() + 5] = 0x86; },
     "machine 0x8664"},
    {"NotADll", KindProblems, [](const PeFile& d, Bytes& b) { b[d.HeaderOffset() + 23] &= ~0x20; }, "not a DLL"},
    {"Pe32Plus", KindProblems, [](const PeFile& d, Bytes& b) { b[Optional(d)] = 0x0B, b[Optional(d) + 1] = 0x02; },
     "not a PE32 file"},
};

void PrintTo(const Mutant& mutant, std::ostream* out) { *out << mutant.name; }

class ShippedDllMutant : public ShippedDll, public ::testing::WithParamInterface<Mutant> {};

TEST_P(ShippedDllMutant, IsReported) {
  Bytes bytes = dll_->Bytes();
  GetParam().mutate(*dll_, bytes);
  ASSERT_TRUE(bytes != dll_->Bytes()) << "the mutant changed nothing";
  std::string reported;
  try {
    reported = Joined(GetParam().check(PeFile(std::move(bytes))));
  } catch (const std::exception& e) {
    reported = e.what();
  }
  EXPECT_NE(reported.find(GetParam().expected), std::string::npos) << "reported:\n" << reported;
}
INSTANTIATE_TEST_SUITE_P(Rows, ShippedDllMutant, ::testing::ValuesIn(kMutants),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace zoq::testing
