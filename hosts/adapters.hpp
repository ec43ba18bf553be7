// The host adapter classes, one per host framework. The core keeps one object
// of each for the whole run (and a second, never-bound XQ object that only
// the runtime-error report uses).
#pragma once
#include "hosts/dll/classic/classic_host_api.hpp"
#include "hosts/dll/myqq/myqq_host_api.hpp"
#include "hosts/dll/wx/wx_host_api.hpp"
#include "hosts/dll/xq/xq_host_api.hpp"
#include "hosts/table/isky/isky_host_api.hpp"
#include "hosts/table/table/table_host_api.hpp"
