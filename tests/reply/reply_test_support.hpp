// The fake host API DLLs loaded into the test process, for the reply tests.
#pragma once
#include <string>

#include "tests/fakehost/fakehost_client.hpp"

namespace zoq::testing {

// The fake API DLL `dll`, loaded once per process (the adapters find a
// loaded module by its file name).
FakeHostDll& Fake(const std::string& dll);

}  // namespace zoq::testing
