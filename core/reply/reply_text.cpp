#include "core/reply/reply_text.hpp"

#include <array>

namespace zoq::reply {

ReplyText& ReplyText::operator+=(const ReplyText& other) {
  text_ += other.text_;
  origin_ += other.origin_;
  return *this;
}

std::size_t ReplyText::Find(const ReplyText& pattern, std::size_t from, text::Case mode) const {
  const std::size_t length = pattern.text_.size();
  for (std::size_t pos = text::Find(text_, pattern.text_, from, mode); pos != text::npos;
       pos = text::Find(text_, pattern.text_, pos + text::CharLength(text_, pos), mode)) {
    if (origin_.compare(pos, length, pattern.origin_) == 0) return pos;
  }
  return text::npos;
}

void ReplyText::Replace(const ReplyText& pattern, const ReplyText& value, text::Case mode) {
  if (pattern.empty()) return;
  std::size_t pos = Find(pattern, 0, mode);
  if (pos == text::npos) return;
  ReplyText out;
  std::size_t done = 0;
  for (; pos != text::npos; pos = Find(pattern, done, mode)) {
    out.text_.append(text_, done, pos - done);
    out.origin_.append(origin_, done, pos - done);
    out += value;
    done = pos + pattern.text_.size();
  }
  out.text_.append(text_, done);
  out.origin_.append(origin_, done);
  *this = std::move(out);
}

std::optional<ReplyVariable> ReplyText::FindVariable(std::string_view opening, std::string_view closing) const {
  constexpr auto mode = text::Case::IgnoreAscii;
  const std::size_t open = Find(Written(opening), 0, mode);
  if (open == text::npos) return std::nullopt;
  const std::size_t argBegin = open + opening.size();
  const std::size_t close = Find(Written(closing), argBegin, mode);
  ReplyVariable v;
  if (close == text::npos) return v;
  auto slice = [this](std::size_t begin, std::size_t end) {
    ReplyText t;
    t.text_ = text_.substr(begin, end - begin);
    t.origin_ = origin_.substr(begin, end - begin);
    return t;
  };
  v.argument = slice(argBegin, close);
  v.whole = slice(open, close + closing.size());
  return v;
}

bool ReplyText::AnyOutside(std::size_t begin, std::size_t end) const {
  return origin_.find_first_not_of(kWritten, begin) < end;
}

namespace {

// A path that names a file of this machine: a drive, a root, a file address,
// or any backslash or parent step (the hosts' own picture ids have none).
bool IsLocalPath(std::string_view path) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text::StartsWith(path, "file:", text::Case::IgnoreAscii)) return true;
  if (path.size() >= 2 && letter(path[0]) && path[1] == ':') return true;
  if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return true;
  return text::Contains(path, "\\") || text::Contains(path, "..");
}

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
    const bool written = origin_[begin] == kWritten;
    std::size_t end = written ? origin_.find_first_not_of(kWritten, begin) : origin_.find(kWritten, begin);
    if (end == std::string::npos) end = text_.size();
    std::string run = text_.substr(begin, end - begin);
    if (convert) run = convert(run);
    out += written ? Written(run) : Outside(PercentEncoded(run));
    begin = end;
  }
  return out;
}

std::string ReplyText::Finish(std::string_view messageOpen, std::string_view messageClose) const {
  // What sending turns into "[": the neutral picture and voice codes, which
  // never take a file from outside, and the hosts' own codes, which take
  // none of this machine's files from outside (their web addresses and the
  // hosts' own picture ids still pass).
  static constexpr std::array<std::string_view, 2> kBrackets{"[", "&uoS8#"};
  static constexpr std::array<std::string_view, 2> kNeutralCodes{"P=", "V="};
  static constexpr std::array<std::string_view, 6> kHostCodes{"pic=", "voi=", "picFile,path=", "AudioFile,path=",
                                                               "CQ:image,file=", "CQ:record,file="};
  const std::string_view all(text_);
  const auto startsWith = [&](std::size_t at, std::string_view code) {
    return text::StartsWith(all.substr(at), code, text::Case::IgnoreAscii);
  };
  std::string out;
  out.reserve(text_.size());
  std::size_t pos = 0;
  while (pos < text_.size()) {
    const char c = text_[pos];
    if (origin_[pos] == kMessage && !messageOpen.empty() && (c == '[' || c == ']')) {
      out += c == '[' ? messageOpen : messageClose;
      ++pos;
      continue;
    }
    std::size_t skip = 0;
    for (std::string_view bracket : kBrackets) {
      if (!text::StartsWith(all.substr(pos), bracket)) continue;
      const std::size_t after = pos + bracket.size();
      for (std::string_view code : kNeutralCodes) {
        if (startsWith(after, code) && AnyOutside(pos, after + code.size())) skip = bracket.size();
      }
      for (std::string_view code : kHostCodes) {
        if (!startsWith(after, code)) continue;
        const std::size_t path = after + code.size();
        std::size_t pathEnd = all.find_first_of("],", path);
        if (pathEnd == std::string_view::npos) pathEnd = all.size();
        if (AnyOutside(pos, pathEnd) && IsLocalPath(all.substr(path, pathEnd - path))) skip = bracket.size();
      }
    }
    if (skip != 0) {
      out += "［";
      pos += skip;
      continue;
    }
    const std::size_t length = text::CharLength(text_, pos);
    out.append(text_, pos, length);
    pos += length;
  }
  return out;
}

}  // namespace zoq::reply
