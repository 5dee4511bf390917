// The IEEE 754 calculator's text path: separators, hexadecimal groups and the
// result text, which fits the ten-character result field.
#include <cstdlib>

#include "input.h"
#include "modbus/ieee754.h"
#include "protocol/hexbytes.h"
#include "protocol/strtoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view typed = AsText(data, size);
    const int groups = static_cast<int>(typed.size() / 3) + 1;
    if (!HexSeparatorsOk(typed, groups)) return 0;
    std::vector<uint8_t> bytes;
    try {
        if (!ReadHexGroups(typed, groups, bytes)) return 0;
    } catch (const EConvertError&) {
        return 0;
    }
    if (CalculatorText(bytes).size() > 10) std::abort();
    return 0;
}
