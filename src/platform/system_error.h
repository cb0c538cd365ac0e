// The system's own words for an error code, and the few kinds of failure that a hint to the
// operator can explain.
#pragma once

#include <string>

enum class SystemErrorKind { access_denied, busy, no_device, other };

// The system's text for the code ("Permission denied" for EACCES on Linux).
std::string system_error_text(long code);

SystemErrorKind system_error_kind(long code);
