#include "core/files/ini_image.hpp"
#include "core/settings.hpp"
#include "platform/files.hpp"
