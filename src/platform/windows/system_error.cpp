#include "platform/system_error.h"

#include <windows.h>

#include <string>

std::string system_error_text(long code) {
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    // The system's texts end in a full stop and a line end; the callers add their own.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    if (message.empty()) message = "Error " + std::to_string(code);
    return message;
}

SystemErrorKind system_error_kind(long code) {
    switch (code) {
        // A serial port that another program holds is refused as access denied: there are no
        // permissions on ports to be had.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return SystemErrorKind::busy;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_UNIT:
        case ERROR_DEVICE_REMOVED:
            return SystemErrorKind::no_device;
        // A name that opened but takes no serial settings (NUL, a file).
        case ERROR_INVALID_FUNCTION:
            return SystemErrorKind::not_serial;
        default:
            return SystemErrorKind::other;
    }
}
