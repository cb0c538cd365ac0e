// A board demo for an MSP430G2553 wired as on a LaunchPad: the red LED on P1.0, the UART on
// P1.1 (RXD) and P1.2 (TXD) at 9600 baud 8N1 from the factory-calibrated 1 MHz DCO.
//
// At reset it prints a banner, sends ENQ and says whether the host answered ACK within a second
// (a debug library's reset with execute lets the chip run half a second before it returns, and
// only then can a terminal start and answer). Then it sleeps in LPM3 with ACLK from the VLO (about 12 kHz) driving Timer0_A: the
// timer's interrupt every second toggles the LED and wakes the main loop, which prints the LED's
// state and a count. What is typed comes back: the USCI's receive interrupt keeps each byte in
// a small ring for the main loop to echo.
//
// Freestanding: no C library, no headers, no multiply or divide helpers; the start-up code
// copies the initialised data from flash to RAM and clears the rest.
//
//     clang --target=msp430 -Os -ffreestanding -c blink.c -o blink.o
//     ld.lld -m msp430elf -T msp430g2553.ld blink.o -o blink.elf
#define REG8(address) (*(volatile unsigned char*)(address))
#define REG16(address) (*(volatile unsigned int*)(address))

#define IE2 REG8(0x0001)
#define IFG2 REG8(0x0003)
#define UCA0RXIE 0x01
#define UCA0RXIFG 0x01
#define UCA0TXIFG 0x02

#define P1OUT REG8(0x0021)
#define P1DIR REG8(0x0022)
#define P1SEL REG8(0x0026)
#define P1SEL2 REG8(0x0041)
#define LED 0x01
#define RXD 0x02
#define TXD 0x04

#define BCSCTL3 REG8(0x0053)
#define DCOCTL REG8(0x0056)
#define BCSCTL1 REG8(0x0057)
#define LFXT1S_VLO 0x20

#define UCA0CTL1 REG8(0x0061)
#define UCA0BR0 REG8(0x0062)
#define UCA0BR1 REG8(0x0063)
#define UCA0MCTL REG8(0x0064)
#define UCA0RXBUF REG8(0x0066)
#define UCA0TXBUF REG8(0x0067)
#define UCSWRST 0x01
#define UCSSEL_SMCLK 0x80
#define UCBRS_1 0x02

#define WDTCTL REG16(0x0120)
#define WDTPW 0x5A00
#define WDTHOLD 0x0080

#define TA0CTL REG16(0x0160)
#define TA0CCTL0 REG16(0x0162)
#define TA0R REG16(0x0170)
#define TA0CCR0 REG16(0x0172)
#define TASSEL_ACLK 0x0100
#define TASSEL_SMCLK 0x0200
#define ID_8 0x00C0
#define MC_UP 0x0010
#define MC_CONTINUOUS 0x0020
#define TACLR 0x0004
#define CCIE 0x0010

// Information segment A, written at the factory.
#define CALDCO_1MHZ REG8(0x10FE)
#define CALBC1_1MHZ REG8(0x10FF)

#define ENQ 0x05
#define ACK 0x06
#define VLO_HZ 12000u
// Timer counts of SMCLK / 8 (125 kHz) in half a second; the host has two of them for its ACK.
#define HALF_SECOND_COUNTS 62500u

// Written by the interrupts below, read by the main loop.
volatile unsigned int ticks;
volatile unsigned char rx_head;
unsigned char rx_ring[16];

// Initialised data: the linker stores the value in flash after the code (.data's load address)
// and gives the variable its address in RAM, where start() copies it.
static volatile unsigned int vlo_counts_per_second = VLO_HZ;
static unsigned int lines_printed;  // zeroed at start
static unsigned char rx_tail;

// From the linker script.
extern unsigned char __data_start[], __data_end[], __data_load[], __bss_start[], __bss_end[];

void start(void);
void trap(void);
void reset(void);
void timer0_a0_interrupt(void);
void usci_rx_interrupt(void);

// The reset vector leads here. The stack pointer needs setting before any C code runs.
__asm__(".section .text.reset,\"ax\",@progbits\n"
        ".global reset\n"
        "reset:\n"
        "    mov #__stack_top, r1\n"
        "    call #start\n");

// The interrupts end with the saved status register's low-power bits cleared on the stack,
// so that RETI returns to the main loop awake instead of to LPM3.
__asm__(".text\n"
        ".global timer0_a0_interrupt\n"
        "timer0_a0_interrupt:\n"
        "    xor.b #1, &0x0021\n"  // P1OUT ^= LED
        "    inc &ticks\n"
        "    bic #0x00F0, 0(r1)\n"
        "    reti\n"
        ".global usci_rx_interrupt\n"
        "usci_rx_interrupt:\n"
        "    push r15\n"
        "    mov.b &rx_head, r15\n"
        "    mov.b &0x0066, rx_ring(r15)\n"  // reading UCA0RXBUF clears UCA0RXIFG
        "    inc.b r15\n"
        "    and.b #15, r15\n"
        "    mov.b r15, &rx_head\n"
        "    pop r15\n"
        "    bic #0x00F0, 0(r1)\n"
        "    reti\n");

static void put(char c) {
    while (!(IFG2 & UCA0TXIFG)) {
    }
    UCA0TXBUF = (unsigned char)c;
}

static void print(const char* text) {
    while (*text) put(*text++);
}

// Decimal without a divide: the C library and its helpers are not linked.
static void print_number(unsigned int n) {
    static const unsigned int powers[] = {10000, 1000, 100, 10, 1};
    int leading = 1;
    for (unsigned int i = 0; i < sizeof powers / sizeof powers[0]; ++i) {
        char digit = '0';
        while (n >= powers[i]) n -= powers[i], ++digit;
        if (digit != '0' || !leading || powers[i] == 1) put(digit), leading = 0;
    }
}

static void clocks_and_pins(void) {
    WDTCTL = WDTPW | WDTHOLD;
    // An erased segment A has lost the calibration: the DCO then runs at its reset setting,
    // and the UART away from 9600 shows it.
    if (CALBC1_1MHZ != 0xFF) {
        DCOCTL = 0;
        BCSCTL1 = CALBC1_1MHZ;
        DCOCTL = CALDCO_1MHZ;
    }
    BCSCTL3 |= LFXT1S_VLO;
    P1DIR |= LED;
    P1OUT &= ~LED;
    P1SEL |= RXD | TXD;
    P1SEL2 |= RXD | TXD;
}

// 9600 baud from SMCLK at 1 MHz: divider 104, second-stage modulation 1.
static void uart(void) {
    UCA0CTL1 |= UCSWRST;
    UCA0CTL1 |= UCSSEL_SMCLK;
    UCA0BR0 = 104;
    UCA0BR1 = 0;
    UCA0MCTL = UCBRS_1;
    UCA0CTL1 &= ~UCSWRST;
}

// Sends ENQ and waits for ACK, timed by Timer0_A on SMCLK / 8 before it starts blinking.
static int host_answers(void) {
    put(ENQ);
    int answered = 0;
    for (int half = 0; half < 2 && !answered; ++half) {
        TA0CTL = TASSEL_SMCLK | ID_8 | MC_CONTINUOUS | TACLR;
        while (!answered && TA0R < HALF_SECOND_COUNTS)
            if (IFG2 & UCA0RXIFG) answered = UCA0RXBUF == ACK;
    }
    return answered;
}

static void blink_every_second(void) {
    TA0CCR0 = vlo_counts_per_second - 1;
    TA0CCTL0 = CCIE;
    TA0CTL = TASSEL_ACLK | MC_UP | TACLR;
}

int main(void) {
    clocks_and_pins();
    uart();
    print("\r\nKESTO board demo: MSP430G2553, LED on P1.0, UART 9600 8N1\r\n");
    print(host_answers() ? "ENQ sent, the host answered ACK\r\n" : "ENQ sent, no ACK from the host\r\n");
    print("Type something: it comes back\r\n");
    IE2 |= UCA0RXIE;
    blink_every_second();
    for (;;) {
        // Interrupts off while looking for work, so that none comes between the look and the
        // sleep: LPM3 and GIE are set in one instruction.
        __asm__ volatile("dint\n nop" ::: "memory");
        if (lines_printed == ticks && rx_tail == rx_head)
            __asm__ volatile("bis #0x00D8, r2\n nop" ::: "memory");  // LPM3 (CPUOFF, SCG0, SCG1) and GIE
        else
            __asm__ volatile("eint\n nop" ::: "memory");
        while (rx_tail != rx_head) {
            put((char)rx_ring[rx_tail]);
            rx_tail = (rx_tail + 1) & 15;
        }
        if (lines_printed != ticks) {
            lines_printed = ticks;
            print(P1OUT & LED ? "LED on   count " : "LED off  count ");
            print_number(lines_printed);
            print("\r\n");
        }
    }
}

void start(void) {
    const unsigned char* from = __data_load;
    for (unsigned char* to = __data_start; to != __data_end;) *to++ = *from++;
    for (unsigned char* to = __bss_start; to != __bss_end;) *to++ = 0;
    main();
    for (;;) {
    }
}

// Every interrupt the demo does not enable ends here.
void trap(void) {
    for (;;) {
    }
}

// 0xFFE0 up: index 7 the USCI_A0/B0 receive, 9 Timer0_A3 CCR0, 15 the reset.
__attribute__((section(".vectors"), used)) void (*const vectors[16])(void) = {
    trap, trap, trap, trap, trap, trap, trap, usci_rx_interrupt,
    trap, timer0_a0_interrupt, trap, trap, trap, trap, trap, reset,
};
