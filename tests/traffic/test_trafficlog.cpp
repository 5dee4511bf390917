// Traffic log: statistics of a scripted session, timeout causes, rows and
// the saved forms.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hart/frames.h"
#include "modbus/crc16.h"
#include "modbus/request.h"
#include "exchange/csvtext.h"
#include "traffic/trafficfile.h"
#include "traffic/trafficformat.h"
#include "traffic/trafficlog.h"

namespace {

using B = std::vector<uint8_t>;

const TrafficTime kStart = TrafficTime::Now();

TrafficTime At(int ms) {
    return {kStart.wall + std::chrono::milliseconds(ms),
            kStart.steady + std::chrono::milliseconds(ms)};
}

B Bytes(const std::string& text) { return B(text.begin(), text.end()); }

const TrafficLine kLine{"/dev/ttyUSB0", 9600, 'N', 8, "1", 400};

// A command 0 reply naming manufacturer 0x5A, device type 0x0B, id 01 02 03.
B Command0Reply() {
    const B body{0x06, 0x80, 0x00, 0x0E, 0x00, 0x00, 0xFE, 0x5A, 0x0B,
                 0x05, 0x05, 0x01, 0x01, 0x08, 0x00, 0x01, 0x02, 0x03};
    B reply{0xFF, 0xFF, 0xFF};
    reply.insert(reply.end(), body.begin(), body.end());
    reply.push_back(HartChecksum(body));
    return reply;
}

// Plays the link's part: keeps the record of the request the log is handed
// with each event, as the link does.
class Feed {
public:
    void Opened(const TrafficLine& line, TrafficTime t) {
        open_ = true;
        log_.Opened(line, t);
    }
    void Sent(std::span<const uint8_t> frame, TrafficTime t) {
        frame_.assign(frame.begin(), frame.end());
        sentAt_ = t;
    }
    void Requested(int code, TrafficTime) {
        request_ = ExchangeRecord{};
        request_->code = code;
        request_->frame = frame_;
        request_->sent = sentAt_.steady;
        request_->portOpen = open_;
        log_.Sent(*request_, sentAt_);
    }
    void Received(const B& bytes, TrafficTime t) {
        log_.Received(bytes, request_ ? &*request_ : nullptr, t);
        if (!request_) return;
        request_->answered = true;
        request_->bytesSince += bytes.size();
        request_->received.insert(request_->received.end(), bytes.begin(), bytes.end());
    }
    void TimedOut(TrafficTime t) {
        if (request_) request_->timedOut = true;
        log_.TimedOut(request_ ? &*request_ : nullptr, t);
    }
    void Retried(int attempt, int tries, std::string_view why, TrafficTime t) {
        log_.Retried(request_ ? &*request_ : nullptr, attempt, tries, why, t);
    }
    void Echoed(const B& echo, EchoSplit::Verdict how, TrafficTime t) {
        log_.Echoed(echo, request_ ? &*request_ : nullptr, how, t);
    }
    void HungUp(TrafficTime t) { log_.HungUp(t); }
    void Dropped(size_t count, size_t waiting, TrafficTime t) { log_.Dropped(count, waiting, t); }
    void Clear() { log_.Clear(); }
    const TrafficStats& stats() const { return log_.stats(); }
    const std::deque<TrafficEvent>& events() const { return log_.events(); }
    operator const TrafficLog&() const { return log_; }

private:
    TrafficLog log_;
    bool open_ = false;
    B frame_;
    TrafficTime sentAt_;
    std::optional<ExchangeRecord> request_;
};

void Exchange(Feed& log, int code, const B& frame, int sentMs, int replyMs, const B& reply) {
    log.Sent(frame, At(sentMs));
    log.Requested(code, At(sentMs));
    log.Received(reply, At(replyMs));
}

TEST(TrafficLog, StatisticsOfAScriptedSession) {
    Feed log;
    log.Opened(kLine, At(0));
    const B query = Bytes("QQQ#QV#");
    // The port delivers a block 400 ms after its last byte; the 7-byte query
    // took 7 ms on the line, a 7-byte reply 6 ms after its first byte, a
    // 22-byte one 21 ms.
    const B version = Bytes("QV:1.0#");
    Exchange(log, 201, query, 0, 450, version);
    Exchange(log, 201, query, 1000, 1500, version);
    Exchange(log, 201, query, 2000, 2430, version);
    Exchange(log, 201, query, 3000, 3500, Bytes("QV:TAVRIX 1.0 2026-12#"));
    log.Received(B{'V'}, At(3600));  // a further block: no second reply

    const B command3 = HartCommand3Frame(5, kPrimaryMaster, {});
    log.Sent(command3, At(4000));
    log.Requested(103, At(4000));
    log.TimedOut(At(5000));
    log.Retried(2, 3, "no reply", At(5000));
    log.Received(Command0Reply(), At(5500));  // late
    log.HungUp(At(6000));
    log.Dropped(2, 25, At(6100));

    const RequestKindStats* query201 = log.stats().Find(201);
    ASSERT_TRUE(query201);
    EXPECT_EQ(query201->requests, 4u);
    EXPECT_EQ(query201->replies, 4u);
    EXPECT_EQ(query201->Min(), 17);
    EXPECT_EQ(query201->Median(), 37);
    EXPECT_EQ(query201->Max(), 87);
    const std::vector<std::string> expected = {
        "Communication Query: 4 requests, 4 good, 0 wrong, 0 exceptions, 0 timeouts, "
        "response min/median/max 17/37/87 ms",
        "HART Command 3: 1 request, 0 good, 0 wrong, 0 exceptions, 1 timeout, 1 late, 1 retry",
        "Total: 5 requests, 4 good, 0 wrong, 0 exceptions, 1 timeout, 1 hang-up, 1 retry, 2 "
        "blocks not handled",
    };
    EXPECT_EQ(FormatTrafficStats(log.stats()), expected);

    // A retry is a row of its own, after what made it.
    const TrafficRow retry = TrafficRowAt(log, log.events().size() - 4);
    EXPECT_EQ(TrafficRow(retry.begin() + 1, retry.end()),
              (TrafficRow{"1000", "RETRY", "HART Command 3", "retry 2 of 3: no reply", "", "", "",
                          "HART Command 3 goes out again"}));

    // Replies show their time since the request.
    const TrafficEvent& late = log.events()[log.events().size() - 3];
    EXPECT_EQ(late.sinceRequestMs, 1500);
    EXPECT_EQ(TrafficRowAt(log, log.events().size() - 3)[1], "1500");
    EXPECT_EQ(log.events().back().context,
              (FrameNotes{{"2 blocks received but not handled: 25 newer ones were already "
                           "waiting their turn",
                           true}}));

    log.Clear();
    EXPECT_TRUE(log.events().empty());
    EXPECT_EQ(FormatTrafficStats(log.stats()),
              std::vector<std::string>{
                  "Total: 0 requests, 0 good, 0 wrong, 0 exceptions, 0 timeouts, 0 hang-ups"});
}

// The notes of the timeout that ends `script`.
std::string TimeoutNotes(void (*script)(Feed&)) {
    Feed log;
    script(log);
    log.TimedOut(At(10000));
    const TrafficEvent& timeout = log.events().back();
    EXPECT_EQ(timeout.kind, TrafficKind::Timeout);
    std::string text;
    for (const FrameNote& note : timeout.context)
        text += (note.problem ? "! " : "") + note.text + "\n";
    return text;
}

TEST(TrafficLog, TimeoutSaysWhatWasSentAndTheLikelyCause) {
    const struct {
        const char* name;
        void (*script)(Feed&);
        std::string expected;
    } cases[] = {
        {"port closed",
         [](Feed& log) {
             log.Sent(Bytes("QQQ#QV#"), At(0));
             log.Requested(201, At(0));
         },
         "no reply to Communication Query (7 bytes sent)\n"
         "! the port was closed when the request was made\n"},
        {"nothing received, MODBUS slave",
         [](Feed& log) {
             log.Opened(kLine, At(0));
             const ModbusRequest request = ReadHoldingRegistersRequest(7, 0, 10);
             log.Sent(request, At(0));
             log.Requested(302, At(0));
         },
         "no reply to MODBUS Test (8 bytes sent)\n"
         "! nothing received at all: check the cable, the module's power and the line settings "
         "(/dev/ttyUSB0 9600 8N1)\n"
         "MODBUS slave address 7: the module answers only its own slave address\n"},
        {"a prober on the device",
         [](Feed& log) {
             TrafficLine line = kLine;
             line.prober = "ModemManager probes this device and may have taken the reply.";
             log.Opened(line, At(0));
             log.Sent(Bytes("QQQ#QV#"), At(0));
             log.Requested(201, At(0));
         },
         "no reply to Communication Query (7 bytes sent)\n"
         "! nothing received at all: check the cable, the module's power and the line settings "
         "(/dev/ttyUSB0 9600 8N1)\n"
         "! ModemManager probes this device and may have taken the reply.\n"},
        {"device hung up while waiting",
         [](Feed& log) {
             log.Opened(kLine, At(0));
             const ModbusRequest request = ReadHoldingRegistersRequest(7, 0, 10);
             log.Sent(request, At(0));
             log.Requested(302, At(0));
             log.HungUp(At(100));
         },
         "no reply to MODBUS Test (8 bytes sent)\n"
         "! the port closed or the device hung up after the request: no reply could come\n"
         "MODBUS slave address 7: the module answers only its own slave address\n"},
        {"HART long frame before any identity",
         [](Feed& log) {
             log.Opened(kLine, At(0));
             log.Sent(HartCommand3Frame(5, kPrimaryMaster, {}), At(0));
             log.Requested(103, At(0));
         },
         "no reply to HART Command 3 (15 bytes sent)\n"
         "! nothing received at all: check the cable, the module's power and the line settings "
         "(/dev/ttyUSB0 9600 8N1)\n"
         "! long address 80 00 00 00 00 is all zero: no command 0 reply was read this session; "
         "run the HART identity query first\n"},
        {"HART long frame after the identity query",
         [](Feed& log) {
             log.Opened(kLine, At(0));
             Exchange(log, 100, HartCommand0Frame(5, kPrimaryMaster, 0), 0, 500, Command0Reply());
             log.Sent(HartCommand3Frame(5, kPrimaryMaster, {0x5A, 0x0B, {1, 2, 3}}), At(1000));
             log.Requested(103, At(1000));
             log.Received(B{0x00}, At(1500));  // noise, then nothing
         },
         "no reply to HART Command 3 (15 bytes sent)\n"
         "! 1 bytes received since the request, matching no decoder\n"
         "long address 9A 0B 01 02 03 from the command 0 reply at " +
             ClockText(At(500).wall) + "\n"},
        {"HART short frame",
         [](Feed& log) {
             log.Opened(kLine, At(0));
             log.Sent(HartCommand0Frame(5, kPrimaryMaster, 4), At(0));
             log.Requested(100, At(0));
         },
         "no reply to HART Command 0 (11 bytes sent)\n"
         "! nothing received at all: check the cable, the module's power and the line settings "
         "(/dev/ttyUSB0 9600 8N1)\n"
         "short frame to polling address 4: the instrument may use another polling address\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(TimeoutNotes(c.script), c.expected) << c.name;
}

TEST(TrafficFormat, RowsAndSavedForms) {
    Feed log;
    log.Opened(kLine, At(0));
    Exchange(log, 202, Bytes("QQQ#QX#"), 0, 420, Bytes("QX#BA2:31,\"MD:1"));
    const TrafficRow reply = TrafficRowAt(log, 2);
    const TrafficRow expected = {ClockText(At(420).wall),
                                 "420",
                                 "RX",
                                 "System Parameters Query",
                                 "fault: \"MD:\" expected after field rs485.parity, not "
                                 "'\"MD'",
                                 "15",
                                 "51 58 23 42 41 32 3A 33 31 2C 22 4D 44 3A 31",
                                 "QX#BA2:31,\"MD:1",
                                 "reply to \"QQQ#QX#\"; response 0 ms from the request's last "
                                 "byte to the reply's first; keys found: QX BA2: MD:; ! keys "
                                 "missing: ADR: JTM: XY1:"};
    EXPECT_EQ(reply, expected);

    const TrafficSaveHeader header{"2.0.0", At(0).wall};
    const std::string text = TrafficText(log, header);
    EXPECT_NE(text.find("# Tavrix Configurator 2.0.0 traffic log\n"), std::string::npos);
    EXPECT_NE(text.find("# Port: /dev/ttyUSB0 9600 8N1, read interval 400 ms\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nTime\t+ms\tDir\tRequest\tVerdict\tLen\tHex\tText\tDecoded\n"), std::string::npos);
    std::string row = IsoLocalTime(At(420).wall);
    for (size_t i = 1; i < reply.size(); ++i) row += "\t" + reply[i];
    EXPECT_NE(text.find("\n" + row + "\n"), std::string::npos);

    const std::string csv = TrafficCsv(log, header);
    EXPECT_NE(csv.find(",\"QX#BA2:31,\"\"MD:1\","), std::string::npos);
}

}  // namespace

namespace {

const HartIdentity kIdentity{0x1A, 0x0B, {1, 2, 3}};

// A command 3 reply to HartCommand3Frame(5, kPrimaryMaster, kIdentity): loop
// current 12 mA, PV 1.5 bar (unit code 7).
B Command3Reply(uint8_t code, uint8_t status,
                 const B& values = {0x41, 0x40, 0x00, 0x00, 7, 0x3F, 0xC0, 0x00, 0x00}) {
    const auto address = HartLongAddress(kPrimaryMaster, kIdentity);
    B body{0x86};
    body.insert(body.end(), address.begin(), address.end());
    B data{3, static_cast<uint8_t>(2 + values.size()), code, status};
    data.insert(data.end(), values.begin(), values.end());
    body.insert(body.end(), data.begin(), data.end());
    B reply{0xFF, 0xFF};
    reply.insert(reply.end(), body.begin(), body.end());
    reply.push_back(HartChecksum(body));
    return reply;
}

B WithModbusCrc(B frame) {
    const auto crc = ModbusCrc16(frame);
    frame.insert(frame.end(), crc.begin(), crc.end());
    return frame;
}

B Read(uint8_t slave, uint16_t start, uint16_t count) {
    const ModbusRequest request = ReadHoldingRegistersRequest(slave, start, count);
    return B(request.begin(), request.end());
}

struct VerdictCase {
    const char* name;
    int code;
    B request;
    B reply;         // empty: the request times out
    bool nextRequest;  // a further request follows (a reply cut short is judged then)
    std::string verdict;
    uint64_t RequestKindStats::*counted;
};

B BadChecksum() {
    B reply = Command3Reply(0, 0);
    reply.back() ^= 0x5A;
    return reply;
}

B LongerByteCount() {
    B reply = Command3Reply(0, 0);
    reply[9] = 16;  // says five bytes more than come
    return reply;
}

const B kCommand3 = HartCommand3Frame(5, kPrimaryMaster, kIdentity);

const VerdictCase kVerdictCases[] = {
    {"hart good", 103, kCommand3, Command3Reply(0, 0), false, "OK", &RequestKindStats::good},
    {"hart checksum", 103, kCommand3, BadChecksum(), false, "fault: checksum BC, expected E6",
     &RequestKindStats::wrong},
    {"hart byte count, then the next request", 103, kCommand3, LongerByteCount(), true,
     "fault: reply incomplete: 22 of 27 bytes", &RequestKindStats::wrong},
    {"hart communication error", 103, kCommand3, Command3Reply(0x88, 0), false,
     "fault: communication error: longitudinal parity", &RequestKindStats::wrong},
    {"hart too few data bytes", 103, kCommand3, Command3Reply(5, 0), false,
     "fault: response code 5 too few data bytes received", &RequestKindStats::wrong},
    {"hart write protect", 103, kCommand3, Command3Reply(7, 0), false,
     "fault: response code 7 in write-protect mode", &RequestKindStats::wrong},
    {"hart access restricted", 103, kCommand3, Command3Reply(16, 0), false,
     "fault: response code 16 access restricted", &RequestKindStats::wrong},
    {"hart busy", 103, kCommand3, Command3Reply(32, 0), false, "fault: response code 32 busy",
     &RequestKindStats::wrong},
    {"hart not implemented", 103, kCommand3, Command3Reply(64, 0), false,
     "fault: response code 64 command not implemented", &RequestKindStats::wrong},
    {"hart warning code", 103, kCommand3, Command3Reply(8, 0), false,
     "warning: response code 8 command-specific", &RequestKindStats::warnings},
    {"hart fixed current, pv out of limits", 103, kCommand3, Command3Reply(0, 0x09), false,
     "warning: device status: loop current fixed, primary variable out of limits",
     &RequestKindStats::warnings},
    {"hart malfunction", 103, kCommand3, Command3Reply(0, 0x80), false,
     "fault: device status: device malfunction", &RequestKindStats::wrong},
    {"hart configuration changed", 103, kCommand3, Command3Reply(0, 0x40), false,
     "OK: device status: configuration changed", &RequestKindStats::good},
    {"hart timeout", 103, kCommand3, {}, false, "timeout: no reply in 1000 ms",
     &RequestKindStats::timeouts},
    {"modbus good", 302, Read(1, 0, 2), WithModbusCrc({1, 3, 4, 0x41, 0x20, 0, 0}), false, "OK",
     &RequestKindStats::good},
    {"modbus other slave", 302, Read(1, 0, 2), WithModbusCrc({5, 3, 4, 0x41, 0x20, 0, 0}), false,
     "fault: slave 5 answered; 1 was asked", &RequestKindStats::wrong},
    {"modbus fewer registers", 302, Read(1, 0, 10), WithModbusCrc({1, 3, 8, 0, 0, 0, 0, 0, 0, 0, 0}),
     false, "fault: byte count 8 for 10 registers asked", &RequestKindStats::wrong},
    {"modbus crc", 302, Read(1, 0, 2), {1, 3, 4, 0x41, 0x20, 0, 0, 0, 0}, false,
     "fault: CRC 00 00, expected EF C5", &RequestKindStats::wrong},
    {"modbus exception", 302, Read(1, 0, 2), WithModbusCrc({1, 0x83, 2}), false,
     "exception: 02 Illegal data address", &RequestKindStats::exceptions},
    {"modbus truncated, timed out", 302, Read(1, 0, 2), {1, 3, 4, 0x41}, false,
     "fault: reply incomplete: 4 of 9 bytes", &RequestKindStats::wrong},
    {"set refused as ER", 200, Bytes("QQS#MD:1#"), Bytes("QQS#MD:ER#"), false,
     "fault: not the acknowledgement of \"QQS#MD:\": \"QQS#MD:ER#\"", &RequestKindStats::wrong},
    {"set refused", 200, Bytes("QQS#MD:1#"), Bytes("QQS#MD:ERR#"), false,
     "fault: the module refused the setting: \"QQS#MD:ERR#\"", &RequestKindStats::wrong},
    {"set accepted", 200, Bytes("QQS#MD:1#"), Bytes("QQS#MD:OK#"), false, "OK",
     &RequestKindStats::good},
};

// Each kind of fault gets its verdict in the reply's row (or the timeout's,
// or, for a reply cut short, once the next request shows it has ended), and
// is counted once, apart from the others.
TEST(TrafficLog, EveryReplyIsJudgedAndCountedApart) {
    for (const VerdictCase& c : kVerdictCases) {
        SCOPED_TRACE(c.name);
        Feed log;
        log.Opened(kLine, At(0));
        log.Sent(c.request, At(0));
        log.Requested(c.code, At(0));
        const bool truncated = c.reply.size() == 4;
        if (!c.reply.empty()) log.Received(c.reply, At(500));
        if (c.reply.empty() || truncated) log.TimedOut(At(1000));
        if (c.nextRequest) {
            log.Sent(c.request, At(2000));
            log.Requested(c.code, At(2000));
        }
        const TrafficLog& traffic = log;
        ASSERT_GE(TrafficRowCount(traffic), 3u);
        EXPECT_EQ(TrafficRowAt(traffic, 2)[kTrafficVerdictColumn], c.verdict);
        const RequestKindStats* kind = log.stats().Find(c.code);
        ASSERT_TRUE(kind);
        EXPECT_EQ(kind->*c.counted, 1u);
        EXPECT_EQ(kind->good + kind->warnings + kind->wrong + kind->exceptions + kind->timeouts, 1u);
    }
}

// The reply's row names the request it answers and what it carries.
TEST(TrafficLog, ReplyRowPairsTheRequestAndDecodesThePayload) {
    const struct {
        int code;
        B request;
        B reply;
        std::string decodedStart;
    } cases[] = {
        {103, kCommand3, Command3Reply(0, 0),
         "reply to HART long address 9A 0B 01 02 03, command 3; response 464 ms from the "
         "request's last byte to the reply's first; loop current 12 mA, PV 1.5 bar; "},
        {103, kCommand3, Command3Reply(0, 0, {0x41, 0x40, 0x00, 0x00}),
         "reply to HART long address 9A 0B 01 02 03, command 3; response 469 ms from the "
         "request's last byte to the reply's first; loop current 12 mA; "},
        {103, kCommand3,
         Command3Reply(0, 0,
                       {0x7F, 0xA0, 0, 0, 7, 0x7F, 0xA0, 0, 0, 200, 0x3F, 0xC0, 0x00, 0x00}),
         "reply to HART long address 9A 0B 01 02 03, command 3; response 458 ms from the "
         "request's last byte to the reply's first; loop current not available, PV not "
         "available, SV 1.5 unit code 200; "},
        {100, HartCommand0Frame(5, kPrimaryMaster, 0), Command0Reply(),
         "reply to HART short address 0, command 0; response 468 ms from the request's last byte "
         "to the reply's first; identity: manufacturer 0x005A, device type 0x0B, id 66051, "
         "HART 5, device revision 1, 5 preambles; "},
        {302, Read(1, 2, 2), WithModbusCrc({1, 3, 4, 0x00, 0x00, 0x41, 0x40}),
         "reply to slave 1, function 03, 2 registers from 40003; response 484 ms from the "
         "request's last byte to the reply's first; floats 40003 = 12 (FF2 FF1 FF4 FF3); "},
        {202, Bytes("QQQ#QX#"), Bytes("QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:3#"),
         "reply to \"QQQ#QX#\"; response 456 ms from the request's last byte to the reply's "
         "first; BA2 = 30; MD = 1; ADR = 001; JTM = 050; XY1 = 3; "},
    };
    for (const auto& c : cases) {
        Feed log;
        log.Opened(kLine, At(0));
        // The MODBUS parameters say 40003 travels as FF2 FF1 FF4 FF3.
        Exchange(log, 301, Bytes("QQQ#QQ0#"), 0, 100,
                 Bytes("QQ0#FMW:0,0.001;FMU:1.000,1.000,1.000;HART0:0,0,00,4,060,1000;"
                       "ZDY0:8,0000,0000,0000,0000;CAMD01:0,00,;CAMD02:0,00,#"));
        Exchange(log, c.code, c.request, 1000, 1900, c.reply);
        const std::string decoded = TrafficRowAt(log, 4)[kTrafficDecodedColumn];
        EXPECT_EQ(decoded.substr(0, c.decodedStart.size()), c.decodedStart) << decoded;
        EXPECT_EQ(decoded.find('?'), std::string::npos) << decoded;
    }
}

// Response times on a pseudo-terminal: no line time to take off, so the
// simulator's wait shows instead of 0.
TEST(TrafficLog, ResponseTimeOnAPseudoTerminalKeepsTheAnswerTime) {
    Feed log;
    TrafficLine pty = kLine;
    pty.port = "/dev/pts/7";
    pty.pseudoTerminal = IsPseudoTerminalPath(pty.port);
    pty.readIntervalMs = 5;
    log.Opened(pty, At(0));
    B reply{1, 3, 20};
    reply.resize(23);
    Exchange(log, 302, Read(1, 0, 10), 0, 25, WithModbusCrc(reply));
    EXPECT_EQ(log.stats().Find(302)->Min(), 20);
}

}  // namespace

namespace {

// A session with every kind of verdict, a hang-up and blocks not handled.
void FaultySession(Feed& log, const TrafficLine& line = kLine) {
    log.Opened(line, At(0));
    int ms = 0;
    for (const VerdictCase& c : kVerdictCases) {
        ms += 2000;
        log.Sent(c.request, At(ms));
        log.Requested(c.code, At(ms));
        if (!c.reply.empty()) log.Received(c.reply, At(ms + 500));
        if (c.reply.empty() || c.reply.size() == 4) log.TimedOut(At(ms + 1000));
    }
    log.Retried(2, 3, "wrong: checksum 3A, expected 3B", At(ms + 1200));
    // An adapter that hears itself: its echo found, then one spoiled.
    log.Sent(Bytes("QQQ#QV#"), At(ms + 1300));
    log.Requested(201, At(ms + 1300));
    log.Echoed(Bytes("QQQ#QV#"), EchoSplit::Verdict::Detected, At(ms + 1310));
    log.Echoed(Bytes("QQQ#"), EchoSplit::Verdict::Differs, At(ms + 1320));
    log.Echoed(Bytes("QQQ#QV#"), EchoSplit::Verdict::Whole, At(ms + 1330));
    log.Received(Bytes("noise"), At(ms + 1500));
    log.HungUp(At(ms + 1600));
    log.Dropped(2, 25, At(ms + 1700));
}

std::vector<TrafficRow> Rows(const TrafficLog& log) {
    std::vector<TrafficRow> rows;
    for (size_t row = 0; row < TrafficRowCount(log); ++row) rows.push_back(TrafficRowAt(log, row));
    return rows;
}

// A saved log read back shows the same rows, verdicts and statistics, from
// the text form and from the CSV form alike, whatever the port's name holds
// (here both forms' column names).
TEST(TrafficFile, SavedLogReadBackShowsTheSameRowsAndVerdicts) {
    TrafficLine odd = kLine;
    odd.port = "/dev/Time,+ms,Time\t+ms\tDir";
    for (const TrafficLine& line : {kLine, odd}) {
        Feed live;
        FaultySession(live, line);
        const TrafficSaveHeader header{"2.0.0", At(0).wall};
        const std::vector<TrafficRow> shown = Rows(live);
        std::vector<std::string> echoes;  // the echo rows' verdicts
        for (const TrafficRow& row : shown)
            if (row[2] == "ECHO") echoes.push_back(row[4]);
        EXPECT_EQ(echoes, (std::vector<std::string>{
                              "this adapter echoes what it sends: echo removed",
                              "echo differs from what was sent: the line was busy or noisy "
                              "while sending",
                              "echo removed"}));
        for (const std::string& saved : {TrafficText(live, header), TrafficCsv(live, header)}) {
            TrafficLog read(TrafficFileCapacity(saved));
            std::string error;
            ASSERT_TRUE(ReadTrafficFile(saved, read, &error)) << line.port << ": " << error;
            const std::vector<TrafficRow> again = Rows(read);
            ASSERT_EQ(again.size(), shown.size());
            for (size_t row = 0; row < shown.size(); ++row)
                EXPECT_EQ(again[row], shown[row]) << row;
            EXPECT_EQ(FormatTrafficStats(read.stats()), FormatTrafficStats(live.stats()));
        }
    }
}

// The CSV as Python's csv module reads it: every row as wide as the table.
TEST(TrafficFile, CsvParsesIntoRowsOfEqualWidth) {
    Feed live;
    FaultySession(live);
    char path[] = "/tmp/tavrix_traffic_csv_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string csv = TrafficCsv(live, {"2.0.0", At(0).wall});
    EXPECT_EQ(csv.substr(0, 40), "#,Tavrix Configurator 2.0.0 traffic log,");  // a comment line too
    ASSERT_EQ(write(fd, csv.data(), csv.size()), static_cast<ssize_t>(csv.size()));
    close(fd);
    const std::string command =
        std::string("python3 -c 'import csv,sys; rows=list(csv.reader(open(sys.argv[1], "
                    "newline=\"\", encoding=\"latin-1\"))); print(len(rows), sorted(set(map(len, rows))))' ") +
        path;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, pipe));
    EXPECT_EQ(pclose(pipe), 0);
    std::remove(path);
    const size_t rows = static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n'));
    EXPECT_EQ(std::string(line), std::to_string(rows) + " [" + std::to_string(kTrafficColumnCount) +
                                     "]\n");
}

// A file that is not a traffic log is refused, naming its wrong line.
TEST(TrafficFile, NotATrafficLogIsRefusedWithTheWrongLine) {
    Feed live;
    live.Opened(kLine, At(0));
    Exchange(live, 201, Bytes("QQQ#QV#"), 0, 450, Bytes("QV:1.0#"));
    const std::string good = TrafficText(live, {"2.0.0", At(0).wall});
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        std::string error;
    } cases[] = {
        {"profile", "[Module]\nMode=1\n", "line 1: not the traffic log's column names"},
        {"empty", "", "line 0: no column names: not a traffic log"},
        {"direction", replaced("\tRX\t", "\tXX\t"),
         "line 8: direction \"XX\" is none of TX, RX, ECHO, TIMEOUT, RETRY, OPEN, CLOSE, "
         "HANG-UP, DROPPED"},
        {"hex", replaced("51 56 3A", "51 5G 3A"),
         "line 8: hex bytes \"51 5G 3A 31 2E 30 23\" are not hex bytes"},
        {"cells", replaced("\tTX\t", "\tTX\t\t"), "line 7: 10 cells where a traffic row has 9: \""},
        {"column names", replaced("Time\t+ms\t", "Tme\t+ms\t"),
         "line 5: not the traffic log's column names: \"Tme"},
        {"request", replaced("\tCommunication Query\t", "\tCoffee\t"),
         "line 7: no request is called \"Coffee\""},
        {"csv quote", "Time,+ms,Dir\n\"open", "line 2: a quoted field is never closed"},
        {"one cell", replaced("Decoded\n", "Decoded\nx\n"), "line 6: 1 cell where a traffic row has 9"},
        {"csv hex", [&] {
             std::string csv = TrafficCsv(live, {"2.0.0", At(0).wall});
             csv.replace(csv.find("51 56 3A"), 8, "51 5G 3A");
             return csv;
         }(),
         "line 8: hex bytes \"51 5G 3A 31 2E 30 23\" are not hex bytes"},
    };
    for (const auto& c : cases) {
        TrafficLog read;
        std::string error;
        EXPECT_FALSE(ReadTrafficFile(c.text, read, &error)) << c.name;
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.name << ": " << error;
    }
}

TEST(Csv, FieldsQuotedAsNeededAndReadBack) {
    const CsvRecord fields = {"plain", "a,b", "say \"hi\"", " padded ", "#note", "two\nlines", ""};
    const std::string line = CsvLine(fields);
    EXPECT_EQ(line, "plain,\"a,b\",\"say \"\"hi\"\"\",\" padded \",\"#note\",\"two\nlines\",\n");
    const auto parsed = ParseCsv(line + line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, (std::vector<CsvRecord>{fields, fields}));
    std::string error;
    EXPECT_FALSE(ParseCsv("a,b\nc\"d\n", &error));
    EXPECT_EQ(error, "line 2: a quote inside an unquoted field");
    EXPECT_FALSE(ParseCsv("\"a\"b\n", &error));
    EXPECT_EQ(error, "line 1: text after a quoted field's closing quote");
}

TEST(Csv, IsoTimesCarryTheirOffsetAndReadBack) {
    setenv("TZ", "CET-1", 1);
    tzset();
    const auto t = std::chrono::system_clock::from_time_t(1765217401) + std::chrono::milliseconds(250);
    EXPECT_EQ(IsoLocalTime(t), "2025-12-08T19:10:01.250+01:00");
    EXPECT_EQ(ParseIsoTime("2025-12-08T19:10:01.250+01:00"), t);
    EXPECT_EQ(ParseIsoTime("2025-12-08T18:10:01.250Z"), t);
    for (const char* bad : {"18:10:01.250", "2025-12-08 18:10:01", "2025-13-08T18:10:01Z",
                            "2025-12-08T18:10:01.25Z", "2025-12-08T18:10:01+1:00",
                            "4052-12-08T18:10:01Z"})
        EXPECT_FALSE(ParseIsoTime(bad)) << bad;
    unsetenv("TZ");
    tzset();
}

}  // namespace
