// The host adapter classes, one per host framework.
#pragma once
#include "hosts/dll/classic/classic_host_api.hpp"
#include "hosts/dll/myqq/myqq_host_api.hpp"
#include "hosts/dll/wx/wx_host_api.hpp"
#include "hosts/dll/xq/xq_host_api.hpp"
#include "hosts/table/function_table/table_host_api.hpp"
#include "hosts/table/isky/isky_host_api.hpp"
