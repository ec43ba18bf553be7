#include "platform/code_pages.hpp"

#include <windows.h>

#include <string_view>
#include <utility>

#include "text/encoding.hpp"
#include "text/text.hpp"

namespace zoq::platform {
namespace {

constexpr UINT kGbk = 936;

ZOQ_HOT std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// `exact`: empty when a character has no form in the code page.
std::string FromWide(UINT codePage, std::wstring_view wide, bool exact) {
  if (wide.empty()) return {};
  BOOL usedDefault = FALSE;
  BOOL* flag = exact ? &usedDefault : nullptr;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  const int n =
      WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, flag);
  if (n <= 0 || usedDefault) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, flag);
  if (usedDefault) return {};
  return out;
}

}  // namespace

std::wstring GbkToWide(std::string_view gbk) { return ToWide(kGbk, gbk); }
std::string WideToGbk(std::wstring_view wide) { return FromWide(kGbk, wide, false); }
ZOQ_HOT std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }
std::string WideToAnsi(std::wstring_view wide) { return FromWide(CP_ACP, wide, false); }
std::string WideToAnsiExact(std::wstring_view wide) { return FromWide(CP_ACP, wide, true); }

std::wstring Gb18030ToWide(std::string_view gb) {
  // A text that ends inside a character converts without that end.
  std::string units;
  for (std::size_t cut = 0; units.empty() && cut < 4 && cut < gb.size(); ++cut) {
    units = encoding::Gb18030ToUtf16be(std::string(gb.substr(0, gb.size() - cut)));
  }
  std::wstring wide;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(units[i]) << 8 | static_cast<unsigned char>(units[i + 1])));
  }
  return wide;
}

std::string WideToGb18030(std::wstring_view wide) {
  // A text that ends inside a character (half of a surrogate pair: a UTF-16
  // file cut short) converts without that end; a lone half elsewhere is
  // left out by the converter.
  if (!wide.empty() && wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.remove_suffix(1);
  std::string units;
  for (wchar_t c : wide) units += {static_cast<char>(c >> 8), static_cast<char>(c)};
  return encoding::Utf16beToGb18030(units);
}

FileForm FileFormOf(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return FileForm::MarkedUtf8;
  if (bytes.starts_with("\xFF\xFE")) return FileForm::Utf16le;
  if (bytes.starts_with("\xFE\xFF")) return FileForm::Utf16be;
  return text::LongestUtf8Character(bytes) >= 3 ? FileForm::Utf8 : FileForm::Ansi;
}

std::size_t MarkLength(FileForm form) {
  switch (form) {
    case FileForm::MarkedUtf8: return 3;
    case FileForm::Utf16le:
    case FileForm::Utf16be: return 2;
    default: return 0;
  }
}

namespace {

// A file's text of a Unicode form, through `fromWide`; ANSI text unchanged.
template <typename FromWide>
std::string FileText(std::string bytes, FromWide fromWide) {
  const FileForm form = FileFormOf(bytes);
  if (form == FileForm::Ansi) return bytes;  // moved out
  const std::string_view b = std::string_view(bytes).substr(MarkLength(form));
  if (form == FileForm::Utf8 || form == FileForm::MarkedUtf8) return fromWide(ToWide(CP_UTF8, b));
  const bool little = form == FileForm::Utf16le;
  std::wstring wide;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    const unsigned char lo = static_cast<unsigned char>(b[little ? i : i + 1]);
    const unsigned char hi = static_cast<unsigned char>(b[little ? i + 1 : i]);
    wide.push_back(static_cast<wchar_t>(lo | (hi << 8)));
  }
  return fromWide(wide);
}

}  // namespace

std::string FileTextAsAnsi(std::string bytes) {
  return FileText(std::move(bytes), [](std::wstring_view w) { return WideToAnsi(w); });
}

std::string FileTextAsGb18030(std::string bytes) {
  return FileText(std::move(bytes), [](std::wstring_view w) { return WideToGb18030(w); });
}

}  // namespace zoq::platform
