// What a handheld communicator offers for commissioning beyond tag, message
// and range: write the damping (34) and the primary variable's unit (44),
// reset the configuration changed flag (38), self test (41) and device reset
// (42), each followed by the read that shows what it left; and the loop
// current trim (40, 45, 40, 46, 40 with 0) as its standard procedure, the
// engineer's meter readings in between. Pure: the steps, the change in words
// and the verdicts; session/hartcommissionjob runs them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/crosscheck.h"
#include "exchange/requestsequence.h"
#include "hart/replies.h"
#include "hart/universal.h"

struct HartCommission {
    enum class Kind { Damping, PvUnits, ResetChanged, SelfTest, DeviceReset };
    Kind kind = Kind::Damping;
    float damping = 0;     // s
    uint8_t unitCode = 0;  // PvUnits
    // ResetChanged: the counter the engineer saw; nullopt takes the one the
    // instrument's command 0 reports when the reset is sent.
    std::optional<uint16_t> changeCounter{};
};

// The write's step to the instrument `device` answered command 0 for, or why
// it cannot be sent (`error`, nullopt).
std::optional<SequenceStep> HartCommissionStep(const HartDeviceReply& device,
                                               const HartCommission& write, std::string* error);
// The read that shows what the write left: 15 for the damping and the unit,
// 0 (at `pollingAddress`) for the flag and its counter, 48 after a self test;
// none after a device reset, which the instrument answers before it restarts.
std::optional<SequenceStep> HartCommissionReadBack(const HartDeviceReply& device,
                                                   int pollingAddress, const HartCommission& write);

// The change in words, from what was read before:
// "damping 0.5 s → 2 s", "PV units kPa → bar",
// "reset the configuration changed flag (change counter 3)", "self test", "device reset".
std::string HartCommissionChange(const HartCommission& write, const HartDeviceReply& device,
                                 const std::optional<HartDeviceInfo>& before);

// What one exchange came to: the reply the command was carried out with, or
// the instrument's refusal, or nothing usable.
struct HartExchange {
    std::optional<std::string> reply;     // carried out (success or a warning)
    std::optional<uint8_t> responseCode;  // a refusal's or a warning's code
    std::optional<uint8_t> deviceStatus;  // of any reply that came
    std::string why;                      // no usable reply: the run's reason
};

struct HartCommissionResult {
    enum class Verdict { Done, Refused, Differs, NoReply };
    Verdict verdict = Verdict::NoReply;
    // "done and read back: damping 2 s", "refused: response code 7 in
    // write-protect mode", "read back differs: damping reads 0.5 s", "no reply: ..."
    std::string text;
    bool ok() const { return verdict == Verdict::Done; }
};

// The write's verdict from its exchange and its read back's. A warning code
// (34's "set to nearest possible value") is carried out: the read back is
// then held against the value the instrument took, and the warning said.
HartCommissionResult JudgeHartCommission(const HartCommission& write, const HartExchange& sent,
                                         const HartExchange& readBack);

// The loop current trim: the loop held at 4 mA, the reference meter's reading
// sent by command 45, held at 20 mA, the reading sent by 46, and command 40
// with 0 whatever ends it: the last trim, a refusal, no reply, Cancel.
inline constexpr double kTrimZeroLevel = 4.0;   // mA
inline constexpr double kTrimGainLevel = 20.0;  // mA
// A reading further from its level than this is a misread meter, not a trim.
inline constexpr double kTrimReach = 1.0;  // mA
// Command 40 with 0 is sent this often before the report says it may not have been taken.
inline constexpr int kTrimLeaveTries = 3;

// "" when `milliamperes` can be the meter's reading of the loop held at
// `level`, else why not ("the reading 40.13 mA is more than 1 mA from 4 mA: ...").
std::string TrimReadingError(double level, double milliamperes);

// Where the module's own reading of the loop current is: its slave address
// and variable 1's byte order and coefficient (register 40003).
struct ModuleLoopMeter {
    int slave = 1;
    CrossCheckSettings module;
};

struct HartTrimReport {
    std::optional<double> zeroReading;  // mA, as sent by command 45
    std::optional<double> gainReading;  // mA, as sent by command 46
    bool zeroTrimmed = false;
    bool gainTrimmed = false;
    bool cancelled = false;
    std::string failure;        // why it stopped short; "" when it did not
    bool fixedEntered = false;  // a command 40 with a current was sent
    bool fixedLeft = false;     // command 40 with 0 was confirmed
    std::string exitNote;       // what became of fixed current mode

    bool Done() const { return zeroTrimmed && gainTrimmed && fixedLeft; }
    // "loop current trimmed: 4 mA read 4.013 mA, 20 mA read 19.987 mA; fixed current mode left"
    std::string Summary() const;
};

class HartLoopTrim {
public:
    enum class Stage {
        FixZero,      // command 40 at 4 mA
        SuggestZero,  // registers 40003-40004: the module's reading
        ReadingZero,  // waits for the engineer's reading
        TrimZero,     // command 45
        FixGain,      // command 40 at 20 mA
        SuggestGain,
        ReadingGain,
        TrimGain,  // command 46
        Leave,     // command 40 with 0
        Finished,
    };

    // `meter`: where the module reads the loop current, nullopt when it
    // could not be asked (no suggestion is made then).
    HartLoopTrim(const HartIdentity& identity, std::optional<ModuleLoopMeter> meter);

    Stage stage() const { return stage_; }
    bool finished() const { return stage_ == Stage::Finished; }
    bool AwaitsReading() const {
        return stage_ == Stage::ReadingZero || stage_ == Stage::ReadingGain;
    }
    // The level the loop is held at in this stage: 4 or 20 mA.
    double Level() const;
    // The stage's one step; nothing while a reading is awaited or after the end.
    std::optional<SequenceStep> Step() const;
    // The step's exchange ended with `outcome`; on to the next stage.
    void Took(const HartExchange& outcome);
    // The engineer's reading of the meter at Level(); false with `error`
    // (the plan waits on) when it is no reading of that level.
    bool Supply(double milliamperes, std::string* error);
    // Stops before the next trim; the loop is still released.
    void Cancel();

    // While a reading is awaited: the module's MODBUS reading, when it gave one.
    std::optional<double> Suggestion() const { return suggestion_; }
    // "suggested from the module's MODBUS reading: 4.013 mA", or why there is none.
    std::string SuggestionText() const;
    const HartTrimReport& report() const { return report_; }

private:
    void Leave();
    bool CancelAsked() const;
    HartIdentity identity_;
    std::optional<ModuleLoopMeter> meter_;
    Stage stage_ = Stage::FixZero;
    std::optional<double> suggestion_;
    std::string suggestionNote_;
    int leaveTries_ = 0;
    HartTrimReport report_;
};

// "4.013": a current in mA as the trim shows and sends it.
std::string TrimCurrentText(double milliamperes);
