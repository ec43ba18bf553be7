#include "core/messages/sending.hpp"

#include <array>
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

// "[N]" of any origin as CRLF, the written stored brackets as brackets;
// stored brackets that are not wholly written stay as they are.
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
    if (StartsAt(s, pos, "[N]")) {
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

// A code from its "[": the name after the bracket (letters, ":", "@", "_"
// and blanks) and the first "]" after it (npos: the code runs to the end).
struct Code {
  std::size_t open, nameEnd, close, end;
};

bool IsNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':' || c == '@' || c == '_' || c == ' ' || c == '\t';
}

Code CodeAt(std::string_view s, std::size_t open) {
  Code c{open, open + 1, text::Find(s, "]", open + 1), s.size()};
  while (c.nameEnd < s.size() && IsNameByte(s[c.nameEnd])) ++c.nameEnd;
  if (c.close != text::npos) c.end = c.close + 1;
  return c;
}

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ') v.remove_suffix(1);
  return v;
}

// The values of every key of a code ("key=value" between commas, the first
// one right after the name), wherever they stand, blanks trimmed.
std::vector<std::string_view> KeyValues(std::string_view s, const Code& c) {
  const std::string_view body = s.substr(c.open + 1, (c.close == text::npos ? s.size() : c.close) - c.open - 1);
  std::vector<std::string_view> values;
  for (std::size_t begin = 0; begin <= body.size();) {
    std::size_t comma = body.find(',', begin);
    if (comma == std::string_view::npos) comma = body.size();
    const std::string_view key = body.substr(begin, comma - begin);
    if (const std::size_t eq = key.find('='); eq != std::string_view::npos)
      values.push_back(Trimmed(key.substr(eq + 1)));
    begin = comma + 1;
  }
  return values;
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

// One of the ids a host gives its own pictures and voices: letters, digits,
// braces, dashes, underscores and single dots, nothing that names a path or
// an address.
bool IsHostId(std::string_view v) {
  const auto allowed = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '{' || c == '}' ||
           c == '-' || c == '_' || c == '.';
  };
  if (v.empty() || v.find("..") != std::string_view::npos) return false;
  for (char c : v) {
    if (!allowed(c)) return false;
  }
  return true;
}

bool IsWebAddress(std::string_view path) {
  return text::StartsWith(path, "http://", Case::IgnoreAscii) || text::StartsWith(path, "https://", Case::IgnoreAscii);
}

// A picture or voice code of the hosts' forms that came whole from outside
// and names only host ids: a picture the host delivered, repeated. Only a
// host without escapes delivers its codes as they are.
bool IsDeliveredMedia(const ReplyText& t, const Code& c, const HostProfile& host) {
  static constexpr std::array<std::string_view, 6> kForms{"pic=",       "voi=",      "picFile,",
                                                          "AudioFile,", "CQ:image,", "CQ:record,"};
  const std::string& s = t.text();
  if (!host.escapedOpen.empty() || c.close == text::npos || !t.AllOutside(c.open, c.end)) return false;
  if (text::Find(std::string_view(s).substr(0, c.close), "[", c.open + 1) != text::npos) return false;
  bool form = false;
  for (std::string_view f : kForms) form = form || StartsAt(s, c.open + 1, f, Case::IgnoreAscii);
  const std::vector<std::string_view> values = KeyValues(s, c);
  if (!form || values.empty()) return false;
  for (std::string_view v : values) {
    if (!IsHostId(v)) return false;
  }
  return true;
}

// A written "[": the host's code, or the bracket as it is, or broken when
// outside bytes name the code or make it name a file of this machine.
// Returns where the scan goes on.
std::size_t WrittenCode(const ReplyText& t, std::size_t open, const HostProfile& host, std::string& out) {
  struct Neutral {
    std::string_view opener, webCode, fileCode;
  };
  const Neutral neutral[] = {{"[P=", host.pictureCode, host.pictureFileCode},
                             {"[V=", host.voiceCode, host.voiceFileCode}};
  const std::string& s = t.text();
  const Code c = CodeAt(s, open);
  bool broken = t.AnyOutside(open, c.nameEnd);
  if (!broken && t.AnyOutside(open, c.end)) {
    for (std::string_view v : KeyValues(s, c)) broken = broken || NamesLocalFile(v);
  }
  if (broken) {
    out += InertOpen(host);
    return open + 1;
  }
  for (const Neutral& n : neutral) {
    const std::size_t path = open + n.opener.size();
    if (n.webCode.empty() || !StartsAt(s, open, n.opener, Case::IgnoreAscii) || t.AnyOutside(open, path)) continue;
    out += IsWebAddress(std::string_view(s).substr(path)) ? n.webCode : n.fileCode;
    return path;
  }
  out += '[';
  return open + 1;
}

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

std::string ToHostCodes(const ReplyText& reply, std::int32_t hostType) {
  const HostProfile& host = HostProfileOf(hostType);
  const ReplyText t = WithBrackets(reply);
  const std::string& s = t.text();
  std::string out;
  out.reserve(s.size());
  for (std::size_t pos = 0; pos < s.size();) {
    const bool outside = t.origin(pos) == Origin::Outside;
    if (s[pos] == '[' && !outside) {
      pos = WrittenCode(t, pos, host, out);
    } else if (s[pos] == '[') {
      const Code c = CodeAt(s, pos);
      const bool delivered = IsDeliveredMedia(t, c, host);
      out += delivered ? std::string_view(s).substr(pos, c.end - pos) : InertOpen(host);
      pos = delivered ? c.end : pos + 1;
    } else if (s[pos] == ']' && outside) {
      out += InertClose(host);
      ++pos;
    } else {
      const std::size_t length = text::CharLength(s, pos);
      out.append(s, pos, length);
      pos += length;
    }
  }
  return out;
}

void SendReply(const MessageRecord& record, const ReplyText& reply) {
  const std::string message = ToHostCodes(reply, Plugin().HostType);
  if (message.empty()) return;
  const bool guild = record.kind == MessageKind::Channel || record.kind == MessageKind::ChannelDirect;
  if (!guild && record.kind != MessageKind::Private && record.kind != MessageKind::Group) return;
  const HostProfile& host = guild ? GuildHost() : ActiveHost();
  host.send(Hosts(), record, message);
}

}  // namespace zoq
