// Echoes while sleeping in LPM3: the UART asks for SMCLK while it works. The board does not
// model ADC10.
#include "board_firmware.h"

ISR(7, received) { put(UCA0RXBUF); }

int main(void) {
    START_9600();
    ADC10CTL0 = 0;
    ADC10CTL0 = ADC10CTL0;
    for (unsigned char i = 0, digit = '0'; i < 100; ++i, digit = digit == '9' ? '0' : digit + 1) put(digit);
    IE2 = UCA0RXIE;
    for (;;) sleep(LPM3);
}
