#include "protocol/configframes.h"

#include "protocol/fieldencodings.h"

std::string QueryFrame(std::string_view key) { return "QQQ#" + std::string(key) + "#"; }

std::string SetFrame(std::string_view key, std::string_view fields) {
    return "QQS#" + std::string(key) + ":" + std::string(fields) + "#";
}

std::string ModeFrame(int modeItem) { return SetFrame("MD", ItemDigit(modeItem)); }

std::string SlaveAddressFrame(int address) { return SetFrame("ADR", ThreeDigitNumber(address)); }

std::string PollIntervalFrame(int interval10ms) {
    return SetFrame("JTM", ThreeDigitNumber(interval10ms));
}

std::string ResetFrame() { return "QQS#RESET#"; }

std::string Rs485PortFrame(int baudItem, int parityItem) {
    return SetFrame("BA2", ItemDigit(baudItem) + ItemDigit(parityItem));
}

std::string ResponseTimeFrame(int responseItem) { return SetFrame("XY1", ItemDigit(responseItem)); }

std::string Var1MapFrame(int mapItem) { return SetFrame("YSM", ItemDigit(mapItem)); }

std::string FloatOrderFrame(const std::array<int, 4>& orderItems) {
    std::string fields;
    for (int item : orderItems) fields += ItemDigit(item);
    return SetFrame("DFOT1", fields);
}

std::string SerialNumberFrame(int pcbsn, int inspector) {
    return "JXKORV#PCBSN:" + ZeroFilledNumber(pcbsn, 8) + "," + ZeroFilledNumber(inspector, 3) +
           "#";
}

std::string RangeFrame(int output, std::string_view low4mA, std::string_view high20mA) {
    return "QQKORV#DA" + ItemDigit(output) + ":" + std::string(low4mA) + "," +
           std::string(high20mA) + "#";
}

std::string Coefficient1Frame(int modeItem, std::string_view coefficient) {
    return SetFrame("FMW", ItemDigit(modeItem) + "," + FiveCharText(coefficient));
}

std::string CoefficientsFrame(std::string_view var2, std::string_view var3, std::string_view var4) {
    return SetFrame("FMU",
                    FiveCharText(var2) + "," + FiveCharText(var3) + "," + FiveCharText(var4));
}

std::string HartMonitoringFrame(const HartMonitoring& p) {
    return SetFrame("HART" + ItemDigit(p.meterIdItem),
                    ItemDigit(p.enableItem) + "," + ItemDigit(p.hartModeItem) + "," +
                        TwoDigitIndex(p.meterTypeItem) + "," + ItemDigit(p.preambleItem, '4') +
                        "," + ThreeDigitNumber(p.bufferClearTime));
}

std::string ParsingFormatFrame(const ParsingFormat& p) {
    std::string fields = ItemDigit(p.addressBitsItem, '3');
    for (const VariableParsing& v : p.variables) {
        fields += "," + ItemDigit(v.commandItem) + TwoDigitNumber(v.startAddress) +
                  ItemDigit(v.lengthItem);
    }
    return SetFrame("MDBS" + ItemDigit(p.meterIdItem), fields);
}

std::string PayloadFrame(std::string_view key, std::string_view onDigit,
                         const std::vector<uint8_t>& bytes) {
    std::string frame = "QQS#" + std::string(key) + ":" + std::string(onDigit) + "<" +
                        TwoDigitNumber(static_cast<int>(bytes.size())) + ",";
    frame.append(bytes.begin(), bytes.end());
    return frame;
}
