// A reply while it is being expanded. Every byte remembers where it came
// from: written in the template, where it may form variables and codes, or
// put in from outside (the message text, the numbers of the sender, group
// and target, web answers), where it is only ever text: no variable, action,
// address or picture code inside it takes effect.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.hpp"

namespace zoq::reply {

struct ReplyVariable;

class ReplyText {
 public:
  ReplyText() = default;
  static ReplyText Written(std::string_view s) { return ReplyText(s, kWritten); }
  static ReplyText Outside(std::string_view s) { return ReplyText(s, kOutside); }
  // Outside bytes that came in as the message's own text.
  static ReplyText FromMessage(std::string_view s) { return ReplyText(s, kMessage); }

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  ReplyText& operator+=(const ReplyText& other);
  friend ReplyText operator+(ReplyText a, const ReplyText& b) { return a += b; }
  bool operator==(const ReplyText&) const = default;

  // The first occurrence at or after byte `from` of `pattern`: the same
  // bytes (ASCII letters compared as `mode` says) of the same origin; npos
  // when there is none. A match never starts on the trail byte of a GBK
  // double-byte character.
  std::size_t Find(const ReplyText& pattern, std::size_t from = 0, text::Case mode = text::Case::Sensitive) const;
  bool Contains(std::string_view written, text::Case mode = text::Case::Sensitive) const {
    return Find(Written(written), 0, mode) != text::npos;
  }
  // Every occurrence of `pattern`, left to right, replaced by `value`; the
  // value is not searched again.
  void Replace(const ReplyText& pattern, const ReplyText& value, text::Case mode = text::Case::Sensitive);
  void Replace(std::string_view written, const ReplyText& value, text::Case mode = text::Case::Sensitive) {
    Replace(Written(written), value, mode);
  }

  // The first written `opening` and the first written `closing` after it
  // (ASCII case ignored); nothing when the opening is missing.
  std::optional<ReplyVariable> FindVariable(std::string_view opening, std::string_view closing) const;

  // The text as a web address: written runs as `convert` gives them (null:
  // as they are), each run of outside bytes converted and then
  // percent-encoded as one query value, reserved characters included, so
  // that it cannot add parameters or change the path.
  ReplyText AsAddress(std::string (*convert)(const std::string&) = nullptr) const;

  // The finished reply. Picture and voice openers ("[P=", "[V=", also
  // spelt with "&uoS8#") that hold outside bytes, and the hosts' own picture
  // and voice codes whose file, coming from outside, is a file of this
  // machine, have their bracket written as "［", so that neither sending nor
  // the host turns them into a picture or voice of a local file. A host that
  // writes "[" and "]" of its message texts escaped gives the escapes: the
  // brackets that came in with the message are written so again and stay
  // text.
  std::string Finish(std::string_view messageOpen = {}, std::string_view messageClose = {}) const;

 private:
  static constexpr char kWritten = 0;
  static constexpr char kOutside = 1;
  static constexpr char kMessage = 2;
  ReplyText(std::string_view s, char origin) : text_(s), origin_(s.size(), origin) {}
  bool AnyOutside(std::size_t begin, std::size_t end) const;

  std::string text_;
  std::string origin_;  // one origin byte per text byte
};

// A variable with an argument: opening and closing written in the template,
// the argument between them of any origin.
struct ReplyVariable {
  ReplyText argument;  // empty when there is no closing
  ReplyText whole;     // opening, argument, closing; empty when not closed
};

}  // namespace zoq::reply
