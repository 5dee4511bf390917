#include "hart/frames.h"

namespace {

// P + 1 preamble bytes, then the body, then the body's checksum.
HartBytes Frame(int preamble, std::span<const uint8_t> body) {
    HartBytes frame(static_cast<size_t>(preamble < 0 ? 0 : preamble) + 1, 0xFF);
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(HartChecksum(body));
    return frame;
}

}  // namespace

HartBytes HartLongFrame(int preamble, uint8_t masterBit, const HartIdentity& identity,
                        uint8_t command, std::span<const uint8_t> data) {
    HartBytes body{0x82};
    const auto address = HartLongAddress(masterBit, identity);
    body.insert(body.end(), address.begin(), address.end());
    body.push_back(command);
    body.push_back(static_cast<uint8_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    return Frame(preamble, body);
}

uint8_t HartChecksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum ^= b;
    return sum;
}

std::array<uint8_t, 5> HartLongAddress(uint8_t masterBit, const HartIdentity& identity) {
    return {static_cast<uint8_t>(masterBit | (identity.manufacturer & 0x3F)), identity.deviceType,
            identity.deviceId[0], identity.deviceId[1], identity.deviceId[2]};
}

HartBytes HartCommand0Frame(int preamble, uint8_t masterBit, int pollingAddress) {
    const uint8_t body[] = {0x02, static_cast<uint8_t>(masterBit + pollingAddress), 0x00, 0x00};
    return Frame(preamble, body);
}

HartBytes HartCommand3Frame(int preamble, uint8_t masterBit, const HartIdentity& identity) {
    return HartLongFrame(preamble, masterBit, identity, 0x03, {});
}

HartBytes HartCommand6Frame(int preamble, uint8_t masterBit, const HartIdentity& identity,
                            int newPollingAddress) {
    const uint8_t data[] = {static_cast<uint8_t>(newPollingAddress)};
    return HartLongFrame(preamble, masterBit, identity, 0x06, data);
}

HartBytes HartTypedFrame(int preamble, std::span<const uint8_t> body) {
    return Frame(preamble, body);
}
