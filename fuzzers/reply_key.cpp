// The key search: the first byte gives the key's length, the key comes next
// and the reply after it. A position found must hold the key inside the reply.
#include <cstdlib>

#include "exchange/configreplies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t keyLength = std::min<size_t>(data[0] % 8, size - 1);
    const std::string_view key = AsText(data + 1, keyLength);
    const std::string_view reply = AsText(data + 1 + keyLength, size - 1 - keyLength);
    if (const auto at = FindReplyKey(reply, key)) {
        if (*at + key.size() > reply.size()) std::abort();
        for (size_t i = 0; i < key.size(); ++i)
            if (key[i] != '?' && key[i] != reply[*at + i]) std::abort();
    }
    return 0;
}
