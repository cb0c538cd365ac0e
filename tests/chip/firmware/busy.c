// Never sleeps: the DCO at its calibrated 16 MHz, a counter in RAM, and a byte over the UART
// now and then (SMCLK at 4 MHz, 416.67 of it a bit: UCBR 416 and UCBRS 5).
#include "board_firmware.h"

static volatile unsigned long count;

int main(void) {
    WDTCTL = WDT_OFF;
    DCO(16);
    BCSCTL2 = 0x04;  // SMCLK = DCO / 4
    uart(416, 5);
    for (;;) {
        if ((++count & 0xFFFF) == 0) put('.');
    }
}
