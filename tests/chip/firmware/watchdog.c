// Counts the resets in RAM that a reset keeps; the third start writes WDTCTL without the
// password.
#include "board_firmware.h"

static unsigned int starts __attribute__((section(".noinit")));

int main(void) {
    DCO(1);
    uart(104, 1);
    if (IFG1 & PORIFG) starts = 0;
    put((IFG1 & PORIFG) ? 'P' : (IFG1 & WDTIFG) ? 'W' : '?');
    IFG1 = 0;
    ++starts;
    while (UCA0STAT & UCBUSY) {}
    if (starts == 3) WDTCTL = 0x1234;
    if (starts == 5) {
        WDTCTL = WDT_OFF;
        put('H');
        sleep(LPM3);
    }
    for (;;) {}
}
