#include "traffic/blockannotation.h"

#include <string_view>

#include "exchange/configannotator.h"
#include "exchange/requestcodes.h"
#include "hart/frameannotator.h"
#include "modbus/frameannotator.h"

namespace {

constexpr int kCodeModbusTest = 302;

}  // namespace

FrameNotes AnnotateBlock(int code, bool sent, std::span<const uint8_t> bytes) {
    const RequestCode* entry = FindRequestCode(code);
    const bool hart =
        entry ? entry->timeoutKind == kTimeoutHart : (sent && !bytes.empty() && bytes[0] == 0xFF);
    if (hart) {
        if (auto notes = AnnotateHartFrame(bytes)) return *notes;
        return {{"no HART frame: no preamble byte FF followed by a delimiter", true}};
    }
    if (code == kCodeModbusTest)
        return sent ? AnnotateModbusRequest(bytes) : AnnotateModbusReply(bytes);
    if (!sent) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (auto notes = AnnotateConfigReply(code, text)) return *notes;
    }
    return {};
}
