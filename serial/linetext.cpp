#include "serial/linetext.h"

char ParityLetter(int parity) {
    static constexpr char kParity[] = "NOEMS";
    return parity >= 0 && parity < 5 ? kParity[parity] : '?';
}

std::string LineSettingsText(const std::string& baud, TByteSize byteSize, int parity,
                             TStopBits stopBits) {
    const char parityLetter = ParityLetter(parity);
    const char* stop = stopBits == TStopBits::_1 ? "1" : stopBits == TStopBits::_1_5 ? "1.5" : "2";
    return baud + " " + std::to_string(static_cast<int>(byteSize) + 5) + parityLetter + stop;
}

std::string HeldLineSettingsText(const std::string& baud, TByteSize byteSize, int parity,
                                 TStopBits stopBits, bool parityHeld) {
    static constexpr const char* kNames[] = {"no", "odd", "even", "mark", "space"};
    if (parityHeld || parity <= 0 || parity >= 5)
        return LineSettingsText(baud, byteSize, parity, stopBits);
    return LineSettingsText(baud, byteSize, 0, stopBits) + " (this device cannot carry " +
           kNames[parity] + " parity)";
}
