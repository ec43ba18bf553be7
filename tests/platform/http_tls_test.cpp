// The HTTP GET over a real TLS connection, against the servers and the trust
// store of tests/web/test_ca.sh.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/http.hpp"

namespace zoq::testing {
namespace {

// The port of test_ca.sh's server for the certificate `name`; empty when
// the program does not run under it.
std::string Port(const char* name) {
  const char* port = std::getenv((std::string("ZOQ_TLS_") + name + "_PORT").c_str());
  return port ? port : "";
}

// A server's certificate must chain to a trusted root, be made out for
// servers and name the host the address names, as the system's own client
// wants it.
TEST(HttpTls, OnlyACertificateFromATrustedRootForTheHostGivesTheAnswer) {
  if (Port("TRUSTED").empty()) GTEST_SKIP() << "runs under tests/web/test_ca.sh, as root";
  const struct {
    std::string address, body;
  } rows[] = {
      {"https://localhost:" + Port("TRUSTED") + "/x", "trusted"},
      {"https://LOCALHOST:" + Port("TRUSTED") + "/x", "trusted"},
      {"https://127.0.0.1:" + Port("TRUSTED") + "/x", ""},  // made out to another name
      {"https://localhost:" + Port("SELF") + "/x", ""},     // self-signed
      {"https://localhost:" + Port("CLIENT") + "/x", ""},   // for clients only
  };
  for (const auto& row : rows) EXPECT_EQ(platform::HttpGet(row.address), row.body) << row.address;
}

}  // namespace
}  // namespace zoq::testing
