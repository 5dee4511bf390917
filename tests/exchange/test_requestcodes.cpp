#include <gtest/gtest.h>

#include "exchange/requestcodes.h"

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
