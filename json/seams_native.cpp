// Portable side of the seams (sanitizer and fuzzer builds): glibc's CP936
// converter, the word order of ASCII letters for keys, and the C++ library's
// random source.
#include "json/seams.hpp"

#include <iconv.h>

#include <cerrno>
#include <random>

namespace zoq::json::seam {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  // Converts in; on an invalid sequence fails, or writes what `replace`
  // gives for the bytes there and skips as many as it says.
  template <class Replace>
  bool Run(const char* in, size_t inLen, std::string& out, Replace replace) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char buf[4096];
    auto* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
      char* dst = buf;
      size_t room = sizeof buf;
      const size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        const size_t skip = replace(static_cast<unsigned char>(*src), out);
        if (skip == 0) return false;
        const size_t step = skip < left ? skip : left;
        src += step;
        left -= step;
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool GbkToUtf16(std::string_view gbk, std::u16string& out, bool strict) {
  out.clear();
  if (gbk.empty()) return true;
  thread_local Converter conv("UTF-16LE", "CP936");
  std::string bytes;
  // As Windows reads them: a lone 0xFF is U+F8F5, a lead byte and the byte
  // after it that make no character are one "?".
  const auto replace = [strict](unsigned char b, std::string& o) -> size_t {
    if (strict) return 0;
    o.append(b == 0xFF ? std::string_view("\xF5\xF8", 2) : std::string_view("?\0", 2));
    return b == 0xFF ? 1 : 2;
  };
  if (!conv.Run(gbk.data(), gbk.size(), bytes, replace)) return false;
  out.resize(bytes.size() / 2);
  for (size_t k = 0; k < out.size(); ++k)
    out[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                   (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  return true;
}

std::string Utf16ToGbk(std::u16string_view text) {
  if (text.empty()) return {};
  thread_local Converter conv("CP936", "UTF-16LE");
  std::string in(text.size() * 2, '\0');
  for (size_t k = 0; k < text.size(); ++k) {
    in[2 * k] = static_cast<char>(text[k] & 0xFF);
    in[2 * k + 1] = static_cast<char>(text[k] >> 8);
  }
  std::string out;
  conv.Run(in.data(), in.size(), out, [](unsigned char, std::string& o) -> size_t {
    o += '?';
    return 2;
  });
  return out;
}

// The word order of ASCII letters: letters compare without case first, and
// only keys equal so far put a lower-case letter before its capital.
int CompareKeys(const char16_t* a, const char16_t* b, bool ignoreCase) {
  const auto fold = [](char16_t c) -> unsigned { return (c >= u'A' && c <= u'Z') ? c + 32u : c; };
  int tie = 0;
  for (;; ++a, ++b) {
    const unsigned x = fold(*a), y = fold(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return ignoreCase ? 0 : tie;
    if (tie == 0 && *a != *b) tie = *a > *b ? -1 : 1;  // 'a' (0x61) before 'A' (0x41)
  }
}

void IndexSecret(std::uint32_t key[2]) {
  std::random_device source;
  for (int i = 0; i < 2; ++i) key[i] = source();
}

}  // namespace zoq::json::seam
