#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <vector>

#include "exchange/trendlog.h"
#include "hart/frames.h"
#include "modbus/byteorder.h"
#include "modbus/crc16.h"

namespace {

TrendValues Values(std::optional<double> current, std::optional<double> v1, const char* unit1) {
    TrendValues values;
    values.value[0] = current;
    values.value[1] = v1;
    values.unit[0] = "mA";
    values.unit[1] = unit1;
    return values;
}

TEST(TrendLog, StatsCapacityAndCsv) {
    setenv("TZ", "UTC", 1);  // times are local, with their offset
    tzset();
    TrendLog log(3);
    log.Add(1765217401250, Values(4.0, 12.5, "KPa"), Values(4.0, 12.25, "KPa"));
    log.AddGap(1765217402250, "reply wrong: checksum 3A, expected 3B");
    log.Add(1765217403500, Values(12.0, -1.5, "m3,h"));
    const TrendStats current = log.Stats(0);
    EXPECT_EQ(current.last, 12.0);
    EXPECT_EQ(current.min, 4.0);
    EXPECT_EQ(current.max, 12.0);  // the gap holds no value
    EXPECT_EQ(log.Stats(1).last, -1.5);  // the missing value does not count
    EXPECT_FALSE(log.Stats(4).last);

    EXPECT_EQ(log.Csv(),
              "time,seconds,loop_current,loop_current_unit,variable_1,variable_1_unit,"
              "variable_2,variable_2_unit,variable_3,variable_3_unit,variable_4,variable_4_unit,"
              "modbus_variable_1,modbus_variable_2,modbus_variable_3,modbus_variable_4,gap\n"
              "2025-12-08T18:10:01.250+00:00,0.000,4,mA,12.5,KPa,,,,,,,12.25,,,,\n"
              "2025-12-08T18:10:02.250+00:00,1.000,,,,,,,,,,,,,,,"
              "\"reply wrong: checksum 3A, expected 3B\"\n"
              "2025-12-08T18:10:03.500+00:00,2.250,12,mA,-1.5,\"m3,h\",,,,,,,,,,,\n");
    EXPECT_EQ(TrendDeviation(log.samples()[0], 1), 0.25);
    EXPECT_FALSE(TrendDeviation(log.samples()[0], 2));
    EXPECT_FALSE(TrendDeviation(log.samples()[2], 1));

    log.Add(1765217404000, Values(8.0, 1.0, ""));  // the oldest goes, times stay
    ASSERT_EQ(log.samples().size(), 3u);
    EXPECT_EQ(log.samples().front().seconds, 1.0);
    EXPECT_EQ(log.Stats(0).min, 8.0);
    EXPECT_TRUE(log.samples().front().IsGap());
}

// Where the lines of variable 1 break, polled as in `script`: v a poll with
// both sides, h the HART side alone, n variable 1 not available on the HART
// side, - a poll without variable 1, g a missed poll, s a stop, c a clear.
// Stretches as sample indices, "|" between them.
TEST(TrendLog, LinesBreakAtMissedPollsStopsAndValuesNotAvailable) {
    const struct {
        const char* script;
        const char* hart;
        const char* overlay;
    } cases[] = {
        {"vvv", "0,1,2", "0,1,2"},
        {"vgv", "0|2", "0|2"},
        {"vvsvv", "0,1|2,3", "0,1|2,3"},
        {"vsgv", "0|2", "0|2"},
        {"svsv", "0|1", "0|1"},
        {"vnv", "0|2", "0,1,2"},
        {"v-v", "0,2", "0,2"},
        {"vhv", "0,1,2", "0,2"},
        {"vsscv", "0", "0"},
    };
    const auto text = [](const std::vector<std::vector<size_t>>& segments) {
        std::string out;
        for (const auto& segment : segments) {
            out += out.empty() ? "" : "|";
            for (size_t i = 0; i < segment.size(); ++i)
                out += (i ? "," : "") + std::to_string(segment[i]);
        }
        return out;
    };
    for (const auto& c : cases) {
        TrendLog log;
        int64_t ms = 0;
        for (const char* e = c.script; *e; ++e, ms += 1000) {
            TrendValues missing = Values(4.0, {}, "kPa");
            missing.missing[1] = "not available";
            switch (*e) {
                case 'v': log.Add(ms, Values(4.0, 1.0, "kPa"), Values({}, 1.5, "")); break;
                case 'h': log.Add(ms, Values(4.0, 1.0, "kPa")); break;
                case 'n': log.Add(ms, missing, Values({}, 1.5, "")); break;
                case '-': log.Add(ms, Values(4.0, {}, "kPa")); break;
                case 'g': log.AddGap(ms, "no reply"); break;
                case 's': log.Stop(); break;
                case 'c': log.Clear(); break;
            }
        }
        EXPECT_EQ(text(log.Segments(1)), c.hart) << c.script;
        EXPECT_EQ(text(log.Segments(1, true)), c.overlay) << c.script;
    }
}

// Registers 40002 to 40009 with variables 1..3 in orders 0, 1, 2 and a
// variable 4 cut off after its first register.
TEST(TrendValuesFromModbus, EachVariableInItsListOrder) {
    std::vector<uint8_t> reply{0x01, 0x03, 0x10, 0x00, 0x01};
    const float values[] = {12.5f, 3.75f, 101.325f};
    for (int v = 0; v < 3; ++v) {
        const auto wire = FloatToWire(v, values[v]);
        reply.insert(reply.end(), wire.begin(), wire.end());
    }
    reply.insert(reply.end(), {0x41, 0xC8});
    const auto crc = ModbusCrc16(reply);
    reply.insert(reply.end(), crc.begin(), crc.end());

    const auto got = TrendValuesFromModbus(reply, 40002, {0, 1, 2, 0});
    ASSERT_TRUE(got);
    EXPECT_FALSE(got->value[0]);
    EXPECT_EQ(got->value[1], 12.5f);
    EXPECT_EQ(got->value[2], 3.75f);
    EXPECT_EQ(got->value[3], 101.325f);
    EXPECT_FALSE(got->value[4]);
    EXPECT_FALSE(TrendValuesFromModbus(reply, 40002, {-1, 0, 0, 0})->value[1]);

    reply.back() ^= 1;
    EXPECT_FALSE(TrendValuesFromModbus(reply, 40002, {0, 1, 2, 0}));
}

// A command 3 reply with the loop current and `variables` (value, unit code).
std::vector<uint8_t> Command3(float current, std::vector<std::pair<float, uint8_t>> variables) {
    const auto address = HartLongAddress(kPrimaryMaster, {0x1A, 0x0B, {1, 2, 3}});
    std::vector<uint8_t> body{0x86};
    body.insert(body.end(), address.begin(), address.end());
    std::vector<uint8_t> data{0, 0};
    const auto put = [&data](float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(uint8_t(bits >> shift));
    };
    put(current);
    for (const auto& [value, unit] : variables) data.push_back(unit), put(value);
    body.insert(body.end(), {3, uint8_t(data.size())});
    body.insert(body.end(), data.begin(), data.end());
    std::vector<uint8_t> reply{0xFF, 0xFF};
    reply.insert(reply.end(), body.begin(), body.end());
    reply.push_back(HartChecksum(body));
    return reply;
}

// Whatever the instrument carries (no variable, one not available, a unit the
// window's lists lack) is plotted as far as it is there; a value not
// available leaves its line broken, and the file says why.
TEST(TrendValuesFromHart, ZeroToFourVariablesNotAvailableAndUnitNames) {
    const float nan = std::nanf("");
    const struct {
        const char* what;
        std::vector<uint8_t> reply;
        std::vector<std::optional<double>> values;  // loop current first
        std::vector<std::string> units;
        std::string gap;  // the CSV's gap field
    } cases[] = {
        {"the loop current only", Command3(12.0f, {}), {12.0, {}, {}, {}, {}},
         {"mA", "", "", "", ""}, ""},
        {"a variable not available", Command3(12.0f, {{1.5f, 7}, {nan, 32}}),
         {12.0, 1.5, {}, {}, {}}, {"mA", "bar", "degC", "", ""}, "variable_2 not available"},
        {"the loop current not available", Command3(nan, {{25.0f, 200}}),
         {{}, 25.0, {}, {}, {}}, {"mA", "unit code 200", "", "", ""},
         "loop_current not available"},
    };
    for (const auto& c : cases) {
        const auto got = TrendValuesFromHart(c.reply);
        ASSERT_TRUE(got) << c.what;
        for (size_t s = 0; s < kTrendSeries; ++s) {
            EXPECT_EQ(got->value[s], c.values[s]) << c.what << " " << s;
            EXPECT_EQ(got->unit[s], c.units[s]) << c.what << " " << s;
        }
        TrendLog log;
        log.Add(0, *got);
        const std::string csv = log.Csv();
        const std::string last = csv.substr(csv.rfind(',') + 1);
        EXPECT_EQ(last, c.gap + "\n") << c.what;
    }
}

}  // namespace
