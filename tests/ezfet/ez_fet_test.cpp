#include "ezfet/ez_fet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>

#include "chip/board.h"
#include "chip/parts.h"
#include "chip/target.h"
#include "ezfet/version_record.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace M = EzFetMacro;

constexpr std::uint8_t EXECUTE = 0x81, ACK = 0x91, EXCEPTION = 0x92, DATA = 0x93;

struct Packet { std::uint8_t type, id, counter; Bytes payload; bool operator==(const Packet&) const = default; };
using Packets = std::vector<Packet>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes words(std::initializer_list<std::uint32_t> w16, std::initializer_list<std::uint32_t> w32 = {}) {
    Bytes b;
    for (auto v : w16) for (int shift : {0, 8}) b.push_back(static_cast<std::uint8_t>(v >> shift));
    for (auto v : w32) for (int shift : {0, 8, 16, 24}) b.push_back(static_cast<std::uint8_t>(v >> shift));
    return b;
}
std::uint16_t word_at(const Bytes& b, std::size_t i) { return static_cast<std::uint16_t>(b.at(i) | b.at(i + 1) << 8); }

// Padded to even length, no checksum; the pad is any byte.
Bytes host_packet(std::uint8_t type, std::uint8_t id, const Bytes& payload) {
    // Sized first and then filled: GCC 12 at -O3 warns falsely about inserting into a short vector.
    Bytes p(4 + payload.size());
    p[0] = static_cast<std::uint8_t>(3 + payload.size()), p[1] = type, p[2] = id;
    std::copy(payload.begin(), payload.end(), p.begin() + 4);
    if (p.size() % 2) p.push_back(0xA5);
    return p;
}

// As the library computes it (its MemoryAreaBase), not shared with the engine.
std::uint16_t library_psa(std::uint32_t start, const Bytes& bytes) {
    std::uint32_t r = (start - 2) & 0xFFFF;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const bool top = r & 0x8000;
        r = top ? (((r ^ 0x0805) << 1) | 1) & 0xFFFF : (r << 1) & 0xFFFF;
        r ^= word_at(bytes, i);
    }
    return static_cast<std::uint16_t>(r);
}

constexpr std::uint64_t NOW = 1'000'000'000;

class EmulatedFet : public ::testing::Test {
protected:
    void make(const EzFetFaults& faults = {}) { fet = std::make_unique<EzFet>(target, board, faults); }
    void SetUp() override { make(); }

    void send(const Bytes& bytes, std::uint64_t at = NOW) { fet->receive(bytes.data(), bytes.size(), at); }

    std::vector<Packet> replies() {
        Bytes raw(fet->pending());
        raw.resize(fet->take(raw.data(), raw.size()));
        std::vector<Packet> out;
        for (std::size_t pos = 0; pos < raw.size();) {
            const std::size_t length = raw[pos], size = length + (length % 2 ? 3 : 4);
            EXPECT_LE(pos + size, raw.size()) << "a packet cut short";
            if (pos + size > raw.size()) break;
            std::uint16_t sum = 0;
            for (std::size_t i = pos; i < pos + size; i += 2) sum ^= word_at(raw, i);
            EXPECT_EQ(sum, 0xFFFF) << "checksum of the packet at " << pos;
            EXPECT_EQ(length % 2 ? 0 : raw[pos + length + 1], 0) << "padding";
            out.push_back({raw[pos + 1], raw[pos + 2], raw[pos + 3],
                           Bytes(raw.begin() + pos + 4, raw.begin() + pos + 1 + length)});
            pos += size;
        }
        return out;
    }

    Bytes call(std::uint16_t macro, const Bytes& args = {}) {
        id_ = static_cast<std::uint8_t>(id_ % 0x3F + 1);
        send(host_packet(EXECUTE, id_, words({macro}) + args));
        Bytes data;
        for (const Packet& p : replies()) {
            EXPECT_EQ(p.type, DATA) << "macro 0x" << std::hex << macro;
            EXPECT_EQ(p.id & 0x3F, id_);
            data.insert(data.end(), p.payload.begin(), p.payload.end());
        }
        return data;
    }

    void funclet(std::uint32_t address, std::uint16_t operation, const Bytes& data = {}, std::uint16_t fctl3 = 0xA508) {
        send_split(words({M::EXECUTE_FUNCLET, 0x200, 0x80, 0x200},
                         {address, static_cast<std::uint32_t>(data.empty() ? 2 : data.size() / 2)}) +
                   words({operation, fctl3, 0x60, 0x07}) + (data.empty() ? words({}, {0xDEADBEEF}) : data));
    }

    void send_split(const Bytes& message) {
        Packet last{};
        for (std::size_t pos = 0, n; pos < message.size(); pos += n) {
            n = std::min<std::size_t>(message.size() - pos, 244);
            const bool final = pos + n == message.size();
            id_ = static_cast<std::uint8_t>(id_ % 0x3F + 1);
            send(host_packet(EXECUTE, static_cast<std::uint8_t>(id_ | (final ? 0 : 0x80)),
                             Bytes(message.begin() + pos, message.begin() + pos + n)));
            const std::vector<Packet> got = replies();
            ASSERT_EQ(got.size(), 1u);
            last = got[0];
            EXPECT_TRUE(final || (last.type == ACK && last.id == id_ && last.payload.empty())) << "at " << pos;
        }
        EXPECT_EQ(last.type, DATA);
    }

    Bytes read(std::uint32_t address, std::uint32_t count, std::uint16_t macro = M::READ_MEM_WORDS) {
        return call(macro, words({}, {address, count}));
    }

    Target target{*find_part("MSP430G2553")};
    Board board;
    std::unique_ptr<EzFet> fet;
    std::uint8_t id_ = 0;
};

TEST_F(EmulatedFet, FramesRepliesAsTheLibraryReadsThem) {
    // From a session with the library.
    send(host_packet(EXECUTE, 2, words({M::CONFIGURE}, {0x0B, 4, 0x400A})));
    Bytes raw(16);
    raw.resize(fet->take(raw.data(), raw.size()));
    EXPECT_EQ(raw, (Bytes{0x03, 0x93, 0x02, 0x00, 0xFE, 0x6C}));

    // Acknowledgements and a communication reset get no answer.
    const Bytes request = host_packet(EXECUTE, 1, Bytes{0, 0, 0});
    send(host_packet(ACK, 2, {}));
    send(Bytes{0x03, 0x92, 0x00, 0x00});
    send(host_packet(0x8B, 0, {}));  // the communication reset
    for (std::uint8_t b : request) send(Bytes{b});
    const Packet version{DATA, 1, 0, ezfet_version_record(false)};
    EXPECT_EQ(replies(), Packets{version});

    // The adapter waits 500 ms for the rest of a packet.
    send(Bytes(request.begin(), request.begin() + 3), NOW);
    send(Bytes(request.begin() + 3, request.end()), NOW + 500'000'000);
    EXPECT_EQ(replies(), Packets{version});
    send(Bytes(request.begin(), request.begin() + 3), NOW);
    send(host_packet(EXECUTE, 2, Bytes{0, 0, 0}), NOW + 500'000'001);
    EXPECT_EQ(replies(), (Packets{{DATA, 2, 0, version.payload}}));
}

TEST_F(EmulatedFet, SplitsLongRepliesAtTheFirmwaresPacketSize) {
    struct Case { std::uint32_t words; std::size_t packets, last_payload; };
    // 126 words fill a packet exactly, which the firmware follows with an empty one.
    for (const Case& c : {Case{0x2000, 66, 4}, Case{126, 2, 0}, Case{125, 1, 250}, Case{300, 3, 96}}) {
        send(host_packet(EXECUTE, 0x36, words({M::READ_MEM_QUICK}, {0xC000, c.words, 0xFFFF})));
        const std::vector<Packet> got = replies();
        ASSERT_EQ(got.size(), c.packets) << c.words;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const bool last = i + 1 == got.size();
            EXPECT_EQ(got[i].id, last ? 0x36 : 0xB6);
            EXPECT_EQ(std::size_t{got[i].counter}, c.packets == 1 ? 0 : i + 1);
            EXPECT_EQ(got[i].payload.size(), last ? c.last_payload : 252u);
        }
    }
}

TEST_F(EmulatedFet, GathersLongHostMessagesAndAcknowledgesEachPacket) {
    Bytes data(500);
    std::mt19937 random(3);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    send_split(words({M::WRITE_MEM_WORDS}, {0x200, 250}) + data);  // all of RAM but 12 bytes: three packets
    EXPECT_EQ(read(0x200, 250), data);
}

TEST_F(EmulatedFet, AnswersTheCommandsOutsideTheMacroTable) {
    send(host_packet(0x8F, 4, words({0})));  // over-current off: the firmware's exception -1
    send(host_packet(0x64, 5, {}));         // the adapter's supply
    const std::vector<Packet> got = replies();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].type, EXCEPTION);
    EXPECT_EQ(got[0].payload, words({0xFFFF}));
    EXPECT_EQ(got[1].type, DATA);
    EXPECT_GE(word_at(got[1].payload, 0), 2200) << "the library erases flash only above 2.2 V";
    send(host_packet(EXECUTE, 6, words({0x7E})));  // no such macro
    EXPECT_EQ(replies().at(0).type, EXCEPTION);
}

// In the library's order.
TEST_F(EmulatedFet, CarriesAG2553ThroughAProgrammingSession) {
    EXPECT_EQ(call(M::START_JTAG, Bytes{1}), Bytes{1});
    EXPECT_EQ(call(M::GET_JTAG_ID), words({0x89}));
    EXPECT_EQ(call(M::IS_JTAG_FUSE_BLOWN), words({0}));
    Bytes context = call(M::SYNC_POR_SAVE_CONTEXT, words({0x120, 0x5A80}));
    ASSERT_EQ(context.size(), 8u);
    EXPECT_EQ(context[1], 0x69) << "WDTCTL as read";
    EXPECT_FALSE(board.running());
    EXPECT_EQ(read(0x120, 1), words({0x6980})) << "the watchdog is held";
    EXPECT_EQ(call(M::GET_DEVICE_ID_PTR), words({}, {0, 0x0FF0}) + words({0}));
    EXPECT_EQ(read(0x0FF0, 1), (Bytes{0x25, 0x53}));

    // Counts in RAM at 0x200.
    const Bytes program = words({0x5392, 0x0200, 0x3FFD});
    const Bytes segment_a = read(0x10C0, 32);
    funclet(0xFFFE, 0xA504);
    funclet(0xC000, 0xA504);
    EXPECT_EQ(call(M::PSA, words({}, {0xC000, 0x2000}) + Bytes{0}), words({library_psa(0xC000, Bytes(0x4000, 0xFF))}));
    EXPECT_EQ(read(0x10C0, 32), segment_a) << "the main erase keeps segment A";
    EXPECT_NE(segment_a, Bytes(64, 0xFF)) << "the calibration";
    funclet(0xC000, 0, program);
    funclet(0xFFFE, 0, words({0xC000}));
    EXPECT_EQ(call(M::PSA, words({}, {0xC000, 3}) + Bytes{0}), words({library_psa(0xC000, program)}));
    EXPECT_EQ(read(0xC000, 3, M::READ_MEM_QUICK), program);
    EXPECT_EQ(target.byte_at(0xC001), 0x53);

    funclet(0x10C0, 0xA502);  // LOCKA left set: segment A stays
    EXPECT_EQ(read(0x10C0, 32), segment_a);
    funclet(0x1080, 0, words({0x1234}));
    funclet(0x1080, 0xA502, {}, 0xA548);
    EXPECT_EQ(read(0x1080, 1), words({0xFFFF}));

    context = call(M::SYNC_POR_SAVE_CONTEXT, words({0x120, 0x5A80}));
    EXPECT_EQ(word_at(context, 2), 0xC000) << "PC from the reset vector";
    EXPECT_EQ(word_at(context, 4), 0) << "PC's upper half";
    Bytes registers = call(M::READ_ALL_CPU_REGS);
    ASSERT_EQ(registers.size(), 26u);
    registers[0] = 0x00, registers[1] = 0x04;  // SP 0x400
    call(M::WRITE_ALL_CPU_REGS, registers);
    EXPECT_EQ(call(M::READ_ALL_CPU_REGS), registers);
    call(M::RESTORE_CONTEXT_RELEASE, words({0x120, 0x5A80}, {0xC000}) + words({0, 6, 0, 0, 0}));
    EXPECT_TRUE(board.running());
    board.advance_to(NOW + 1'000'000);
    context = call(M::SYNC_CONDITIONAL_SAVE_CONTEXT, words({0x120, 0x5A80}));
    EXPECT_FALSE(board.running());
    EXPECT_GE(word_at(context, 2), 0xC000);
    EXPECT_GT(word_at(read(0x200, 1), 0), 100) << "the program ran";
}

TEST_F(EmulatedFet, ShowsEachFaultAsAsked) {
    const auto erase_and_write = [this](std::uint32_t address, std::uint16_t value) {
        funclet(0xC000, 0xA504);
        funclet(address, 0, words({value}));
        return word_at(read(address, 1), 0);
    };
    make({.stuck_bit = true, .stuck_address = 0xC011, .stuck_mask = 0x04});
    EXPECT_EQ(erase_and_write(0xC010, 0xFFFF), 0xFBFF) << "stuck at 0";
    make({.stuck_bit = true, .stuck_address = 0xC011, .stuck_mask = 0x04, .stuck_high = true});
    EXPECT_EQ(erase_and_write(0xC010, 0x0000), 0x0400) << "stuck at 1";
    make({.old_firmware = true});
    EXPECT_NE(word_at(call(M::ZERO, Bytes{0}), EZFET_HIL_CHECKSUM_OFFSET),
              ezfet_version_record(false)[EZFET_HIL_CHECKSUM_OFFSET]);
    make({.fuse_blown = true});
    EXPECT_EQ(call(M::IS_JTAG_FUSE_BLOWN), words({0x5555}));
    make();
    call(M::BLOW_FUSE, Bytes{1});
    EXPECT_EQ(call(M::IS_JTAG_FUSE_BLOWN), words({0x5555})) << "BlowFuse";

    struct Silence { long after; int at, answered; };
    EXPECT_EQ(ez_fet_macro_id("NoSuchMacro"), -1);
    for (const Silence& s : {Silence{3, -1, 3}, Silence{-1, ez_fet_macro_id("psa"), 2}}) {
        make({.silent_after_executes = s.after, .silent_at_macro = s.at});
        int answered = 0;
        for (std::uint16_t macro : {M::GET_JTAG_ID, M::CONFIGURE, M::PSA, M::GET_JTAG_ID, M::GET_JTAG_ID}) {
            send(host_packet(EXECUTE, 1, words({macro}, {0xC000, 1}) + Bytes{0}));
            answered += replies().empty() ? 0 : 1;
        }
        send(Bytes{0x03, 0x92, 0x00, 0x00});
        send(host_packet(EXECUTE, 2, words({M::GET_JTAG_ID})));
        EXPECT_TRUE(replies().empty()) << "a communication reset does not revive it";
        EXPECT_EQ(answered, s.answered);
        EXPECT_TRUE(fet->silent());
    }
}

// "" without a copy of the vendor's debug stack at hand.
std::string vendor_header(const std::string& name) {
    const char* env = std::getenv("KESTO_VENDOR_SOURCE");
    std::string source = env ? env : "";
#ifdef KESTO_VENDOR_SOURCE_DIR
    if (source.empty()) source = KESTO_VENDOR_SOURCE_DIR;
#endif
    if (source.empty()) return "";
    std::ifstream in(source + "/Bios/include/" + name);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(EzFetMacroNames, NumberedAsTheFirmwareListsThem) {
    const char* names[] = {"Zero", "Init", "SetVcc", "GetVcc", "StartJtag", "StopJtag", "Configure", "GetFuses",
                           "BlowFuse", "WaitForEem", "BitSequence", "GetJtagId", "GetInterfaceMode", "GetDeviceIdPtr",
                           "SyncJtag_AssertPor_SaveContext", "SyncJtag_Conditional_SaveContext",
                           "RestoreContext_ReleaseJtag", "ReadMemBytes", "ReadMemWords", "ReadMemQuick",
                           "WriteMemBytes", "WriteMemWords", "EemDataExchange", "ReadAllCpuRegs", "WriteAllCpuRegs",
                           "Psa", "ExecuteFunclet", "GetDcoFrequency", "IsJtagFuseBlown", "ResetStaticGlobalVars"};
    std::map<int, std::string> ids;
    for (const char* name : names) EXPECT_TRUE(ids.emplace(ez_fet_macro_id(name), name).second) << name;
    EXPECT_EQ(ids.count(-1), 0u);
    const std::string text = vendor_header("hal.h");
    if (text.empty()) GTEST_SKIP() << "KESTO_VENDOR_SOURCE names no copy of the vendor's debug stack";
    std::map<std::string, int> listed{{"Zero", 0}};
    const std::size_t last = text.find("#define MACRO(x)");
    for (std::size_t at = text.find("#define MACRO_LIST"); (at = text.find("MACRO(", at)) < last; at += 6)
        listed.emplace(text.substr(at + 6, text.find(')', at) - at - 6), static_cast<int>(listed.size()));
    for (const auto& [id, name] : ids) EXPECT_EQ(listed.at(name), id) << name;
}

// The library reads each word of the record, and of its firmware images, at an even place.
TEST(EzFetVersionRecord, WordsAtEvenPlaces) {
    for (const EzFetVersionWord& w : EZFET_VERSION_WORDS) EXPECT_EQ((w.offset | w.image_address) % 2, 0u) << w.field;
}

}  // namespace
