// The settings a Tavrix module keeps, with plausible factory values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ModuleSettings {
    std::string version = "TAVRIX HART-MODBUS V2.0 2025-02-23";

    // System parameters.
    int mode = 1;                      // 0 transparent … 4 monitoring data output
    std::string slaveAddress = "001";  // three digits
    std::string pollInterval = "050";  // units of 10 ms
    int rs485Baud = 3;                 // 0 1200 … 5 38400
    int rs485Parity = 0;               // 0 none, 1 odd, 2 even
    int responseTime = 3;              // 0 50 ms … 5 500 ms
    std::string pcbsn = "00000000";
    std::string inspector = "001";

    // Current outputs of variables 2..4 and variable 1 map.
    std::array<std::string, 3> range4mA{"0.000", "0.000", "0.000"};
    std::array<std::string, 3> range20mA{"100.0", "100.0", "100.0"};
    int var1Map = 0;

    // Float byte order of registers 40003, 40005, 40007, 40009: 0 = FF4 FF3 FF2 FF1
    // (most significant byte first), 1 = FF2 FF1 FF4 FF3 (words swapped).
    std::array<int, 4> floatOrder{0, 0, 0, 0};

    // Coefficients.
    int coefficientMode = 0;
    std::string coefficient1 = "0.001";
    std::array<std::string, 3> coefficients{"1.000", "1.000", "1.000"};

    // HART monitoring parameters.
    int meterId = 0;
    int hartEnable = 0;
    int hartMode = 0;
    int meterType = 0;  // 0 custom, 1 universal
    int preambles = 4;  // 4..9
    std::string bufferClearTime = "060";

    // Custom HART data parsing format.
    int addressBits = 8;
    struct VariableParse {
        int command = 0;
        int startAddress = 0;
        int length = 0;
        bool operator==(const VariableParse&) const = default;
    };
    std::array<VariableParse, 4> parsing{};

    // Custom read commands (CAMD01/02) and monitoring commands (WCAD01/02).
    struct Payload {
        int on = 0;
        std::vector<uint8_t> bytes;
        bool operator==(const Payload&) const = default;
    };
    std::array<Payload, 2> readCommands{};
    std::array<Payload, 2> monitoringCommands{};

    // The four process variables the module reads from its instrument.
    std::array<float, 4> variables{12.5f, 3.75f, 101.325f, 25.0f};

    // Faults of the MODBUS side, so a cross-check has something to find: a
    // variable served in another byte order than set (0..3 as in
    // modbus/byteorder.h; -1 as set), or a value of its own in place of the
    // process variable and its coefficient.
    std::array<int, 4> modbusOrderFault{-1, -1, -1, -1};
    std::array<std::optional<float>, 4> modbusValueFault{};
    // While the instrument's loop current is fixed, register 40003 serves
    // the current the module measures (the fixed current, as a loop check
    // expects); this much more, for a module whose measurement is off (mA).
    float currentOffset = 0.0f;
    std::optional<float> currentOffsetAt;  // only at this fixed current; nullopt: at any

    // The HART instrument wired to the module. It reports `variables` above
    // in its command 3 reply; a NaN there goes out as "not available".
    struct HartInstrumentSettings {
        int pollingAddress = 0;
        // Above 0x3F on purpose: only the low six bits travel in a long address.
        uint8_t manufacturer = 0x5A;
        uint8_t deviceType = 0x0B;
        std::array<uint8_t, 3> deviceId{0x12, 0x34, 0x56};
        int revision = 5;  // 5, 6 or 7: command 0 layout of that revision
        uint8_t preamblesRequested = 5;
        int replyPreambles = 5;
        float loopCurrent = 12.0f;                         // mA
        int variableCount = 4;                             // 0..4 variables in the command 3 reply
        std::array<uint8_t, 4> unitCodes{12, 32, 61, 57};  // kPa, degC, kg, %

        // What commissioning reads and writes (commands 12 to 18, 35): kept
        // as written, so a tag written is the tag read.
        std::string tag = "PT-101";
        std::string descriptor = "FEED PRESSURE";
        std::array<int, 3> date{9, 12, 2026};  // day, month, year
        std::string message = "TAVRIX LOOP";
        uint8_t alarmSelection = 0;    // high
        uint8_t transferFunction = 0;  // linear
        uint8_t rangeUnitCode = 12;    // kPa, as the primary variable
        float upperRange = 25.0f;      // 20 mA
        float lowerRange = 0.0f;       // 4 mA
        float damping = 0.5f;          // s
        bool writeProtect = false;     // refuses writes with response code 7
        // Set into the device status byte of every reply (bit 3, loop current
        // fixed, is the instrument's own while its current is fixed).
        uint8_t deviceStatus = 0;
        // Command 48's bytes.
        std::vector<uint8_t> moreStatus = std::vector<uint8_t>(14, 0);
        // A response code one command always gets instead of its answer; a
        // warning code comes with the command carried out, as an instrument does.
        std::optional<std::pair<int, uint8_t>> forcedResponse;
        // Command 40: the current the loop is held at; nullopt while the
        // current follows the primary variable.
        std::optional<float> fixedCurrent;
        // This variable (0..3) reads "not available" in commands 1 and 3.
        std::optional<int> nanVariable;
        // Every configuration write (6, 17, 18, 34, 35, 44, 45, 46) sets the
        // flag (bit 6 of the device status) and counts; command 38 clears it.
        bool configChanged = false;
        uint16_t configChangeCounter = 0;
        // Command 41 leaves the instrument busy for the next request.
        bool selfTesting = false;
        // Command 42: the next reply reports a cold start.
        bool coldStart = false;
        // The output stage: for a commanded current c the loop carries
        // 4 + outputZero + (c - 4) * outputGain mA, which commands 2 and 3
        // report. Trims 45 and 46 correct them from a meter's reading.
        float outputZero = 0.0f;
        float outputGain = 1.0f;

        bool operator==(const HartInstrumentSettings&) const = default;
    };
    HartInstrumentSettings hart;

    // Further modules on the same RS485 line, by MODBUS slave address. They
    // answer MODBUS reads only, with this module's readings: the
    // configuration protocol carries no address, so only this module takes
    // it, and the HART instrument is wired to this module alone.
    std::vector<int> otherModules;

    // Holding register addresses beyond the module's ten, first and last, that
    // answer with their own address (a larger register map, to prove the
    // address a read asked for); empty when first > last.
    std::pair<int, int> extraRegisters{1, 0};

    // A set command, by the start of its frame ("QQS#XY1:"), that is
    // acknowledged but not kept: a module that ignores one setting.
    std::string ignoredSetCommand;
    // A set command, by the start of its frame, that the module refuses with
    // its error acknowledgement ("QQS#MD:ERR#"), as it does a frame it cannot take.
    std::string refusedSetCommand;

    bool operator==(const ModuleSettings&) const = default;
};
