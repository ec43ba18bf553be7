// The information exports of the hosts whose records are plain text or
// written out by hand.
#include "core/exports.hpp"
#include "core/info/info_records.hpp"

#define ZOQ_EXPORT extern "C" __stdcall

namespace {

template <typename Build>
const char* Answer(zoq::ExportSlot slot, Build build) {
  return zoq::Guarded<const char*>("", [&] { return zoq::Plugin().KeepExportResult(slot, build()); });
}

}  // namespace

// VLQ, MingQQ, OQ, SP and ER: the same text descriptor.
#define ZOQ_TEXT_INFO_EXPORT(name, slot) \
  ZOQ_EXPORT const char* name() { return Answer(zoq::slot, zoq::TextInfoRecord); }
ZOQ_TEXT_INFO_EXPORT(info, kSlotInfo)
ZOQ_TEXT_INFO_EXPORT(MQinfo, kSlotMqInfo)
ZOQ_TEXT_INFO_EXPORT(OQ_Create, kSlotOqCreate)
ZOQ_TEXT_INFO_EXPORT(SP_Create, kSlotSpCreate)
ZOQ_TEXT_INFO_EXPORT(ER_Create, kSlotErCreate)

// XQ: its one text argument is not read.
ZOQ_EXPORT const char* XQ_Create(const char*) { return Answer(zoq::kSlotXqCreate, zoq::XqInfoRecord); }
