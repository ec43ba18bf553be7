#include "core/messages/sending.hpp"

#include <array>
#include <utility>

#include "core/text.hpp"

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

struct MediaCodes {
  std::string_view picture;
  std::string_view voice;
};

bool IsWebAddress(std::string_view path) {
  return text::StartsWith(path, "http://", Case::IgnoreAscii) || text::StartsWith(path, "https://", Case::IgnoreAscii);
}

// ISky: a local file is named by a file URL, a web address as it is; each
// code is decided by its own path.
std::string IskyMediaCodes(std::string_view s) {
  struct Kind {
    std::string_view opener, webCode, fileCode;
  };
  static constexpr Kind kinds[] = {
      {kPictureOpener, "[CQ:image,file=", "[CQ:image,file=file:///"},
      {kVoiceOpener, "[CQ:record,file=", "[CQ:record,file=file:///"},
  };
  std::string out(s);
  for (const Kind& k : kinds) {
    std::string next;
    std::size_t done = 0;
    for (std::size_t pos = text::Find(out, k.opener, 0, Case::IgnoreAscii); pos != text::npos;
         pos = text::Find(out, k.opener, done, Case::IgnoreAscii)) {
      const std::size_t pathStart = pos + k.opener.size();
      next.append(out, done, pos - done);
      next.append(IsWebAddress(std::string_view(out).substr(pathStart)) ? k.webCode : k.fileCode);
      done = pathStart;
    }
    next.append(out, done);
    out = std::move(next);
  }
  return out;
}

// The picture and voice codes of the hosts that take fixed openers.
bool FixedMediaCodes(std::int32_t hostType, MediaCodes& codes) {
  switch (hostType) {
    case kHostTable:
      codes = {"[picFile,path=", "[AudioFile,path="};
      return true;
    case kHostVlq:
    case kHostWx:
    case kHostXq:
    case kHostOq:
    case kHostMingQq:
    case kHostSp:
    case kHostEr:
    case kHostMyQq:
      codes = {"[pic=", "[voi="};
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string NormalizeIncomingText(std::string_view in) {
  std::string s(in);
  for (const auto& [from, to] : kIncomingCodes) s = text::ReplaceAll(s, from, to, Case::IgnoreAscii);
  return s;
}

std::string ToHostCodes(std::string_view in, std::int32_t hostType) {
  std::string s(in);
  for (const auto& [from, to] : kOutgoingCodes) s = text::ReplaceAll(s, from, to);
  if (hostType == kHostIsky) return IskyMediaCodes(s);
  MediaCodes codes;
  if (!FixedMediaCodes(hostType, codes)) return s;
  s = text::ReplaceAll(s, kPictureOpener, codes.picture, Case::IgnoreAscii);
  return text::ReplaceAll(s, kVoiceOpener, codes.voice, Case::IgnoreAscii);
}

void SendReply(const MessageRecord& record, const std::string& reply) {
  PluginState& p = Plugin();
  const std::string message = ToHostCodes(reply, p.HostType);
  if (message.empty()) return;
  const std::string& robot = p.RobotAccount;
  const bool isPrivate = record.kind == MessageKind::Private;
  // The function-table host takes the numbers as 64-bit integers (a text
  // that is no number gives 0).
  const auto number = [](const std::string& s) { return text::ReadWholeNumber(s); };
  // Only the function-table host delivers guild messages: they go back
  // through its channel operations whatever host is active.
  if (record.kind == MessageKind::Channel) {
    p.table.SendChannelMessage(number(robot), number(record.group), record.subchannel, message);
    return;
  }
  if (record.kind == MessageKind::ChannelDirect) {
    p.table.SendChannelDirectMessage(number(robot), number(record.group), record.subchannel, message);
    return;
  }
  if (!isPrivate && record.kind != MessageKind::Group) return;
  if (ClassicHostApi* classic = p.ActiveClassicHost()) {
    if (isPrivate) {
      classic->SendPrivateMessage(robot, record.sender, message);
    } else {
      classic->SendGroupMessage(robot, record.group, message);
    }
    return;
  }
  switch (p.HostType) {
    case kHostIsky:
      if (isPrivate) {
        p.isky.SendPrivateMessage(record.sender, message);
      } else {
        p.isky.SendGroupMessage(record.group, message);
      }
      return;
    case kHostTable:
      if (isPrivate) {
        p.table.SendPrivateMessage(number(robot), number(record.sender), message);
      } else {
        p.table.SendGroupMessage(number(robot), number(record.group), message, false);
      }
      return;
    case kHostXq: {
      // XQ takes the one number twice: the sender, or the group.
      const std::string& target = isPrivate ? record.sender : record.group;
      return p.xq.SendMessage(robot, static_cast<std::int32_t>(record.kind), target, target, message);
    }
    case kHostMyQq:
      // An ordinary message (form 0), not anonymous.
      return p.myqq.SendMessage(robot, static_cast<std::int32_t>(record.kind), record.group, record.sender, message,
                                0, 0, 0);
    // The WeChat-style host's text sends (enterprise flag 0 or 1) are wired
    // with its adapter.
    default:
      return;
  }
}

}  // namespace zoq
