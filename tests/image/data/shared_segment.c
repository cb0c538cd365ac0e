/* A program whose .text and .rodata share one loadable segment, as linkers commonly lay them out
   (ld.lld --no-rosegment here): the table sits in the middle of that segment, not at its start.
   shared_segment.elf and llvm-objcopy's shared_segment.hex of it are kept beside this file. */
static const unsigned char pattern[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xA5};
volatile unsigned char port;

void reset(void) {
    for (;;)
        for (unsigned i = 0; i < sizeof pattern; ++i) port = pattern[i];
}
