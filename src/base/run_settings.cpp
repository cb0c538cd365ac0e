#include "base/run_settings.h"

RunSettings settings;
