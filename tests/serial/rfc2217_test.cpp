// The Telnet layer of an RFC 2217 connection, without a socket.
#include "serial/rfc2217.h"

#include <gtest/gtest.h>

#include "serial/netport.h"

using namespace telnet;
using Bytes = std::vector<uint8_t>;

namespace {

// The stream fed in pieces cut at `cuts`, data and events gathered.
std::pair<Bytes, std::vector<Event>> Decode(const Bytes& stream, std::vector<size_t> cuts) {
    Decoder d;
    Bytes data;
    std::vector<Event> events;
    size_t at = 0;
    cuts.push_back(stream.size());
    for (size_t cut : cuts) {
        d.Feed(stream.data() + at, cut - at, data, events);
        at = cut;
    }
    return {data, events};
}

}  // namespace

TEST(Rfc2217, EscapingDoublesEveryIacAndTheDecoderUndoesItAcrossAnyCut) {
    const Bytes frame = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x82, 0x00, 0xFF, 0x01};  // HART preambles
    Bytes wire;
    Escape(frame.data(), frame.size(), wire);
    EXPECT_EQ(wire.size(), frame.size() + 6);
    for (size_t cut = 0; cut <= wire.size(); ++cut) {
        const auto [data, events] = Decode(wire, {cut});
        EXPECT_EQ(data, frame) << "cut at " << cut;
        EXPECT_TRUE(events.empty());
    }
}

TEST(Rfc2217, DecoderSeparatesDataFromCommandsSplitAnywhere) {
    const struct {
        const char* what;
        Bytes stream;
        Bytes data;
        std::vector<Event> events;
    } cases[] = {
        {"negotiation between data",
         {'a', IAC, WILL, OptBinary, 'b'},
         {'a', 'b'},
         {{Event::Kind::Will, OptBinary, {}}}},
        {"each verb",
         {IAC, DO, 44, IAC, DONT, 1, IAC, WONT, 3},
         {},
         {{Event::Kind::Do, 44, {}}, {Event::Kind::Dont, 1, {}}, {Event::Kind::Wont, 3, {}}}},
        {"a baud rate reply with a doubled 0xFF in its value",
         {'x', IAC, SB, 44, 101, 0x00, 0x00, IAC, IAC, 0x00, IAC, SE, 'y'},
         {'x', 'y'},
         {{Event::Kind::Sub, 44, {101, 0x00, 0x00, 0xFF, 0x00}}}},
        {"NOP and GA carry nothing", {IAC, 241, 'z', IAC, 249}, {'z'}, {}},
        {"a doubled IAC right after a command",
         {IAC, DO, 0, IAC, IAC},
         {0xFF},
         {{Event::Kind::Do, 0, {}}}},
    };
    for (const auto& c : cases) {
        for (size_t a = 0; a <= c.stream.size(); ++a) {
            for (size_t b = a; b <= c.stream.size(); ++b) {
                const auto [data, events] = Decode(c.stream, {a, b});
                EXPECT_EQ(data, c.data) << c.what << ", cut at " << a << " and " << b;
                EXPECT_EQ(events, c.events) << c.what << ", cut at " << a << " and " << b;
            }
        }
    }
}

TEST(Rfc2217, NegotiationAnswersOnlyChangesAndRefusesWhatWeDoNotSpeak) {
    Options o;
    EXPECT_EQ(o.Start(), (Bytes{IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 44}));
    const struct {
        Event::Kind kind;
        uint8_t option;
        Bytes answer;
    } steps[] = {
        {Event::Kind::Do, OptBinary, {}},                    // acknowledges our WILL
        {Event::Kind::Will, OptBinary, {}},                  // acknowledges our DO
        {Event::Kind::Do, OptComPort, {}},                   // acknowledges our WILL
        {Event::Kind::Do, OptBinary, {}},                    // already on: no loop
        {Event::Kind::Will, OptEcho, {IAC, DONT, OptEcho}},  // an echo would come back as a reply
        {Event::Kind::Will, OptSuppressGoAhead, {IAC, DO, OptSuppressGoAhead}},
        {Event::Kind::Will, OptSuppressGoAhead, {}},
        {Event::Kind::Do, 24, {IAC, WONT, 24}},  // terminal type: not ours
        {Event::Kind::Dont, 24, {}},             // already off
        {Event::Kind::Wont, OptSuppressGoAhead, {IAC, DONT, OptSuppressGoAhead}},
    };
    for (const auto& s : steps)
        EXPECT_EQ(o.Answer({s.kind, s.option, {}}), s.answer)
            << static_cast<int>(s.kind) << " " << int(s.option);
    EXPECT_TRUE(o.BinaryOut());
    EXPECT_TRUE(o.BinaryIn());
    EXPECT_TRUE(o.ComPort());
    EXPECT_FALSE(o.ComPortRefused());

    Options refused;
    refused.Start();
    EXPECT_EQ(refused.Answer({Event::Kind::Dont, OptComPort, {}}), Bytes{});
    EXPECT_TRUE(refused.ComPortRefused());
    EXPECT_FALSE(refused.ComPort());
}

TEST(Rfc2217, ComPortCommandsEncodeAndTheServersRepliesDecode) {
    EXPECT_EQ(SetLineCommands(19200, TByteSize::_8, TParity::Even, TStopBits::_1),
              (Bytes{IAC, SB, 44, 1, 0x00, 0x00, 0x4B, 0x00, IAC, SE,  //
                     IAC, SB, 44, 2, 8,    IAC,  SE,                   //
                     IAC, SB, 44, 3, 3,    IAC,  SE,                   //
                     IAC, SB, 44, 4, 1,    IAC,  SE}));
    // A value byte of 0xFF is doubled inside the subnegotiation.
    EXPECT_EQ(ComPortCommand(SetBaudRate, {0x00, 0x00, 0xFF, 0x00}),
              (Bytes{IAC, SB, 44, 1, 0x00, 0x00, IAC, IAC, 0x00, IAC, SE}));
    EXPECT_EQ(PurgeBoth(), (Bytes{IAC, SB, 44, 12, 3, IAC, SE}));

    const struct {
        Bytes payload;
        std::optional<ComPortReply> reply;
    } cases[] = {
        {{101, 0x00, 0x00, 0x25, 0x80}, ComPortReply{SetBaudRate, 9600}},
        {{102, 7}, ComPortReply{SetDataSize, 7}},
        {{103, 2}, ComPortReply{SetParity, 2}},
        {{104, 3}, ComPortReply{SetStopSize, 3}},
        {{112, 3}, ComPortReply{PurgeData, 3}},
        {{101, 0x00, 0x25}, std::nullopt},  // cut short
        {{106, 0x31}, std::nullopt},  // NOTIFY-LINESTATE and the like: not an answer to a setting
        {{1, 0, 0, 0x25, 0x80}, std::nullopt},  // the client's own code
        {{}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeComPortReply({Event::Kind::Sub, OptComPort, c.payload}), c.reply)
            << int(c.payload.empty() ? 0 : c.payload[0]);
    EXPECT_EQ(DecodeComPortReply({Event::Kind::Sub, 24, {101, 0, 0, 0x25, 0x80}}), std::nullopt);
}

TEST(Rfc2217, NetworkPortNames) {
    const struct {
        const char* name;
        bool valid;
        bool rfc2217;
        const char* host;
        const char* service;
    } cases[] = {
        {"rfc2217://127.0.0.1:2000", true, true, "127.0.0.1", "2000"},
        {"socket://plant-gw.local:4001", true, false, "plant-gw.local", "4001"},
        {"rfc2217://[::1]:2217", true, true, "::1", "2217"},
        {"rfc2217://host", false},
        {"rfc2217://:2000", false},
        {"socket://host:0", false},
        {"socket://host:65536", false},
        {"socket://host:20a0", false},
        {"socket://::1:2000", false},
        {"rfc2217://host:2000/?logging=debug", false},
        {"/dev/ttyUSB0", false},
    };
    for (const auto& c : cases) {
        const auto n = ParseNetPortName(c.name);
        ASSERT_EQ(n.has_value(), c.valid) << c.name;
        if (!n) continue;
        EXPECT_EQ(n->rfc2217, c.rfc2217) << c.name;
        EXPECT_EQ(n->host, c.host) << c.name;
        EXPECT_EQ(n->service, c.service) << c.name;
    }
}
