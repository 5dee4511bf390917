// The last HART command 3 reply and MODBUS test reply the window received,
// kept beside the window's own display for the cross-check.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <optional>
#include <vector>

#include "exchange/replyverdict.h"
#include "hart/replies.h"
#include "modbus/reply.h"

struct LastReplies {
    std::optional<HartDynamicValues> hart;
    QDateTime hartTime;
    std::vector<uint8_t> modbus;  // the block as received; empty before the first
    int modbusFirstRegister = kFirstHoldingRegister;  // of the request it answers
    ReplyVerdict modbusVerdict;                       // judged against the request it answers
    QDateTime modbusTime;
};
