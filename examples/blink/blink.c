// Blinks the LED on P1.0 of an MSP430G2553 (the red LED of a LaunchPad) after a pattern that
// turns by one place every round. Freestanding: no C library, no headers; the start-up code
// below copies the initialised data from flash to RAM and clears the rest.
//
//     clang --target=msp430 -Os -ffreestanding -c blink.c -o blink.o
//     ld.lld -m msp430elf -T msp430g2553.ld blink.o -o blink.elf
#define WDTCTL (*(volatile unsigned int*)0x0120)
#define P1OUT (*(volatile unsigned char*)0x0021)
#define P1DIR (*(volatile unsigned char*)0x0022)
#define WDTPW 0x5A00
#define WDTHOLD 0x0080
#define LED 0x01

// Initialised data: the linker stores the values in flash after the code (.data's load
// address) and gives the variables their addresses in RAM (its run address).
static unsigned char pattern[8] = {1, 0, 1, 0, 1, 1, 1, 0};
static volatile unsigned int delay = 25000;
static unsigned int step;  // zeroed at start

// From the linker script.
extern unsigned char __data_start[], __data_end[], __data_load[], __bss_start[], __bss_end[];

void start(void);
void trap(void);
void reset(void);

// The reset vector leads here. The stack pointer needs setting before any C code runs.
__asm__(".section .text.reset,\"ax\",@progbits\n"
        ".global reset\n"
        "reset:\n"
        "    mov #__stack_top, r1\n"
        "    call #start\n");

static void wait(unsigned int counts) {
    while (counts--) __asm__ volatile("nop");
}

static void turn_pattern(void) {
    const unsigned char first = pattern[0];
    for (unsigned int i = 0; i + 1 < sizeof pattern; ++i) pattern[i] = pattern[i + 1];
    pattern[sizeof pattern - 1] = first;
}

int main(void) {
    WDTCTL = WDTPW | WDTHOLD;
    P1DIR |= LED;
    for (;;) {
        P1OUT = (P1OUT & ~LED) | (pattern[step] ? LED : 0);
        step = (step + 1) % sizeof pattern;
        if (step == 0) turn_pattern();
        wait(delay);
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

// Every interrupt but the reset ends here: none is enabled.
void trap(void) {
    for (;;) {
    }
}

__attribute__((section(".vectors"), used)) void (*const vectors[16])(void) = {
    trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, trap, reset,
};
