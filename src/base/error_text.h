// Error texts built the printf way, without a fixed buffer to cut them.
#pragma once

#include <string>

[[gnu::format(printf, 1, 2)]] std::string error_text(const char* format, ...);
