// The VLQ host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"

namespace zoq {
constexpr NumericHost kVlqEvents = PlainNumericHost(kHostVlq);
}

ZOQ_EVENT_EXPORT_12(Event, zoq::kVlqEvents)
// Exported as "end": the linker keeps a symbol "end" of its own (the end of
// the image's data).
ZOQ_STOP_EXPORT(VlqEnd)
ZOQ_TEXT_INFO_EXPORT(info, kSlotInfo)
ZOQ_SETTINGS_EXPORT(set)
