// HART unit codes as listed in the HART Common Tables (engineering unit codes).
#include "hart/units.h"

namespace {

constexpr HartUnit kUnits[kUnitItemCount] = {
    {0, 1, "inH20"},
    {1, 2, "inhg"},
    {2, 3, "FtH20"},
    {3, 4, "mmH20"},
    {4, 5, "mmHg"},
    {5, 6, "psi"},
    {6, 7, "bar"},
    {7, 8, "mbar"},
    {8, 11, "Pa"},
    {9, 12, "KPa"},
    {10, 14, "ATM"},
    {11, 237, "MPa"},
    {12, 32, "℃"},
    {13, 33, "℉"},
    {14, 34, "R"},
    {15, 35, "Kelvin"},
    {16, 15, "CuFt_min"},
    {17, 16, "gal_min"},
    {18, 17, "l_min"},
    {19, 19, "CuMtr_hr"},
    {20, 24, "l_s"},
    {21, 26, "Cuft_s"},
    {22, 28, "CuMtr_s"},
    {23, 131, "CuMtr_min"},
    {24, 136, "gal_hr"},
    {25, 138, "l_hr"},
    {26, 20, "ft_s"},
    {27, 21, "mtr_s"},
    {28, 114, "in_s"},
    {29, 115, "in_min"},
    {30, 116, "ft_min"},
    {31, 120, "mtr_hr"},
    {32, 40, "gal"},
    {33, 41, "liter"},
    {34, 43, "CuMtr"},
    {35, 46, "bbl"},
    {36, 111, "CuYd"},
    {37, 112, "CuFt"},
    {38, 113, "CuIn"},
    {39, 124, "bbl_liq"},
    {40, 44, "ft"},
    {41, 45, "M"},
    {42, 47, "in"},
    {43, 48, "cm"},
    {44, 49, "mm"},
    {45, 60, "gram"},
    {46, 61, "kg"},
    {47, 62, "MetTon"},
    {48, 63, "lb"},
    {49, 125, "ounce"},
    {50, 70, "g_s"},
    {51, 71, "g_min"},
    {52, 72, "g_hr"},
    {53, 73, "kg_s"},
    {54, 74, "kg_min"},
    {55, 75, "metTOM_min"},
    {56, 78, "metton_hr"},
    {57, 80, "lb_s"},
    {58, 81, "lb_min"},
    {59, 82, "lb_hr"},
    {60, 91, "g_CuCM"},
    {61, 92, "KG_CuMtr"},
    {62, 93, "lb_gal"},
    {63, 94, "lb_Cuft"},
    {64, 95, "g_ml"},
    {65, 96, "kb_l"},
    {66, 97, "g_l"},
    {67, 54, "centi_stokes"},
    {68, 55, "cpoise"},
    {69, 69, "mewtom_meter"},
    {70, 89, "deka_therm"},
    {71, 126, "foot_pound_force"},
    {72, 128, "kilo_watt_hour"},
    {73, 164, "mega_joule"},
    {74, 165, "british_thermal_unit"},
    {75, 57, "%"},
    {76, kNoUnitCode, "other"},
};

}  // namespace

const HartUnit* UnitTable() { return kUnits; }

int UnitItemForCode(int code) {
    for (const HartUnit& unit : kUnits) {
        if (unit.code != kNoUnitCode && unit.code == code) return unit.item;
    }
    return kOtherUnitItem;
}

const char* UnitText(int item) {
    if (item < 0 || item >= kUnitItemCount) return nullptr;
    return kUnits[item].text;
}
