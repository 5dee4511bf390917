#include <gtest/gtest.h>

#include "exchange/requestcodes.h"
#include "exchange/silenceadvice.h"

TEST(RequestCodes, WhatABlockDoesUnderEachCode) {
    const struct {
        int code;
        AfterBlock after;
    } cases[] = {
        {201, AfterBlock::DecodeText}, {202, AfterBlock::DecodeText}, {203, AfterBlock::DecodeText},
        {301, AfterBlock::DecodeText}, {501, AfterBlock::DecodeText}, {100, AfterBlock::DecodeHex},
        {103, AfterBlock::DecodeHex},  {104, AfterBlock::ShowHex},    {106, AfterBlock::ShowHex},
        {302, AfterBlock::ShowHex},    {110, AfterBlock::ShowText},   {200, AfterBlock::ShowText},
        {154, AfterBlock::ShowHex},    {166, AfterBlock::ShowHex},
        {0, AfterBlock::ShowText},     {999, AfterBlock::ShowText},
    };
    for (const auto& c : cases) EXPECT_EQ(AfterBlockFor(c.code), c.after) << c.code;
}

TEST(RequestCodes, OnlyTheHartQueriesAndManualFrameKeepTheTimeoutInterval) {
    for (const RequestCode& entry : kRequestCodes) {
        const bool keeps = entry.code == 100 || entry.code == 103 || entry.code == 104;
        EXPECT_EQ(entry.setsTimeout3000, !keeps) << entry.code;
    }
}

TEST(TimeoutMessage, OnePerKind) {
    EXPECT_STREQ(TimeoutMessage(1), "Connection Timeout!");
    EXPECT_STREQ(TimeoutMessage(2), "Parameter Query Timeout!");
    EXPECT_STREQ(TimeoutMessage(3), "Parameter Setting Timeout!");
    EXPECT_STREQ(TimeoutMessage(4), "HART Command Timeout!");
    EXPECT_EQ(TimeoutMessage(0), nullptr);
    EXPECT_EQ(TimeoutMessage(5), nullptr);
}

// Under each timeout, what the silence means: never answered points at the
// port and its settings; answered a moment ago points past the module.
TEST(TimeoutAdvice, SaysWhenTheModuleLastAnsweredAndWhereToLookNext) {
    const struct {
        Protocol protocol;
        std::optional<std::chrono::milliseconds> sinceReply;
        const char* starts;
        const char* names;
    } cases[] = {
        {Protocol::Config, std::nullopt, "The module has not answered since the port was opened",
         "Find Module"},
        {Protocol::Hart, std::nullopt, "The module has not answered since", "its own queries"},
        {Protocol::Config, std::chrono::milliseconds(4200), "The module answered 4 s ago, so the line works", "power"},
        {Protocol::Hart, std::chrono::milliseconds(125000), "The module answered 2 min 5 s ago, so the silence is the instrument's",
         "polling address"},
        {Protocol::Modbus, std::chrono::milliseconds(900), "The module answered 0 s ago, so the line works", "slave address"},
    };
    for (const auto& c : cases) {
        const std::string advice = TimeoutAdvice(c.protocol, c.sinceReply);
        EXPECT_EQ(advice.rfind(c.starts, 0), 0u) << advice;
        EXPECT_NE(advice.find(c.names), std::string::npos) << advice;
    }
    EXPECT_EQ(AgeText(3'725'000), "1 h 2 min old");
    EXPECT_NE(HangupAdvice(true).find("server"), std::string::npos);
    EXPECT_NE(HangupAdvice(false).find("Plug the adapter back in"), std::string::npos);
}
