#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

std::string system_error_text(long code) { return std::strerror(static_cast<int>(code)); }

SystemErrorKind system_error_kind(long code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return SystemErrorKind::access_denied;
    case EBUSY:
        return SystemErrorKind::busy;
    // ENODEV and ENXIO: the device node is there but no hardware answers behind it (an adapter
    // unplugged, a ttyS with no UART).
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return SystemErrorKind::no_device;
    case ENOTTY:
        return SystemErrorKind::not_serial;
    default:
        return SystemErrorKind::other;
    }
}
