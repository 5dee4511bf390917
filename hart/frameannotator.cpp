#include "hart/frameannotator.h"

#include <string>

#include "hart/frames.h"
#include "hart/framestart.h"
#include "hart/status.h"
#include "protocol/hexbytes.h"

namespace {

// Frame types of the delimiter's low three bits.
constexpr uint8_t kBurstFrame = 1;   // BACK: slave in burst mode
constexpr uint8_t kMasterFrame = 2;  // STX: master to slave
constexpr uint8_t kSlaveFrame = 6;   // ACK: slave to master

struct Named {
    int value;
    const char* text;
};

// Command names of the universal and common practice commands an engineer
// meets most often.
constexpr Named kCommands[] = {
    {0, "read unique identifier"},
    {1, "read primary variable"},
    {2, "read loop current and percent of range"},
    {3, "read dynamic variables and loop current"},
    {6, "write polling address"},
    {7, "read loop configuration"},
    {8, "read dynamic variable classifications"},
    {9, "read device variables with status"},
    {11, "read unique identifier by tag"},
    {12, "read message"},
    {13, "read tag, descriptor, date"},
    {14, "read primary variable transducer information"},
    {15, "read device information"},
    {16, "read final assembly number"},
    {17, "write message"},
    {18, "write tag, descriptor, date"},
    {20, "read long tag"},
    {35, "write primary variable range values"},
    {38, "reset configuration changed flag"},
    {40, "enter/exit fixed current mode"},
    {48, "read additional device status"},
};

template <size_t N>
const char* Find(const Named (&table)[N], int value) {
    for (const Named& entry : table) {
        if (entry.value == value) return entry.text;
    }
    return nullptr;
}

std::string Address(uint8_t delimiter, std::span<const uint8_t> address) {
    const char* master = (address[0] & 0x80) ? "primary master" : "secondary master";
    const char* burst = (address[0] & 0x40) ? ", burst mode" : "";
    if (!(delimiter & 0x80))
        return "short address " + std::to_string(address[0] & 0x3F) + " (" + master + burst + ")";
    return "long address " + HexText(address.first(5)) + ": manufacturer bits " +
           std::to_string(address[0] & 0x3F) + ", device type " + std::to_string(address[1]) +
           ", device id " + std::to_string(address[2] * 65536u + address[3] * 256u + address[4]) +
           " (" + master + burst + ")";
}

}  // namespace

std::optional<FrameNotes> AnnotateHartFrame(std::span<const uint8_t> bytes) {
    const auto frameStart = FindHartFrameStart(bytes);
    if (!frameStart) return std::nullopt;
    const size_t leading = frameStart->LeadingBytes();
    size_t at = frameStart->delimiterAt;

    FrameNotes notes;
    auto note = [&](std::string text, bool problem = false) {
        notes.push_back({std::move(text), problem});
    };
    if (leading > 0) note(std::to_string(leading) + " bytes before the preamble", true);
    const size_t preambles = frameStart->Preambles();
    // Masters send at least two preamble bytes for the instrument to lock on.
    note(std::to_string(preambles) + " preamble bytes", preambles < 2);

    const size_t start = at;
    const uint8_t delimiter = bytes[at++];
    const uint8_t type = delimiter & 0x07;
    const bool slave = type == kSlaveFrame || type == kBurstFrame;
    const char* typeText = type == kMasterFrame  ? "master to slave"
                           : type == kSlaveFrame ? "slave to master"
                           : type == kBurstFrame ? "burst frame"
                                                 : nullptr;
    const size_t addressSize = (delimiter & 0x80) ? 5 : 1;
    const size_t expansion = (delimiter >> 5) & 0x03;
    std::string delimiterText = "delimiter " + ByteToHex(delimiter) + ": ";
    delimiterText += typeText ? typeText : "unknown frame type";
    delimiterText += (delimiter & 0x80) ? ", long frame" : ", short frame";
    if (expansion) delimiterText += ", " + std::to_string(expansion) + " expansion bytes";
    note(delimiterText, typeText == nullptr);

    const size_t headerEnd = at + addressSize + expansion + 2;  // command and byte count
    if (headerEnd > bytes.size()) {
        note("frame ends inside its header", true);
        return notes;
    }
    note(Address(delimiter, bytes.subspan(at, addressSize)));
    at += addressSize + expansion;
    const uint8_t command = bytes[at++];
    const char* commandName = Find(kCommands, command);
    note("command " + std::to_string(command) +
         (commandName ? std::string(" ") + commandName : ""));
    const size_t byteCount = bytes[at++];
    const size_t follows = bytes.size() - at;  // data and checksum
    note("byte count " + std::to_string(byteCount) +
             (follows == byteCount + 1 ? std::string()
                                       : ", but " + std::to_string(follows) + " bytes follow it (" +
                                             std::to_string(byteCount + 1) + " with the checksum)"),
         follows != byteCount + 1);

    if (slave && byteCount >= 2 && follows >= 2) {
        note("response code " + HartResponseCodeText(bytes[at], command), bytes[at] & 0x80);
        note("device status " + HartDeviceStatusText(bytes[at + 1]), bytes[at + 1] & 0x80);
    } else if (slave) {
        note("no status bytes", true);
    }

    if (follows < byteCount + 1) {
        note("checksum missing: the frame ends early", true);
        return notes;
    }
    const uint8_t expected = HartChecksum(bytes.subspan(start, at + byteCount - start));
    const uint8_t got = bytes[at + byteCount];
    if (got == expected)
        note("checksum " + ByteToHex(got) + " OK");
    else
        note("checksum " + ByteToHex(got) + " wrong, expected " + ByteToHex(expected), true);
    return notes;
}
