#include "platform/files.hpp"
#include "text/text.hpp"
