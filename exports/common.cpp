// Entry points every host may call, and what the hosts' exports share.
#include "exports/export.hpp"
#include "core/settings.hpp"
#include "ui/settings_window.hpp"

namespace zoq {

ZOQ_HOT std::int32_t DeliverNumericEvent(const NumericHost& host, const char* robot, std::int32_t code, const char* group,
                                 const char* sender, const char* text, const char* idB, const char* idA) {
  return Guarded<std::int32_t>(host.passedOver, [&] {
    return RunNumericEvent(host, {ArgText(robot), code, ArgText(group), ArgText(sender), ArgText(text), ArgText(idB),
                                  ArgText(idA)});
  });
}

std::int32_t StopExport() {
  return Guarded<std::int32_t>(0, [] {
    ShutDown();
    return 0;
  });
}

std::int32_t SettingsExport() {
  return Guarded<std::int32_t>(0, [] {
    ui::OpenSettingsWindow();
    return 0;
  });
}

// The plug-in's SDK version, the same for every host.
constexpr const char* SdkVersionText = "V6";

}  // namespace zoq

extern "C" std::uint64_t zoq_SettingsExportHolding() noexcept {
  void* module = zoq::platform::ReferenceOwnModule();
  return zoq::platform::ResultReleasing(zoq::SettingsExport(), module);
}

ZOQ_EXPORT const char* SdkVersion() {
  return zoq::KeptText(zoq::kSlotSdkVersion, [] { return std::string(zoq::SdkVersionText); });
}
