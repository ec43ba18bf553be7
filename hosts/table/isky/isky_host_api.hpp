// The ISky host's adapter over message.dll.
// (Its operations come with the host's own work; this is the object as the
// plug-in creates it.)
#pragma once

namespace zoq {

class IskyHostApi {};

}  // namespace zoq
