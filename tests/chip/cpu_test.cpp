// What each instruction computes is compared with mspdebug in cpu_oracle_test.cpp.
#include "chip/cpu.h"

#include <gtest/gtest.h>

#include "chip/cpu_test_bus.h"

namespace {

using Words = std::vector<std::uint16_t>;

constexpr std::uint16_t CODE = 0xC000;

struct Board {
    TestBus bus{0x0200, 0x0400};
    Cpu cpu{bus};

    explicit Board(const Words& code) {
        bus.put(0xFFFE, CODE);
        bus.code(CODE, code);
        cpu.reset();
        cpu.reg[SP] = 0x03F0;
        cpu.reg[5] = 0x0200;
    }
    std::uint64_t step() {
        std::uint64_t before = cpu.cycles();
        cpu.run(before + 1);
        return cpu.cycles() - before;
    }
};

TEST(CpuCycles, EachFormTakesWhatTheUsersGuideGives) {
    const struct { const char* form; Words code; unsigned cycles; } cases[] = {
        {"mov r5, r6", {two(MOV, 5, REG, 6)}, 1},
        {"add #1, r6 (constant generator)", {two(ADD, CG, INDEXED, 6)}, 1},
        {"add #8, r6 (constant generator)", {two(ADD, SR, AUTOINC, 6)}, 1},
        {"mov r5, pc", {two(MOV, 5, REG, PC)}, 2},
        {"mov r5, 0(r6)", {two(MOV, 5, REG, 6, 1), 0}, 4},
        {"mov r5, &EDE", {two(MOV, 5, REG, SR, 1), 0x0200}, 4},
        {"mov @r5, r6", {two(MOV, 5, INDIRECT, 6)}, 2},
        {"mov @r5, pc", {two(MOV, 5, INDIRECT, PC)}, 2},
        {"mov @r5, 0(r6)", {two(MOV, 5, INDIRECT, 6, 1), 0}, 5},
        {"mov @r5+, r6", {two(MOV, 5, AUTOINC, 6)}, 2},
        {"mov @r5+, pc", {two(MOV, 5, AUTOINC, PC)}, 3},
        {"mov @r5+, &EDE", {two(MOV, 5, AUTOINC, SR, 1), 0x0200}, 5},
        {"mov #N, r6", {two(MOV, PC, AUTOINC, 6), 0x1234}, 2},
        {"mov #N, pc", {two(MOV, PC, AUTOINC, PC), 0xC100}, 3},
        {"mov #N, 0(r6)", {two(MOV, PC, AUTOINC, 6, 1), 0x1234, 0}, 5},
        {"mov 2(r5), r6", {two(MOV, 5, INDEXED, 6), 2}, 3},
        {"mov 2(r5), pc", {two(MOV, 5, INDEXED, PC), 2}, 3},
        {"mov 2(r5), 0(r6)", {two(MOV, 5, INDEXED, 6, 1), 2, 0}, 6},
        {"mov &EDE, r6", {two(MOV, SR, INDEXED, 6), 0x0200}, 3},
        {"mov &EDE, &EDE", {two(MOV, SR, INDEXED, SR, 1), 0x0200, 0x0202}, 6},
        {"rrc r5", {one(RRC, REG, 5)}, 1},
        {"rrc @r5", {one(RRC, INDIRECT, 5)}, 3},
        {"rrc @r5+", {one(RRC, AUTOINC, 5)}, 3},
        {"rrc 2(r5)", {one(RRC, INDEXED, 5), 2}, 4},
        {"rrc &EDE", {one(RRC, INDEXED, SR), 0x0200}, 4},
        {"push r5", {one(PUSH, REG, 5)}, 3},
        {"push @r5", {one(PUSH, INDIRECT, 5)}, 3},
        {"push @r5+", {one(PUSH, AUTOINC, 5)}, 3},
        {"push 2(r5)", {one(PUSH, INDEXED, 5), 2}, 4},
        {"call r5", {one(CALL, REG, 5)}, 4},
        {"call @r5", {one(CALL, INDIRECT, 5)}, 4},
        {"call #N", {one(CALL, AUTOINC, PC), 0xC100}, 4},
        {"call 2(r5)", {one(CALL, INDEXED, 5), 2}, 5},
        {"call &EDE", {one(CALL, INDEXED, SR), 0x0200}, 6},
        {"jmp (taken)", {jump(7, 4)}, 2},
        {"jeq (not taken)", {jump(1, 4)}, 2},
        {"reti", {one(RETI, REG, 0)}, 5},
    };
    for (const auto& c : cases) {
        Board board(c.code);
        EXPECT_EQ(board.step(), c.cycles) << c.form;
        EXPECT_FALSE(board.cpu.held()) << c.form << ": " << board.cpu.why();
    }
}

TEST(CpuHeld, NothingToRunOrGarbageHoldsTheCpuWithOneLine) {
    {
        TestBus bus(0x0200, 0x0400);
        Cpu cpu(bus);
        cpu.reset();
        EXPECT_TRUE(cpu.held());
        EXPECT_EQ(cpu.why(), "the reset vector is blank (0xFFFF)");
        bus.put(0xFFFE, 0x8000);
        cpu.reset();
        EXPECT_EQ(cpu.why(), "the reset vector points at 0x8000, where there is no memory");
    }
    const struct { Words code; const char* why; } cases[] = {
        {{0x0000}, "illegal instruction 0x0000 at 0xC000"},             // the extended CPU's opcodes
        {{0x1400}, "illegal instruction 0x1400 at 0xC000"},             // PUSHM
        {{one(7, REG, 5)}, "illegal instruction 0x1385 at 0xC000"},     // no such single-operand op
        {{one(1, REG, 5, true)}, "illegal instruction 0x10C5 at 0xC000"},  // SWPB.B
        {{two(MOV, PC, AUTOINC, PC), 0x8000}, "fetch from 0x8000, where there is no memory"},
        {{two(MOV, 5, REG, 6), jump(7, 0x1F0)}, "fetch from 0xC3E4, where there is no memory"},
    };
    for (const auto& c : cases) {
        Board board(c.code);
        board.bus.pages[0xC3] = Page::none;
        board.cpu.run(100);
        EXPECT_TRUE(board.cpu.held());
        EXPECT_EQ(board.cpu.why(), c.why);
        const std::uint64_t cycles = board.cpu.cycles();
        board.cpu.run(200);
        EXPECT_EQ(board.cpu.cycles(), cycles) << "a held CPU runs no more";
    }
}

TEST(CpuRegisters, PcAndSpStayEvenAndR3WritesAreLost) {
    Board board({two(MOV, PC, AUTOINC, SP), 0x0301, two(MOV, PC, AUTOINC, CG), 0x1234,
                 two(MOV, PC, AUTOINC, PC), 0xC101});
    board.cpu.run(board.cpu.cycles() + 6);
    EXPECT_EQ(board.cpu.reg[SP], 0x0300);
    EXPECT_EQ(board.cpu.reg[CG], 0);
    EXPECT_EQ(board.cpu.reg[PC], 0xC100);
}

constexpr std::uint16_t HANDLER = 0xC100;
constexpr int INDEX = 9;

struct InterruptBoard : Board {
    explicit InterruptBoard(const Words& code, const Words& handler = {one(RETI, REG, 0)}) : Board(code) {
        bus.put(VECTOR_TABLE + 2 * INDEX, HANDLER);
        bus.code(HANDLER, handler);
    }
};

TEST(CpuInterrupts, AcceptancePushesPcAndSrAndClearsSrButScg0) {
    InterruptBoard board({JMP_SELF});
    board.cpu.reg[SR] = SR_GIE | SR_SCG0 | SR_SCG1 | SR_C | SR_V, board.bus.request = INDEX;
    EXPECT_EQ(board.step(), 6u);
    EXPECT_EQ(board.cpu.reg[PC], HANDLER);
    EXPECT_EQ(board.cpu.reg[SR], SR_SCG0);
    EXPECT_EQ(board.cpu.reg[SP], 0x03EC);
    EXPECT_EQ(board.bus.word(0x03EC), SR_GIE | SR_SCG0 | SR_SCG1 | SR_C | SR_V);
    EXPECT_EQ(board.bus.word(0x03EE), CODE);
    EXPECT_EQ(board.bus.accepted, std::vector<int>{INDEX});

    EXPECT_EQ(board.step(), 5u) << "reti";
    EXPECT_EQ(board.cpu.reg[PC], CODE);
    EXPECT_EQ(board.cpu.reg[SR], SR_GIE | SR_SCG0 | SR_SCG1 | SR_C | SR_V);
    EXPECT_EQ(board.cpu.reg[SP], 0x03F0);

    InterruptBoard blank({JMP_SELF});
    blank.bus.put(VECTOR_TABLE + 2 * INDEX, 0xFFFF);
    blank.cpu.reg[SR] = SR_GIE, blank.bus.request = INDEX;
    blank.cpu.run(100);
    EXPECT_EQ(blank.cpu.why(), "interrupt vector 0xFFF2 is blank");
}

TEST(CpuInterrupts, MaskedUntilGieAndTakenOnlyAfterTheInstructionThatFollowsEint) {
    InterruptBoard board({two(MOV, CG, INDEXED, 4), BIS_GIE_SR, two(MOV, CG, INDEXED, 6), JMP_SELF});
    board.bus.request = INDEX;
    board.step();
    EXPECT_EQ(board.cpu.reg[4], 1) << "masked while GIE is clear";
    board.step(), board.step();
    EXPECT_EQ(board.cpu.reg[6], 1) << "the instruction after eint runs first";
    EXPECT_TRUE(board.bus.accepted.empty());
    board.step();
    EXPECT_EQ(board.bus.accepted, std::vector<int>{INDEX});
    EXPECT_EQ(board.bus.word(board.cpu.reg[SP] + 2), CODE + 6);

    InterruptBoard nmi({JMP_SELF});
    nmi.bus.request = INDEX, nmi.bus.request_maskable = false;
    nmi.step();
    EXPECT_EQ(nmi.cpu.reg[PC], HANDLER);
}

TEST(CpuInterrupts, ARequestAnIoAccessRaisesIsTakenRightAfterThatInstruction) {
    for (bool by_write : {false, true}) {
        InterruptBoard board({by_write ? two(MOV, 5, REG, SR, 1) : two(ADD, SR, INDEXED, 5), 0x0024,
                              two(MOV, CG, INDEXED, 4), JMP_SELF},
                             {JMP_SELF});
        board.bus.pages[0x00] = Page::io, board.bus.raise_at = 0x0024, board.bus.raises = INDEX;
        board.cpu.reg[SR] = SR_GIE;
        board.cpu.run(100);
        EXPECT_EQ(board.bus.accepted, std::vector<int>{INDEX}) << by_write;
        EXPECT_EQ(board.bus.word(0x03EE), CODE + 4) << by_write;
        EXPECT_EQ(board.cpu.reg[4], 0) << by_write;
    }
}

TEST(CpuLowPower, SleepsUntilAnInterruptAndReturnsActiveOnlyWhenTheHandlerSaysSo) {
    const std::uint16_t LPM0 = SR_GIE | SR_CPUOFF;
    const Words code = {two(BIS, PC, AUTOINC, SR), LPM0, two(MOV, CG, INDEXED, 4), JMP_SELF};
    const Words wake = {two(BIC, PC, AUTOINC, SP, 1), SR_CPUOFF, 0, one(RETI, REG, 0)};
    for (bool wakes : {true, false}) {
        InterruptBoard board(code, wakes ? wake : Words{one(RETI, REG, 0)});
        board.cpu.run(1000);
        EXPECT_TRUE(board.cpu.sleeping());
        EXPECT_EQ(board.cpu.cycles(), 2u);
        board.cpu.run(2000);
        EXPECT_EQ(board.cpu.cycles(), 2u) << "a sleeping CPU counts no cycles";

        board.bus.request = INDEX;
        board.cpu.run(3000);
        EXPECT_EQ(board.bus.accepted, std::vector<int>{INDEX});
        EXPECT_EQ(board.cpu.sleeping(), !wakes);
        EXPECT_EQ(board.cpu.reg[4], wakes ? 1 : 0);
    }
}

TEST(CpuPeripherals, IoAndFlashAccessesGoToTheBusOnce) {
    Board board({
        two(MOV, CG, INDEXED, SR, 1, true), 0x0021,  // mov.b #1, &0x0021
        two(ADD, SR, INDEXED, 5), 0x0020,              // add &0x0020, r5
        two(BIS, CG, INDIRECT, SR, 1), 0x0022,         // bis #2, &0x0022
        two(MOV, 5, REG, SR, 1), 0xC400,               // mov r5, &0xC400
        two(MOV, 5, REG, SR, 1), 0x0024,               // mov r5, &0x0024: ends the batch
        JMP_SELF,
    });
    board.bus.pages[0x00] = Page::io, board.bus.io_values = {{0x0020, 0x0100}, {0x0022, 0x8000}};
    board.bus.stop_on_write = 0x0024, board.bus.cpu = &board.cpu;
    board.cpu.run(1000);
    EXPECT_EQ(board.bus.log, (std::vector<std::string>{"w 0021 b=01", "r 0020 w=0100", "r 0022 w=8000",
                                                       "w 0022 w=8002", "flash c400 w=0300", "w 0024 w=0300"}));
    EXPECT_EQ(board.bus.access_cycles, (std::vector<std::uint64_t>{0, 4, 7, 7, 11, 15}))
        << "a peripheral sees the cycle count at the start of the instruction";
    EXPECT_EQ(board.cpu.reg[PC], CODE + 20) << "the batch ends after the instruction that asked";
    EXPECT_LT(board.cpu.cycles(), 1000u);
}

}  // namespace
