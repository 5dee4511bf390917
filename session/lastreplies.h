// The newest HART command 3 values and MODBUS variables reply, whoever asked
// for them (the window, a trend poll, a job), kept for the cross-check with
// where each came from.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "exchange/replyverdict.h"
#include "hart/replies.h"
#include "modbus/reply.h"

struct LastReplies {
    std::optional<HartDynamicValues> hart;
    QDateTime hartTime;
    QString hartSource;  // "the window's request", "a trend poll", ...
    std::vector<uint8_t> modbus;  // the block as received; empty before the first
    int modbusFirstRegister = kFirstHoldingRegister;  // of the request it answers
    ReplyVerdict modbusVerdict;                       // judged against the request it answers
    QDateTime modbusTime;
    QString modbusSource;
};
