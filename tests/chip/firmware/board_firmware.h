// What the virtual board's test programs share: the registers they use, at the chip's
// addresses, the start-up code, the calibrated DCO and the UART.
// Freestanding: no C library, no headers.
#pragma once

#define REG8(address) (*(volatile unsigned char*)(address))
#define REG16(address) (*(volatile unsigned int*)(address))

#define IE2 REG8(0x0001)
#define IFG1 REG8(0x0002)
#define IFG2 REG8(0x0003)
#define P1OUT REG8(0x0021)
#define P1DIR REG8(0x0022)
#define P1SEL REG8(0x0026)
#define P1SEL2 REG8(0x0041)
#define P2SEL2 REG8(0x0042)
#define DCOCTL REG8(0x0056)
#define BCSCTL1 REG8(0x0057)
#define BCSCTL2 REG8(0x0058)
#define UCA0CTL1 REG8(0x0061)
#define UCA0BR0 REG8(0x0062)
#define UCA0BR1 REG8(0x0063)
#define UCA0MCTL REG8(0x0064)
#define UCA0STAT REG8(0x0065)
#define UCA0RXBUF REG8(0x0066)
#define UCA0TXBUF REG8(0x0067)
#define ADC10CTL0 REG16(0x01B0)
#define WDTCTL REG16(0x0120)
#define TA1IV REG16(0x011E)
#define TA0CTL REG16(0x0160)
#define TA0CCTL0 REG16(0x0162)
#define TA0R REG16(0x0170)
#define TA0CCR0 REG16(0x0172)
#define TA1CTL REG16(0x0180)
#define TA1R REG16(0x0190)
#define TA1CCR0 REG16(0x0192)

#define CALDCO_1MHZ REG8(0x10FE)
#define CALBC1_1MHZ REG8(0x10FF)
#define CALDCO_16MHZ REG8(0x10F8)
#define CALBC1_16MHZ REG8(0x10F9)

#define WDTIFG 0x01
#define PORIFG 0x04
#define UCA0RXIE 0x01
#define UCA0RXIFG 0x01
#define UCA0TXIFG 0x02
#define UCBUSY 0x01
#define WDT_OFF 0x5A80
#define CCIE 0x0010
#define TAIE 0x0002
#define TASSEL_2 0x0200  // SMCLK
#define TASSEL_3 0x0300  // INCLK
#define MC_2 0x0020      // continuous
#define TACLR 0x0004
#define LPM0 0x0018  // CPUOFF and GIE
#define LPM3 0x00D8  // CPUOFF, SCG0, SCG1 and GIE

#define ISR(index, name) __attribute__((interrupt(index))) void name(void)

// The reset vector leads here: a stack, then main().
int main(void);
__asm__(".section .text.reset,\"ax\",@progbits\n"
        ".global reset\n"
        "reset:\n"
        "    mov #0x0400, r1\n"
        "    call #main\n"
        "1:  jmp 1b\n"
        ".section __interrupt_vector_15,\"a\",@progbits\n"
        "    .word reset\n");

static inline void sleep(unsigned int mode) { __asm__ volatile("bis %0, r2" : : "ri"(mode)); }

// The DCO at one of its calibrated rates: DCO(1) or DCO(16) MHz.
#define DCO(mhz) (DCOCTL = 0, BCSCTL1 = CALBC1_##mhz##MHZ, DCOCTL = CALDCO_##mhz##MHZ)

// The UART on P1.1 and P1.2 with UCBR `br` and UCBRS `brs`, e.g. 9600 baud from a 1 MHz SMCLK
// (1 MHz / 9600 = 104.17: UCBR 104 and UCBRS 1). SEL2 comes first, as in some firmware: for
// a moment the two pins are set up as pin oscillators, which the board must not take for one.
static inline void uart(unsigned int br, unsigned char brs) {
    P1SEL2 = 0x06;
    P1SEL = 0x06;
    UCA0CTL1 = 0x81;  // SMCLK, held in reset
    UCA0BR0 = (unsigned char)br;
    UCA0BR1 = (unsigned char)(br >> 8);
    UCA0MCTL = (unsigned char)(brs << 1);
    UCA0CTL1 = 0x80;
}

// Most programs: no watchdog, the calibrated 1 MHz and 9600 baud.
#define START_9600() (WDTCTL = WDT_OFF, DCO(1), uart(104, 1))

static inline void put(unsigned char c) {
    while (!(IFG2 & UCA0TXIFG)) {}
    UCA0TXBUF = c;
}
