#include "core/reply/local_paths.hpp"

#include <algorithm>
#include <span>
#include <utility>

#include "core/hosts.hpp"
#include "platform/code_pages.hpp"
#include "platform/files.hpp"
#include "text/text.hpp"

namespace zoq {
namespace {

using text::Case;

// What `host` reads otherwise in a local file's path, each with how it is
// compared.
std::vector<std::pair<std::string_view, Case>> MisreadBy(const HostProfile& host) {
  // Every host: the brackets (see WithBrackets of core/reply/sending.cpp for
  // the stored ones, which the send turns into brackets).
  std::vector<std::pair<std::string_view, Case>> misread{
      {"[", Case::Sensitive}, {"]", Case::Sensitive}, {"&uoS8#", Case::IgnoreAscii}, {"&uoS9#", Case::IgnoreAscii}};
  if (host.splitsCodesAtCommas) misread.push_back({",", Case::Sensitive});
  // ISky reads a local file as a file address, decoded: "%" begins an
  // escape, "#" ends the path, "&amp;" is its escape of "&"; its other
  // escapes ("&#91;") hold a "#" too.
  if (host.deliveredMedia == DeliveredMedia::CqCodes) {
    for (std::string_view piece : {"%", "#"}) misread.push_back({piece, Case::Sensitive});
    misread.push_back({"&amp;", Case::IgnoreAscii});
  }
  if (!host.braceCode.empty()) misread.push_back({host.braceCode, Case::Sensitive});
  return misread;
}

}  // namespace

std::optional<PathObstacle> WhyHostMissesPath(std::string_view path, std::int32_t hostType) {
  const std::span<const HostProfile> hosts =
      hostType == kHostNone ? HostProfiles() : std::span<const HostProfile>(&HostProfileOf(hostType), 1);
  std::vector<std::pair<std::size_t, std::string>> found;  // where, what
  for (const HostProfile& host : hosts) {
    for (const auto& [piece, mode] : MisreadBy(host)) {
      const std::size_t at = text::Find(path, piece, 0, mode);
      if (at != text::npos) found.push_back({at, std::string(path.substr(at, piece.size()))});
    }
  }
  if (!found.empty()) {
    std::sort(found.begin(), found.end());
    PathObstacle obstacle{PathObstacle::Kind::ReadOtherwise};
    for (auto& [at, piece] : found) {
      if (std::find(obstacle.pieces.begin(), obstacle.pieces.end(), piece) == obstacle.pieces.end()) {
        obstacle.pieces.push_back(std::move(piece));
      }
    }
    return obstacle;
  }
  const std::string whole(path);
  if (!platform::FitsAnsiFunctions(whole)) {
    return PathObstacle{PathObstacle::Kind::TooLong, {}, platform::AnsiToWide(whole).size()};
  }
  if (!platform::FileExists(whole)) return PathObstacle{PathObstacle::Kind::NoSuchFile};
  return std::nullopt;
}

}  // namespace zoq
