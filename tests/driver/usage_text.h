// The usage text as a user reads it, written out independently of print_usage, with the values
// that change from run to run left as parameters.
#pragma once

#include <string>

struct UsageValues {
    std::string fet_port = "TIUSB";
    int reset_method = 7;
    std::string vcc = "3.2V";
    std::string baud = "19200";
    std::string log_name = "kestolog.txt";
    int anykey_mode = 2;
    int print_level = 2;
};

inline std::string expected_usage(const UsageValues& v = {}) {
    return "\rUsage:    \n"
           "KESTO [COMx] [-options] +<actions> [file_name] +r <out_file>\n"
           "Example:\n"
           "KESTO AUTO -FET TIUSB -baud 115200 +ebpv test.hex\n"
           "\tAUTO - find first COM port in range COM21...COM1\n"
           "\tUSB  - find first COM port in range COM21...COM5\n"
           "Actions: (only the specified actions are executed)\n"
           "  e   Erase all Flash     v     Verify\n"
           "  b   Blank check         p     Programing\n"
           "  r   Read Flash          fuse  blow Fuse\n"
           "  i   unloc InfoMemory    x     erase InfoMemory\n"
           "  o   power Off\n"
           "Options:\n"
           "  -FET <TIUSB|HIDx|COMx|LPTx>  select FET DLL Adapter (default " + v.fet_port + ")\n"
           "  -sbw [0|1|2]       SBW/JTAG interface (0-JTAG,1-SBW,2-JSBW)\n"
           "  -res <0|1|2|4|7>   reset device (default " + std::to_string(v.reset_method) + ", 7=all resets)\n"
           "  -vcc <X.X/ext>     VCC in Volts (default " + v.vcc + ") or External\n"
           "  -ia                enable Info-A/DCO Memory erasing for MSP430F2xx\n"
           "  -f                 fast Programming, but RAM content destroyed\n"
           "  -info              full chip Info\n"
           "  -list              list of supported chiptypes\n"
           "  -detect            only detect MSP430 chip\n"
           "  -m                 disable autostart Programming (manual-[F9])\n"
           "  -baud <baudrate>   set Terminal baudrare (default " + v.baud + ")\n"
           "  -oem               set OEM code page (default 1256) for Terminal\n"
           "  -crlf              CR and LF transparent, otherwise CR=CR+LF and LF=Off\n"
           "  --dll              disable DLL Version check\n"
           "  -l [logname.txt]   Terminal logging to " + v.log_name + " or logname\n"
           "  -a [0|1|2]         set 'AnyKey' request to Never|On error|Always (" + std::to_string(v.anykey_mode) + ")\n"
           "  -d <0...8>         set print/debug level (default " + std::to_string(v.print_level) + ")\n"
           "  -pl                list of COM ports\n"
           "  -fl                list of FET HID/COM ports\n"
           "Serial ports: COM1..4 = /dev/ttyS0..3, COM5..12 = /dev/ttyUSB0..7,\n"
           "  COM13..21 = /dev/ttyACM0..8; or give a device path first,\n"
           "  e.g. /dev/ttyUSB0 or /dev/serial/by-id/...\n";
}
