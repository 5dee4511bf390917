#include "session/scanjob.h"

#include <QTimer>

#include "session/link.h"
#include "session/linkrun.h"
#include "traffic/trafficlog.h"

ScanJob::ScanJob(Link* link, QObject* parent) : QObject(parent), link_(link) {
    // The device vanished: nothing more can be found on this line.
    connect(link_, &Link::hangupReported, this, [this] {
        if (running_) Finish("the port hung up: is the adapter still plugged in?");
    });
    // The line is held through the scan: every frame is a candidate's, and
    // what comes (the echo taken off) its reply or an earlier one's.
    connect(link_, &Link::sent, this, [this](const ExchangeRecord& request) {
        if (!running_) return;
        sentAt_ = request.sent;
        arrival_.reset();
    });
    connect(link_, &Link::received, this,
            [this](const QByteArray& block, const ExchangeRecord& request) {
                if (!running_ || arrival_ || request.sent != sentAt_ || block.isEmpty()) return;
                arrival_ = ReplyArrival{std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - request.sent),
                                        static_cast<size_t>(block.size())};
            });
}

bool ScanJob::Start(ScanPlan plan) {
    if (running_ || plan.candidates.empty() || !link_->IsOpen() || !link_->LineFree() ||
        !link_->Hold(this))
        return false;
    plan_ = std::move(plan);
    plan_.lineTakesTime = !IsPseudoTerminalPath(link_->Settings().name);
    report_ = {};
    tally_.emplace(plan_);
    running_ = true;
    cancelling_ = false;
    baud_ = link_->Settings().baudRate;
    parity_ = link_->Settings().parity;
    clock_.start();
    if (plan_.line && !SetLine(*plan_.line)) return true;  // Finish() said why
    Next();
    return true;
}

void ScanJob::Cancel() {
    if (!running_) return;
    cancelling_ = true;
    if (run_ && run_->active()) {
        run_->Cancel();  // Ended() follows at once
    } else {
        Finish();
    }
}

bool ScanJob::SetLine(const LineSetting& line) {
    const PortSettings& now = link_->Settings();
    if (now.baudRate == line.baud && static_cast<int>(now.parity) == static_cast<int>(line.parity))
        return true;
    try {
        link_->Reopen(line.baud, static_cast<TParity>(line.parity));
    } catch (const ECommsError& error) {
        Finish(QString("could not open the port at %1: %2")
                   .arg(QString::fromStdString(LineSettingText(line)),
                        QString::fromLocal8Bit(error.what())));
        return false;
    }
    return true;
}

void ScanJob::Next() {
    if (!running_) return;
    const std::optional<size_t> next = tally_->Next();
    if (!next) return Finish();
    const ScanCandidate& c = plan_.candidates[*next];
    if (plan_.kind == ScanKind::Line && !SetLine(c.line)) return;
    emit trying(static_cast<int>(*next), static_cast<int>(plan_.candidates.size()),
                QString::fromStdString(c.label));
    if (run_) run_->deleteLater();
    // Its first frame waits until the last reply has ended, or can no longer come.
    run_ = link_->Start({c.step}, {}, this);
    connect(run_, &LinkRun::finished, this, &ScanJob::Ended);
}

void ScanJob::Ended() {
    if (!running_) return;
    const int index = static_cast<int>(*tally_->Next());
    if (cancelling_) {
        report_.tried = tally_->tried() + 1;
        report_.cancelled = true;
        return Finish();
    }
    const std::optional<std::string> received =
        run_->state() == LinkRun::State::Finished ? run_->replies().front() : run_->received();
    // A changed echo spoiled the exchange, whatever came after it.
    const bool spoiled = run_->state() == LinkRun::State::Failed &&
                         SpoiledByEcho(run_->verdict().reason);
    const ScanTally::Recorded r =
        tally_->Record(received, arrival_, spoiled ? run_->verdict().reason : std::string());
    report_.finds = tally_->finds();
    report_.garbage = tally_->garbage();
    report_.noisy = tally_->noisy();
    report_.retries = tally_->retries();
    report_.tried = tally_->tried();
    if (r.outcome.result == CandidateResult::Garbage)
        emit noted(index, QString::fromStdString(r.outcome.note), r.again);
    if (r.newFind) emit found(report_.finds.back());
    // From the event loop: the runner finishes its own ended() first.
    QTimer::singleShot(0, this, &ScanJob::Next);
}

void ScanJob::Finish(const QString& failure) {
    if (!running_) return;
    running_ = false;
    if (run_ && run_->active()) run_->Cancel();
    report_.failure = failure;
    if (cancelling_) report_.cancelled = true;
    const PortSettings& now = link_->Settings();
    if (link_->IsOpen() && (now.baudRate != baud_ || now.parity != parity_)) {
        try {
            link_->Reopen(baud_, parity_);
        } catch (const ECommsError& error) {
            if (report_.failure.isEmpty())
                report_.failure = QString("could not open the port again as it was: %1")
                                      .arg(QString::fromLocal8Bit(error.what()));
        }
    }
    report_.elapsed = std::chrono::milliseconds(clock_.elapsed());
    link_->Release(this);
    emit finished();
}
