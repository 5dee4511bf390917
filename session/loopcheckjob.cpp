#include "session/loopcheckjob.h"

#include <QDateTime>
#include <algorithm>

#include "exchange/requestcodes.h"
#include "exchange/requeststeps.h"
#include "hart/replies.h"
#include "hart/status.h"
#include "hart/universal.h"
#include "modbus/reply.h"
#include "profile/profilecommands.h"
#include "session/certifyjob.h"
#include "session/link.h"
#include "session/linkrun.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Command 40 with 0 is tried this often before the report says it may not have been taken.
constexpr int kLeaveTries = 3;

}  // namespace

bool LoopCheckReport::Passed() const {
    return failure.isEmpty() && !cancelled && points.size() == targets.size() && fixedModeLeft &&
           std::all_of(points.begin(), points.end(), [](const auto& p) { return p.pass; });
}

std::string LoopCheckReport::Summary() const {
    const auto passed =
        std::count_if(points.begin(), points.end(), [](const auto& p) { return p.pass; });
    std::string text = std::to_string(passed) + " of " + std::to_string(targets.size()) +
                       " points within " + LoopCurrentText(tolerance) + " mA";
    if (points.size() < targets.size())
        text += ", " + std::to_string(targets.size() - points.size()) + " not measured";
    return text;
}

std::vector<std::string> LoopCheckReport::Lines() const {
    std::vector<std::string> lines;
    lines.push_back("Loop check" +
                    (finishedAt.isEmpty() ? std::string() : " at " + finishedAt.toStdString()) +
                    ": " + Summary());
    for (const LoopPointResult& p : points) lines.push_back(LoopPointLine(p));
    if (!failure.isEmpty()) lines.push_back("Stopped: " + failure.toStdString());
    if (cancelled) lines.push_back("Cancelled.");
    if (!exitNote.isEmpty()) lines.push_back(exitNote.toStdString());
    return lines;
}

LoopCheckJob::LoopCheckJob(Link* link, QObject* parent) : QObject(parent), link_(link) {}

bool LoopCheckJob::Start(int pollingAddress, std::vector<double> points, double tolerance) {
    if (IsRunning() || points.empty() || !link_->Hold(this)) return false;
    report_ = {};
    report_.targets = std::move(points);
    report_.tolerance = tolerance;
    pollingAddress_ = pollingAddress;
    point_ = 0;
    timedOutCode_ = 0;
    leaveTries_ = 0;
    cancelRequested_ = false;
    emit progress("Reading the instrument's identity");
    Run(Phase::Identity, {HartCommand0Step(pollingAddress)});
    return phase_ != Phase::Idle;
}

void LoopCheckJob::Cancel() {
    if (!IsRunning() || phase_ == Phase::Leaving) return;
    cancelRequested_ = true;
    // The run ends at once; Ended() goes on to leave fixed mode.
    if (run_) run_->Cancel();
}

void LoopCheckJob::Run(Phase phase, std::vector<SequenceStep> steps) {
    phase_ = phase;
    if (run_) run_->deleteLater();
    // The check holds the line throughout, so its runs start at once, one
    // after the other, and nobody's exchange comes between a point and the
    // release of the loop.
    run_ = link_->Start(std::move(steps), {.retries = retries_, .source = "the loop check"}, this);
    connect(run_, &LinkRun::finished, this, &LoopCheckJob::Ended);
}

void LoopCheckJob::Ended() {
    const LinkRun& run = *run_;
    const bool done = run.state() == LinkRun::State::Finished;
    const QString why = done || run.state() == LinkRun::State::Cancelled ? QString() : run.Why();

    if (phase_ == Phase::Leaving) {
        const auto echo = done ? ParseHartCommand40(Bytes(run.replies().front())) : std::nullopt;
        if (echo && *echo == 0.0f) {
            report_.fixedModeLeft = true;
            report_.exitNote =
                "Fixed current mode left: the loop current follows the process again.";
            return Finish();
        }
        if (++leaveTries_ < kLeaveTries)
            return Run(Phase::Leaving, {LeaveFixedCurrentStep(report_.identity)});
        report_.exitNote =
            "Fixed current mode may still be on: command 40 with 0 was not confirmed (" +
            (why.isEmpty() ? QString("its reply did not say 0 mA") : why) +
            "); check the loop current before handing the loop back";
        return Finish();
    }

    if (cancelRequested_ || run.state() == LinkRun::State::Cancelled) {
        report_.cancelled = true;
        return Leave();
    }
    if (!done) {
        report_.failure = why;
        if (run.state() == LinkRun::State::TimedOut && run.current() < run.steps().size())
            timedOutCode_ = run.steps()[run.current()].code;
        return Leave();
    }
    const auto& replies = run.replies();
    switch (phase_) {
        case Phase::Identity: {
            const auto device = ParseHartCommand0Reply(Bytes(replies.front()));
            if (!device) {
                report_.failure = "the command 0 reply holds no identity";
                return Finish();
            }
            report_.identified = true;
            report_.identity = device->identity;
            emit progress("Reading the module's byte order and coefficient");
            return Run(Phase::Module, ModuleMeterSteps());
        }
        case Phase::Module: {
            const ModuleLoopMeter meter = ModuleMeterFrom(replies);
            report_.module = meter.module;
            report_.slave = meter.slave;
            return NextPoint();
        }
        case Phase::Point: {
            LoopPointReplies got;
            got.fixedEcho = ParseHartCommand40(Bytes(replies[0]));
            got.loop = ParseHartCommand2(Bytes(replies[1]));
            const auto warn = [&got](int command, uint8_t code) {
                if (code == 0) return;
                got.warning += (got.warning.empty() ? "" : "; ") + std::string("command ") +
                               std::to_string(command) + ": response code " +
                               HartResponseCodeText(code, command);
            };
            if (const auto echo = ParseHartCommand40Reply(Bytes(replies[0])))
                warn(kHartFixCurrent, echo->responseCode);
            if (got.loop) warn(kHartReadLoopCurrent, got.loop->responseCode);
            if (const auto dynamic = ParseHartCommand3Values(Bytes(replies[2]))) {
                got.command3Current = dynamic->loopCurrent;
                warn(3, dynamic->responseCode);
            }
            got.registers = DecodeModbusReply(Bytes(replies[3])).registers;
            report_.points.push_back(
                JudgeLoopPoint(report_.targets[point_], got, report_.module, report_.tolerance));
            emit pointDone(static_cast<int>(point_));
            ++point_;
            return NextPoint();
        }
        default:
            return Finish();
    }
}

void LoopCheckJob::NextPoint() {
    if (point_ >= report_.targets.size()) return Leave();
    const double target = report_.targets[point_];
    emit progress(
        QString("Holding the loop at %1 mA").arg(QString::fromStdString(LoopCurrentText(target))));
    report_.fixedModeEntered = true;
    Run(Phase::Point, LoopPointSteps(report_.identity, report_.slave, target));
}

void LoopCheckJob::Leave() {
    if (!report_.fixedModeEntered) {
        report_.exitNote = "The loop current was never fixed.";
        return Finish();
    }
    emit progress("Leaving fixed current mode");
    Run(Phase::Leaving, {LeaveFixedCurrentStep(report_.identity)});
}

void LoopCheckJob::Finish() {
    phase_ = Phase::Idle;
    link_->Release(this);
    report_.finishedAt = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
    emit finished();
}
