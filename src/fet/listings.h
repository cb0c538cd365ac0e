// The device types the library supports and the FET adapters it finds.
#pragma once

// Always 0.
int list_devices();

// 0 when every adapter was listed; 1 when the count or a name could not be had, or there is
// no adapter.
int list_fet_ports();
