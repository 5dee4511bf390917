// HART master frames as the tool sends them through the module's transparent
// mode: preamble, delimiter, address, command, byte count, data, checksum
// (HART field communication protocol, data link layer). Values in, bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

using HartBytes = std::vector<uint8_t>;

// The identity of the instrument, kept from its last command 0 reply; all
// zero until one arrives.
struct HartIdentity {
    uint8_t manufacturer = 0;
    uint8_t deviceType = 0;
    std::array<uint8_t, 3> deviceId{};
    // The preambles command 0 said the instrument needs; the tool's own frames
    // to it carry that many. 0: not known, the default is sent.
    uint8_t preambles = 0;
};

// Master bit of the address byte: primary master 0x80, secondary 0x00.
inline constexpr uint8_t kPrimaryMaster = 0x80;
inline constexpr uint8_t kSecondaryMaster = 0x00;

// Largest typed frame body.
inline constexpr int kMaxTypedBytes = 15;

// The transmit area holds 504 bytes; the longest frame (15 typed bytes) needs
// P + 17 of them, so the preamble length P is limited to 0..487.
inline constexpr int kMaxPreambleLength = 487;
inline constexpr const char* kPreambleRangeMessage = "Preamble length must be 0 to 487";
inline constexpr bool PreambleLengthOk(int p) { return p >= 0 && p <= kMaxPreambleLength; }

// Longitudinal parity: XOR of every byte from the delimiter up to the last
// data byte; the preamble never enters it.
uint8_t HartChecksum(std::span<const uint8_t> bytes);

// Five-byte long address. Only the low six bits of the manufacturer code
// belong in the first byte: bit 7 is the master bit and bit 6 the burst-mode
// bit, which a master never sets.
std::array<uint8_t, 5> HartLongAddress(uint8_t masterBit, const HartIdentity& identity);

// Command 0 (read unique identifier) in a short frame to `pollingAddress`;
// the address byte is masterBit + pollingAddress, kept to eight bits.
HartBytes HartCommand0Frame(int preamble, uint8_t masterBit, int pollingAddress);

// Any command in a long frame to the instrument of `identity`, with `data`.
HartBytes HartLongFrame(int preamble, uint8_t masterBit, const HartIdentity& identity,
                        uint8_t command, std::span<const uint8_t> data = {});

// Command 3 (read dynamic variables and loop current) in a long frame.
HartBytes HartCommand3Frame(int preamble, uint8_t masterBit, const HartIdentity& identity);

// Command 6 (write polling address) in a long frame, one data byte.
HartBytes HartCommand6Frame(int preamble, uint8_t masterBit, const HartIdentity& identity,
                            int newPollingAddress);

// A frame body typed by the engineer (delimiter onward), sent as it stands
// with the preamble before it and its checksum after it.
HartBytes HartTypedFrame(int preamble, std::span<const uint8_t> body);
