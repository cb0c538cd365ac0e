#!/usr/bin/env python3
"""Writes examples/blink_g2553.hex and examples/blink_g2553.txt: a small MSP430G2553 program
that toggles the LED on P1.0 in an endless delay loop. Hand-assembled; each instruction below
with its machine words."""
import os

PROGRAM = [
    # 0xC000 reset:
    (0xC000, [0x4031, 0x0400]),           # mov   #0x0400, SP        ; stack at the top of RAM
    (0xC004, [0x40B2, 0x5A80, 0x0120]),   # mov   #WDTPW|WDTHOLD, &WDTCTL
    (0xC00A, [0xD3D2, 0x0022]),           # bis.b #BIT0, &P1DIR      ; P1.0 drives the LED
    # 0xC00E toggle:
    (0xC00E, [0xE3D2, 0x0021]),           # xor.b #BIT0, &P1OUT
    (0xC012, [0x403F, 50000]),            # mov   #50000, R15
    # 0xC016 delay:
    (0xC016, [0x831F]),                   # dec   R15
    (0xC018, [0x23FE]),                   # jnz   delay
    (0xC01A, [0x3FF9]),                   # jmp   toggle
    # 0xC01C trap: where every unused interrupt goes
    (0xC01C, [0x3FFF]),                   # jmp   $
]
TRAP = 0xC01C
RESET = 0xC000


def image():
    data = {}
    for address, words in PROGRAM:
        for word in words:
            data[address] = word & 0xFF
            data[address + 1] = word >> 8
            address += 2
    for vector in range(0xFFE0, 0xFFFE, 2):
        data[vector], data[vector + 1] = TRAP & 0xFF, TRAP >> 8
    data[0xFFFE], data[0xFFFF] = RESET & 0xFF, RESET >> 8
    return data


def runs(data):
    """Consecutive addresses grouped, 16 bytes at most."""
    addresses = sorted(data)
    run = []
    for a in addresses:
        if run and (a != run[-1] + 1 or len(run) == 16):
            yield run
            run = []
        run.append(a)
    if run:
        yield run


def intel_hex(data):
    lines = []
    for run in runs(data):
        body = [len(run), run[0] >> 8, run[0] & 0xFF, 0] + [data[a] for a in run]
        body.append(-sum(body) & 0xFF)
        lines.append(":" + "".join("%02X" % b for b in body))
    lines.append(":00000001FF")
    return "\n".join(lines) + "\n"


def ti_txt(data):
    lines = []
    previous = None
    for run in runs(data):
        if previous is None or run[0] != previous + 1:
            lines.append("@%04X" % run[0])
        lines.append(" ".join("%02X" % data[a] for a in run))
        previous = run[-1]
    lines.append("q")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    data = image()
    with open(os.path.join(here, "blink_g2553.hex"), "w") as f:
        f.write(intel_hex(data))
    with open(os.path.join(here, "blink_g2553.txt"), "w") as f:
        f.write(ti_txt(data))
