// Stand-in until the engine lands: an adapter that answers nothing.
#include "ezfet/ez_fet.h"
struct EzFet::Engine {};
EzFet::EzFet(Target&, Board&, const EzFetFaults&) : engine_(std::make_unique<Engine>()) {}
EzFet::~EzFet() = default;
void EzFet::receive(const std::uint8_t*, std::size_t, std::uint64_t) {}
std::size_t EzFet::take(std::uint8_t*, std::size_t) { return 0; }
std::size_t EzFet::pending() const { return 0; }
bool EzFet::silent() const { return false; }
long EzFet::executes() const { return 0; }
