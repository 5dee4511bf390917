#include "session/scanjob.h"

#include <QTimer>
#include <algorithm>

#include "session/link.h"
#include "session/linkrun.h"

ScanJob::ScanJob(Link* link, QObject* parent) : QObject(parent), link_(link) {
    // The device vanished: nothing more can be found on this line.
    connect(link_, &Link::hangupReported, this, [this] {
        if (running_) Finish("the port hung up: is the adapter still plugged in?");
    });
}

bool ScanJob::Start(ScanPlan plan) {
    if (running_ || plan.candidates.empty() || !link_->IsOpen() || !link_->LineFree() ||
        !link_->Hold(this))
        return false;
    plan_ = std::move(plan);
    report_ = {};
    next_ = 0;
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
    if (next_ >= plan_.candidates.size()) return Finish();
    const ScanCandidate& c = plan_.candidates[next_];
    if (plan_.kind == ScanKind::Line && !SetLine(c.line)) return;
    emit trying(static_cast<int>(next_), static_cast<int>(plan_.candidates.size()),
                QString::fromStdString(c.label));
    if (run_) run_->deleteLater();
    run_ = link_->Start({c.step}, {}, this);
    connect(run_, &LinkRun::finished, this, &ScanJob::Ended);
}

void ScanJob::Ended() {
    if (!running_) return;
    const size_t index = next_++;
    ++report_.tried;
    if (cancelling_) {
        report_.cancelled = true;
        return Finish();
    }
    const std::optional<std::string> received =
        run_->state() == LinkRun::State::Finished ? run_->replies().front() : run_->received();
    const CandidateOutcome outcome = JudgeCandidate(plan_, index, received);
    switch (outcome.result) {
        case CandidateResult::Found:
            // A late reply names an earlier candidate: never the same one twice.
            if (std::any_of(report_.finds.begin(), report_.finds.end(), [&](const ScanFind& f) {
                    return f.candidate == outcome.find->candidate;
                }))
                break;
            report_.finds.push_back(*outcome.find);
            emit found(report_.finds.back());
            if (plan_.stopAtFirstFind) return Finish();
            break;
        case CandidateResult::Garbage:
            report_.garbage.push_back({index, outcome.note});
            emit noted(static_cast<int>(index), QString::fromStdString(outcome.note));
            break;
        case CandidateResult::Silent:
            break;
    }
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
