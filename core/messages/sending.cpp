#include "core/messages/sending.hpp"

#include <array>
#include <utility>

#include "core/hosts.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using text::Case;

// What the hosts write for a line break, an escaped bracket or the opener of
// a mention, and the neutral code each becomes; replaced in this order.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kIncomingCodes{{
    {"\r\n", "[N]"},
    {"\\u005b", "["},
    {"\\u005d", "]"},
    {"[at=", "[@"},
    {"[IR:at=", "[@"},
    {"[CQ:at,qq=", "[@"},
    {"&uoS8#", "["},
    {"&uoS9#", "]"},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kOutgoingCodes{{
    {"[N]", "\r\n"},
    {"&uoS8#", "["},
    {"&uoS9#", "]"},
}};

constexpr std::string_view kPictureOpener = "[P=";
constexpr std::string_view kVoiceOpener = "[V=";

bool IsWebAddress(std::string_view path) {
  return text::StartsWith(path, "http://", Case::IgnoreAscii) || text::StartsWith(path, "https://", Case::IgnoreAscii);
}

// Every `opener` replaced by the host's code, chosen for each code by its own
// path: a web address or a local file.
std::string MediaCodes(std::string_view s, std::string_view opener, std::string_view webCode,
                       std::string_view fileCode) {
  std::string out;
  std::size_t done = 0;
  for (std::size_t pos = text::Find(s, opener, 0, Case::IgnoreAscii); pos != text::npos;
       pos = text::Find(s, opener, done, Case::IgnoreAscii)) {
    const std::size_t pathStart = pos + opener.size();
    out.append(s, done, pos - done);
    out.append(IsWebAddress(s.substr(pathStart)) ? webCode : fileCode);
    done = pathStart;
  }
  out.append(s, done);
  return out;
}

}  // namespace

std::string NormalizeIncomingText(std::string_view in) {
  std::string s(in);
  for (const auto& [from, to] : kIncomingCodes) {
    if (text::Contains(s, from, Case::IgnoreAscii)) s = text::ReplaceAll(s, from, to, Case::IgnoreAscii);
  }
  return s;
}

std::string ToHostCodes(std::string_view in, std::int32_t hostType) {
  std::string s(in);
  for (const auto& [from, to] : kOutgoingCodes) s = text::ReplaceAll(s, from, to);
  const HostProfile& host = HostProfileOf(hostType);
  if (host.pictureCode.empty()) return s;
  s = MediaCodes(s, kPictureOpener, host.pictureCode, host.pictureFileCode);
  return MediaCodes(s, kVoiceOpener, host.voiceCode, host.voiceFileCode);
}

void SendReply(const MessageRecord& record, const std::string& reply) {
  const std::string message = ToHostCodes(reply, Plugin().HostType);
  if (message.empty()) return;
  const bool guild = record.kind == MessageKind::Channel || record.kind == MessageKind::ChannelDirect;
  if (!guild && record.kind != MessageKind::Private && record.kind != MessageKind::Group) return;
  const HostProfile& host = guild ? GuildHost() : ActiveHost();
  host.send(Hosts(), record, message);
}

}  // namespace zoq
