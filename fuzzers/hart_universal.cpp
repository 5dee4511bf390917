// The decoders of the universal commands 1, 2, 12, 13, 15, 35, 40 and 48: a
// reply is refused or read whole, texts stay within their packed fields and
// the additional status stays within its 25 bytes.
#include <cstdlib>

#include "hart/universal.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto reply = AsBytes(data, size);
    ParseHartCommand1(reply);
    ParseHartCommand2(reply);
    ParseHartCommand15(reply);
    ParseHartCommand35(reply);
    ParseHartCommand40(reply);
    if (const auto message = ParseHartMessage(reply))
        if (message->size() > kHartMessageChars) std::abort();
    if (const auto tag = ParseHartTag(reply))
        if (tag->tag.size() > kHartTagChars || tag->descriptor.size() > kHartDescriptorChars)
            std::abort();
    if (const auto status = ParseHartCommand48(reply)) {
        if (status->size() > 25) std::abort();
        for (const HartStatusByte& b : HartAdditionalStatus(*status))
            if (b.setBits.size() > 8) std::abort();
    }
    // Whatever was unpacked packs again into the same bytes.
    if (size % 3 == 0 && size <= 48) {
        const std::string text = UnpackAscii(reply);
        const auto packed = PackAscii(text, static_cast<int>(text.size()), nullptr);
        if (!packed || *packed != std::vector<uint8_t>(data, data + size)) std::abort();
    }
    return 0;
}
