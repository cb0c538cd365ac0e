// Never sleeps: the DCO at its calibrated 16 MHz, a counter in RAM, and a byte over the UART
// now and then (SMCLK at 4 MHz, 416.67 of it a bit: UCBR 416 and UCBRS 5).
#include "board_firmware.h"

static volatile unsigned long count;

int main(void) {
    WDTCTL = WDT_OFF;
    DCOCTL = 0;
    BCSCTL1 = CALBC1_16MHZ;
    DCOCTL = CALDCO_16MHZ;
    BCSCTL2 = 0x04;  // SMCLK = DCO / 4
    uart_9600();
    UCA0CTL1 = 0x81;
    UCA0BR0 = 416 & 0xFF;
    UCA0BR1 = 416 >> 8;
    UCA0MCTL = 5 << 1;
    UCA0CTL1 = 0x80;
    for (;;) {
        if ((++count & 0xFFFF) == 0) put('.');
    }
}
