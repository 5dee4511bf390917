#include "session/certifyjob.h"

#include <QString>

#include "exchange/crosscheck.h"
#include "exchange/hartinstrument.h"
#include "exchange/requeststeps.h"
#include "hart/frames.h"
#include "hart/status.h"
#include "hart/units.h"
#include "hart/universal.h"
#include "modbus/reply.h"
#include "modbus/request.h"
#include "profile/profilecommands.h"
#include "protocol/strtoint.h"
#include "session/link.h"
#include "session/linkrun.h"

namespace {

// Where the cross-check says its newest values came from.
constexpr const char* kSource = "the certificate's checks";

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Number(double value) { return QString::number(value, 'g', 7).toStdString(); }

}  // namespace

CrossCheckSettings ModuleCrossCheckSettings(const Profile& module) {
    const auto text = [&module](ConfigSetting setting) {
        const ConfigField* f = module.Find(setting);
        return f ? f->text : std::string();
    };
    const auto item = [&module](ConfigSetting setting) {
        const ConfigField* f = module.Find(setting);
        return f ? f->number : 0;
    };
    CrossCheckSettings settings;
    settings.listOrder = {
        item(ConfigSetting::ModbusFloatOrder40003), item(ConfigSetting::ModbusFloatOrder40005),
        item(ConfigSetting::ModbusFloatOrder40007), item(ConfigSetting::ModbusFloatOrder40009)};
    settings.coefficientMode = item(ConfigSetting::CoefficientVar1Mode);
    settings.coefficient1 = text(ConfigSetting::CoefficientVar1);
    settings.coefficients = {text(ConfigSetting::CoefficientVar2),
                             text(ConfigSetting::CoefficientVar3),
                             text(ConfigSetting::CoefficientVar4)};
    return settings;
}

int ModuleSlaveAddress(const Profile& module) {
    const ConfigField* f = module.Find(ConfigSetting::ModbusSlaveAddress);
    return f ? TryStrToInt(f->text).value_or(0) : 0;
}

namespace {

// Of ReadModuleSteps(): the system and the MODBUS parameter queries.
constexpr size_t kSystemQuery = 1;
constexpr size_t kModbusQuery = 3;

}  // namespace

std::vector<SequenceStep> ModuleMeterSteps() {
    const auto read = ReadModuleSteps();
    return {read[kSystemQuery], read[kModbusQuery]};
}

ModuleLoopMeter ModuleMeterFrom(const std::vector<std::string>& replies) {
    std::vector<std::string> all(ReadModuleSteps().size());
    all[kSystemQuery] = replies.at(0);
    all[kModbusQuery] = replies.at(1);
    const Profile module = DecodeReadBack(all, 0);
    return {ModuleSlaveAddress(module), ModuleCrossCheckSettings(module)};
}

CertifyJob::CertifyJob(Link* link, QObject* parent) : QObject(parent), link_(link) {}

bool CertifyJob::Start(Certificate certificate, const Profile& module, int hartAddress) {
    if (running_ || link_->RunsActive()) return false;
    running_ = true;
    certificate_ = std::move(certificate);
    module_ = module;
    Exchange({HartCommand0Step(hartAddress)}, [this](const std::string& reply) {
        const auto device = ParseHartCommand0Reply(Bytes(reply));
        if (!device) return Done("the command 0 reply holds no identity");
        const HartIdentity id = device->identity;
        certificate_.hartIdentity = HartIdentityText(*device);
        Exchange({HartCommand3Step(id)}, [this, id](const std::string& hart) {
            const auto values = ParseHartCommand3Values(Bytes(hart));
            if (!values) return Done("the command 3 reply could not be read");
            // A current the instrument reports not available is no reading.
            if (!HartNotAvailable(values->loopCurrent))
                certificate_.loopCurrentMa = values->loopCurrent;
            ReadTagAndRange(id, *values);
        });
    });
    return true;
}

void CertifyJob::Exchange(std::vector<SequenceStep> steps,
                          std::function<void(const std::string&)> done) {
    RunThen(
        link_, std::move(steps), this,
        [done](const std::vector<std::string>& replies) { done(replies.front()); },
        [this](const LinkRun& run) { Done(run.Why().toStdString()); },
        {.retries = retries_, .source = kSource});
}

void CertifyJob::ReadTagAndRange(const HartIdentity& id, const HartDynamicValues& hart) {
    RunThen(
        link_, {HartStep(kHartReadTag, id), HartStep(kHartReadDeviceInfo, id)}, this,
        [this, hart](const std::vector<std::string>& replies) {
            if (const auto tag = ParseHartTag(Bytes(replies[0]))) {
                certificate_.hartTag = TrimPacked(tag->tag);
                certificate_.hartDescriptor = TrimPacked(tag->descriptor);
            }
            if (const auto info = ParseHartCommand15(Bytes(replies[1])))
                certificate_.hartRange =
                    HartRangeText({info->rangeUnitCode, info->upper, info->lower});
            CrossCheckWith(hart);
        },
        [this, hart](const LinkRun&) { CrossCheckWith(hart); },
        {.retries = retries_, .source = kSource});
}

void CertifyJob::CrossCheckWith(const HartDynamicValues& hart) {
    const CrossCheckSettings settings = ModuleCrossCheckSettings(module_);
    const int slave = ModuleSlaveAddress(module_);
    Exchange({ModbusReadStep(slave, 0, 10)}, [this, hart, settings](const std::string& reply) {
        // Its verdict already held it to the request: slave, count, CRC.
        const ModbusReply modbus = DecodeModbusReply(Bytes(reply));
        int agree = 0, uncompared = 0;
        const auto rows = CrossCheck(hart, modbus.registers, kFirstHoldingRegister, settings);
        for (const CrossCheckRow& row : rows) {
            CertificateCheck check;
            check.variable = row.variable;
            check.address = row.address;
            check.hartValue = !row.hartValue                   ? "-"
                              : HartNotAvailable(*row.hartValue) ? kHartNotAvailableText
                                  : Number(*row.hartValue) + " " + HartUnitName(row.unitCode);
            check.modbusValue = row.modbusValue ? Number(*row.modbusValue) : "-";
            check.agree = row.agree;
            agree += row.agree ? 1 : 0;
            uncompared += row.state == CrossCheckState::CouldNotCompare ? 1 : 0;
            certificate_.crossCheck.push_back(check);
        }
        certificate_.crossCheckNote = std::to_string(agree) + " of " + std::to_string(rows.size()) +
                                      " variables agree between HART and MODBUS";
        // Variables the instrument lacks or reports not available are no disagreement.
        if (uncompared > 0)
            certificate_.crossCheckNote += "; " + std::to_string(uncompared) +
                                           " could not be compared";
        // The values held, but the instrument said something of them.
        if (hart.responseCode != 0)
            certificate_.crossCheckNote +=
                "; the HART values came with response code " +
                HartResponseCodeText(hart.responseCode, 3);
        Done();
    });
}

void CertifyJob::Done(const std::string& note) {
    if (!note.empty()) certificate_.crossCheckNote = "no cross-check: " + note;
    running_ = false;
    emit finished();
}
