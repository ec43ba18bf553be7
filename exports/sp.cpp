// The SP host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"

namespace zoq {
constexpr NumericHost kSpEvents = PlainNumericHost(kHostSp);
}

ZOQ_EVENT_EXPORT_11(SP_Event, zoq::kSpEvents)
ZOQ_STOP_EXPORT(SP_DestroyPlugin)
ZOQ_TEXT_INFO_EXPORT(SP_Create, kSlotSpCreate)
ZOQ_SETTINGS_EXPORT(SP_SetUp)
