#include "fet/listings.h"

int list_devices() { return 0; }
int list_fet_ports() { return 1; }
