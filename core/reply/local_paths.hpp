// The path of a local file as an owner writes it in a template, as a
// picture's or voice's file ("[P=" path "]"): whether the host the reply goes
// to opens that very file by it, and if not, why.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zoq {

// What keeps a host from opening a file by the path a template names it by.
struct PathObstacle {
  enum class Kind {
    // Pieces of it that the expansion or the send changes, or that the host
    // reads otherwise than as part of the path.
    ReadOtherwise,
    // Longer than the host's ANSI functions open.
    TooLong,
    // It names no existing file (a drag source that lost characters of the
    // name, say).
    NoSuchFile,
  };
  Kind kind;
  // ReadOtherwise: each such piece once, as the path holds it, in the order
  // they first stand there.
  std::vector<std::string> pieces;
  // TooLong: its characters.
  std::size_t length = 0;
};

// Why the host `hostType` would not open the file `path` (a full path in the
// ANSI code page) when a template names it so: every host reads a bracket
// (the expansion's variables, "[N]", the code's own end) and the stored
// brackets "&uoS8#" and "&uoS9#" otherwise; a host that splits its codes at
// commas, a comma; a host that reads a local file as a file address, "%"
// (an escape), "#" (the end of the path) and "&amp;"; a host with a code in
// braces, that code. Each is looked for as a character: a byte of the
// second half of a double-byte character is none. Then the length, then the
// file. None when the host opens the file by it. kHostNone (no host known
// yet): why any host would not.
std::optional<PathObstacle> WhyHostMissesPath(std::string_view path, std::int32_t hostType);

}  // namespace zoq
