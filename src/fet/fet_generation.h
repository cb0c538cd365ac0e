// The generations of the vendor's FET library, told apart by what they export.
#pragma once

// The original generation exports MSP430_Identify and numbers its device types from 1 up to a
// record named "End_of_devices"; the current one finds the device with MSP430_OpenDevice and
// numbers its types from 0. The built-in simulator answers as the original generation does.
enum class FetGeneration { builtin, original, current };
