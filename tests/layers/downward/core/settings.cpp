#include "core/files/file_writes.hpp"
#include "core/plugin.hpp"
