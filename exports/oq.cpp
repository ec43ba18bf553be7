// The OQ host: its event codes, exports and information record.
#include "exports/export.hpp"
#include "core/info/info_records.hpp"

namespace zoq {
constexpr NumericHost kOqEvents = PlainNumericHost(kHostOq);
}

ZOQ_EVENT_EXPORT_12(OQ_Event, zoq::kOqEvents)
ZOQ_MESSAGE_EXPORT(OQ_Message)
ZOQ_STOP_EXPORT(OQ_DestroyPlugin)
ZOQ_TEXT_INFO_EXPORT(OQ_Create, kSlotOqCreate)
ZOQ_SETTINGS_EXPORT(OQ_SetUp)
