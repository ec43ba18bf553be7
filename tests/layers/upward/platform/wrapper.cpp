#include "core/plugin.hpp"
