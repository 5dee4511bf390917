// The hexadecimal byte lists of the command edits and the typed HART frame,
// and the frame built around a typed body.
#include <cstdlib>

#include "hart/frames.h"
#include "input.h"
#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = AsText(data, size);
    try {
        ReadHexList(text);
        const HexList body = ReadHexList(text, kMaxTypedBytes);
        if (body.error != HexListError::None) return 0;
        if (body.bytes.size() > kMaxTypedBytes) std::abort();
        const HartBytes frame = HartTypedFrame(5, body.bytes);
        // One preamble byte more than asked for, as the tool has always sent.
        if (frame.size() != 5 + 1 + body.bytes.size() + 1) std::abort();
    } catch (const EConvertError&) {
        // A blank or sign where a digit belongs: the window shows the message.
    }
    return 0;
}
