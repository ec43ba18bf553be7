// The hosts as the core sees them: one adapter object per host framework,
// and one profile per host that says how the core talks to it. Everything
// the core does that differs by host goes through ActiveHost() (or, for
// guild messages, the function-table host's profile): there is no other
// switch on the host kind.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/host_adapters.hpp"
#include "core/plugin.hpp"

namespace zoq {

HostAdapters& Hosts();

// The pictures, voices and faces a host delivers in its messages, by their
// ids: none known; "[pic={id}.ext]" and "[voi={id}.ext]"; ISky's own CQ codes,
// "[CQ:image,file=<hex>.image]" (with a web "url=" or not),
// "[CQ:record,file=<name>.silk]" and "[CQ:face,id=<number>]". A host of CQ
// codes reads each code as key=value pieces between commas, and a local
// file as a file address, with its percent escapes decoded.
enum class DeliveredMedia { None, BracedId, CqCodes };

// How the core talks to one host.
struct HostProfile {
  std::int32_t hostType;
  // The sender's mention: opener + number + "]", or a fixed text; neither
  // for a host that has no mention code.
  std::string_view mentionOpener;
  std::string_view fixedMention;
  // The codes that "[P=" and "[V=" become, for a web address and for a local
  // file; empty: the neutral codes stay as they are.
  std::string_view pictureCode, pictureFileCode;
  std::string_view voiceCode, voiceFileCode;
  // Pictures go to the host as files the expansion downloads, not as
  // addresses; the closing of a picture code that names an address.
  bool takesPictureFiles;
  std::string_view webPictureClose;
  // The host's operations for the core. Each record's numbers come as texts;
  // a host whose adapter takes 64-bit numbers converts them itself.
  void (*send)(HostAdapters&, const MessageRecord&, const std::string& message);
  void (*mute)(HostAdapters&, const MessageRecord&, std::int32_t seconds);
  void (*recall)(HostAdapters&, const MessageRecord&);
  void (*kick)(HostAdapters&, const MessageRecord&);
  // The robot accounts on line, for the account chooser.
  std::vector<std::string> (*accounts)(HostAdapters&);
  // The host that names an account's avatar address itself; null: the QQ
  // avatar service.
  std::string (*avatarAddress)(HostAdapters&, const std::string& account);

  // The host's own escapes of "[" and "]" in message texts: undone when a
  // message arrives, and written for the brackets of outside text that could
  // make a code in what is sent. Empty: the host has none; its messages hold
  // its codes as they are, and such brackets are sent as full-width ones.
  std::string_view escapedOpen{};
  std::string_view escapedClose{};
  // The host's pictures and voices that a reply may repeat from a message.
  DeliveredMedia deliveredMedia = DeliveredMedia::None;
  // A code of the host's written in braces (its mention): inert when any of
  // its bytes came from outside.
  std::string_view braceCode{};
  // The host reads a code's parameters as pieces between commas ("path=",
  // "wide=", "cache=" ...): a comma that outside text puts in a code adds a
  // parameter of its own.
  bool splitsCodesAtCommas = false;
};

// The profile of `hostType`; a host kind without one gets a profile that
// sends nothing and does nothing.
const HostProfile& HostProfileOf(std::int32_t hostType);
// The profile of the active host (HostType).
const HostProfile& ActiveHost();
// Every host's profile.
std::span<const HostProfile> HostProfiles();
// The active host's on-line robot accounts, in the host's order (the account
// chooser's list); none for a host without such a list.
std::vector<std::string> OnlineAccounts();

// Guild messages come only from the function-table host and go back through
// it, whatever host is active.
const HostProfile& GuildHost();

}  // namespace zoq
