// The function-table host's settings export. It joins the host's own exports in
// core/exports/function_table.cpp when that file comes.
#include "core/exports/export.hpp"

ZOQ_SETTINGS_EXPORT(ZOQ_MeKyu)
