#include "protocol/rangekeyfilter.h"

bool RangeKeyAccepted(char key, std::string_view currentText) {
    if (key == kBackspace) return true;
    const bool allowed = (key >= '0' && key <= '9') || key == '.' || key == '-';
    return allowed && currentText.size() <= 4;
}
