#include "traffic/blockannotation.h"

#include <string_view>

#include "exchange/configannotator.h"
#include "exchange/requestcodes.h"
#include "hart/frameannotator.h"
#include "hart/framestart.h"
#include "modbus/frameannotator.h"

FrameNotes AnnotateBlock(int code, bool sent, std::span<const uint8_t> bytes) {
    // A block sent under no known request is taken for HART when it starts
    // with a preamble byte.
    const RequestCode* entry = code == kCodeNone ? nullptr : FindRequestCode(code);
    const bool hart = entry ? entry->protocol == Protocol::Hart
                            : (sent && !bytes.empty() && bytes[0] == kHartPreambleByte);
    if (hart) {
        if (auto notes = AnnotateHartFrame(bytes)) return *notes;
        return {{"no HART frame: no preamble byte FF followed by a delimiter", true}};
    }
    if (entry && entry->protocol == Protocol::Modbus)
        return sent ? AnnotateModbusRequest(bytes) : AnnotateModbusReply(bytes);
    if (!sent) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (auto notes = AnnotateConfigReply(code, text)) return *notes;
    }
    return {};
}
