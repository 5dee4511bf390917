// The Telnet layer of a serial device server's RFC 2217 connection, without a
// socket: the data stream with its IAC bytes doubled and undoubled, the
// option negotiation (RFC 854/856) and the COM-PORT-OPTION's subnegotiations
// (RFC 2217). Pure, so it is testable by tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/tcomm.h"

namespace telnet {

enum : uint8_t {
    SE = 240,
    SB = 250,
    WILL = 251,
    WONT = 252,
    DO = 253,
    DONT = 254,
    IAC = 255,
};

enum : uint8_t { OptBinary = 0, OptEcho = 1, OptSuppressGoAhead = 3, OptComPort = 44 };

// The COM-PORT-OPTION's commands from the client; the server's answer to
// each carries the code plus 100.
enum : uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    PurgeData = 12,
    ServerOffset = 100,
};

// What a received stream held besides data.
struct Event {
    enum class Kind { Will, Wont, Do, Dont, Sub } kind = Kind::Will;
    uint8_t option = 0;
    std::vector<uint8_t> payload;  // Sub only, undoubled
    bool operator==(const Event&) const = default;
};

// Every 0xFF of `data` doubled, appended to `out`.
void Escape(const uint8_t* data, size_t count, std::vector<uint8_t>& out);

// Splits what arrives into data and events; a sequence cut between two reads
// is kept until its end comes.
class Decoder {
public:
    void Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
              std::vector<Event>& events);

private:
    enum class State { Data, Iac, Option, Sub, SubIac } state_ = State::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
};

// Which options are on, each way, and the answers a request gets: only a
// change is answered, so two ends never loop on the same request.
class Options {
public:
    // What we ask for at the start: binary both ways, the COM-PORT-OPTION.
    std::vector<uint8_t> Start();
    // The reply to a received Will/Wont/Do/Dont (empty: nothing to say).
    std::vector<uint8_t> Answer(const Event& e);

    bool BinaryOut() const { return local_[OptBinary].on; }
    bool BinaryIn() const { return remote_[OptBinary].on; }
    bool ComPort() const { return local_[OptComPort].on; }
    // The server said DONT to the COM-PORT-OPTION: it cannot set the line.
    bool ComPortRefused() const { return comPortRefused_; }

private:
    struct Side {
        bool on = false;
        bool asked = false;  // our request is out: its answer needs none
    };
    // Our side: what we do (WILL/WONT); theirs: what they do (DO/DONT).
    Side local_[256];
    Side remote_[256];
    bool comPortRefused_ = false;
};

// The COM-PORT-OPTION subnegotiations that set a line, IAC-escaped.
std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value);
std::vector<uint8_t> SetLineCommands(uint32_t baud, TByteSize size, TParity parity, TStopBits stop);
std::vector<uint8_t> PurgeBoth();

// A server's answer to one of our settings: the command it answers and the
// value it runs at.
struct ComPortReply {
    uint8_t command = 0;  // the client's code (the server's minus 100)
    uint32_t value = 0;   // the baud rate, or the one-byte value
    bool operator==(const ComPortReply&) const = default;
};
// nullopt: not a reply to a setting (a notification, another option).
std::optional<ComPortReply> DecodeComPortReply(const Event& e);

// RFC 2217's values for our settings, and back.
uint8_t DataSizeValue(TByteSize size);
uint8_t ParityValue(TParity parity);
uint8_t StopSizeValue(TStopBits stop);
std::string ParityName(uint8_t value);

}  // namespace telnet
