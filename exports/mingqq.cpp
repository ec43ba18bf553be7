// The MingQQ host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"

namespace zoq {
constexpr NumericHost kMingQqEvents = PlainNumericHost(kHostMingQq);
}

ZOQ_EVENT_EXPORT_11(MQEvent, zoq::kMingQqEvents)
ZOQ_STOP_EXPORT(MQend)
ZOQ_TEXT_INFO_EXPORT(MQinfo, kSlotMqInfo)
ZOQ_SETTINGS_EXPORT(MQset)
