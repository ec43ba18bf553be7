#include "core/reply/environment.hpp"

#include "core/web_addresses.hpp"

namespace zoq::reply {
namespace {

Environment Shipping() {
  return Environment{web::kRandomPictureApi, web::kTextApiHost, web::kQqAvatarService, &platform::TickCount,
                     &platform::Now};
}

}  // namespace

Environment& Env() {
  static Environment env = Shipping();
  return env;
}

void ResetEnv() { Env() = Shipping(); }

}  // namespace zoq::reply
