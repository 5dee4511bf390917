#include "serial/linetext.h"

std::string LineSettingsText(const std::string& baud, TByteSize byteSize, int parity,
                             TStopBits stopBits) {
    static constexpr char kParity[] = "NOEMS";
    const char parityLetter = parity >= 0 && parity < 5 ? kParity[parity] : '?';
    const char* stop = stopBits == TStopBits::_1 ? "1" : stopBits == TStopBits::_1_5 ? "1.5" : "2";
    return baud + " " + std::to_string(static_cast<int>(byteSize) + 5) + parityLetter + stop;
}
