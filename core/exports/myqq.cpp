// The MyQQ host: its event codes and exports.
#include "core/exports/export.hpp"

namespace zoq {
// MyQQ answers 1 for what it passes over, 10 for enable and disable, and the
// handler's result plus 1; it hands on the robot's own group messages.
constexpr NumericHost kMyQqEvents{kHostMyQq, kEventMyQqAccount, false, 1, 10, 1};
}

ZOQ_EVENT_EXPORT_11(MQ_Event, zoq::kMyQqEvents)
ZOQ_MESSAGE_EXPORT(MQ_Message)
ZOQ_SETTINGS_EXPORT(MQ_Set)
