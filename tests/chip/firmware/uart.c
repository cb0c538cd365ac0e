// Sends 100 digits as fast as the UART takes them, then echoes what it receives from its
// receive interrupt while sleeping in LPM3 (the UART asks for SMCLK while it works). It also
// touches ADC10, which the board does not model, twice.
#include "board_firmware.h"

ISR(7, received) { put(UCA0RXBUF); }

int main(void) {
    WDTCTL = WDT_OFF;
    DCO(1);
    uart(104, 1);
    ADC10CTL0 = 0;
    ADC10CTL0 = ADC10CTL0;
    for (unsigned char i = 0, digit = '0'; i < 100; ++i, digit = digit == '9' ? '0' : digit + 1) put(digit);
    IE2 = UCA0RXIE;
    for (;;) sleep(LPM3);
}
