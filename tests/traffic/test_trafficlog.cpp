// Traffic log: statistics of a scripted session, timeout causes, rows and
// the saved forms.
#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hart/frames.h"
#include "modbus/request.h"
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
    }
    void TimedOut(TrafficTime t) {
        if (request_) request_->timedOut = true;
        log_.TimedOut(request_ ? &*request_ : nullptr, t);
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
    // The port delivers a block 400 ms after its last byte; a 21-byte block
    // took 20 ms on the line after its first byte.
    Exchange(log, 201, query, 0, 450, {'V'});
    Exchange(log, 201, query, 1000, 1500, {'V'});
    Exchange(log, 201, query, 2000, 2430, {'V'});
    Exchange(log, 201, query, 3000, 3500, B(21, 'V'));
    log.Received(B{'V'}, At(3600));  // a further block: no second reply

    const B command3 = HartCommand3Frame(5, kPrimaryMaster, {});
    log.Sent(command3, At(4000));
    log.Requested(103, At(4000));
    log.TimedOut(At(5000));
    log.Received(Command0Reply(), At(5500));  // late
    log.HungUp(At(6000));
    log.Dropped(2, 25, At(6100));

    const RequestKindStats* query201 = log.stats().Find(201);
    ASSERT_TRUE(query201);
    EXPECT_EQ(query201->requests, 4u);
    EXPECT_EQ(query201->replies, 4u);
    EXPECT_EQ(query201->Min(), 30);
    EXPECT_EQ(query201->Median(), 50);
    EXPECT_EQ(query201->Max(), 100);
    const std::vector<std::string> expected = {
        "Communication Query: 4 requests, 4 replies, 0 timeouts, response min/median/max "
        "30/50/100 ms",
        "HART Command 3: 1 request, 0 replies, 1 timeout, 1 late",
        "Total: 5 requests, 4 replies, 1 timeout, 1 hang-up, 2 blocks not handled",
    };
    EXPECT_EQ(FormatTrafficStats(log.stats()), expected);

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
              std::vector<std::string>{"Total: 0 requests, 0 replies, 0 timeouts, 0 hang-ups"});
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
                                 "15",
                                 "51 58 23 42 41 32 3A 33 31 2C 22 4D 44 3A 31",
                                 "QX#BA2:31,\"MD:1",
                                 "response 6 ms to the first byte; keys found: QX BA2: MD:; ! keys "
                                 "missing: ADR: JTM: XY1:"};
    EXPECT_EQ(reply, expected);

    const TrafficSaveHeader header{"2.0.0", At(0).wall};
    const std::string text = TrafficText(log, header);
    EXPECT_NE(text.find("# Tavrix Configurator 2.0.0 traffic log\n"), std::string::npos);
    EXPECT_NE(text.find("# Port: /dev/ttyUSB0 9600 8N1, read interval 400 ms\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nTime\t+ms\tDir\tRequest\tLen\tHex\tText\tDecoded\n"), std::string::npos);
    std::string row;
    for (const std::string& cell : reply) row += (row.empty() ? "" : "\t") + cell;
    EXPECT_NE(text.find("\n" + row + "\n"), std::string::npos);

    const std::string csv = TrafficCsv(log, header);
    EXPECT_NE(csv.find(",\"QX#BA2:31,\"\"MD:1\","), std::string::npos);
}

}  // namespace
