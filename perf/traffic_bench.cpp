// Traffic log figures: time and memory to record 100 000 events (a day of
// polling), and time to turn the kept history into the saved text and CSV.
#include <string>
#include <vector>

#include "exchange/requestcodes.h"
#include "perf/benchutil.h"
#include "traffic/trafficformat.h"
#include "traffic/trafficlog.h"

int main(int argc, char** argv) {
    const size_t events = bench::Quick(argc, argv) ? 10000 : 100000;
    const std::string request = "QQQ#QV#";
    const std::string reply = "QV#TAVRIX V2.0 2025-02-23#";
    const std::vector<uint8_t> sent(request.begin(), request.end());
    const std::vector<uint8_t> received(reply.begin(), reply.end());

    TrafficLog log;
    TrafficLine line;
    line.port = "/dev/ttyUSB0";
    const double memoryBefore = bench::ResidentMiB();
    const double start = bench::NowMs();
    log.Opened(line, TrafficTime::Now());
    for (size_t n = 1; n < events; n += 2) {
        const ExchangeRecord request{kCodeCommunicationQuery, ExchangeRecord::Origin::Window, sent,
                                     std::chrono::steady_clock::now(), true};
        log.Sent(request, TrafficTime::Now());
        log.Received(received, &request, TrafficTime::Now());
    }
    const double added = bench::NowMs() - start;
    bench::Print("traffic_log.add_events", static_cast<double>(events), "events");
    bench::Print("traffic_log.add_time", added, "ms");
    bench::Print("traffic_log.kept", static_cast<double>(log.events().size()), "events");
    bench::Print("traffic_log.memory_growth", bench::ResidentMiB() - memoryBefore, "MiB");

    const TrafficSaveHeader header{"bench", std::chrono::system_clock::now()};
    double t = bench::NowMs();
    const std::string text = TrafficText(log, header);
    bench::Print("traffic_log.save_text_time", bench::NowMs() - t, "ms");
    bench::Print("traffic_log.save_text_size", text.size() / 1048576.0, "MiB");
    t = bench::NowMs();
    const std::string csv = TrafficCsv(log, header);
    bench::Print("traffic_log.save_csv_time", bench::NowMs() - t, "ms");
    return 0;
}
