// The demo's way of life: the LED on P1.0 turned every half second from a Timer_A interrupt on
// the 32768 Hz crystal, a line over the UART each second, LPM3 in between.
#include "board_firmware.h"

static unsigned char seconds;
static unsigned char half;

static void say(const char* s) {
    while (*s) put((unsigned char)*s++);
}

ISR(9, tick) {
    P1OUT ^= 0x01;
    half ^= 1;
    if (half) return;
    seconds = seconds == 9 ? 0 : seconds + 1;
    say(P1OUT & 1 ? "LED on, second " : "LED off, second ");
    put((unsigned char)('0' + seconds));
    say("\r\n");
}

int main(void) {
    START_9600();
    P1DIR = 0x01;
    TA0CCR0 = 16383;
    TA0CCTL0 = CCIE;
    TA0CTL = 0x0110;  // ACLK, up
    for (;;) sleep(LPM3);
}
