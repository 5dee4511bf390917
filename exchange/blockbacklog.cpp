#include "exchange/blockbacklog.h"

size_t BlockBacklog::Push(std::string block) {
    ++accepted_;
    acceptedBytes_ += block.size();
    size_t out = 0;
    while (blocks_.size() >= limit_) {
        blocks_.pop_front();
        ++out;
    }
    dropped_ += out;
    blocks_.push_back(std::move(block));
    return out;
}

std::optional<std::string> BlockBacklog::Pop() {
    if (blocks_.empty()) return std::nullopt;
    std::string block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

size_t BlockBacklog::Clear() {
    const size_t n = blocks_.size();
    blocks_.clear();
    discarded_ += n;
    return n;
}
