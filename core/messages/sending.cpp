#include "core/messages/sending.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/hosts.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using reply::ReplyText;
using Origin = ReplyText::Origin;
using text::Case;
using CodeRow = std::pair<std::string_view, std::string_view>;

// What the hosts write for a line break, an escaped bracket or the opener of
// a mention, and the neutral code each becomes; replaced in this order.
constexpr std::array<CodeRow, 8> kIncomingCodes{{
    {"\r\n", "[N]"},
    {"\\u005b", "["},
    {"\\u005d", "]"},
    {"[at=", "[@"},
    {"[IR:at=", "[@"},
    {"[CQ:at,qq=", "[@"},
    {"&uoS8#", "["},
    {"&uoS9#", "]"},
}};
constexpr std::size_t kMentionOpeners = 3;  // the rows from here on, up to the stored brackets
constexpr std::size_t kStoredBrackets = 6;

std::string Folded(std::string s, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last; ++i) {
    const auto& [from, to] = kIncomingCodes[i];
    if (text::Contains(s, from, Case::IgnoreAscii)) s = text::ReplaceAll(s, from, to, Case::IgnoreAscii);
  }
  return s;
}

bool StartsAt(std::string_view s, std::size_t pos, std::string_view prefix, Case mode = Case::Sensitive) {
  return text::StartsWith(s.substr(pos), prefix, mode);
}

// ---- On the way out.

constexpr std::string_view kFullWidthOpen = "［";
constexpr std::string_view kFullWidthClose = "］";

std::string_view InertOpen(const HostProfile& host) {
  return host.escapedOpen.empty() ? kFullWidthOpen : host.escapedOpen;
}
std::string_view InertClose(const HostProfile& host) {
  return host.escapedClose.empty() ? kFullWidthClose : host.escapedClose;
}

// "[N]" as CRLF where it is wholly written or wholly not (a line break of
// the message), never where the owner's bracket closes outside text; the
// written stored brackets as brackets; stored brackets that are not wholly
// written stay as they are.
ReplyText WithBrackets(const ReplyText& in) {
  static constexpr std::array<CodeRow, 2> kStored{{{"&uoS8#", "["}, {"&uoS9#", "]"}}};
  const std::string& s = in.text();
  if (!text::Contains(s, "[N]") && s.find("&uoS") == std::string::npos) return in;
  ReplyText out;
  for (std::size_t pos = 0; pos < s.size();) {
    const CodeRow* stored = nullptr;
    for (const CodeRow& row : kStored) {
      if (StartsAt(s, pos, row.first) && !in.AnyOutside(pos, pos + row.first.size())) stored = &row;
    }
    if (StartsAt(s, pos, "[N]") && (!in.AnyOutside(pos, pos + 3) || !in.AnyWritten(pos, pos + 3))) {
      out.Append("\r\n", in.origin(pos));
      pos += 3;
    } else if (stored) {
      out.Append(stored->second, Origin::Written);
      pos += stored->first.size();
    } else {
      const std::size_t length = text::CharLength(s, pos);
      out.Append(in, pos, length);
      pos += length;
    }
  }
  return out;
}

// The bytes of the hosts' code syntax: brackets, braces and the backslash.
// A double-byte character whose second byte is one of them is one
// character to a host that reads characters, a code byte to one that reads
// bytes.
bool IsCodeByte(char c) { return c == '[' || c == ']' || c == '{' || c == '}' || c == '\\'; }

bool IsNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':' || c == '@' || c == '_' || c == ' ' || c == '\t';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsPlainByte(char c) { return IsHexDigit(c) || (c >= 'G' && c <= 'Z') || (c >= 'g' && c <= 'z') || c == '_' || c == '-'; }

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ') v.remove_suffix(1);
  return v;
}

// One "key=value" of a code's body (the pieces between commas; the first
// one holds the code's name), with where it stands in the text.
struct KeyValue {
  std::string_view key, value;
  std::size_t begin, end;
};

std::vector<KeyValue> KeyValues(std::string_view s, std::size_t bodyBegin, std::size_t bodyEnd) {
  std::vector<KeyValue> keys;
  s = s.substr(0, bodyEnd);
  for (std::size_t begin = bodyBegin; begin <= bodyEnd;) {
    std::size_t comma = s.find(',', begin);
    if (comma == std::string_view::npos) comma = bodyEnd;
    const std::string_view piece = s.substr(begin, comma - begin);
    if (const std::size_t eq = piece.find('='); eq != std::string_view::npos) {
      keys.push_back({Trimmed(piece.substr(0, eq)), Trimmed(piece.substr(eq + 1)), begin, comma});
    }
    begin = comma + 1;
  }
  return keys;
}

// A path that names a file of this machine: a drive, a root, a file address,
// or any backslash or parent step.
bool NamesLocalFile(std::string_view path) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text::StartsWith(path, "file:", Case::IgnoreAscii)) return true;
  if (path.size() >= 2 && letter(path[0]) && path[1] == ':') return true;
  if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return true;
  return path.find('\\') != std::string_view::npos || path.find("..") != std::string_view::npos;
}

bool IsWebAddress(std::string_view path) {
  return text::StartsWith(path, "http://", Case::IgnoreAscii) || text::StartsWith(path, "https://", Case::IgnoreAscii);
}

// The keys that name the file of a picture or voice, in every host's form
// ("[P=", "[pic=", "[picFile,path=", "[CQ:image,file=", the picture and the
// sound of ISky's shares and music, ...).
bool IsFileKey(std::string_view key) {
  for (std::string_view k : {"P", "V", "pic", "voi", "file", "path", "image", "audio"}) {
    if (text::EqualsIgnoreAsciiCase(key, k)) return true;
  }
  return false;
}

// The openers of the hosts' mentions: the account in them is a number.
bool IsMentionCode(std::string_view s, std::size_t open) {
  for (std::string_view form : {"[@", "[at=", "[IR:at=", "[CQ:at,"}) {
    if (StartsAt(s, open, form, Case::IgnoreAscii)) return true;
  }
  return false;
}

// A picture or voice code as the host writes its own: "[pic={id}.ext]"
// (the QQ hosts' picture and voice ids in braces) or
// "[CQ:image,file=<hex>.image,...]" (ISky's), nothing that names a file by
// its name or path.
bool IsHostMediaCode(std::string_view code, DeliveredMedia form) {
  const auto all = [](std::string_view v, bool (*ok)(char)) {
    return !v.empty() && std::all_of(v.begin(), v.end(), ok);
  };
  switch (form) {
    case DeliveredMedia::None: return false;
    case DeliveredMedia::BracedId: {
      std::string_view id;
      for (std::string_view opener : {"[pic=", "[voi="}) {
        if (text::StartsWith(code, opener, Case::IgnoreAscii)) id = code.substr(opener.size(), code.size() - opener.size() - 1);
      }
      const std::size_t brace = id.find('}');
      if (id.empty() || id[0] != '{' || brace == std::string_view::npos) return false;
      const std::string_view ext = id.substr(brace + 1);
      const bool extOk = ext.empty() || (ext[0] == '.' && ext.size() <= 6 && all(ext.substr(1), IsPlainByte));
      return all(id.substr(1, brace - 1), [](char c) { return IsHexDigit(c) || c == '-'; }) && extOk;
    }
    case DeliveredMedia::CqImage: {
      if (!text::StartsWith(code, "[CQ:image,", Case::IgnoreAscii)) return false;
      int files = 0;
      for (const KeyValue& k : KeyValues(code, 10, code.size() - 1)) {
        if (text::EqualsIgnoreAsciiCase(k.key, "file")) {
          const bool id = k.value.ends_with(".image") && all(k.value.substr(0, k.value.size() - 6), IsHexDigit);
          if (!id) return false;
          ++files;
        } else if (!all(k.key, IsPlainByte) || !all(k.value, IsPlainByte)) {
          return false;
        }
      }
      return files == 1;
    }
  }
  return false;
}

// The codes the host delivered in the message as they stood in it: each "["
// with the first "]" after it and no "[" between them.
std::unordered_set<std::string_view> DeliveredCodes(std::string_view delivered) {
  std::unordered_set<std::string_view> codes;
  std::size_t open = text::npos;
  for (std::size_t pos = 0; pos < delivered.size(); pos += text::CharLength(delivered, pos)) {
    if (delivered[pos] == '[') open = pos;
    if (delivered[pos] == ']' && open != text::npos) {
      codes.insert(delivered.substr(open, pos + 1 - open));
      open = text::npos;
    }
  }
  return codes;
}

// The next byte at or after `from` that `match` takes, for calls whose
// `from` never goes back: every byte is looked at once, so a conversion
// stays linear in the text however its brackets fall.
class NextOf {
 public:
  using Match = bool (*)(const ReplyText&, std::size_t);
  NextOf(const ReplyText& t, Match match) : t_(t), match_(match) {}
  std::size_t At(std::size_t from) {
    if (scanned_ && found_ >= from) return found_;
    const std::string& s = t_.text();
    std::size_t pos = std::max(from, found_);
    while (pos < s.size() && !match_(t_, pos)) pos += text::CharLength(s, pos);
    scanned_ = true;
    return found_ = pos;
  }

 private:
  const ReplyText& t_;
  Match match_;
  bool scanned_ = false;
  std::size_t found_ = 0;
};

bool Written(const ReplyText& t, std::size_t pos) { return t.origin(pos) == Origin::Written; }

// One reply on its way to one host.
class HostCodes {
 public:
  HostCodes(const ReplyText& t, const HostProfile& host, std::string_view delivered)
      : t_(t), s_(t.text()), host_(host), delivered_(delivered) {}

  std::string Run() {
    out_.reserve(s_.size());
    for (std::size_t pos = 0; pos < s_.size();) {
      const bool written = Written(t_, pos);
      if (s_[pos] == '[') {
        pos = written ? WrittenOpen(pos) : OutsideOpen(pos);
      } else if (s_[pos] == ']' && !written) {
        out_ += InertClose(host_);
        ++pos;
      } else if (s_[pos] == '{' && !host_.braceCode.empty() && StartsAt(s_, pos, host_.braceCode) &&
                 t_.AnyOutside(pos, pos + host_.braceCode.size())) {
        // The host's own code in braces, made of outside bytes: full-width braces.
        out_ += "｛";
        out_.append(host_.braceCode.substr(1, host_.braceCode.size() - 2));
        out_ += "｝";
        pos += host_.braceCode.size();
      } else {
        const std::size_t length = text::CharLength(s_, pos);
        if (length == 2 && IsCodeByte(s_[pos + 1]) && t_.AnyOutside(pos, pos + 2)) {
          out_ += '?';  // a host that reads its codes byte by byte would see a code byte
        } else {
          out_.append(s_, pos, length);
        }
        pos += length;
      }
    }
    return std::move(out_);
  }

 private:
  // A written "[": a code that runs to the first written "]" after it (the
  // owner's brackets alone decide a code's extent). It becomes the host's
  // code when it is wholly written, or when its outside bytes name nothing
  // they may not; otherwise its bracket is written inert. Returns where the
  // scan goes on.
  std::size_t WrittenOpen(std::size_t open) {
    const std::size_t close = writtenClose_.At(open + 1);
    if (notWritten_.At(open) < close && (writtenOpen_.At(open + 1) < close || !OutsideBytesAllowed(open, close))) {
      out_ += InertOpen(host_);
      return open + 1;
    }
    struct Neutral {
      std::string_view opener, webCode, fileCode;
    };
    const Neutral neutral[] = {{"[P=", host_.pictureCode, host_.pictureFileCode},
                               {"[V=", host_.voiceCode, host_.voiceFileCode}};
    for (const Neutral& n : neutral) {
      if (n.webCode.empty() || !StartsAt(s_, open, n.opener, Case::IgnoreAscii)) continue;
      // The same value as the check of its outside bytes: blanks around it
      // do not count.
      const std::size_t path = open + n.opener.size();
      out_ += IsWebAddress(Trimmed(std::string_view(s_).substr(path, close - path))) ? n.webCode : n.fileCode;
      return path;
    }
    out_ += '[';
    return open + 1;
  }

  // What outside bytes may be in the code [open, close) that holds no other
  // written "[": none in its name; only digits in a mention; a web address,
  // never a file of this machine, as a picture's or voice's file; nothing
  // that names a local file in any key, as the host will read the keys.
  bool OutsideBytesAllowed(std::size_t open, std::size_t close) const {
    std::size_t nameEnd = open + 1;
    while (nameEnd < close && IsNameByte(s_[nameEnd])) ++nameEnd;
    if (t_.AnyOutside(open, nameEnd)) return false;
    if (IsMentionCode(s_, open)) {
      for (std::size_t i = open; i < close; ++i) {
        if (!Written(t_, i) && !IsDigit(s_[i])) return false;
      }
    }
    for (const KeyValue& k : KeyValues(s_, open + 1, close)) {
      if (!t_.AnyOutside(k.begin, k.end)) continue;
      if (NamesLocalFile(k.value) || (IsFileKey(k.key) && !IsWebAddress(k.value))) return false;
    }
    return true;
  }

  // An outside "[": inert, but for a picture or voice code of the host's
  // own ids that came whole from the incoming message and stood there as
  // the host delivered it.
  std::size_t OutsideOpen(std::size_t open) {
    if (t_.origin(open) == Origin::Message && host_.deliveredMedia != DeliveredMedia::None) {
      const std::size_t close = anyClose_.At(open + 1);
      if (close < s_.size() && anyOpen_.At(open + 1) > close && t_.All(open, close + 1, Origin::Message)) {
        const std::string_view code = std::string_view(s_).substr(open, close + 1 - open);
        if (IsHostMediaCode(code, host_.deliveredMedia) && Delivered().contains(code)) {
          out_.append(code);
          return close + 1;
        }
      }
    }
    out_ += InertOpen(host_);
    return open + 1;
  }

  const std::unordered_set<std::string_view>& Delivered() {
    if (!deliveredCodes_) deliveredCodes_ = DeliveredCodes(delivered_);
    return *deliveredCodes_;
  }

  const ReplyText& t_;
  const std::string& s_;
  const HostProfile& host_;
  std::string_view delivered_;
  std::optional<std::unordered_set<std::string_view>> deliveredCodes_;
  std::string out_;
  NextOf writtenClose_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == ']' && Written(t, p); }};
  NextOf writtenOpen_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == '[' && Written(t, p); }};
  NextOf notWritten_{t_, [](const ReplyText& t, std::size_t p) { return !Written(t, p); }};
  NextOf anyClose_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == ']'; }};
  NextOf anyOpen_{t_, [](const ReplyText& t, std::size_t p) { return t.text()[p] == '['; }};
};

}  // namespace

std::string NormalizeIncomingText(std::string_view in, std::int32_t hostType) {
  const HostProfile& host = HostProfileOf(hostType);
  std::string s(in);
  if (!host.escapedOpen.empty()) {
    s = text::ReplaceAll(text::ReplaceAll(s, host.escapedOpen, "[", Case::IgnoreAscii), host.escapedClose, "]",
                         Case::IgnoreAscii);
  }
  return Folded(std::move(s), 0, kIncomingCodes.size());
}

bool MentionsAccount(std::string_view delivered, const std::string& account) {
  return text::Contains(Folded(std::string(delivered), kMentionOpeners, kStoredBrackets), "[@" + account + "]");
}

std::string FirstMentionedNumber(std::string_view text, std::string_view delivered) {
  // The numbers of the mentions the host made, each "[@" digits "]".
  const auto mentions = [](std::string_view s, auto&& each) {
    for (std::size_t pos = text::Find(s, "[@"); pos != text::npos; pos = text::Find(s, "[@", pos + 2)) {
      std::size_t end = pos + 2;
      while (end < s.size() && IsDigit(s[end])) ++end;
      if (end > pos + 2 && end < s.size() && s[end] == ']' && each(s.substr(pos + 2, end - pos - 2))) return;
    }
  };
  const std::string real = Folded(std::string(delivered), kMentionOpeners, kStoredBrackets);
  std::unordered_set<std::string_view> made;
  mentions(real, [&](std::string_view number) {
    made.insert(number);
    return false;
  });
  std::string first;
  mentions(text, [&](std::string_view number) {
    if (made.contains(number)) first = number;
    return !first.empty();
  });
  return first;
}

std::string ToHostCodes(const ReplyText& reply, std::int32_t hostType, std::string_view delivered) {
  const ReplyText t = WithBrackets(reply);
  return HostCodes(t, HostProfileOf(hostType), delivered).Run();
}

void SendReply(const MessageRecord& record, const ReplyText& reply) {
  const std::string message = ToHostCodes(reply, Plugin().HostType, record.delivered);
  if (message.empty()) return;
  const bool guild = record.kind == MessageKind::Channel || record.kind == MessageKind::ChannelDirect;
  if (!guild && record.kind != MessageKind::Private && record.kind != MessageKind::Group) return;
  const HostProfile& host = guild ? GuildHost() : ActiveHost();
  host.send(Hosts(), record, message);
}

}  // namespace zoq
