#include "serial/rfc2217.h"

namespace telnet {

void Escape(const uint8_t* data, size_t count, std::vector<uint8_t>& out) {
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(data[i]);
        if (data[i] == IAC) out.push_back(IAC);
    }
}

void Decoder::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
                   std::vector<Event>& events) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
            case State::Data:
                if (b == IAC)
                    state_ = State::Iac;
                else
                    data.push_back(b);
                break;
            case State::Iac:
                if (b == IAC) {
                    data.push_back(IAC);
                    state_ = State::Data;
                } else if (b >= WILL) {
                    verb_ = b;
                    state_ = State::Option;
                } else if (b == SB) {
                    sub_.clear();
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // NOP, GA and the like carry nothing for us
                }
                break;
            case State::Option: {
                static const Event::Kind kinds[] = {Event::Kind::Will, Event::Kind::Wont,
                                                    Event::Kind::Do, Event::Kind::Dont};
                events.push_back({kinds[verb_ - WILL], b, {}});
                state_ = State::Data;
                break;
            }
            case State::Sub:
                if (b == IAC)
                    state_ = State::SubIac;
                else if (sub_.size() < 4096)  // a runaway subnegotiation does not grow without end
                    sub_.push_back(b);
                break;
            case State::SubIac:
                if (b == SE) {
                    if (!sub_.empty()) {
                        Event e{Event::Kind::Sub, sub_.front(), {sub_.begin() + 1, sub_.end()}};
                        events.push_back(std::move(e));
                    }
                    sub_.clear();
                    state_ = State::Data;
                } else {
                    // IAC IAC is a 0xFF of the value; anything else is a
                    // broken subnegotiation, kept as far as it went.
                    if (b == IAC) sub_.push_back(IAC);
                    state_ = b == IAC ? State::Sub : State::Data;
                }
                break;
        }
    }
}

namespace {

void Say(std::vector<uint8_t>& out, uint8_t verb, uint8_t option) {
    out.insert(out.end(), {IAC, verb, option});
}

// Options we take on either side; any other is refused.
bool WeDo(uint8_t option) { return option == OptBinary || option == OptComPort; }
bool TheyMay(uint8_t option) { return option == OptBinary || option == OptSuppressGoAhead; }

}  // namespace

std::vector<uint8_t> Options::Start() {
    std::vector<uint8_t> out;
    Say(out, WILL, OptBinary);
    local_[OptBinary].asked = true;
    Say(out, DO, OptBinary);
    remote_[OptBinary].asked = true;
    Say(out, WILL, OptComPort);
    local_[OptComPort].asked = true;
    return out;
}

std::vector<uint8_t> Options::Answer(const Event& e) {
    std::vector<uint8_t> out;
    const uint8_t o = e.option;
    switch (e.kind) {
        case Event::Kind::Do: {
            Side& s = local_[o];
            if (!WeDo(o)) {
                Say(out, WONT, o);
                break;
            }
            if (!s.on && !s.asked) Say(out, WILL, o);
            s.on = true;
            s.asked = false;
            break;
        }
        case Event::Kind::Dont: {
            Side& s = local_[o];
            if (o == OptComPort) comPortRefused_ = true;
            if (s.on && !s.asked) Say(out, WONT, o);
            s.on = false;
            s.asked = false;
            break;
        }
        case Event::Kind::Will: {
            Side& s = remote_[o];
            if (!TheyMay(o)) {
                Say(out, DONT, o);
                break;
            }
            if (!s.on && !s.asked) Say(out, DO, o);
            s.on = true;
            s.asked = false;
            break;
        }
        case Event::Kind::Wont: {
            Side& s = remote_[o];
            if (s.on && !s.asked) Say(out, DONT, o);
            s.on = false;
            s.asked = false;
            break;
        }
        case Event::Kind::Sub:
            break;
    }
    return out;
}

std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> out = {IAC, SB, OptComPort};
    Escape(&command, 1, out);
    Escape(value.data(), value.size(), out);
    out.insert(out.end(), {IAC, SE});
    return out;
}

uint8_t DataSizeValue(TByteSize size) { return static_cast<uint8_t>(5 + static_cast<int>(size)); }

uint8_t ParityValue(TParity parity) {
    switch (parity) {
        case TParity::None:
            return 1;
        case TParity::Odd:
            return 2;
        case TParity::Even:
            return 3;
        case TParity::Mark:
            return 4;
        case TParity::Space:
            return 5;
    }
    return 1;
}

uint8_t StopSizeValue(TStopBits stop) {
    switch (stop) {
        case TStopBits::_1:
            return 1;
        case TStopBits::_2:
            return 2;
        case TStopBits::_1_5:
            return 3;
    }
    return 1;
}

std::string ParityName(uint8_t value) {
    static const char* const names[] = {"none", "odd", "even", "mark", "space"};
    return value >= 1 && value <= 5 ? names[value - 1] : "parity " + std::to_string(value);
}

std::vector<uint8_t> SetLineCommands(uint32_t baud, TByteSize size, TParity parity,
                                     TStopBits stop) {
    std::vector<uint8_t> out = ComPortCommand(
        SetBaudRate, {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                      static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)});
    for (const auto& [command, value] :
         {std::pair{SetDataSize, DataSizeValue(size)}, std::pair{SetParity, ParityValue(parity)},
          std::pair{SetStopSize, StopSizeValue(stop)}}) {
        const std::vector<uint8_t> one = ComPortCommand(command, {value});
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

// 3: the server's receive and transmit buffers both.
std::vector<uint8_t> PurgeBoth() { return ComPortCommand(PurgeData, {3}); }

std::optional<ComPortReply> DecodeComPortReply(const Event& e) {
    if (e.kind != Event::Kind::Sub || e.option != OptComPort || e.payload.empty())
        return std::nullopt;
    const uint8_t code = e.payload[0];
    // Only the answers to what we send; 106 and 107 are the server's own notifications.
    if (code != ServerOffset + PurgeData &&
        (code < ServerOffset + SetBaudRate || code > ServerOffset + SetStopSize))
        return std::nullopt;
    ComPortReply r;
    r.command = static_cast<uint8_t>(code - ServerOffset);
    const size_t n = e.payload.size() - 1;
    if (r.command == SetBaudRate) {
        if (n != 4) return std::nullopt;
        for (size_t i = 1; i <= 4; ++i) r.value = (r.value << 8) | e.payload[i];
    } else {
        if (n != 1) return std::nullopt;
        r.value = e.payload[1];
    }
    return r;
}

}  // namespace telnet
