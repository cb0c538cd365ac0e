// The few ways the systems differ that code above the platform meets in a declaration rather
// than through a call: the calling convention of the vendor's library, how a shared library
// exports a function, how much of an exit status reaches the parent, and the printf formats the
// compiler checks against.
#pragma once

// The vendor's functions use the stdcall convention on 32-bit Windows; elsewhere there is one.
// The functions it calls back have the C convention there too.
#if defined(_WIN32) && !defined(_WIN64)
#define FET_CALL __stdcall
#define FET_CALLBACK __cdecl
#else
#define FET_CALL
#define FET_CALLBACK
#endif

#if defined(_WIN32)
#define LIBRARY_EXPORT extern "C" __declspec(dllexport)
// Windows hands the parent the whole exit status.
inline constexpr bool EXIT_STATUS_WHOLE = true;
#else
#define LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))
// The parent sees the low 8 bits of the status only.
inline constexpr bool EXIT_STATUS_WHOLE = false;
#endif

// Lets the compiler check a printf-style format against its arguments. MinGW's compiler takes
// "printf" to mean the Windows library's formats (no %zu) and needs "gnu_printf" for the C99
// ones that the program is built with; clang knows only "printf".
#if defined(__MINGW32__)
#define PRINTF_FORMAT(format_index, first_argument) gnu::format(gnu_printf, format_index, first_argument)
#else
#define PRINTF_FORMAT(format_index, first_argument) gnu::format(printf, format_index, first_argument)
#endif
