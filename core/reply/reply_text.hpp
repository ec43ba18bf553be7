// A text on its way to a host. Every byte remembers where it came from:
// written by the owner (a reply template, a command's return text), where
// it may form variables, actions, markers and host codes, or put in from
// outside (web answers, what a chat command stores, the incoming message's
// text, a sender or group that is not a plain id), where it is only ever
// text. The message's own text keeps an origin of its own: a picture the
// host delivered in it may be repeated, one from anywhere else not. The ids
// the plug-in puts in (the sender, the group, the mentioned account) count
// as written when they are plain ids (digits, a wxid, a "...@chatroom"),
// since those hold nothing a host reads as code; they keep an origin of
// their own, so that sending can look at the local paths they help to make,
// and they complete no variable and name no code. Sending (ToHostCodes) is
// the one place that turns it into host codes.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "text/text.hpp"

namespace zoq::reply {

struct ReplyVariable;

class ReplyText {
 public:
  // Id: a plain id, written in every respect but one (see Number).
  enum class Origin : char { Written, Outside, Message, Id };

  ReplyText() = default;
  static ReplyText Written(std::string_view s) { return ReplyText(s, Origin::Written); }
  // The same, taking the bytes of `s` without a copy.
  static ReplyText WrittenMoving(std::string&& s) { return ReplyText(std::move(s), Origin::Written); }
  // Outside text ends on a whole character: a lead byte left alone at its
  // end becomes "?", so that it cannot pair with the byte that follows.
  static ReplyText Outside(std::string_view s) { return ReplyText(WholeCharacters(s), Origin::Outside); }
  static ReplyText Message(std::string_view s) { return ReplyText(WholeCharacters(s), Origin::Message); }
  // An id of the message (sender, group, mentioned account): an id that
  // counts as written when it is made only of ASCII letters, digits, "_",
  // "-", "@" and ".", which form no code on any host, and is no name that
  // means everybody ("all", "notify@all"); outside otherwise. What it makes
  // of a local path is checked on the finished path.
  static ReplyText Number(std::string_view s);

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  Origin origin(std::size_t pos) const { return static_cast<Origin>(origin_[pos]); }
  // Whether byte `pos` counts as written (written or a plain id).
  bool IsWritten(std::size_t pos) const { return Counts(origin_[pos]) == Counts(Origin::Written); }
  // Whether a byte in [begin, end) does not count as written; does.
  bool AnyOutside(std::size_t begin, std::size_t end) const;
  bool AnyWritten(std::size_t begin, std::size_t end) const;
  // Whether any byte, every byte in [begin, end) has `origin`.
  bool Any(std::size_t begin, std::size_t end, Origin origin) const;
  bool All(std::size_t begin, std::size_t end, Origin origin) const;

  ReplyText& operator+=(const ReplyText& other);
  friend ReplyText operator+(ReplyText a, const ReplyText& b) { return a += b; }
  bool operator==(const ReplyText&) const = default;
  void Append(std::string_view bytes, Origin origin);
  // Bytes [pos, pos + length) of `from`, with their origins.
  void Append(const ReplyText& from, std::size_t pos, std::size_t length);

  // The first occurrence at or after byte `from` of `pattern`: the same
  // bytes (ASCII letters compared as `mode` says) of the same origin (an id
  // as written); npos when there is none. A match never starts on the trail
  // byte of a GBK double-byte character.
  std::size_t Find(const ReplyText& pattern, std::size_t from = 0, text::Case mode = text::Case::Sensitive) const;
  // The same for `written` as the owner's text (an id is no part of it).
  std::size_t FindWritten(std::string_view written, std::size_t from, text::Case mode) const;
  bool Contains(std::string_view written, text::Case mode = text::Case::Sensitive) const {
    return FindWritten(written, 0, mode) != text::npos;
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

  // Whether the text holds a character across origins: a lead byte and the
  // byte after it that differ in whether they count as written, which a host
  // that reads characters takes as one.
  bool HasCharacterAcrossOrigins() const;
  // Every character of one origin: the lead byte of each character across
  // origins becomes "?" (as the hosts' code page reads a lead byte alone),
  // the byte after it a character of its own.
  void SplitCharactersAcrossOrigins();

  // The text as a web address: written runs as `convert` gives them (null:
  // as they are, ids still ids), each run of outside bytes converted and then
  // percent-encoded as one query value, reserved characters included, so
  // that it cannot add parameters or change the path.
  ReplyText AsAddress(std::string (*convert)(const std::string&) = nullptr) const;

 private:
  ReplyText(std::string_view s, Origin origin) : text_(s), origin_(s.size(), static_cast<char>(origin)) {}
  ReplyText(std::string&& s, Origin origin) : text_(std::move(s)), origin_(text_.size(), static_cast<char>(origin)) {}
  // The first occurrence of `bytes` at or after `from` where `same(pos)`.
  template <class Same>
  std::size_t FindWhere(std::string_view bytes, std::size_t from, text::Case mode, Same same) const;
  static std::string WholeCharacters(std::string_view s);
  std::string_view Origins(std::size_t begin, std::size_t end) const;
  // Whether the character at `pos` is one across origins.
  bool AcrossOrigins(std::size_t pos) const;
  // An origin as it counts: an id as written.
  static constexpr char Counts(char origin) {
    return origin == static_cast<char>(Origin::Id) ? static_cast<char>(Origin::Written) : origin;
  }
  static constexpr char Counts(Origin origin) { return Counts(static_cast<char>(origin)); }

  std::string text_;
  std::string origin_;  // one Origin per text byte
};

// A variable with an argument: opening and closing written in the template,
// the argument between them of any origin.
struct ReplyVariable {
  ReplyText argument;  // empty when there is no closing
  ReplyText whole;     // opening, argument, closing; empty when not closed
};

}  // namespace zoq::reply
