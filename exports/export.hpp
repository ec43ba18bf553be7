// Helpers of the exported entry points: no exception crosses an export, and
// text arguments are copied before the core runs (a null pointer is the
// empty text). Every export is `ZOQ_EXPORT` and listed in exports.def.in.
#pragma once
#include <cstdint>
#include <string>

#include "core/messages/events.hpp"
#include "core/plugin.hpp"
#include "platform/modules.hpp"

#define ZOQ_EXPORT extern "C" __stdcall

namespace zoq {

inline std::string ArgText(const char* p) { return p ? std::string(p) : std::string(); }

// Runs `body`; an exception becomes `fallback`.
template <typename R, typename F>
R Guarded(R fallback, F&& body) noexcept {
  try {
    if (!PluginIfAlive()) return fallback;
    return body();
  } catch (...) {
    return fallback;
  }
}

// The text `build` gives, kept in the export's slot until its next call.
template <typename Build>
const char* KeptText(ExportSlot slot, Build&& build) {
  return Guarded<const char*>("", [&] { return Plugin().KeepExportResult(slot, build()); });
}

// One event of a numeric-event host.
std::int32_t DeliverNumericEvent(const NumericHost& host, const char* robot, std::int32_t code, const char* group,
                                 const char* sender, const char* text, const char* idB, const char* idA);
// The stop exports: the plug-in is disabled.
std::int32_t StopExport();
// The settings exports: the settings window, modal; 0 when it has closed.
std::int32_t SettingsExport();

}  // namespace zoq

// The event export of a numeric-event host: twelve argument words (VLQ, OQ,
// XQ) or eleven (MingQQ, SP, ER, MyQQ); the words the plug-in does not read
// are left unnamed.
#define ZOQ_EVENT_EXPORT_12(name, host)                                                                           \
  ZOQ_EXPORT ZOQ_HOT std::int32_t name(const char* robot, std::int32_t code, std::int32_t, const char* group,            \
                               const char* sender, const char*, const char* text, const char* idB, const char* idA, \
                               const char*, const char*, std::int32_t) {                                          \
    return zoq::DeliverNumericEvent(host, robot, code, group, sender, text, idB, idA);                          \
  }
#define ZOQ_EVENT_EXPORT_11(name, host)                                                                           \
  ZOQ_EXPORT ZOQ_HOT std::int32_t name(const char* robot, std::int32_t code, std::int32_t, const char* group,            \
                               const char* sender, const char*, const char* text, const char* idB, const char* idA, \
                               const char*, std::int32_t) {                                                       \
    return zoq::DeliverNumericEvent(host, robot, code, group, sender, text, idB, idA);                          \
  }
#define ZOQ_STOP_EXPORT(name) \
  ZOQ_EXPORT std::int32_t name() { return zoq::StopExport(); }
// The settings exports run the host's thread in a modal window: the module
// stays referenced until the export has returned, whatever the host frees.
#define ZOQ_SETTINGS_EXPORT(name) ZOQ_EXPORT_RELEASING_MODULE(name, zoq_SettingsExportHolding);
// The hosts' plain message notifications: nothing to do.
#define ZOQ_MESSAGE_EXPORT(name) \
  ZOQ_EXPORT std::int32_t name(const char*, std::int32_t, const char*, const char*, const char*, const char*) { return 1; }
// The text descriptor of VLQ, MingQQ, OQ, SP and ER.
#define ZOQ_TEXT_INFO_EXPORT(name, slot) \
  ZOQ_EXPORT const char* name() { return zoq::KeptText(zoq::slot, zoq::TextInfoRecord); }
