// The system's own words for an error code, and the few kinds of failure that a hint to the
// operator can explain.
#pragma once

#include <string>

// not_serial: the path opened, but is no serial device (/dev/null, a plain file).
enum class SystemErrorKind { access_denied, busy, no_device, not_serial, other };

// The system's text for the code ("Permission denied" for EACCES on Linux).
std::string system_error_text(long code);

SystemErrorKind system_error_kind(long code);
