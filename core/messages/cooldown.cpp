#include "core/messages/cooldown.hpp"

#include "core/files/cooldown_times.hpp"
#include "core/files/ini_image.hpp"
#include "core/settings.hpp"

namespace zoq {

ZOQ_HOT bool CooldownPasses(const std::string& group, const std::string& key, std::int32_t cooldownSeconds,
                            const std::string& fallback) {
  // A record without a group (a private message) has nothing to keep: a
  // section without a name is never read back, so it is not written.
  if (cooldownSeconds <= 0 || BlankIniName(group)) return true;
  return TestAndRecord(CooldownFile(), group, key, cooldownSeconds, fallback);
}

}  // namespace zoq
