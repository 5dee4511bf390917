// tavrix-cli: the configurator's exchanges without a window, for scripts and
// for commissioning many modules: read a module as a profile, apply a profile
// and verify it, query the HART instrument, read MODBUS registers.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "exchange/bytetext.h"
#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "modbus/byteorder.h"
#include "modbus/reply.h"
#include "modbus/request.h"
#include "profile/applyreport.h"
#include "profile/profile.h"
#include "serial/tcomm.h"
#include "session/link.h"
#include "session/modulejob.h"
#include "session/requestrunner.h"

#ifndef TAVRIX_VERSION
#define TAVRIX_VERSION "?"
#endif

namespace {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

// The window's defaults for HART transparent mode.
constexpr int kHartPreamble = 6;
constexpr int kHartPollingAddress = 0;

const char* const kUsageText =
    "Usage: tavrix-cli --port DEV [--baud N] [--parity none|odd|even] [--answer-time MS]\n"
    "                  [--json] COMMAND\n"
    "Commands:\n"
    "  version                      the module's version text\n"
    "  read                         the module's settings as a profile (JSON)\n"
    "  apply FILE [--verify]        send a profile's settings; --verify reads them back\n"
    "  hart identity                command 0 of the HART instrument\n"
    "  hart variables               command 3: the dynamic variables and their units\n"
    "  modbus read SLAVE START COUNT  holding registers through the module\n"
    "Each exchange ends once its reply is complete by its frame; --answer-time is the\n"
    "module's longest time to answer (default 500 ms), which the timeouts allow for.\n"
    "Exit status: 0 success, 1 no answer, a wrong or incomplete reply or a verification\n"
    "mismatch, 2 bad usage or file.\n";

struct Options {
    std::string port;
    uint32_t baud = 9600;
    int parity = 0;
    int answerTimeMs = 500;
    bool json = false;
    bool verify = false;
    std::vector<std::string> words;
};

[[noreturn]] void Fail(int status, const std::string& line) {
    std::fprintf(stderr, "tavrix-cli: %s\n", line.c_str());
    std::exit(status);
}

int Number(const std::string& text, int low, int high, const char* what) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < low || v > high) {
        Fail(kUsage, std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return static_cast<int>(v);
}

Options Parse(const QStringList& args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            std::fputs(kUsageText, stdout);
            std::exit(kOk);
        } else if (a == "--port" && hasValue) {
            o.port = args[++i].toStdString();
        } else if (a == "--baud" && hasValue) {
            o.baud = static_cast<uint32_t>(Number(args[++i].toStdString(), 1, 4000000, "--baud"));
        } else if (a == "--parity" && hasValue) {
            const QString p = args[++i].toLower();
            const QStringList names = {"none", "odd", "even"};
            o.parity = static_cast<int>(names.indexOf(p));
            if (o.parity < 0) Fail(kUsage, "--parity takes none, odd or even");
        } else if (a == "--answer-time" && hasValue) {
            o.answerTimeMs = Number(args[++i].toStdString(), 1, 60000, "--answer-time");
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--verify") {
            o.verify = true;
        } else if (a.starts_with("--")) {
            Fail(kUsage, "unknown option '" + a + "' (see --help)");
        } else {
            o.words.push_back(a);
        }
    }
    if (o.words.empty()) Fail(kUsage, "no command given (see --help)");
    if (o.port.empty()) Fail(kUsage, "--port DEV is required");
    return o;
}

void Print(const QByteArray& text) {
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    if (!text.endsWith('\n')) std::fputc('\n', stdout);
}

void PrintJson(const QJsonObject& object) {
    Print(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QString Hex(const std::string& bytes) { return QString::fromLatin1(HexText(bytes)).trimmed(); }

// One command's run: what it prints and the status it ends with.
class Command : public QObject {
public:
    Command(const Options& o, Link* link)
        : options_(o), link_(link), runner_(*link->Sequencer()), job_(link) {}

    void Start() {
        const auto& w = options_.words;
        const std::string what =
            w[0] + (w.size() > 1 && (w[0] == "hart" || w[0] == "modbus") ? " " + w[1] : "");
        if (what == "version" && w.size() == 1) return Version();
        if (what == "read" && w.size() == 1) return Read();
        if (what == "apply" && w.size() == 2) return Apply(w[1]);
        if (what == "hart identity" && w.size() == 2) return HartIdentityQuery(nullptr);
        if (what == "hart variables" && w.size() == 2) return HartVariables();
        if (what == "modbus read" && w.size() == 5) return ModbusRead();
        Fail(kUsage, "unknown command or wrong arguments: '" + Join(w) + "' (see --help)");
    }

private:
    static std::string Join(const std::vector<std::string>& words) {
        std::string s;
        for (const auto& word : words) s += (s.empty() ? "" : " ") + word;
        return s;
    }

    void End(int status, const QString& error = {}) {
        if (!error.isEmpty())
            std::fprintf(stderr, "tavrix-cli: %s\n", error.toLocal8Bit().constData());
        std::fflush(stdout);
        QCoreApplication::exit(status);
    }

    // Runs `steps`; `done` gets the replies when every step had one.
    void Exchange(std::vector<SequenceStep> steps,
                  std::function<void(const std::vector<std::string>&)> done) {
        QObject::disconnect(&runner_, &RequestRunner::ended, this, nullptr);
        connect(&runner_, &RequestRunner::ended, this, [this, done] {
            const RequestSequence& seq = runner_.sequence();
            if (seq.state() != RequestSequence::State::Finished) {
                const bool silent = seq.state() == RequestSequence::State::TimedOut;
                return End(kFailed,
                           QString(silent ? "no reply to %1: %2" : "reply to %1 %2")
                               .arg(QString::fromStdString(seq.steps()[seq.current()].label),
                                    runner_.failure()));
            }
            done(seq.replies());
        });
        runner_.Run(std::move(steps));
    }

    void Version() {
        // Only the communication query is needed.
        Exchange({ReadModuleSteps().front()}, [this](const std::vector<std::string>& replies) {
            const std::string version = DecodeReadBack(replies, 0).moduleVersion;
            if (options_.json) {
                PrintJson({{"version", QString::fromLatin1(version)}});
            } else {
                Print(QByteArray::fromStdString(version));
            }
            End(kOk);
        });
    }

    void Read() {
        connect(&job_, &ModuleJob::finished, this, [this] {
            if (job_.outcome() != ModuleJob::Outcome::Done) return End(kFailed, job_.failure());
            Profile profile = job_.readBack();
            profile.toolVersion = TAVRIX_VERSION;
            profile.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
            Print(WriteProfile(profile));
            End(kOk);
        });
        job_.StartRead();
    }

    void Apply(const std::string& file) {
        QFile f(QString::fromStdString(file));
        if (!f.open(QIODevice::ReadOnly)) Fail(kUsage, file + ": " + f.errorString().toStdString());
        const auto read = ReadProfile(f.readAll());
        if (const auto* error = std::get_if<ProfileError>(&read))
            Fail(kUsage, ProfileErrorText(f.fileName(), *error));
        connect(&job_, &ModuleJob::finished, this, [this] {
            const ApplyReport report = job_.report();
            if (options_.json) {
                PrintJson(ReportJson(report));
            } else {
                Print(QByteArray::fromStdString(ApplyReportText(report)));
            }
            if (job_.outcome() != ModuleJob::Outcome::Done) return End(kFailed, job_.failure());
            if (job_.mismatches() > 0)
                return End(kFailed, QString("%1 settings read back differ").arg(job_.mismatches()));
            End(kOk);
        });
        job_.StartApply(std::get<Profile>(read), options_.verify);
    }

    static QJsonObject ReportJson(const ApplyReport& report) {
        QJsonArray applied, skipped, rows;
        for (const auto& [command, reply] : report.applied)
            applied.append(QJsonObject{{"command", QString::fromStdString(command)},
                                       {"reply", QString::fromLatin1(reply)}});
        for (const auto& s : report.skipped) skipped.append(QString::fromStdString(s));
        for (const VerifyRow& r : report.rows)
            rows.append(QJsonObject{{"setting", QString::fromStdString(r.setting)},
                                    {"wanted", QString::fromLatin1(r.wanted)},
                                    {"readBack", QString::fromLatin1(r.readBack)},
                                    {"mismatch", r.mismatch}});
        QJsonObject out{{"applied", applied}, {"skipped", skipped}};
        if (!rows.isEmpty()) out.insert("verify", rows);
        if (!report.failure.empty()) out.insert("stopped", QString::fromStdString(report.failure));
        return out;
    }

    // Command 0; `next` continues with the identity, else it is printed.
    void HartIdentityQuery(std::function<void(const HartIdentity&)> next) {
        const HartBytes frame =
            HartCommand0Frame(kHartPreamble, kPrimaryMaster, kHartPollingAddress);
        Exchange(
            {{std::string(frame.begin(), frame.end()), kCodeHartCommand0, "HART command 0"}},
            [this, next](const std::vector<std::string>& replies) {
                const std::string& r = replies[0];
                const auto device = ParseHartCommand0Reply(
                    std::span(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
                if (!device)
                    return End(kFailed, "the HART command 0 reply holds no identity: " + Hex(r));
                if (next) return next(device->identity);
                const HartIdentity& id = device->identity;
                if (options_.json) {
                    PrintJson({{"manufacturer", id.manufacturer},
                               {"deviceType", id.deviceType},
                               {"deviceId", static_cast<qint64>(device->DeviceNumber())},
                               {"preambles", device->preambles}});
                } else {
                    Print(QString("manufacturer %1\ndevice type %2\ndevice id %3\npreambles %4")
                              .arg(id.manufacturer)
                              .arg(id.deviceType)
                              .arg(device->DeviceNumber())
                              .arg(device->preambles)
                              .toUtf8());
                }
                End(kOk);
            });
    }

    void HartVariables() {
        HartIdentityQuery([this](const HartIdentity& identity) {
            const HartBytes frame = HartCommand3Frame(kHartPreamble, kPrimaryMaster, identity);
            Exchange(
                {{std::string(frame.begin(), frame.end()), kCodeHartCommand3, "HART command 3"}},
                [this](const std::vector<std::string>& replies) {
                    const std::string& r = replies[0];
                    const auto vars = ParseHartCommand3Reply(
                        std::span(reinterpret_cast<const uint8_t*>(r.data()), r.size()), '.');
                    if (!vars)
                        return End(kFailed,
                                   "the HART command 3 reply holds no variables: " + Hex(r));
                    static const char* kNames[] = {"PV", "SV", "TV", "QV"};
                    QJsonArray list;
                    QByteArray text;
                    for (size_t i = 0; i < vars->size(); ++i) {
                        const char* unit = UnitText((*vars)[i].unitItem);
                        const QString unitText = QString::fromUtf8(unit ? unit : "");
                        const QString value = QString::fromLatin1((*vars)[i].valueText);
                        list.append(
                            QJsonObject{{"name", kNames[i]}, {"value", value}, {"unit", unitText}});
                        text += QString("%1 %2 %3\n").arg(kNames[i], value, unitText).toUtf8();
                    }
                    options_.json ? PrintJson({{"variables", list}}) : Print(text);
                    End(kOk);
                });
        });
    }

    void ModbusRead() {
        const auto& w = options_.words;
        const int slave = Number(w[2], 0, 255, "SLAVE");
        const int start = Number(w[3], 0, 255, "START");
        const int count = Number(w[4], 1, 125, "COUNT");
        const ModbusRequest frame = ReadHoldingRegistersRequest(slave, start, count);
        Exchange({{std::string(frame.begin(), frame.end()), kCodeModbusTest, "MODBUS read"}},
                 [this, start](const std::vector<std::string>& replies) {
                     const std::string& r = replies[0];
                     const ModbusReply reply = DecodeModbusReply(
                         std::span(reinterpret_cast<const uint8_t*>(r.data()), r.size()));
                     if (reply.exception)
                         return End(kFailed,
                                    "exception " + QString::fromStdString(
                                                       ModbusExceptionName(reply.exceptionCode)));
                     if (reply.problem != ModbusReplyProblem::None || !reply.crcOk) {
                         const char* why = reply.problem != ModbusReplyProblem::None
                                               ? ModbusReplyProblemText(reply.problem)
                                               : "CRC mismatch";
                         return End(kFailed, QString("bad reply (%1): %2").arg(why, Hex(r)));
                     }
                     PrintRegisters(reply, kFirstHoldingRegister + start);
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
        options_.json ? PrintJson({{"registers", registers}, {"floats", floats}}) : Print(text);
    }

    Options options_;
    Link* link_;
    RequestRunner& runner_;
    ModuleJob job_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Options options = Parse(app.arguments());
    Link link;
    TComm& comm = *link.Comm();
    comm.CommName = options.port;
    comm.SetBaudRate(options.baud);
    comm.Parity = static_cast<TParity>(options.parity);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetReadIntervalTimeout(400);
    link.SetAnswerTime(std::chrono::milliseconds(options.answerTimeMs));
    try {
        link.Open();
    } catch (const ECommsError& error) {
        Fail(kFailed, "cannot open " + options.port + ": " + error.what());
    }
    Command command(options, &link);
    QTimer::singleShot(0, &command, &Command::Start);
    const int status = app.exec();
    link.Close();
    return status;
}
