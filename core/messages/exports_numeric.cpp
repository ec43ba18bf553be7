// Entry points of the seven hosts that deliver their events with numeric
// codes: VLQ, OQ, XQ, MingQQ, SP, ER and MyQQ.
#include <cstdint>

#include "core/exports.hpp"
#include "core/messages/events.hpp"
#include "core/settings.hpp"

#define ZOQ_EXPORT extern "C" __stdcall

namespace {

using zoq::ArgText;

std::int32_t Deliver(const zoq::NumericHost& host, const char* robot, std::int32_t code, const char* group,
                     const char* sender, const char* text, const char* idB, const char* idA) {
  return zoq::Guarded<std::int32_t>(host.passedOver, [&] {
    return zoq::RunNumericEvent(host, {ArgText(robot), code, ArgText(group), ArgText(sender), ArgText(text),
                                       ArgText(idB), ArgText(idA)});
  });
}

std::int32_t Stop() {
  return zoq::Guarded<std::int32_t>(0, [] {
    zoq::ShutDown();
    return 0;
  });
}

}  // namespace

// Twelve argument words (VLQ, OQ, XQ) or eleven (MingQQ, SP, ER, MyQQ); the
// words the plug-in does not read are left unnamed.
#define ZOQ_EVENT_EXPORT_12(name, host)                                                                           \
  ZOQ_EXPORT std::int32_t name(const char* robot, std::int32_t code, std::int32_t, const char* group,            \
                               const char* sender, const char*, const char* text, const char* idB, const char* idA, \
                               const char*, const char*, std::int32_t) {                                          \
    return Deliver(host, robot, code, group, sender, text, idB, idA);                                            \
  }
#define ZOQ_EVENT_EXPORT_11(name, host)                                                                           \
  ZOQ_EXPORT std::int32_t name(const char* robot, std::int32_t code, std::int32_t, const char* group,            \
                               const char* sender, const char*, const char* text, const char* idB, const char* idA, \
                               const char*, std::int32_t) {                                                       \
    return Deliver(host, robot, code, group, sender, text, idB, idA);                                            \
  }
// The stop exports: the plug-in is disabled.
#define ZOQ_STOP_EXPORT(name) \
  ZOQ_EXPORT std::int32_t name() { return Stop(); }
// The hosts' plain message notifications: nothing to do.
#define ZOQ_MESSAGE_EXPORT(name) \
  ZOQ_EXPORT std::int32_t name(const char*, std::int32_t, const char*, const char*, const char*, const char*) { return 1; }

ZOQ_EVENT_EXPORT_12(Event, zoq::kVlqEvents)
ZOQ_EVENT_EXPORT_12(OQ_Event, zoq::kOqEvents)
ZOQ_EVENT_EXPORT_12(XQ_Event, zoq::kXqEvents)
ZOQ_EVENT_EXPORT_11(MQEvent, zoq::kMingQqEvents)
ZOQ_EVENT_EXPORT_11(SP_Event, zoq::kSpEvents)
ZOQ_EVENT_EXPORT_11(ER_Event, zoq::kErEvents)
ZOQ_EVENT_EXPORT_11(MQ_Event, zoq::kMyQqEvents)

// VLQ's "end" is exported under that name from VlqEnd: the linker keeps a
// symbol "end" of its own (the end of the image's data).
ZOQ_STOP_EXPORT(VlqEnd)
ZOQ_STOP_EXPORT(OQ_DestroyPlugin)
ZOQ_STOP_EXPORT(MQend)
ZOQ_STOP_EXPORT(SP_DestroyPlugin)
ZOQ_STOP_EXPORT(ER_DestroyPlugin)
ZOQ_STOP_EXPORT(XQ_DestroyPlugin)

ZOQ_MESSAGE_EXPORT(OQ_Message)
ZOQ_MESSAGE_EXPORT(MQ_Message)

// XQ hands over its auth id: the first word counts as a signed 16-bit value.
ZOQ_EXPORT void XQ_AuthId(std::int32_t first, std::int32_t second) {
  zoq::Guarded<int>(0, [&] {
    zoq::Plugin().xq.SetAuthId(static_cast<std::int16_t>(first), second);
    return 0;
  });
}
