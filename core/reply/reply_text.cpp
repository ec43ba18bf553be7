#include "core/reply/reply_text.hpp"

#include <algorithm>

namespace zoq::reply {

ReplyText& ReplyText::operator+=(const ReplyText& other) {
  text_ += other.text_;
  origin_ += other.origin_;
  return *this;
}

ZOQ_HOT void ReplyText::Append(std::string_view bytes, Origin origin) {
  text_ += bytes;
  origin_.append(bytes.size(), static_cast<char>(origin));
}

ZOQ_HOT void ReplyText::Append(const ReplyText& from, std::size_t pos, std::size_t length) {
  text_.append(from.text_, pos, length);
  origin_.append(from.origin_, pos, length);
}

std::string ReplyText::WholeCharacters(std::string_view s) {
  std::size_t last = 0;
  for (std::size_t pos = 0; pos < s.size(); pos += text::CharLength(s, pos)) last = pos;
  std::string whole(s);
  if (last + 1 == whole.size() && text::IsLeadByte(static_cast<unsigned char>(whole.back()))) whole.back() = '?';
  return whole;
}

namespace {

// A name that some host reads as everybody: "all" (the QQ hosts' and
// ISky's mention of all), "notify@all" (the WeChat-style host's) or any
// other "...@all"; ASCII case ignored.
bool NamesEverybody(std::string_view id) {
  constexpr std::string_view kAll = "all", kAtAll = "@all";
  return text::EqualsIgnoreAsciiCase(id, kAll) ||
         (id.size() >= kAtAll.size() && text::EqualsIgnoreAsciiCase(id.substr(id.size() - kAtAll.size()), kAtAll));
}

}  // namespace

ReplyText ReplyText::Number(std::string_view s) {
  constexpr std::string_view kIdBytes =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-@.";
  const bool plain = !s.empty() && s.find_first_not_of(kIdBytes) == std::string_view::npos;
  return plain && !NamesEverybody(s) ? ReplyText(s, Origin::Id) : Outside(s);
}

ZOQ_HOT bool ReplyText::AnyOutside(std::size_t begin, std::size_t end) const {
  return Any(begin, end, Origin::Outside) || Any(begin, end, Origin::Message);
}

bool ReplyText::AnyWritten(std::size_t begin, std::size_t end) const {
  return Any(begin, end, Origin::Written) || Any(begin, end, Origin::Id);
}

ZOQ_HOT bool ReplyText::Any(std::size_t begin, std::size_t end, Origin origin) const {
  return Origins(begin, end).find(static_cast<char>(origin)) != std::string_view::npos;
}

bool ReplyText::All(std::size_t begin, std::size_t end, Origin origin) const {
  return Origins(begin, end).find_first_not_of(static_cast<char>(origin)) == std::string_view::npos;
}

std::string_view ReplyText::Origins(std::size_t begin, std::size_t end) const {
  end = std::min(end, origin_.size());
  begin = std::min(begin, end);
  return std::string_view(origin_).substr(begin, end - begin);
}

template <class Same>
std::size_t ReplyText::FindWhere(std::string_view bytes, std::size_t from, text::Case mode, Same same) const {
  for (std::size_t pos = text::Find(text_, bytes, from, mode); pos != text::npos;
       pos = text::Find(text_, bytes, pos + text::CharLength(text_, pos), mode)) {
    if (same(pos)) return pos;
  }
  return text::npos;
}

std::size_t ReplyText::Find(const ReplyText& pattern, std::size_t from, text::Case mode) const {
  const auto same = [](char a, char b) { return Counts(a) == Counts(b); };
  return FindWhere(pattern.text_, from, mode, [&](std::size_t pos) {
    const auto at = origin_.begin() + static_cast<std::ptrdiff_t>(pos);
    return std::equal(pattern.origin_.begin(), pattern.origin_.end(), at, same);
  });
}

std::size_t ReplyText::FindWritten(std::string_view written, std::size_t from, text::Case mode) const {
  return FindWhere(written, from, mode, [&](std::size_t pos) { return All(pos, pos + written.size(), Origin::Written); });
}

bool ReplyText::AcrossOrigins(std::size_t pos) const {
  return text::CharLength(text_, pos) == 2 && IsWritten(pos) != IsWritten(pos + 1);
}

ZOQ_HOT bool ReplyText::HasCharacterAcrossOrigins() const {
  if (!AnyOutside(0, text_.size())) return false;  // the owner's alone
  for (std::size_t pos = 0; pos < text_.size(); pos += text::CharLength(text_, pos)) {
    if (AcrossOrigins(pos)) return true;
  }
  return false;
}

void ReplyText::SplitCharactersAcrossOrigins() {
  for (std::size_t pos = 0; pos < text_.size(); pos += text::CharLength(text_, pos)) {
    if (AcrossOrigins(pos)) text_[pos] = '?';
  }
}

void ReplyText::Replace(const ReplyText& pattern, const ReplyText& value, text::Case mode) {
  if (pattern.empty()) return;
  std::size_t pos = Find(pattern, 0, mode);
  if (pos == text::npos) return;
  ReplyText out;
  std::size_t done = 0;
  for (; pos != text::npos; pos = Find(pattern, done, mode)) {
    out.Append(*this, done, pos - done);
    out += value;
    done = pos + pattern.text_.size();
  }
  out.Append(*this, done, text_.size() - done);
  *this = std::move(out);
}

std::optional<ReplyVariable> ReplyText::FindVariable(std::string_view opening, std::string_view closing) const {
  constexpr auto mode = text::Case::IgnoreAscii;
  const std::size_t open = FindWritten(opening, 0, mode);
  if (open == text::npos) return std::nullopt;
  const std::size_t argBegin = open + opening.size();
  const std::size_t close = FindWritten(closing, argBegin, mode);
  ReplyVariable v;
  if (close == text::npos) return v;
  v.argument.Append(*this, argBegin, close - argBegin);
  v.whole.Append(*this, open, close + closing.size() - open);
  return v;
}

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string PercentEncoded(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (IsUnreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 0xF];
    }
  }
  return out;
}

}  // namespace

ReplyText ReplyText::AsAddress(std::string (*convert)(const std::string&)) const {
  ReplyText out;
  for (std::size_t begin = 0; begin < text_.size();) {
    const bool written = IsWritten(begin);
    std::size_t end = begin;
    while (end < text_.size() && IsWritten(end) == written) ++end;
    std::string run = text_.substr(begin, end - begin);
    if (convert) run = convert(run);
    if (!written) out += Outside(PercentEncoded(run));
    else if (convert) out += Written(run);
    else out.Append(*this, begin, end - begin);  // ids stay ids
    begin = end;
  }
  return out;
}

}  // namespace zoq::reply
