// The WeChat-style host's settings export. It joins the host's own exports in
// core/exports/wx.cpp when that file comes.
#include "core/exports/export.hpp"

ZOQ_SETTINGS_EXPORT(Settings)
