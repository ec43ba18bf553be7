// Entry points every host may call.
#include "core/exports.hpp"

#define ZOQ_EXPORT extern "C" __stdcall

ZOQ_EXPORT const char* SdkVersion() {
  return zoq::Guarded<const char*>("", [] { return zoq::Plugin().KeepExportResult(zoq::kSlotSdkVersion, "V6"); });
}
