// Turns its UART on 30 ms after reset, as firmware that sets up its clocks and sensors first
// does, then echoes every byte it receives.
#include "board_firmware.h"

int main(void) {
    WDTCTL = WDT_OFF;
    DCO(1);
    TA0CTL = TASSEL_2 | MC_2 | TACLR;
    while (TA0R < 30000u) {}
    uart(104, 1);
    for (;;) {
        while (!(IFG2 & UCA0RXIFG)) {}
        put(UCA0RXBUF);
    }
}
