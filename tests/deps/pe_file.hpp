// A reader of the 32-bit PE files the cross build makes (the plug-in DLL and
// its debug file), for the native test that holds the DLL as users copy it:
// headers, sections, exports, imports, the functions the unwind tables bound,
// and the length of the i386 instructions the compiler emits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zoq::testing {

struct PeSection {
  std::string name;  // a long name (".gnu_debuglink") read from the string table
  std::uint32_t rva = 0, virtualSize = 0, fileOffset = 0, rawSize = 0;
};

struct PeImport {
  std::string dll, function;  // function "#<ordinal>" for an import by ordinal
};

// The code of one function, or of one part of it the compiler moved away
// (`.cold`), as an unwind table entry (FDE of .eh_frame) bounds it: RVAs.
struct CodeRange {
  std::uint32_t begin = 0, end = 0;
};

// Every read is checked: a malformed file throws std::runtime_error.
class PeFile {
 public:
  explicit PeFile(std::vector<std::uint8_t> bytes);  // throws unless a PE32 file

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::uint32_t HeaderOffset() const { return pe_; }  // of "PE\0\0"
  std::uint32_t SectionTableOffset() const { return sectionTable_; }
  std::uint16_t machine = 0, characteristics = 0, dllCharacteristics = 0;
  std::uint32_t symbolCount = 0, imageBase = 0, imageSize = 0;
  std::vector<PeSection> sections;

  struct Directory {
    std::uint32_t rva = 0, size = 0;
  };
  Directory DataDirectory(unsigned index) const;
  const PeSection* Section(std::string_view name) const;
  // The file offset of `size` bytes at `rva`; throws where the file holds none.
  std::uint32_t FileOffset(std::uint32_t rva, std::uint32_t size = 1) const;
  const std::uint8_t* At(std::uint32_t rva, std::uint32_t size) const { return &bytes_[FileOffset(rva, size)]; }
  std::uint32_t U32At(std::uint32_t rva) const;
  std::string StringAt(std::uint32_t rva) const;

  std::map<std::string, std::uint32_t> Exports() const;   // name -> RVA of the code
  std::vector<std::string> ImportedDlls() const;          // direct and delay-loaded
  std::map<std::uint32_t, PeImport> ImportSlots() const;  // RVA of the IAT slot -> import
  std::vector<CodeRange> Functions() const;               // sorted by begin

 private:
  std::uint16_t U16(std::size_t offset) const;
  std::uint32_t U32(std::size_t offset) const;
  std::vector<std::uint8_t> bytes_;
  std::uint32_t pe_ = 0, sectionTable_ = 0, directoryCount_ = 0;
};

// One i386 instruction (32-bit code) as far as the stack check needs it.
struct X86Instruction {
  enum Kind { kOther, kReturn, kJump, kConditionalJump, kJumpThroughPointer, kJumpThroughTable };
  Kind kind = kOther;
  std::uint32_t length = 0;
  std::uint16_t popped = 0;  // kReturn: the bytes `ret imm16` removes besides the return address
  std::int32_t target = 0;   // kJump, kConditionalJump: from the instruction's start
};
// Decodes the instruction at `code`; throws on an opcode outside the
// integer, x87, MMX and SSE instructions of 32-bit code, and on one that
// runs past `available` bytes.
X86Instruction DecodeX86(const std::uint8_t* code, std::size_t available);

inline std::uint32_t Le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }
std::string Hex(std::uint32_t value);  // "0x1a2b"

// CRC-32 (the polynomial of zlib and of the GNU debug link).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace zoq::testing
