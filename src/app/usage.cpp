// The usage text, shown for a start without arguments, for "-h" or "?" first, and by F1 in the
// terminal. It shows the values of the moment, so after "-res 3" the -res line reads 131.
#include "app/command_line.h"
#include "base/console.h"
#include "base/run_settings.h"
#include "platform/port_hints.h"

namespace {

// The highest port number the AUTO and USB scans try.
constexpr int HIGHEST_SCANNED_PORT = 21;

}  // namespace

void print_usage() {
    // The usage must show even after "-d 0"; the raised level stays.
    if (settings.print_level < 2) settings.print_level = 2;
    print_at_level(2, "\rUsage:    \n%s [COMx] [-options] +<actions> [file_name] +r <out_file>\n", PROGRAM_NAME);
    print_at_level(2, "Example:\n%s AUTO -FET TIUSB -baud 115200 +ebpv test.hex\n", PROGRAM_NAME);
    print_at_level(2, "\tAUTO - find first COM port in range COM%i...COM1\n", HIGHEST_SCANNED_PORT);
    print_at_level(2, "\tUSB  - find first COM port in range COM%i...COM5\n", HIGHEST_SCANNED_PORT);
    print_at_level(2, "Actions: (only the specified actions are executed)\n");
    print_at_level(2, "  e   Erase all Flash     v     Verify\n");
    print_at_level(2, "  b   Blank check         p     Programing\n");
    print_at_level(2, "  r   Read Flash          fuse  blow Fuse\n");
    print_at_level(2, "  i   unloc InfoMemory    x     erase InfoMemory\n");
    print_at_level(2, "  o   power Off\n");
    print_at_level(2, "Options:\n");
    print_at_level(2, "  -FET <TIUSB|HIDx|COMx|LPTx>  select FET DLL Adapter (default %s)\n", settings.fet_port);
    print_at_level(2, "  -sbw [0|1|2]       SBW/JTAG interface (0-JTAG,1-SBW,2-JSBW)\n");
    print_at_level(2, "  -res <0|1|2|4|7>   reset device (default %d, 7=all resets)\n", settings.reset_method);
    print_at_level(2, "  -vcc <X.X/ext>     VCC in Volts (default %sV) or External\n",
                   volts_text(settings.vcc_mv).c_str());
    print_at_level(2, "  -ia                enable Info-A/DCO Memory erasing for MSP430F2xx\n");
    print_at_level(2, "  -f                 fast Programming, but RAM content destroyed\n");
    print_at_level(2, "  -info              full chip Info\n");
    print_at_level(2, "  -list              list of supported chiptypes\n");
    print_at_level(2, "  -detect            only detect MSP430 chip\n");
    print_at_level(2, "  -m                 disable autostart Programming (manual-[F9])\n");
    print_at_level(2, "  -baud <baudrate>   set Terminal baudrare (default %s)\n", settings.baud);
    print_at_level(2, "  -oem               set OEM code page (default 1256) for Terminal\n");
    print_at_level(2, "  -crlf              CR and LF transparent, otherwise CR=CR+LF and LF=Off\n");
    print_at_level(2, "  --dll              disable DLL Version check\n");
    print_at_level(2, "  -update            update the FET firmware if it does not match the DLL\n");
    print_at_level(2, "  -l [logname.txt]   Terminal logging to %s or logname\n", settings.log_name);
    print_at_level(2, "  -a [0|1|2]         set 'AnyKey' request to Never|On error|Always (%d)\n", settings.anykey_mode);
    print_at_level(2, "  -d <0...8>         set print/debug level (default %d)\n", settings.print_level);
    print_at_level(2, "  -pl                list of COM ports\n");
    print_at_level(2, "  -fl                list of FET HID/COM ports\n");
    print_at_level(2, "  -expect <text>     end once the board has shown text (all given; \\n \\r \\t \\xNN \\\\)\n");
    print_at_level(2, "  -error <text>      end at once when the board shows text (status 5)\n");
    print_at_level(2, "  -timeout <seconds> end after that long (status 6 while -expect texts are missing)\n");
    // How the COM names map to devices here, and that a device path may be given instead.
    print_at_level(2, "%s", serial_port_names_help());
}
