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

std::string ReplyText::Finish(std::string_view messageOpen, std::string_view messageClose) const {
  // What sending turns into "[", and the codes it then converts.
  static constexpr std::array<std::string_view, 2> kBrackets{"[", "&uoS8#"};
  static constexpr std::array<std::string_view, 2> kCodes{"P=", "V="};
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
      if (!text::StartsWith(std::string_view(text_).substr(pos), bracket)) continue;
      const std::size_t after = pos + bracket.size();
      for (std::string_view code : kCodes) {
        if (text::StartsWith(std::string_view(text_).substr(after), code, text::Case::IgnoreAscii) &&
            AnyOutside(pos, after + code.size())) {
          skip = bracket.size();
        }
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
