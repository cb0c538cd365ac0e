// Error texts built the printf way, without a fixed buffer to cut them.
#pragma once

#include <string>
#include <string_view>

#include "platform/system_conventions.h"

[[PRINTF_FORMAT(1, 2)]] std::string error_text(const char* format, ...);

// Text from outside the program (a file's content, a library's message) made fit for the
// console: every byte below 0x20 and 0x7F shows as \xNN, so that a crafted file or a library
// cannot send control sequences to the operator's terminal. Bytes from 0x80 up pass unchanged,
// so UTF-8 stays readable.
std::string printable_text(std::string_view text);
