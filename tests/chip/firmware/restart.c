// Jumps into the peripheral registers, as the chip maker's watchdog example does to restart
// the chip; the third start counts Timer0_A on the pin oscillator of P2.0 instead.
#include "board_firmware.h"

static unsigned int starts __attribute__((section(".noinit")));

int main(void) {
    START_9600();
    if (IFG1 & PORIFG) starts = 0;
    put((IFG1 & PORIFG) ? 'P' : 'R');
    IFG1 = 0;
    if (++starts < 3) {
        while (UCA0STAT & UCBUSY) {}
        ((void (*)(void))0x0170)();  // TA0R
    }
    P2SEL2 = 0x01;
    TA0CTL = TASSEL_3 | MC_2 | TACLR;
    TA1CTL = TASSEL_2 | MC_2 | TACLR;
    while (TA1R < 10000u) {}
    put(TA0R ? 'C' : '0');
    put('H');
    for (;;) sleep(LPM3);
}
