// tavrix-cli: the configurator's exchanges without a window, for scripts and
// for commissioning many modules: read a module as a profile, apply a profile
// as a transaction and verify it, on one module or a fleet at once, with a
// certificate for each; query the HART instrument, read MODBUS registers.
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "exchange/requestcodes.h"
#include "exchange/requeststeps.h"
#include "exchange/silenceadvice.h"
#include "hart/frames.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "modbus/byteorder.h"
#include "modbus/reply.h"
#include "modbus/request.h"
#include "print/certificatepdf.h"
#include "profile/applyreport.h"
#include "profile/certificate.h"
#include "profile/profile.h"
#include "profile/unfinishedapply.h"
#include "protocol/hexbytes.h"
#include "protocol/strtoint.h"
#include "serial/openfailure.h"
#include "serial/portlist.h"
#include "serial/signalpipe.h"
#include "serial/tcomm.h"
#include "session/certifyjob.h"
#include "session/hartcommissionjob.h"
#include "session/journalfollower.h"
#include "session/link.h"
#include "session/linkrun.h"
#include "session/loopcheckjob.h"
#include "session/modulejob.h"
#include "session/portdiscovery.h"
#include "session/scanjob.h"
#include "traffic/journal.h"

#ifndef TAVRIX_VERSION
#define TAVRIX_VERSION "?"
#endif

namespace {

// The progress line of long work: one line on stderr, rewritten as the work
// goes on; only on a terminal (a log or a pipe gets nothing of it), and not
// with --quiet. Anything else written clears it first.
class ProgressLine {
public:
    void Enable(bool on) {
        on_ = on && isatty(STDERR_FILENO);
        clock_.start();
    }
    void Show(const QString& text) {
        if (!on_) return;
        std::fprintf(stderr, "\r\033[K%s, %.1f s", text.toLocal8Bit().constData(),
                     static_cast<double>(clock_.elapsed()) / 1000.0);
        std::fflush(stderr);
        shown_ = true;
    }
    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

private:
    bool on_ = false;
    bool shown_ = false;
    QElapsedTimer clock_;
};

ProgressLine progressLine;

[[gnu::format(printf, 1, 2)]] void Stderr(const char* format, ...) {
    progressLine.Clear();
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void Print(const QByteArray& text) {
    progressLine.Clear();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    if (!text.endsWith('\n')) std::fputc('\n', stdout);
}

void PrintJson(const QJsonObject& object) {
    Print(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QString Hex(const std::string& bytes) { return QString::fromLatin1(HexText(bytes)); }

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

QString Latin1(const std::string& s) { return QString::fromLatin1(s); }

// The profile of `file`, checked whole before any port is opened.
Profile LoadProfile(const std::string& file) {
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::ReadOnly)) Fail(kUsage, file + ": " + f.errorString().toStdString());
    auto read = ReadProfile(f.readAll());
    if (const auto* error = std::get_if<ProfileError>(&read))
        Fail(kUsage, ProfileErrorText(f.fileName(), *error));
    Profile profile = std::get<Profile>(std::move(read));
    if (const auto problem = ValidateProfile(profile))
        Fail(kUsage, ProfileErrorText(f.fileName(), *problem));
    return profile;
}

QString ShellQuoted(const std::string& s) {
    const QString q = QString::fromStdString(s);
    if (!q.isEmpty() && !q.contains(QRegularExpression("[^A-Za-z0-9_./:=+-]"))) return q;
    return "'" + QString(q).replace("'", "'\\''") + "'";
}

// The folder backups of apply go to unless --backup names a file.
QString BackupFolder() { return QString::fromStdString(JournalFolder()) + "/backups"; }

// Where an apply under way on `port` is recorded until its report is out.
QString UnfinishedApplyPath(const std::string& port) {
    return QString::fromStdString(JournalFolder() + "/unfinished/" + UnfinishedApplyFileName(port));
}

QString LineText(const UnfinishedLine& line) {
    return QString("--baud %1 --parity %2").arg(line.baud).arg(ParityName(line.parity));
}

// One module's run: what it prints and the status it ends with. On its own
// it prints as it always has; in a fleet the fleet prints one row for it.
class Command : public QObject {
public:
    Command(const Options& o, std::string port, const Profile* profile, bool alone,
            std::function<void()> ended)
        : options_(o),
          port_(std::move(port)),
          profile_(profile),
          alone_(alone),
          ended_(std::move(ended)),
          job_(&link_) {
        QObject::connect(&link_, &Link::echoDetected, this, [this] {
            Stderr("tavrix-cli: %s: %s\n", port_.c_str(), Link::kEchoDetectedText);
        });
        job_.SetRetries(o.retries);
        certify_.SetRetries(o.retries);
        if (alone_) {
            QObject::connect(&job_, &ModuleJob::progress, this,
                             [](int done, int total, const QString& label) {
                                 progressLine.Show(
                                     QString("step %1 of %2: %3").arg(done).arg(total).arg(label));
                             });
            QObject::connect(&scan_, &ScanJob::trying, this,
                             [](int candidate, int total, const QString& label) {
                                 progressLine.Show(QString("candidate %1 of %2: %3")
                                                       .arg(candidate + 1)
                                                       .arg(total)
                                                       .arg(label));
                             });
            QObject::connect(&loop_, &LoopCheckJob::progress, this,
                             [](const QString& what) { progressLine.Show(what); });
        }
        loop_.SetRetries(o.retries);
        commission_.SetRetries(o.retries);
        if (o.journal)
            journal_ = std::make_unique<JournalFollower>(&link_, JournalFolder(), TAVRIX_VERSION);
    }

    // Opens the module's port; false, with the cause and what to do, when it cannot.
    bool Open() {
        PortSettings line;
        line.name = port_;
        line.baudRate = options_.baud;
        line.parity = static_cast<TParity>(options_.parity);
        line.rs485 = {options_.rs485, static_cast<uint32_t>(options_.rtsDelayBeforeMs),
                      static_cast<uint32_t>(options_.rtsDelayAfterMs)};
        // Unset, each protocol has its own (configuration, HART, MODBUS).
        if (options_.answerTimeGiven)
            link_.SetAnswerTime(std::chrono::milliseconds(options_.answerTimeMs));
        link_.SetEchoMode(options_.echo);
        try {
            link_.Open(line);
            return true;
        } catch (const ECommsError& error) {
            std::string detail;
            if (error.Failure) {
                TOpenFailure failure = *error.Failure;
                failure.present = PortPaths(DiscoverSerialPorts());
                detail = OpenFailureDetail(failure);
                // The window's advice names its button; here the command is what is done again.
                for (size_t at; (at = detail.find("press Open again")) != std::string::npos;)
                    detail.replace(at, 16, "run the command again");
            }
            status_ = kCannotOpen;
            error_ = QString("cannot open %1: %2").arg(QString::fromStdString(port_), error.what());
            if (!detail.empty()) error_ += "\n" + QString::fromStdString(detail).trimmed();
            return false;
        }
    }

    void Start() {
        if (const auto unfinished = FindUnfinishedApply()) return WarnUnfinished(*unfinished);
        StartCommand();
    }

    void StartCommand() {
        const auto& w = options_.words;
        const std::string what = w[0] + (w.size() > 1 && w[0] != "apply" ? " " + w[1] : "");
        if (what == "version") return Version();
        if (what == "read") return Read();
        if (what == "apply") return Apply();
        if (what == "hart identity") return HartIdentityQuery(nullptr);
        if (what == "hart variables") return HartVariables();
        if (what == "hart loop-check") return LoopCheck();
        if (what == "hart trim") return Trim();
        if (what == "hart damping" || what == "hart units" || what == "hart reset-changed" ||
            what == "hart self-test" || what == "hart reset")
            return Commission(what);
        if (what == "modbus read") return ModbusRead();
        if (w[0] == "scan") return Scan();
    }

    void Stop() {
        job_.RequestStop();
        scan_.Cancel();
        loop_.Cancel();
        commission_.Cancel();
    }
    void Close() { link_.Close(); }

    const std::string& port() const { return port_; }
    int status() const { return status_; }
    const QString& error() const { return error_; }
    const QJsonObject& json() const { return json_; }
    const QString& summary() const { return summary_; }
    const QByteArray& report() const { return text_; }

    // The JSON every run carries, whatever it did.
    QJsonObject Outcome() const {
        QJsonObject out = json_;
        out.insert("port", QString::fromStdString(port_));
        out.insert("result", status_ == kOk             ? "ok"
                             : status_ == kNoisy        ? "noisy"
                             : status_ == kChecksFailed ? "checks failed"
                                                        : "failed");
        out.insert("exitCode", status_);
        if (!step_.isEmpty()) out.insert("step", step_);
        if (!error_.isEmpty()) out.insert("error", error_);
        out.insert("lineNow", QString::fromStdString(job_.LineNow()));
        return out;
    }

private:
    void End(int status, const QString& error = {}, const QString& step = {}) {
        if ((status == kFailed || status == kCannotOpen) && !certified_ &&
            options_.words[0] == "apply" && !options_.certificate.empty())
            WriteFailureRecord(error);
        status_ = status;
        error_ = error;
        step_ = step;
        if (alone_) {
            if (options_.json) {
                PrintJson(Outcome());
            } else if (!text_.isEmpty()) {
                Print(text_);
            }
            if (!error.isEmpty())
                Stderr("tavrix-cli: %s\n", error.toLocal8Bit().constData());
            std::fflush(stdout);
        }
        ended_();
    }

    // Why a run failed; after a timeout, what the silence means too (a
    // MODBUS slave's timeout already says what to check on the bus).
    QString WithAdvice(const LinkRun& run) const {
        const QString why = run.Why();
        if (run.state() != LinkRun::State::TimedOut || run.current() >= run.steps().size())
            return why;
        const RequestCode* entry = FindRequestCode(run.steps()[run.current()].code);
        if (!entry || entry->protocol == Protocol::Modbus) return why;
        return why + "\n" +
               QString::fromStdString(TimeoutAdvice(entry->protocol, link_.SinceLastReply()));
    }

    // Runs `steps`; `done` gets the replies when every step had one, else
    // `failed` gets why (by default the command ends with it).
    void Exchange(std::vector<SequenceStep> steps,
                  std::function<void(const std::vector<std::string>&)> done,
                  std::function<void(const QString&)> failed = {}) {
        RunThen(
            &link_, std::move(steps), this, std::move(done), [this, failed](const LinkRun& run) {
                if (failed) return failed(run.Why());
                End(kFailed, WithAdvice(run), QString::fromStdString(run.steps()[run.current()].label));
            },
            RunOptions{.retries = options_.retries});
    }

    void Version() {
        // Only the communication query is needed.
        Exchange({ReadModuleSteps().front()}, [this](const std::vector<std::string>& replies) {
            const std::string version = DecodeReadBack(replies, 0).moduleVersion;
            json_ = {{"version", Latin1(version)}};
            text_ = QByteArray::fromStdString(version);
            End(kOk);
        });
    }

    void Read() {
        connect(&job_, &ModuleJob::finished, this, [this] {
            if (job_.outcome() != ModuleJob::Outcome::Done) return End(kFailed, job_.failure());
            Profile profile = job_.readBack();
            profile.toolVersion = TAVRIX_VERSION;
            profile.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
            // The profile itself is the output, in either form.
            text_ = WriteProfile(profile);
            json_ = QJsonDocument::fromJson(text_).object();
            End(kOk);
        });
        job_.StartRead();
    }

    QString Commandline(const std::string& file, const std::string& lineBaud,
                        int lineParity) const {
        return QString("tavrix-cli --port %1 --baud %2 --parity %3 apply %4 --verify")
            .arg(ShellQuoted(port_), QString::fromStdString(lineBaud), ParityName(lineParity),
                 ShellQuoted(file));
    }

    // Keeps the snapshot where the report says, and the record of this
    // apply beside it, before the first set command goes out; why not, else "".
    QString KeepSnapshot(const Profile& read) {
        QString path = QString::fromStdString(options_.backup);
        if (path.isEmpty()) path = DefaultBackupPath(BackupFolder(), port_);
        Profile snapshot = read;
        snapshot.toolVersion = TAVRIX_VERSION;
        snapshot.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
        QString error;
        if (!WriteFileWhole(path, WriteProfile(snapshot), &error))
            return "the snapshot could not be kept: " + error;
        backup_ = QFileInfo(path).absoluteFilePath().toStdString();
        const PortSettings& line = link_.Settings();
        unfinished_ = UnfinishedApply{};
        unfinished_->port = port_;
        unfinished_->started = snapshot.date;
        unfinished_->profileFile = options_.words[1];
        unfinished_->backup = backup_;
        unfinished_->lineBefore = {line.baudRate, static_cast<int>(line.parity)};
        const ConfigField* baud = profile_->Find(ConfigSetting::Rs485BaudRate);
        const ConfigField* parity = profile_->Find(ConfigSetting::Rs485Parity);
        if (baud && parity) {
            const auto speed = TryStrToInt(SettingText(*baud));
            if (speed && *speed > 0)
                unfinished_->lineAfter = UnfinishedLine{static_cast<uint32_t>(*speed), parity->number};
        }
        if (!WriteFileWhole(UnfinishedApplyPath(port_), UnfinishedApplyJson(*unfinished_), &error)) {
            unfinished_.reset();
            return "the record of the apply could not be kept: " + error;
        }
        return {};
    }

    void RecordSent(const QString& label, bool rs485) {
        if (!unfinished_) return;
        unfinished_->Sent(label.toStdString(), rs485);
        QString error;
        if (!WriteFileWhole(UnfinishedApplyPath(port_), UnfinishedApplyJson(*unfinished_), &error))
            Stderr("tavrix-cli: %s\n", error.toLocal8Bit().constData());
    }

    std::optional<UnfinishedApply> FindUnfinishedApply() const {
        QFile f(UnfinishedApplyPath(port_));
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        auto found = ReadUnfinishedApply(f.readAll());
        if (!found)
            Stderr(
                "tavrix-cli: %s: an earlier apply on this port may not have finished; "
                "its record %s cannot be read\n",
                port_.c_str(), f.fileName().toLocal8Bit().constData());
        return found;
    }

    // An apply on this port ended without its report (a crash, a kill, the
    // power): say so before anything else, and where the module answers.
    void WarnUnfinished(const UnfinishedApply& u) {
        QString text = QString("%1: an apply started %2 did not finish: the module may be "
                               "half-configured.\n")
                           .arg(QString::fromStdString(port_), QString::fromStdString(u.started));
        text += QString("  profile: %1\n").arg(QString::fromStdString(u.profileFile));
        QStringList sent;
        for (const std::string& s : u.sent) sent << QString::fromStdString(s);
        text += "  sent: " + (sent.isEmpty() ? QString("nothing") : sent.join(", ")) + "\n";
        const UnfinishedLine& before = u.lineBefore;
        text += QString("  restore: tavrix-cli --port %1 %2 apply %3 --verify\n")
                    .arg(ShellQuoted(port_), LineText(before), ShellQuoted(u.backup));
        const bool moved = u.rs485Sent && u.lineAfter && *u.lineAfter != before;
        if (moved)
            text += QString("  its RS485 line was being changed to %1; if it answers there, "
                            "restore with those options instead\n")
                        .arg(LineText(*u.lineAfter));
        text += "  (this note stays until an apply on this port ends)";
        Stderr("tavrix-cli: %s\n", text.toLocal8Bit().constData());
        if (!moved) return StartCommand();
        LookForModule(u);
    }

    // The module at the line it was left on: the line given, else the new one.
    void LookForModule(const UnfinishedApply& u) {
        const PortSettings given = link_.Settings();
        const UnfinishedLine after = *u.lineAfter;
        const auto say = [this](const QString& where) {
            Stderr("tavrix-cli: %s: %s\n", port_.c_str(), where.toLocal8Bit().constData());
        };
        const auto back = [this, given] {
            try {
                link_.Reopen(given.baudRate, given.parity);
            } catch (const ECommsError& error) {
                return End(kCannotOpen, QString("cannot reopen %1: %2")
                                            .arg(QString::fromStdString(port_), error.what()));
            }
            StartCommand();
        };
        RunThen(
            &link_, {ReadModuleSteps().front()}, this,
            [this, say](const std::vector<std::string>&) {
                say("the module answers at the line given");
                StartCommand();
            },
            [this, say, back, after](const LinkRun&) {
                try {
                    link_.Reopen(after.baud, static_cast<TParity>(after.parity));
                } catch (const ECommsError&) {
                    say("no answer at the line given");
                    return back();
                }
                RunThen(
                    &link_, {ReadModuleSteps().front()}, this,
                    [say, back, after](const std::vector<std::string>&) {
                        say("the module answers at its new line: " + LineText(after));
                        back();
                    },
                    [say, back](const LinkRun&) {
                        say("the module answers neither at the line given nor at its new line");
                        back();
                    },
                    {.retries = options_.retries});
            },
            {.retries = options_.retries});
    }

    void Apply() {
        job_.SetSnapshotKeeper([this](const Profile& read) { return KeepSnapshot(read); });
        connect(&job_, &ModuleJob::setCommandSent, this, &Command::RecordSent);
        connect(&job_, &ModuleJob::finished, this, [this] {
            ApplyReport report = job_.report();
            const std::string backup = backup_;
            // The report below says all the record would: it goes.
            if (unfinished_) QFile::remove(UnfinishedApplyPath(port_));
            unfinished_.reset();
            const bool done = job_.outcome() == ModuleJob::Outcome::Done;
            if (!done || job_.mismatches() > 0) {
                const PortSettings& line = link_.Settings();
                const std::string baud = std::to_string(line.baudRate);
                const int parity = static_cast<int>(line.parity);
                if (!backup.empty())
                    report.restoreCommand = Commandline(backup, baud, parity).toStdString();
                report.resumeCommand = Commandline(options_.words[1], baud, parity).toStdString();
            }
            json_ = ReportJson(report);
            if (!backup.empty()) json_.insert("backup", QString::fromStdString(backup));
            text_ = QByteArray::fromStdString(ApplyReportText(report));
            if (!backup.empty()) text_ += "Snapshot before the apply: " + backup + "\n";
            const QString step = job_.failure().section(" (", 1).section(")", 0, 0);
            if (!done) return End(kFailed, job_.failure(), step);
            if (job_.mismatches() > 0)
                return End(kFailed, QString("%1 settings read back differ").arg(job_.mismatches()));
            if (!options_.certificate.empty() && options_.verify) return Certify();
            summary_ = options_.verify ? "verified" : "applied";
            End(kOk);
        });
        if (!job_.StartApply(*profile_, options_.verify)) End(kFailed, job_.failure());
    }

    static QJsonObject ReportJson(const ApplyReport& report) {
        QJsonArray applied, skipped, rows, unsent, sentUnacknowledged, retries;
        for (const auto& [command, reply] : report.applied)
            applied.append(QJsonObject{{"command", QString::fromStdString(command)},
                                       {"reply", Latin1(reply)}});
        for (const auto& s : report.skipped) skipped.append(QString::fromStdString(s));
        for (const auto& s : report.unsent) unsent.append(QString::fromStdString(s));
        for (const auto& s : report.sentUnacknowledged)
            sentUnacknowledged.append(QString::fromStdString(s));
        for (const auto& s : report.retries) retries.append(QString::fromStdString(s));
        for (const VerifyRow& r : report.rows)
            rows.append(QJsonObject{{"setting", QString::fromStdString(r.setting)},
                                    {"wanted", Latin1(r.wanted)},
                                    {"readBack", Latin1(r.readBack)},
                                    {"mismatch", r.mismatch}});
        QJsonObject out{{"applied", applied},
                        {"skipped", skipped},
                        {"unsent", unsent},
                        {"sentUnacknowledged", sentUnacknowledged},
                        {"retries", retries},
                        {"halfConfigured", report.HalfConfigured()}};
        if (!rows.isEmpty()) out.insert("verify", rows);
        if (!report.failure.empty()) out.insert("stopped", QString::fromStdString(report.failure));
        if (!report.restoreCommand.empty())
            out.insert("restoreCommand", QString::fromStdString(report.restoreCommand));
        if (!report.resumeCommand.empty())
            out.insert("resumeCommand", QString::fromStdString(report.resumeCommand));
        return out;
    }

    // Command 0; `next` continues with the identity, else it is printed.
    void HartIdentityQuery(std::function<void(const HartIdentity&)> next) {
        const SequenceStep step = HartCommand0Step(options_.hartAddress);
        Exchange({step}, [this, next, step](const std::vector<std::string>& replies) {
            const auto device = ParseHartCommand0Reply(Bytes(replies[0]));
            if (!device)
                return End(kFailed,
                           "the HART command 0 reply holds no identity: " + Hex(replies[0]),
                           "HART command 0");
            identityWarning_ = StepWarning(step, replies[0]);
            if (next) return next(device->identity);
            json_ = HartIdentityJson(*device);
            json_.insert("pollingAddress", options_.hartAddress);
            text_ = QString::fromStdString(HartIdentityText(*device)).toUtf8() +
                    QString("\npreambles %1").arg(device->preambles).toUtf8();
            AddWarning(identityWarning_);
            End(kOk);
        });
    }

    // A warning the instrument's reply came with, in both outputs; its data holds.
    void AddWarning(const std::string& warning) {
        if (warning.empty()) return;
        json_.insert("warning", QString::fromStdString(warning));
        text_ += "\nwarning: " + QByteArray::fromStdString(warning);
    }

    // The identity's fields; "manufacturer" and "deviceType" are the 16-bit
    // manufacturer code and the expanded device type from revision 7 on, the
    // bytes 1 and 2 before (where they are the same numbers).
    static QJsonObject HartIdentityJson(const HartDeviceReply& device) {
        const HartIdentity& id = device.identity;
        return {{"identity", QString::fromStdString(HartIdentityText(device))},
                {"manufacturer", device.manufacturerCode},
                {"deviceType", device.expandedDeviceType},
                {"manufacturerCode", device.manufacturerCode},
                {"expandedDeviceType", device.expandedDeviceType},
                {"revision", device.universalRevision},
                {"deviceRevision", device.deviceRevision},
                {"deviceId", static_cast<qint64>(device.DeviceNumber())},
                {"deviceIdHex", Hex(std::string(id.deviceId.begin(), id.deviceId.end())).remove(' ')},
                {"preambles", device.preambles}};
    }

    void HartVariables() {
        HartIdentityQuery([this](const HartIdentity& identity) {
            const SequenceStep step = HartCommand3Step(identity);
            Exchange({step}, [this, step](const std::vector<std::string>& replies) {
                const std::string& r = replies[0];
                const auto values = ParseHartCommand3Values(Bytes(r));
                if (!values)
                    return End(kFailed, "the HART command 3 reply could not be read: " + Hex(r),
                               "HART command 3");
                static const char* kNames[] = {"PV", "SV", "TV", "QV"};
                QJsonArray list;
                const bool currentKnown = !HartNotAvailable(values->loopCurrent);
                const QString current = QString::fromStdString(HartNumberText(values->loopCurrent));
                QByteArray text = QString("Loop current %1%2\n")
                                      .arg(current, currentKnown ? " mA" : "")
                                      .toUtf8();
                for (size_t i = 0; i < values->variables.size() && i < 4; ++i) {
                    const auto& v = values->variables[i];
                    const QString unit = QString::fromStdString(HartUnitName(v.unitCode));
                    const QString value = QString::fromStdString(HartNumberText(v.value));
                    QJsonObject entry{{"name", kNames[i]},
                                      {"value", value},
                                      {"available", !HartNotAvailable(v.value)},
                                      {"unit", unit},
                                      {"unitCode", v.unitCode}};
                    list.append(entry);
                    // The unit is said even then, so the code is never lost.
                    const QString shown = HartNotAvailable(v.value) ? "(" + unit + ")" : unit;
                    text += QString("%1 %2 %3\n").arg(kNames[i], value, shown).toUtf8();
                }
                if (values->variables.empty()) text += "no device variables: the loop current only\n";
                json_ = {{"loopCurrent", current},
                         {"loopCurrentAvailable", currentKnown},
                         {"variables", list}};
                text_ = text.chopped(1);
                const std::string warning = StepWarning(step, r);
                AddWarning(identityWarning_.empty() || warning.empty()
                               ? identityWarning_ + warning
                               : "command 0: " + identityWarning_ + "; command 3: " + warning);
                End(kOk);
            });
        });
    }

    // The announcement first, on standard error so that --json stays one
    // document; then one line a point as it is measured.
    void LoopCheck() {
        Stderr("tavrix-cli: %s\n", LoopCheckAnnouncement(options_.loopPoints).c_str());
        connect(&loop_, &LoopCheckJob::pointDone, this, [this](int i) {
            if (!alone_ || options_.json) return;
            Print(QByteArray::fromStdString(
                LoopPointLine(loop_.report().points[static_cast<size_t>(i)])));
            std::fflush(stdout);
        });
        connect(&loop_, &LoopCheckJob::finished, this, [this] {
            const LoopCheckReport& r = loop_.report();
            QJsonArray points;
            for (const LoopPointResult& p : r.points) {
                QJsonObject point{{"target", p.target}, {"pass", p.pass}};
                const auto put = [&point](const char* key, auto value) {
                    if (value) point.insert(key, static_cast<double>(*value));
                };
                put("hartCurrent", p.hartCurrent);
                put("percentOfRange", p.percent);
                put("command3Current", p.command3Current);
                put("modbusValue", p.modbusValue);
                put("modbusCurrent", p.modbusCurrent);
                put("hartDeviation", p.hartDeviation);
                put("modbusDeviation", p.modbusDeviation);
                if (!p.why.empty()) point.insert("why", QString::fromStdString(p.why));
                if (!p.warning.empty())
                    point.insert("warning", QString::fromStdString(p.warning));
                points.append(point);
            }
            json_ = {{"points", points},
                     {"tolerance", r.tolerance},
                     {"passed", r.Passed()},
                     {"fixedCurrentModeLeft", r.fixedModeLeft},
                     {"exitNote", r.exitNote}};
            if (r.identified) json_.insert("slave", r.slave);
            // The points were printed as they came; the exit note closes the list.
            text_ = r.exitNote.toUtf8();
            summary_ = r.Passed() ? "loop check passed" : "loop check failed";
            if (!r.failure.isEmpty()) return End(kFailed, r.failure, "loop check");
            if (r.cancelled) return End(kFailed, "the loop check was stopped", "loop check");
            if (!r.fixedModeLeft) return End(kFailed, r.exitNote, "loop check");
            int failed = 0;
            for (const LoopPointResult& p : r.points) failed += p.pass ? 0 : 1;
            if (failed > 0)
                return End(kFailed, QString("%1 of %2 loop points out of tolerance")
                                        .arg(failed)
                                        .arg(r.points.size()));
            End(kOk);
        });
        if (!loop_.Start(options_.hartAddress, options_.loopPoints, options_.loopTolerance))
            End(kFailed, "the line was busy", "loop check");
    }

    // A write, self test or reset: the change and its verdict in one line;
    // anything short of done and read back fails the run.
    void Commission(const std::string& what) {
        const auto& w = options_.words;
        HartCommission write;
        if (what == "hart damping") {
            write.kind = HartCommission::Kind::Damping;
            write.damping = QString::fromStdString(w[2]).toFloat();
        } else if (what == "hart units") {
            write.kind = HartCommission::Kind::PvUnits;
            write.unitCode = static_cast<uint8_t>(Number(w[2], 0, 249, "CODE"));
        } else if (what == "hart reset-changed") {
            write.kind = HartCommission::Kind::ResetChanged;
        } else if (what == "hart self-test") {
            write.kind = HartCommission::Kind::SelfTest;
        } else {
            write.kind = HartCommission::Kind::DeviceReset;
        }
        connect(&commission_, &HartCommissionJob::finished, this, [this, what] {
            const HartCommissionResult& r = commission_.result();
            static const char* kVerdicts[] = {"done", "refused", "differs", "no reply"};
            const QString result = QString::fromStdString(r.text);
            json_ = {{"change", commission_.change()},
                     {"verdict", kVerdicts[static_cast<int>(r.verdict)]},
                     {"outcome", result}};
            const QString line = commission_.change().isEmpty()
                                     ? result
                                     : commission_.change() + ": " + result;
            summary_ = line;
            if (!r.ok()) return End(kFailed, line, QString::fromStdString(what));
            text_ = line.toUtf8();
            End(kOk);
        });
        if (!commission_.Start(options_.hartAddress, write))
            End(kFailed, "the line was busy", QString::fromStdString(what));
    }

    // The loop current trim. Readings given on the command line are sent as
    // they are; a missing one is asked for on the terminal, the module's
    // reading shown as a suggestion Enter takes. The terminal is watched, not
    // read in a wait, so the line's timers and a signal still come through.
    void Trim() {
        connect(&commission_, &HartCommissionJob::progress, this, [this](const QString& what) {
            if (alone_ && !options_.json)
                Stderr("tavrix-cli: %s...\n", what.toLocal8Bit().constData());
        });
        connect(&commission_, &HartCommissionJob::readingWanted, this, [this] {
            const HartLoopTrim& trim = *commission_.trim();
            const bool zero = trim.Level() == kTrimZeroLevel;
            if (const auto& given = zero ? options_.reference4 : options_.reference20)
                return Supply(*given);
            AskReading();
        });
        connect(&commission_, &HartCommissionJob::finished, this, [this] {
            terminal_.reset();
            const HartLoopTrim* trim = commission_.trim();
            if (!trim) return End(kFailed, commission_.trimFailure(), "hart trim");
            const HartTrimReport& r = trim->report();
            QJsonObject out{{"trimmed", r.Done()},
                            {"zeroTrimmed", r.zeroTrimmed},
                            {"gainTrimmed", r.gainTrimmed},
                            {"fixedCurrentModeLeft", r.fixedLeft},
                            {"exitNote", QString::fromStdString(r.exitNote)}};
            if (r.zeroReading) out.insert("reference4", *r.zeroReading);
            if (r.gainReading) out.insert("reference20", *r.gainReading);
            json_ = out;
            const QString summary = QString::fromStdString(r.Summary());
            summary_ = summary;
            if (!r.Done()) return End(kFailed, summary, "hart trim");
            text_ = summary.toUtf8();
            End(kOk);
        });
        if (!commission_.StartTrim(options_.hartAddress))
            End(kFailed, "the line was busy", "hart trim");
    }

    void AskReading() {
        const HartLoopTrim& trim = *commission_.trim();
        const std::string level = LoopCurrentText(trim.Level());
        std::string prompt = "the loop is held at " + level + " mA; " + trim.SuggestionText() +
                             "\nreference meter reading at " + level + " mA";
        if (trim.Suggestion()) prompt += " [" + TrimCurrentText(*trim.Suggestion()) + "]";
        Stderr("%s: ", prompt.c_str());
        std::fflush(stderr);
        if (terminal_) return;
        terminal_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(terminal_.get(), &QSocketNotifier::activated, this, [this] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            // The terminal gone: nobody can read the meter, so the trim stops.
            if (n <= 0) {
                terminal_.reset();
                Stderr("\n");
                return commission_.Cancel();
            }
            typed_.append(buffer, static_cast<int>(n));
            const int newline = typed_.indexOf('\n');
            if (newline < 0) return;
            const QString line = QString::fromLocal8Bit(typed_.left(newline)).trimmed();
            typed_.clear();
            const HartLoopTrim& trim = *commission_.trim();
            if (line.isEmpty() && trim.Suggestion()) return Supply(*trim.Suggestion());
            bool ok = false;
            const double value = QLocale::c().toDouble(line, &ok);
            if (!ok) {
                Stderr("tavrix-cli: '%s' is not a number of mA\n", line.toLocal8Bit().constData());
                return AskReading();
            }
            Supply(value);
        });
    }

    void Supply(double milliamperes) {
        QString error;
        if (commission_.SupplyReading(milliamperes, &error)) return;
        Stderr("tavrix-cli: %s\n", error.toLocal8Bit().constData());
        // A reading given on the command line was checked already; a typed one is asked again.
        if (terminal_) return AskReading();
        commission_.Cancel();
    }

    void ModbusRead() {
        const auto& w = options_.words;
        const int start = Number(w[3], 0, 65535, "START");
        const int count = Number(w[4], 1, 125, "COUNT");
        Exchange(
            {ModbusReadStep(Number(w[2], 1, 247, "SLAVE"), start, count)},
            [this, start, count](const std::vector<std::string>& replies) {
                // Its verdict already held slave, function, count and CRC to the request.
                const ModbusReply reply = DecodeModbusReply(Bytes(replies[0]));
                PrintRegisters(reply, HoldingRegisterBase(start + count - 1) + start);
                End(kOk);
            });
    }

    void PrintRegisters(const ModbusReply& reply, int first) {
        QJsonArray registers, floats;
        QByteArray text;
        for (size_t i = 0; i < reply.registers.size(); ++i) {
            const QString hex = QString("%1").arg(reply.registers[i], 4, 16, QChar('0')).toUpper();
            registers.append(QJsonObject{{"register", first + static_cast<int>(i)}, {"hex", hex}});
            text += QString("%1 %2\n").arg(first + static_cast<int>(i)).arg(hex).toUtf8();
        }
        for (const ModbusFloatPair& pair : ModbusFloatPairs(reply.registers, first)) {
            QJsonObject orders;
            QString line = QString::number(pair.address);
            for (int order = 0; order < kFloatByteOrderCount; ++order) {
                const QString value =
                    QString::number(pair.value[static_cast<size_t>(order)], 'g', 9);
                orders.insert(kFloatByteOrders[order].pattern, value);
                line += QString("  %1: %2").arg(kFloatByteOrders[order].pattern, value);
            }
            floats.append(QJsonObject{{"register", pair.address}, {"orders", orders}});
            text += line.toUtf8() + "\n";
        }
        json_ = {{"registers", registers}, {"floats", floats}};
        text_ = text;
    }

    // One line a find as it comes; the list with --json. Found and clean: 0;
    // nothing found: 1; found, but noise may have hidden more: 4.
    void Scan() {
        const std::string& what = options_.words[1];
        const ScanKind kind = what == "line"  ? ScanKind::Line
                              : what == "bus" ? ScanKind::Bus
                                              : ScanKind::Instrument;
        SequenceTiming timing = link_.Timing();
        timing.answerTime = options_.answerTimeGiven
                                ? std::chrono::milliseconds(options_.answerTimeMs)
                                : DefaultScanAnswerTime(kind);
        std::string error;
        const ScanRange range = options_.range.empty()
                                    ? DefaultScanRange(kind)
                                    : *ParseScanRange(kind, options_.range, &error);
        ScanPlan plan = kind == ScanKind::Line  ? LineScanPlan(timing)
                        : kind == ScanKind::Bus ? BusScanPlan(timing, range)
                                                : InstrumentScanPlan(timing, range);
        plan.retries = options_.retries;
        connect(&scan_, &ScanJob::found, this, [this](const ScanFind& find) {
            if (alone_ && !options_.json) {
                Print(QByteArray::fromStdString(find.Text()) + "\n");
                std::fflush(stdout);
            }
        });
        connect(&scan_, &ScanJob::finished, this, [this] {
            const ScanReport& report = scan_.report();
            QJsonArray finds;
            std::vector<size_t> found;
            for (const ScanFind& find : report.finds) {
                finds.append(FindJson(find));
                found.push_back(find.candidate);
            }
            std::vector<size_t> garbage;
            QStringList noisy;
            for (const ScanReport::Note& note : report.garbage) {
                garbage.push_back(note.candidate);
                if (note.damaged && report.noisy > 0)
                    noisy << QString::fromStdString(scan_.plan().candidates[note.candidate].label);
            }
            const bool hidden = report.noisy > 0;
            // The floor: what the line and the silent candidates' timeouts cost at the least.
            json_ = {
                {"finds", finds},
                {"tried", static_cast<int>(report.tried)},
                {"retries", static_cast<int>(report.retries)},
                {"noisy", static_cast<int>(report.noisy)},
                {"elapsedMs", static_cast<int>(report.elapsed.count())},
                {"floorMs", static_cast<int>(ScanFloor(scan_.plan(), found, garbage).count())}};
            summary_ = QString("%1 found").arg(report.finds.size());
            const QString noise =
                hidden ? QString("may have missed %1: line noise (%2 still garbled after %3 "
                                 "retries)")
                             .arg(noisy.size())
                             .arg(noisy.join(", "))
                             .arg(scan_.plan().retries)
                       : QString();
            if (!report.failure.isEmpty()) return End(kFailed, report.failure, "scan");
            if (report.cancelled) return End(kFailed, "the scan was stopped", "scan");
            if (report.finds.empty())
                return End(kFailed, QString("nothing answered %1 candidates in %2 ms%3")
                                        .arg(report.tried)
                                        .arg(report.elapsed.count())
                                        .arg(hidden ? "; " + noise : QString()));
            if (hidden) {
                if (!options_.json) text_ += noise.toUtf8() + "\n";
                return End(kNoisy);
            }
            End(kOk);
        });
        if (!scan_.Start(std::move(plan))) End(kFailed, "the line was busy", "scan");
    }

    static QJsonObject FindJson(const ScanFind& find) {
        switch (find.kind) {
            case ScanKind::Line:
                return {{"baud", static_cast<int>(find.line.baud)},
                        {"parity", ParityName(static_cast<int>(find.line.parity))},
                        {"version", Latin1(find.version)}};
            case ScanKind::Bus: {
                QJsonObject out{{"slave", find.slave}};
                if (!find.exception.empty()) out.insert("exception", Latin1(find.exception));
                return out;
            }
            case ScanKind::Instrument: {
                const HartIdentity& id = find.identity;
                const HartDeviceReply& d = find.device;
                return {{"pollingAddress", find.pollingAddress},
                        {"identity", QString::fromStdString(HartIdentityText(d))},
                        {"manufacturer", d.manufacturerCode},
                        {"deviceType", d.expandedDeviceType},
                        {"manufacturerCode", d.manufacturerCode},
                        {"expandedDeviceType", d.expandedDeviceType},
                        {"revision", find.universalRevision},
                        {"deviceId",
                         Hex(std::string(id.deviceId.begin(), id.deviceId.end())).remove(' ')},
                        {"universalRevision", find.universalRevision},
                        {"deviceRevision", find.deviceRevision}};
            }
        }
        return {};
    }

    // After a verified apply: the instrument's identity and loop current and
    // the HART-to-MODBUS cross-check, then the certificate's two files.
    void Certify() {
        Certificate c = RecordOfTheApply();
        c.verified = job_.verified();
        connect(&certify_, &CertifyJob::finished, this, [this] {
            certificate_ = certify_.certificate();
            if (!options_.loopCheck) return WriteCertificate();
            // The announcement as for hart loop-check; the result goes into the certificate.
            Stderr("tavrix-cli: %s: %s\n", port_.c_str(),
                   LoopCheckAnnouncement(options_.loopPoints).c_str());
            connect(&loop_, &LoopCheckJob::finished, this, [this] {
                certificate_.loopCheck = loop_.report().Lines();
                WriteCertificate();
            });
            if (!loop_.Start(options_.hartAddress, options_.loopPoints, options_.loopTolerance)) {
                certificate_.loopCheck = {"Loop check not run: the line was busy"};
                WriteCertificate();
            }
        });
        certify_.Start(c, job_.readBack(), options_.hartAddress);
    }

    // A module whose apply failed gets its record too, saying what failed: the
    // folder then holds one record for every module of the fleet.
    void WriteFailureRecord(const QString& error) {
        certified_ = true;
        Certificate c = RecordOfTheApply();
        c.crossCheckNote = "not made: the apply failed";
        c.failure = error.toStdString();
        QString base;
        if (const QString why = WriteRecord(c, &base); !why.isEmpty())
            Stderr("tavrix-cli: %s: cannot write the failure's record: %s\n", port_.c_str(),
                   why.toLocal8Bit().constData());
        else
            json_.insert("certificate", base + ".pdf");
    }

    // What every record of this apply holds, whatever came of it.
    Certificate RecordOfTheApply() const {
        Certificate c;
        c.date = QDateTime::currentDateTime()
                     .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                     .toString(Qt::ISODate)
                     .toStdString();
        c.port = port_;
        c.toolVersion = TAVRIX_VERSION;
        c.moduleVersion = job_.readBack().moduleVersion;
        c.profileFile =
            QFileInfo(QString::fromStdString(options_.words[1])).fileName().toStdString();
        c.rows = job_.rows();
        return c;
    }

    // The record's JSON and PDF in the certificate folder, named `*base` plus
    // their extensions; why they could not be written, or nothing.
    QString WriteRecord(const Certificate& c, QString* base) const {
        QDir().mkpath(QString::fromStdString(options_.certificate));
        *base = QString::fromStdString(options_.certificate) + "/" +
                QString::fromStdString(CertificateBaseName(c));
        QFile json(*base + ".json");
        const QByteArray data = CertificateJson(c);
        if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            json.write(data) != data.size())
            return "cannot write " + json.fileName() + ": " + json.errorString();
        QString error;
        if (!WriteCertificatePdf(c, *base + ".pdf", &error))
            return "cannot write " + *base + ".pdf: " + error;
        return {};
    }

    void WriteCertificate() {
        certified_ = true;
        QString base;
        if (const QString why = WriteRecord(certificate_, &base); !why.isEmpty())
            return End(kFailed, why);
        json_.insert("certificate", base + ".pdf");
        text_ += "Certificate: " + (base + ".pdf").toUtf8() + "\n";
        summary_ = "verified, certificate " + QFileInfo(base + ".pdf").fileName();
        // Verified, but what the certificate proves beyond the settings did not
        // pass: its own exit code, never a plain success.
        QStringList checks;
        const auto& rows = certificate_.crossCheck;
        const bool agree = !rows.empty() && std::all_of(rows.begin(), rows.end(),
                                                        [](const auto& r) { return r.agree; });
        json_.insert("crossCheckPassed", agree);
        summary_ += agree ? ", cross-check passed" : ", cross-check failed";
        if (!agree) checks << "cross-check: " + QString::fromStdString(certificate_.crossCheckNote);
        if (options_.loopCheck) {
            const LoopCheckReport& r = loop_.report();
            json_.insert("loopCheckPassed", r.Passed());
            for (const std::string& line : certificate_.loopCheck)
                text_ += QByteArray::fromStdString(line) + "\n";
            summary_ += r.Passed() ? ", loop check passed" : ", loop check failed";
            if (!r.Passed())
                checks << "loop check: " + QString::fromStdString(r.Summary()) + ". " + r.exitNote;
        }
        if (!checks.isEmpty())
            return End(kChecksFailed, "verified, but " + checks.join("; "),
                       options_.loopCheck && !loop_.report().Passed() ? "loop check"
                                                                      : "cross-check");
        End(kOk);
    }

    Options options_;
    std::string port_;
    const Profile* profile_;
    bool alone_;
    std::function<void()> ended_;
    Link link_;
    std::unique_ptr<JournalFollower> journal_;  // every frame of this port, as it goes
    ModuleJob job_;
    CertifyJob certify_{&link_};
    ScanJob scan_{&link_};
    LoopCheckJob loop_{&link_};
    HartCommissionJob commission_{&link_};
    std::unique_ptr<QSocketNotifier> terminal_;  // hart trim: the engineer's readings
    QByteArray typed_;
    int status_ = kOk;
    QString error_, step_, summary_;
    std::string identityWarning_;  // of the last command 0 reply, "" without one
    QJsonObject json_;
    QByteArray text_;
    Certificate certificate_;
    bool certified_ = false;  // its certificate, or its failure's record, is written
    std::string backup_;  // the snapshot's file, once kept
    std::optional<UnfinishedApply> unfinished_;  // on disk while the apply runs
};

// The fleet's closing lines: one row a module, then its failures' reports.
int Summarize(const Options& options, const std::vector<std::unique_ptr<Command>>& commands) {
    int worst = kOk;
    QJsonArray modules;
    QByteArray text;
    for (const auto& c : commands) {
        // A failure outweighs a module verified whose checks did not pass.
        const auto rank = [](int status) { return status == kChecksFailed ? 0 : status; };
        if (c->status() != kOk && (worst == kOk || rank(c->status()) > rank(worst)))
            worst = c->status();
        modules.append(c->Outcome());
        const QString result = c->status() == kOk              ? c->summary()
                               : c->status() == kChecksFailed ? c->summary() + ": " + c->error()
                                                               : "FAILED: " + c->error();
        text +=
            QString("%1  %2\n").arg(QString::fromStdString(c->port()), -24).arg(result).toUtf8();
    }
    const int failed = static_cast<int>(
        std::count_if(commands.begin(), commands.end(), [](const auto& c) {
            return c->status() != kOk && c->status() != kChecksFailed;
        }));
    if (options.json) {
        PrintJson({{"modules", modules},
                   {"result", worst == kOk ? "ok" : worst == kChecksFailed ? "checks failed" : "failed"},
                   {"exitCode", worst},
                   {"failed", failed}});
    } else {
        Print(text + QString("%1 of %2 modules %3.\n")
                         .arg(commands.size() - static_cast<size_t>(failed))
                         .arg(commands.size())
                         .arg(options.verify ? "verified" : "applied")
                         .toUtf8());
        for (const auto& c : commands) {
            if (c->status() == kOk || c->status() == kChecksFailed || c->report().isEmpty())
                continue;
            Print("== " + QByteArray::fromStdString(c->port()) + "\n" + c->report());
        }
    }
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    // Drawing a certificate's page needs the GUI library's fonts, never a display.
    bool certificate = false;
    for (int i = 1; i < argc; ++i) certificate |= std::string(argv[i]) == "--certificate";
    // The program shows nothing: a desktop's platform (or none) must not stop it.
    if (certificate) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app(certificate ? new QGuiApplication(argc, argv)
                                                      : new QCoreApplication(argc, argv));
    const Options options = Parse(app->arguments());
    std::optional<Profile> profile;
    if (options.words[0] == "apply") profile = LoadProfile(options.words[1]);

    const bool alone = options.ports.size() == 1;
    std::vector<std::unique_ptr<Command>> commands;
    size_t running = 0;
    progressLine.Enable(!options.quiet);
    const auto ended = [&] {
        if (!alone)
            progressLine.Show(QString("%1 of %2 modules done")
                                  .arg(commands.size() - running + 1)
                                  .arg(commands.size()));
        if (--running == 0) {
            progressLine.Clear();
            QTimer::singleShot(0, app.get(), [] { QCoreApplication::exit(0); });
        }
    };
    for (const std::string& port : options.ports)
        commands.push_back(
            std::make_unique<Command>(options, port, profile ? &*profile : nullptr, alone, ended));
    // SIGINT, SIGTERM and SIGHUP reach the event loop (from before the ports
    // open, so none ends the program with a port held): the first stops after
    // the exchange under way (an apply reports what it sent); a second one
    // closes the ports at once and ends.
    TSignalPipe termination;
    QObject::connect(&termination, &TSignalPipe::received, [&](int signo, int count) {
        if (count == 1) {
            Stderr("tavrix-cli: stopping after the exchange under way\n");
            for (auto& c : commands) c->Stop();
            return;
        }
        Stderr("tavrix-cli: stopped\n");
        for (auto& c : commands) c->Close();
        std::exit(TSignalPipe::ExitStatus(signo));
    });
    // Every port opens before any module is sent anything.
    for (auto& c : commands) {
        if (c->Open()) continue;
        if (alone || options.json) {
            Stderr("tavrix-cli: %s\n", c->error().toLocal8Bit().constData());
            if (options.json) PrintJson(c->Outcome());
            return kCannotOpen;
        }
        Fail(kCannotOpen, c->error().toStdString());
    }

    running = commands.size();
    for (auto& c : commands) QTimer::singleShot(0, c.get(), [&c] { c->Start(); });
    app->exec();
    for (auto& c : commands) c->Close();
    if (options.words[0] == "apply" && !options.verify)
        Stderr(
            "tavrix-cli: applied without --verify: nothing was read back, so no setting "
            "is confirmed\n");
    if (alone) return commands.front()->status();
    return Summarize(options, commands);
}
