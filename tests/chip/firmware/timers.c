// 'A' every 3277 ACLK periods, 'B' every 130 ms (never within a byte's time of an 'A').
#include "board_firmware.h"

ISR(9, timer0_ccr0) { put('A'); }

ISR(12, timer1_taiv) {
    if (TA1IV == 0x0A) put('B');
}

int main(void) {
    START_9600();
    TA0CCR0 = 3276;
    TA0CCTL0 = CCIE;
    TA0CTL = 0x0110;  // ACLK, up
    TA1CCR0 = 8125;
    TA1CTL = 0x02F2;  // SMCLK, / 8, up/down, TAIE
    for (;;) sleep(LPM0);
}
