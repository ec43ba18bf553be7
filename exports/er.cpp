// The ER host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"

namespace zoq {
constexpr NumericHost kErEvents = PlainNumericHost(kHostEr);
}

ZOQ_EVENT_EXPORT_11(ER_Event, zoq::kErEvents)
ZOQ_STOP_EXPORT(ER_DestroyPlugin)
ZOQ_TEXT_INFO_EXPORT(ER_Create, kSlotErCreate)
ZOQ_SETTINGS_EXPORT(ER_SetUp)
