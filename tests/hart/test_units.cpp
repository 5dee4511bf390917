// The HART unit table: codes to list items, item texts.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "hart/units.h"

TEST(Units, TableHasEveryItemInOrder) {
    const HartUnit* table = UnitTable();
    for (int item = 0; item < kUnitItemCount; ++item) {
        EXPECT_EQ(table[item].item, item);
        ASSERT_NE(UnitText(item), nullptr) << item;
        EXPECT_STRNE(UnitText(item), "") << item;
    }
    EXPECT_EQ(kUnitItemCount, 77);
}

TEST(Units, EveryCodeIsUniqueAndMapsBackToItsItem) {
    std::set<int> codes;
    for (int item = 0; item < kOtherUnitItem; ++item) {
        const int code = UnitTable()[item].code;
        EXPECT_TRUE(codes.insert(code).second) << "code " << code << " twice";
        EXPECT_EQ(UnitItemForCode(code), item) << "code " << code;
    }
    EXPECT_EQ(UnitTable()[kOtherUnitItem].code, kNoUnitCode);
}

TEST(Units, CodeToItem) {
    struct Row {
        int code;
        int item;
        const char* text;
    };
    const Row rows[] = {
        {1, 0, "inH20"},
        {237, 11, "MPa"},
        {32, 12, "\u2103"},
        {33, 13, "\u2109"},
        {15, 16, "CuFt_min"},
        {61, 46, "kg"},
        {62, 47, "MetTon"},
        {77, 55, "metTOM_min"},  // metric tons per minute
        {75, 76, "other"},       // kilograms per hour: not in the lists
        {78, 56, "metton_hr"},
        {54, 67, "centi_stokes"},
        {165, 74, "british_thermal_unit"},
        {57, 75, "%"},
        // Not in the table: "other".
        {250, 76, "other"},
        {0, 76, "other"},
        {255, 76, "other"},
        {-1, 76, "other"},
        {9, 76, "other"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(UnitItemForCode(r.code), r.item) << "code " << r.code;
        EXPECT_STREQ(UnitText(r.item), r.text) << "item " << r.item;
    }
}

TEST(Units, CelsiusAndFahrenheitAreSingleCharacters) {
    EXPECT_EQ(std::string(UnitText(12)), "\xE2\x84\x83");  // U+2103
    EXPECT_EQ(std::string(UnitText(13)), "\xE2\x84\x89");  // U+2109
}

TEST(Units, TextOutsideTheListIsNull) {
    EXPECT_EQ(UnitText(-1), nullptr);
    EXPECT_EQ(UnitText(kUnitItemCount), nullptr);
}

// The whole common table against public codes and what they measure.
TEST(Units, CommonTableNames) {
    const struct {
        int code;
        const char* name;
    } rows[] = {
        {1, "inH2O@68F"}, {6, "psi"},      {12, "kPa"},     {32, "degC"},  {35, "K"},
        {36, "mV"},       {37, "ohm"},     {38, "Hz"},      {39, "mA"},    {57, "%"},
        {58, "V"},        {59, "pH"},      {62, "t"},       {74, "kg/min"}, {75, "kg/h"},
        {76, "kg/d"},     {77, "t/min"},   {78, "t/h"},     {92, "kg/m3"}, {119, "rpm"},
        {138, "l/h"},     {139, "ppm"},    {163, "kohm"},   {174, "hPa"},  {237, "MPa"},
        {239, "mmH2O@4C"}, {250, "not used"}, {251, "none"}, {252, "unknown"},
        {253, "special"}, {0, "unit code 0"}, {156, "unit code 156"}, {200, "unit code 200"},
        {255, "unit code 255"}, {-1, "unit code -1"},
    };
    for (const auto& r : rows) EXPECT_EQ(HartUnitName(r.code), r.name) << r.code;

    // Ascending, so the lookup finds every entry; and every list item with a
    // code names a unit of the common table.
    const HartUnitCode* codes = HartUnitCodes();
    for (int i = 1; i < HartUnitCodeCount(); ++i) EXPECT_LT(codes[i - 1].code, codes[i].code);
    for (int item = 0; item < kOtherUnitItem; ++item)
        EXPECT_NE(HartUnitName(UnitTable()[item].code).rfind("unit code", 0), 0u) << item;
}
