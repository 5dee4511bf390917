#include "session/hartinstrumentjob.h"

#include "exchange/requeststeps.h"
#include "hart/status.h"
#include "hart/universal.h"
#include "session/link.h"
#include "session/linkrun.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

HartInstrumentJob::HartInstrumentJob(Link* link, QObject* parent) : QObject(parent), link_(link) {}

void HartInstrumentJob::Exchange(std::vector<SequenceStep> steps,
                                 std::function<void(const std::vector<std::string>&)> done,
                                 std::function<void(const LinkRun&)> failed) {
    RunThen(link_, std::move(steps), this, std::move(done),
            [this, failed](const LinkRun& run) {
                if (failed) return failed(run);
                Noted(run);
                Done(run.Why());
            },
            {.source = "the HART Instrument window"});
}

void HartInstrumentJob::Noted(const LinkRun& run) {
    if (run.state() == LinkRun::State::TimedOut) timedOut_ = true;
}

void HartInstrumentJob::Done(const QString& failure) {
    failure_ = failure;
    running_ = false;
    emit finished();
}

bool HartInstrumentJob::StartRead(int pollingAddress) {
    if (running_ || link_->RunsActive()) return false;
    running_ = true;
    failure_.clear();
    difference_.clear();
    gaps_.clear();
    warning_.clear();
    timedOut_ = false;
    Exchange({HartCommand0Step(pollingAddress)}, [this, pollingAddress](const auto& replies) {
        const auto device = ParseHartCommand0Reply(Bytes(replies[0]));
        if (!device) return Done("the command 0 reply holds no identity");
        reading_ = {};
        reading_.pollingAddress = pollingAddress;
        reading_.device = *device;
        identified_ = true;
        ReadNext(HartReadSteps(device->identity), 0);
    });
    return running_;
}

void HartInstrumentJob::ReadNext(std::vector<SequenceStep> steps, size_t at) {
    if (at >= steps.size()) return Done();
    const SequenceStep step = steps[at];
    const uint8_t command = kHartReadCommands[at];
    const auto next = [this, steps, at] { ReadNext(steps, at + 1); };
    Exchange(
        {step},
        [this, command, next](const std::vector<std::string>& r) {
            const auto reply = Bytes(r[0]);
            Keep(command, reply);
            if (const auto body = ParseHartReplyBody(reply, command)) {
                reading_.deviceStatus = body->deviceStatus;
                // Its data is kept and shown; the warning is named with it.
                if (body->responseCode != 0)
                    warning_ += QString(warning_.isEmpty() ? "" : "; ") + "command " +
                                QString::number(command) + ": response code " +
                                QString::fromStdString(
                                    HartResponseCodeText(body->responseCode, command));
            }
            next();
        },
        [this, command, next](const LinkRun& run) {
            const QString why = run.Why();
            if (command == kHartReadMoreStatus) {
                reading_.moreStatusNote = why.toStdString();
            } else {
                gaps_ += (gaps_.isEmpty() ? "" : "; ") + why;
                Noted(run);
            }
            next();
        });
}

void HartInstrumentJob::Keep(uint8_t command, std::span<const uint8_t> reply) {
    switch (command) {
        case kHartReadTag:
            reading_.tag = ParseHartTag(reply);
            break;
        case kHartReadMessage:
            reading_.message = ParseHartMessage(reply);
            break;
        case kHartReadDeviceInfo:
            reading_.info = ParseHartCommand15(reply);
            break;
        case kHartReadLoopCurrent:
            reading_.loop = ParseHartCommand2(reply);
            break;
        case kHartReadPrimaryVariable:
            reading_.primary = ParseHartCommand1(reply);
            break;
        case kHartReadMoreStatus:
            reading_.moreStatus = ParseHartCommand48(reply);
            break;
        default:
            break;
    }
}

bool HartInstrumentJob::StartWrite(const HartWrite& write) {
    if (running_ || link_->RunsActive()) return false;
    difference_.clear();
    if (!identified_) {
        failure_ = "read the instrument first";
        return false;
    }
    std::string error;
    const HartIdentity id = reading_.device.identity;
    const auto step = HartWriteStep(id, write, &error);
    if (!step) {
        failure_ = QString::fromStdString(error);
        return false;
    }
    running_ = true;
    failure_.clear();
    warning_.clear();
    timedOut_ = false;
    const auto readBack = [this, write, id](const auto&) {
        Exchange({HartReadBackStep(id, write)}, [this, write](const auto& r) {
            difference_ = QString::fromStdString(HartReadBackDifference(write, r[0]));
            Keep(HartReadBackCommand(write.kind), Bytes(r[0]));
            Done(difference_.isEmpty() ? QString()
                                       : "the read back differs: " + difference_ +
                                             (warning_.isEmpty() ? "" : " (" + warning_ + ")"));
        });
    };
    // A warning code means the write was carried out: what the instrument
    // holds now is read back all the same, the warning named with it.
    const uint8_t command = write.kind == HartWrite::Kind::Tag       ? kHartWriteTag
                            : write.kind == HartWrite::Kind::Message ? kHartWriteMessage
                                                                     : kHartWriteRange;
    const auto written = [this, readBack, command](const std::vector<std::string>& r) {
        const auto body = r.empty() ? std::nullopt : ParseHartReplyBody(Bytes(r[0]), command);
        if (body && body->responseCode != 0)
            warning_ = QString::fromStdString("response code " +
                                              HartResponseCodeText(body->responseCode, command));
        readBack(r);
    };
    Exchange({*step}, written, [this, readBack](const LinkRun& run) {
        const QString why = run.Why();
        const ReplyVerdict& verdict = run.verdict();
        if (verdict.hartResponse && HartResponseCodeIsWarning(*verdict.hartResponse)) {
            warning_ = why;
            return readBack(std::vector<std::string>{});
        }
        Noted(run);
        Done(why);
    });
    return running_;
}
