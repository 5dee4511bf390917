#include "session/journalfollower.h"

#include "serial/linetext.h"
#include "serial/tcomm.h"
#include "session/link.h"

TrafficLine TrafficLineOf(const Link& link) {
    static constexpr const char* kStopBits[] = {"1", "1.5", "2"};
    const PortSettings& settings = link.Settings();
    const auto stop = static_cast<size_t>(settings.stopBits);
    TrafficLine line;
    line.port = ResolvePortName(settings.name);
    line.baud = settings.baudRate;
    line.parity = ParityLetter(static_cast<int>(settings.parity));
    line.dataBits = 5 + static_cast<int>(settings.byteSize);
    line.stopBits = stop < std::size(kStopBits) ? kStopBits[stop] : "?";
    line.readIntervalMs = link.ReadInterval();
    line.pseudoTerminal = IsPseudoTerminalPath(line.port);
    return line;
}

JournalFollower::JournalFollower(Link* link, std::string folder, std::string toolVersion,
                                 QObject* parent)
    : QObject(parent),
      link_(link),
      folder_(std::move(folder)),
      toolVersion_(std::move(toolVersion)) {
    connect(link, &Link::sent, this, [this](const ExchangeRecord& request) {
        Record([&](TrafficTime t) { log_.Sent(request, t); });
    });
    connect(link, &Link::received, this,
            [this](const QByteArray& block, const ExchangeRecord& request) {
                // A record never sent is the link before its first request.
                const bool made = request.sent != std::chrono::steady_clock::time_point{};
                const auto* data = reinterpret_cast<const uint8_t*>(block.constData());
                Record([&](TrafficTime t) {
                    log_.Received({data, static_cast<size_t>(block.size())},
                                  made ? &request : nullptr, t);
                });
            });
    connect(link, &Link::echoed, this,
            [this](const QByteArray& echo, const ExchangeRecord& request, EchoSplit::Verdict how) {
                const auto* data = reinterpret_cast<const uint8_t*>(echo.constData());
                Record([&](TrafficTime t) {
                    log_.Echoed({data, static_cast<size_t>(echo.size())}, &request, how, t);
                });
            });
    connect(link, &Link::timedOut, this, [this](const ExchangeRecord& request) {
        Record([&](TrafficTime t) { log_.TimedOut(&request, t); });
    });
    connect(link, &Link::retried, this,
            [this](const ExchangeRecord& request, int attempt, int tries, const QString& why) {
                Record([&](TrafficTime t) {
                    log_.Retried(&request, attempt, tries, why.toStdString(), t);
                });
            });
    connect(link, &Link::opened, this, [this] {
        Record([&](TrafficTime t) { log_.Opened(TrafficLineOf(*link_), t); });
    });
    connect(link, &Link::closed, this, [this] { Record([&](TrafficTime t) { log_.Closed(t); }); });
    connect(link, &Link::hungUp, this, [this] { Record([&](TrafficTime t) { log_.HungUp(t); }); });
    connect(link, &Link::blocksDropped, this, [this](int count, size_t waiting) {
        Record([&](TrafficTime t) { log_.Dropped(static_cast<size_t>(count), waiting, t); });
    });
}

JournalFollower::~JournalFollower() { journal_.Close(FormatTrafficStats(log_.stats())); }

void JournalFollower::SetEnabled(bool on) {
    enabled_ = on;
    failed_ = false;
    if (!on) journal_.Close(FormatTrafficStats(log_.stats()));
}

template <typename Add>
void JournalFollower::Record(Add add) {
    const TrafficTime now = link_->EventTime();
    add(now);
    if (!enabled_ || failed_) return;
    if (!journal_.IsOpen()) {
        const TrafficLine line = TrafficLineOf(*link_);
        const std::string lineText =
            line.port.empty() ? std::string("(never opened)")
                              : line.Text() + ", read interval " +
                                    std::to_string(line.readIntervalMs) + " ms";
        if (!journal_.Open(folder_, toolVersion_, lineText, line.port, now.wall, cap_)) {
            error_ = journal_.error();
            failed_ = true;
            return;
        }
    }
    journal_.Append(SavedRow(log_, TrafficRowCount(log_) - 1));
    if (!journal_.IsOpen()) {
        error_ = journal_.error();
        failed_ = true;
    }
}
