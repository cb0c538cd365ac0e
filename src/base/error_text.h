// Error texts built the printf way, without a fixed buffer to cut them.
#pragma once

#include <string>

#include "base/printf_format.h"

[[PRINTF_FORMAT(1, 2)]] std::string error_text(const char* format, ...);
