#include "tests/deps/pe_file.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zoq::testing {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::uint16_t PeFile::U16(std::size_t offset) const {
  if (offset + 2 > bytes_.size()) Fail("read past the end of the file at " + Hex(offset));
  return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::uint32_t PeFile::U32(std::size_t offset) const {
  return U16(offset) | static_cast<std::uint32_t>(U16(offset + 2)) << 16;
}

PeFile::PeFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
  if (U16(0) != 0x5A4D) Fail("no MZ header");
  pe_ = U32(0x3C);
  if (U32(pe_) != 0x4550) Fail("no PE signature");
  machine = U16(pe_ + 4);
  const unsigned sectionCount = U16(pe_ + 6);
  const std::uint32_t symbolTable = U32(pe_ + 12);
  symbolCount = U32(pe_ + 16);
  characteristics = U16(pe_ + 22);
  const std::uint32_t optional = pe_ + 24;
  if (U16(optional) != 0x10B) Fail("not a PE32 file (optional header magic " + Hex(U16(optional)) + ")");
  imageBase = U32(optional + 28);
  imageSize = U32(optional + 56);
  dllCharacteristics = U16(optional + 70);
  directoryCount_ = U32(optional + 92);
  sectionTable_ = optional + U16(pe_ + 20);
  // A long section name is "/<offset>" into the string table after the symbols.
  const std::size_t strings = symbolTable + std::size_t{symbolCount} * 18;
  for (unsigned i = 0; i < sectionCount; ++i) {
    const std::uint32_t at = sectionTable_ + 40 * i;
    if (at + 40 > bytes_.size()) Fail("section table past the end of the file");
    std::string name(reinterpret_cast<const char*>(&bytes_[at]), 8);
    name.resize(std::strlen(name.c_str()));
    if (name.starts_with('/')) {
      const std::size_t from = strings + std::stoul(name.substr(1));
      if (from >= bytes_.size()) Fail("section name past the end of the file");
      const auto* begin = reinterpret_cast<const char*>(&bytes_[from]);
      name.assign(begin, strnlen(begin, bytes_.size() - from));
    }
    sections.push_back({name, U32(at + 12), U32(at + 8), U32(at + 20), U32(at + 16)});
  }
}

PeFile::Directory PeFile::DataDirectory(unsigned index) const {
  if (index >= directoryCount_) return {};
  return {U32(pe_ + 24 + 96 + 8 * index), U32(pe_ + 24 + 100 + 8 * index)};
}

const PeSection* PeFile::Section(std::string_view name) const {
  for (const PeSection& s : sections)
    if (s.name == name) return &s;
  return nullptr;
}

std::uint32_t PeFile::FileOffset(std::uint32_t rva, std::uint32_t size) const {
  for (const PeSection& s : sections) {
    if (rva < s.rva || rva - s.rva >= std::max(s.virtualSize, s.rawSize)) continue;
    const std::uint64_t end = std::uint64_t{rva - s.rva} + size;
    if (end > s.rawSize || s.fileOffset + end > bytes_.size()) break;
    return s.fileOffset + (rva - s.rva);
  }
  Fail("the file holds no " + std::to_string(size) + " bytes at RVA " + Hex(rva));
}

std::uint32_t PeFile::U32At(std::uint32_t rva) const { return U32(FileOffset(rva, 4)); }

std::string PeFile::StringAt(std::uint32_t rva) const {
  std::string text;
  for (std::uint32_t at = FileOffset(rva); bytes_.at(at) != 0; ++at) text += static_cast<char>(bytes_[at]);
  return text;
}

std::map<std::string, std::uint32_t> PeFile::Exports() const {
  std::map<std::string, std::uint32_t> exports;
  const Directory dir = DataDirectory(0);
  if (dir.size == 0) return exports;
  const std::uint32_t count = U32At(dir.rva + 20), names = U32At(dir.rva + 24), functions = U32At(dir.rva + 28);
  const std::uint32_t nameTable = U32At(dir.rva + 32), ordinals = U32At(dir.rva + 36);
  for (std::uint32_t i = 0; i < names; ++i) {
    const std::uint16_t index = U16(FileOffset(ordinals + 2 * i, 2));
    if (index >= count) Fail("export ordinal out of range");
    exports[StringAt(U32At(nameTable + 4 * i))] = U32At(functions + 4 * index);
  }
  return exports;
}

std::vector<std::string> PeFile::ImportedDlls() const {
  std::vector<std::string> dlls;
  const Directory dir = DataDirectory(1);
  for (std::uint32_t at = dir.rva; dir.size && U32At(at + 12) != 0; at += 20) dlls.push_back(StringAt(U32At(at + 12)));
  // The delay-loaded ones (32-byte descriptors, the name's RVA second).
  const Directory delayed = DataDirectory(13);
  for (std::uint32_t at = delayed.rva; delayed.size && U32At(at + 4) != 0; at += 32)
    dlls.push_back(StringAt(U32At(at + 4)));
  return dlls;
}

std::map<std::uint32_t, PeImport> PeFile::ImportSlots() const {
  std::map<std::uint32_t, PeImport> slots;
  const Directory dir = DataDirectory(1);
  for (std::uint32_t at = dir.rva; dir.size && U32At(at + 12) != 0; at += 20) {
    const std::string dll = StringAt(U32At(at + 12));
    const std::uint32_t iat = U32At(at + 16), lookup = U32At(at) ? U32At(at) : iat;
    for (std::uint32_t i = 0; const std::uint32_t entry = U32At(lookup + 4 * i); ++i) {
      slots[iat + 4 * i] = {dll, entry & 0x80000000u ? "#" + std::to_string(entry & 0xFFFF) : StringAt(entry + 2)};
    }
  }
  return slots;
}

// .eh_frame: CIEs, and FDEs whose pc_begin is encoded as the "zR"
// augmentation of their CIE says (GCC: pc-relative, 4 bytes).
std::vector<CodeRange> PeFile::Functions() const {
  const PeSection* frames = Section(".eh_frame");
  if (!frames) Fail("no .eh_frame section");
  const std::uint32_t base = FileOffset(frames->rva, frames->virtualSize);
  auto uleb = [&](std::uint32_t& at) {
    std::uint32_t value = 0;
    for (int shift = 0;; shift += 7) {
      const std::uint8_t byte = bytes_.at(at++);
      if (shift < 32) value |= std::uint32_t{byte & 0x7Fu} << shift;
      if (!(byte & 0x80)) return value;
    }
  };
  auto pointerSize = [](std::uint8_t encoding) -> std::uint32_t {
    constexpr std::uint32_t kSizes[8] = {4, 0, 2, 4, 8};  // absptr, uleb128 (not read), 2, 4, 8 bytes
    if (const std::uint32_t size = kSizes[encoding & 7]) return size;
    Fail("unknown pointer encoding " + Hex(encoding) + " in .eh_frame");
  };
  std::map<std::uint32_t, std::uint8_t> fdeEncodings;  // CIE offset -> encoding
  std::vector<CodeRange> functions;
  for (std::uint32_t at = 0; at + 4 <= frames->virtualSize;) {
    const std::uint32_t length = U32(base + at), start = at + 4;
    if (length == 0) break;
    if (length == 0xFFFFFFFF || start + length > frames->virtualSize) Fail("bad .eh_frame record at " + Hex(at));
    const std::uint32_t id = U32(base + start);
    if (id == 0) {
      std::uint32_t p = base + start + 5;  // after the id and the version
      std::string augmentation;
      while (bytes_.at(p) != 0) augmentation += static_cast<char>(bytes_[p++]);
      ++p;
      uleb(p), uleb(p), ++p;  // alignment factors (the signed one as unsigned), return column
      std::uint8_t encoding = 0;
      if (augmentation.starts_with('z')) {
        uleb(p);
        for (char c : augmentation.substr(1)) {
          if (c == 'P')
            p += 1 + pointerSize(bytes_.at(p));
          else if (c == 'L')
            ++p;
          else if (c == 'R')
            encoding = bytes_.at(p++);
        }
      }
      fdeEncodings[at] = encoding;
    } else {
      const auto cie = fdeEncodings.find(start - id);
      if (cie == fdeEncodings.end()) Fail("FDE without its CIE at " + Hex(at));
      const std::uint8_t encoding = cie->second;
      const std::uint32_t field = base + start + 4, value = U32(field);
      if (pointerSize(encoding) != 4 || (encoding & 0x70) > 0x10) Fail("unexpected FDE encoding " + Hex(encoding));
      const std::uint32_t begin = (encoding & 0x70) == 0x10 ? frames->rva + (field - base) + value : value - imageBase;
      if (const std::uint32_t size = U32(field + 4)) functions.push_back({begin, begin + size});
    }
    at = start + length;
  }
  std::sort(functions.begin(), functions.end(), [](CodeRange a, CodeRange b) { return a.begin < b.begin; });
  return functions;
}

// The operands of each opcode: '.' none, 'm' ModRM, 'b' imm8, 'z' imm16/32,
// 'M' ModRM + imm8, 'Z' ModRM + imm16/32, 'w' imm16, 'e' imm16 + imm8, 'a' a
// memory offset, 'g'/'G' the F6/F7 group (an immediate after `test`), 'P' a
// prefix, '2' the two-byte map, '3'/'4' the 0F 38 / 0F 3A maps, 'x' not
// decoded (far calls, jumps and returns: never emitted here).
constexpr std::string_view kOneByte =
    "mmmmbz..mmmmbz.2mmmmbz..mmmmbz..mmmmbzP.mmmmbzP.mmmmbzP.mmmmbzP."
    "..................................mmPPPPzZbM....bbbbbbbbbbbbbbbb"
    "MZMMmmmmmmmmmmmm..........x.....aaaa....bz......bbbbbbbbzzzzzzzz"
    "MMw.mmMZe.xx.b.xmmmmbb..mmmmmmmmbbbbbbbbzzxb....P.PP..gG......mm";
constexpr std::string_view kTwoByte =
    "mmmmx.....x.xm.xmmmmmmmmmmmmmmmmmmmmxxxxmmmmmmmm........3x4xxxxx"
    "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmMMMMmmm.mmxxmmmm"
    "zzzzzzzzzzzzzzzzmmmmmmmmmmmmmmmm...mMmxx...mMmmmmmmmmmmmmmMmmmmm"
    "mmMmMMMm........mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm";
static_assert(kOneByte.size() == 256 && kTwoByte.size() == 256);

X86Instruction DecodeX86(const std::uint8_t* code, std::size_t available) {
  std::size_t n = 0;
  auto byte = [&](std::size_t at) {
    if (at >= available) Fail("instruction runs past the end of the code");
    return code[at];
  };
  bool operand16 = false, address16 = false;
  std::uint8_t op = byte(n++);
  while (kOneByte[op] == 'P') {
    operand16 |= op == 0x66;
    address16 |= op == 0x67;
    op = byte(n++);
  }
  char form = kOneByte[op];
  bool twoByte = false;
  if (form == '2') {
    twoByte = true;
    op = byte(n++);
    form = kTwoByte[op];
    if (form == '3' || form == '4') {
      ++n;  // the opcode of the three-byte map
      form = form == '3' ? 'm' : 'M';
    }
  }
  if (form == 'x') Fail("opcode " + Hex(op) + (twoByte ? " of the 0F map" : "") + " not decoded");
  if (!twoByte && (op == 0xC4 || op == 0xC5) && (byte(n) & 0xC0) == 0xC0) Fail("VEX instruction not decoded");
  const std::uint32_t immZ = operand16 ? 2 : 4;
  std::uint8_t modrm = 0, sib = 0;
  std::uint32_t immediate = 0;
  if (std::string_view("mMZgG").find(form) != std::string_view::npos) {
    modrm = byte(n++);
    const unsigned mod = modrm >> 6, rm = modrm & 7;
    if (mod != 3 && address16) {
      n += mod == 1 ? 1 : mod == 2 || (mod == 0 && rm == 6) ? 2 : 0;
    } else if (mod != 3) {
      if (rm == 4) sib = byte(n++);
      if (rm == 4 && mod == 0 && (sib & 7) == 5) n += 4;
      n += mod == 1 ? 1 : mod == 2 || (mod == 0 && rm == 5) ? 4 : 0;
    }
    const bool test = ((modrm >> 3) & 7) < 2;
    immediate = form == 'M' ? 1 : form == 'Z' ? immZ : form == 'g' && test ? 1 : form == 'G' && test ? immZ : 0;
  } else {
    immediate = form == 'b'   ? 1
                : form == 'z' ? immZ
                : form == 'w' ? 2
                : form == 'e' ? 3
                : form == 'a' ? (address16 ? 2 : 4)
                              : 0;
  }
  const std::size_t end = n + immediate;
  if (end > available || end > 15) Fail("instruction runs past the end of the code");
  X86Instruction in;
  in.length = static_cast<std::uint32_t>(end);
  auto signedImmediate = [&]() -> std::int32_t {
    if (immediate == 1) return static_cast<std::int8_t>(code[n]);
    std::int32_t value = 0;
    std::memcpy(&value, code + n, 4);
    return value;
  };
  if (!twoByte && op == 0xC3) {
    in.kind = X86Instruction::kReturn;
  } else if (!twoByte && op == 0xC2) {
    in.kind = X86Instruction::kReturn;
    in.popped = static_cast<std::uint16_t>(code[n] | code[n + 1] << 8);
  } else if ((!twoByte && (op == 0xE9 || op == 0xEB)) || (!twoByte && op >= 0xE0 && op <= 0xE3) ||
             (!twoByte && op >= 0x70 && op <= 0x7F) || (twoByte && op >= 0x80 && op <= 0x8F)) {
    if (operand16) Fail("16-bit jump not decoded");
    in.kind = op == 0xE9 || op == 0xEB ? X86Instruction::kJump : X86Instruction::kConditionalJump;
    in.target = static_cast<std::int32_t>(end) + signedImmediate();
  } else if (!twoByte && op == 0xFF && ((modrm >> 3) & 7) == 4) {
    // jmp through memory: a table indexed by a register (mod 0, SIB without
    // a base, an index) is a switch; anything else leaves the function.
    const bool table = (modrm & 0xC7) == 0x04 && (sib & 7) == 5 && ((sib >> 3) & 7) != 4;
    in.kind = table ? X86Instruction::kJumpThroughTable : X86Instruction::kJumpThroughPointer;
  } else if (!twoByte && op == 0xFF && ((modrm >> 3) & 7) == 5) {
    Fail("far jump not decoded");
  }
  return in;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const auto table = [] {
    std::vector<std::uint32_t> t(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace zoq::testing
