#include "core/files/ini_image.hpp"
#include "core/web_addresses.hpp"
#include "platform/files.hpp"
