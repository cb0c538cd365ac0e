// Lets the compiler check a printf-style format against its arguments. MinGW's compiler takes
// "printf" to mean the Windows library's formats (no %zu) and needs "gnu_printf" for the C99
// ones that the program is built with; clang knows only "printf".
#pragma once

#if defined(__MINGW32__)
#define PRINTF_FORMAT(format_index, first_argument) gnu::format(gnu_printf, format_index, first_argument)
#else
#define PRINTF_FORMAT(format_index, first_argument) gnu::format(printf, format_index, first_argument)
#endif
