// The module's configuration command frames, each built from the values of
// its controls. Frames carry no length, checksum or line end.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Query keys: "QQQ#" key "#".
inline constexpr std::string_view kQueryVersion = "QV";
inline constexpr std::string_view kQuerySystem = "QX";
inline constexpr std::string_view kQueryCurrentOutput = "QD";
inline constexpr std::string_view kQueryModbus = "QQ0";
inline constexpr std::array<std::string_view, 2> kQueryMonitoringCommand = {"RCAD01", "RCAD02"};

// Keys of the frames that carry raw command bytes, by row.
inline constexpr std::array<std::string_view, 2> kReadCommandKeys = {"CAMD01", "CAMD02"};
inline constexpr std::array<std::string_view, 2> kMonitoringCommandKeys = {"WCAD01", "WCAD02"};

std::string QueryFrame(std::string_view key);
// "QQS#" key ":" fields "#".
std::string SetFrame(std::string_view key, std::string_view fields);

// System parameters. Items are list indexes (-1: nothing selected).
std::string ModeFrame(int modeItem);                                // QQS#MD:m#
std::string SlaveAddressFrame(int address);                         // QQS#ADR:aaa#
std::string PollIntervalFrame(int interval10ms);                    // QQS#JTM:ttt#
std::string ResetFrame();                                           // QQS#RESET#
std::string Rs485PortFrame(int baudItem, int parityItem);           // QQS#BA2:bp#
std::string ResponseTimeFrame(int responseItem);                    // QQS#XY1:r#
std::string Var1MapFrame(int mapItem);                              // QQS#YSM:y#
std::string FloatOrderFrame(const std::array<int, 4>& orderItems);  // QQS#DFOT1:ffff#
std::string SerialNumberFrame(int pcbsn, int inspector);            // JXKORV#PCBSN:nnnnnnnn,iii#

// Current output range of variable `output` (2..4); texts are sent as typed.
std::string RangeFrame(int output, std::string_view low4mA, std::string_view high20mA);
// Coefficients: five-character fields.
std::string Coefficient1Frame(int modeItem, std::string_view coefficient);  // QQS#FMW:m,ccccc#
std::string CoefficientsFrame(std::string_view var2, std::string_view var3,
                              std::string_view var4);  // QQS#FMU:c2,c3,c4#

// HART monitoring parameters (QQS#HART<id>:e,h,tt,p,bbb#).
struct HartMonitoring {
    int meterIdItem = 0;
    int enableItem = 0;
    int hartModeItem = 0;
    int meterTypeItem = 0;
    int preambleItem = 0;  // items "4".."9"
    int bufferClearTime = 60;
};
std::string HartMonitoringFrame(const HartMonitoring& p);

// Custom HART data parsing format (QQS#MDBS<id>:b,caal,caal,caal,caal#).
struct VariableParsing {
    int commandItem = 0;
    int startAddress = 0;
    int lengthItem = 0;
};
struct ParsingFormat {
    int meterIdItem = 0;
    int addressBitsItem = 5;  // items "3".."9"
    std::array<VariableParsing, 4> variables{};
};
std::string ParsingFormatFrame(const ParsingFormat& p);

// Raw command bytes: "QQS#" key ":" on "<" nn "," bytes, no terminator.
std::string PayloadFrame(std::string_view key, std::string_view onDigit,
                         const std::vector<uint8_t>& bytes);
