// Timer0_A3 in up mode on the 32768 Hz crystal, TACCR0 3276: 'A' from its TACCR0 interrupt
// every 3277 ACLK periods. Timer1_A3 in up/down mode on SMCLK / 8, TACCR0 8125: 'B' from its
// TAIV interrupt (TAIFG) every 130 ms, never within a byte's time of an 'A'. Sleeps in LPM0 in
// between.
#include "board_firmware.h"

ISR(9, timer0_ccr0) { put('A'); }

ISR(12, timer1_taiv) {
    if (TA1IV == 0x0A) put('B');
}

int main(void) {
    WDTCTL = WDT_OFF;
    DCO(1);
    uart(104, 1);
    TA0CCR0 = 3276;
    TA0CCTL0 = CCIE;
    TA0CTL = 0x0110;  // ACLK, up
    TA1CCR0 = 8125;
    TA1CTL = 0x02F2;  // SMCLK, / 8, up/down, TAIE
    for (;;) sleep(LPM0);
}
