#include "exchange/echofilter.h"

const char* EchoModeName(EchoMode mode) {
    switch (mode) {
        case EchoMode::Auto:
            return "auto";
        case EchoMode::On:
            return "on";
        case EchoMode::Off:
            return "off";
    }
    return "";
}

std::optional<EchoMode> EchoModeFromName(std::string_view name) {
    for (EchoMode mode : {EchoMode::Auto, EchoMode::On, EchoMode::Off})
        if (name == EchoModeName(mode)) return mode;
    return std::nullopt;
}

bool SpoiledByEcho(std::string_view reason) {
    return reason == kEchoDiffersText || reason == kEchoMissingText;
}

void EchoFilter::SetMode(EchoMode mode) {
    if (mode == EchoMode::Auto && mode_ != EchoMode::Auto) detected_ = false;
    mode_ = mode;
}

void EchoFilter::Forget() {
    detected_ = false;
    spoiledInARow_ = 0;
    frame_.clear();
    matched_ = 0;
    held_.clear();
}

std::string EchoFilter::Sent(std::string_view frame) {
    std::string left = std::move(held_);
    held_.clear();
    matched_ = 0;
    frame_ = mode_ == EchoMode::Off ? std::string() : std::string(frame);
    return left;
}

EchoSplit EchoFilter::Received(std::string_view block) {
    using Verdict = EchoSplit::Verdict;
    EchoSplit split;
    if (frame_.empty()) {
        split.reply = block;
        return split;
    }
    size_t n = 0;
    while (n < block.size() && matched_ + n < frame_.size() && block[n] == frame_[matched_ + n])
        ++n;
    const bool whole = matched_ + n == frame_.size();
    const bool differs = !whole && n < block.size();
    if (Expected()) {
        split.echo = block.substr(0, n);
        split.reply = block.substr(n);
        // An adapter that does not echo: nothing of the echo came, or no echo
        // came whole since the last one spoiled (a reply begins as its request).
        const bool missing = (matched_ == 0 && n == 0) || spoiledInARow_ > 0;
        split.verdict = whole      ? Verdict::Whole
                        : !differs ? Verdict::Partial
                        : missing  ? Verdict::Missing
                                   : Verdict::Differs;
        if (whole) spoiledInARow_ = 0;
        if (differs) ++spoiledInARow_;
        matched_ += n;
        if (whole || differs) frame_.clear();
        return split;
    }
    // Auto, nothing detected yet: the bytes are the echo only once the whole
    // frame came back; a reply may begin as its request does.
    if (differs) {
        split.reply = held_ + std::string(block);
        held_.clear();
        frame_.clear();
        return split;
    }
    held_ += block.substr(0, n);
    matched_ += n;
    if (!whole) {
        split.verdict = Verdict::Partial;
        return split;
    }
    split.echo = std::move(held_);
    held_.clear();
    split.reply = block.substr(n);
    split.verdict = Verdict::Detected;
    detected_ = true;
    frame_.clear();
    return split;
}
