// HART unit codes as listed in the HART Common Tables (engineering unit codes).
#include "hart/units.h"

#include <algorithm>
#include <iterator>

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
    {55, 77, "metTOM_min"},
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


// The common table's engineering unit codes. Codes not listed (156-159,
// 180-234, 240-249 here) are reserved or device-specific.
constexpr HartUnitCode kCodes[] = {
    // Pressure
    {1, "inH2O@68F"}, {2, "inHg@0C"}, {3, "ftH2O@68F"}, {4, "mmH2O@68F"}, {5, "mmHg@0C"},
    {6, "psi"}, {7, "bar"}, {8, "mbar"}, {9, "g/cm2"}, {10, "kg/cm2"}, {11, "Pa"}, {12, "kPa"},
    {13, "torr"}, {14, "atm"},
    // Volumetric flow, velocity
    {15, "ft3/min"}, {16, "gal/min"}, {17, "l/min"}, {18, "impgal/min"}, {19, "m3/h"},
    {20, "ft/s"}, {21, "m/s"}, {22, "gal/s"}, {23, "Mgal/d"}, {24, "l/s"}, {25, "Ml/d"},
    {26, "ft3/s"}, {27, "ft3/d"}, {28, "m3/s"}, {29, "m3/d"}, {30, "impgal/h"},
    {31, "impgal/d"},
    // Temperature, EMF, resistance, frequency, current
    {32, "degC"}, {33, "degF"}, {34, "degR"}, {35, "K"}, {36, "mV"}, {37, "ohm"}, {38, "Hz"},
    {39, "mA"},
    // Volume, length, time
    {40, "gal"}, {41, "l"}, {42, "impgal"}, {43, "m3"}, {44, "ft"}, {45, "m"}, {46, "bbl"},
    {47, "in"}, {48, "cm"}, {49, "mm"}, {50, "min"}, {51, "s"}, {52, "h"}, {53, "d"},
    // Viscosity, conductance, analytical, EMF
    {54, "cSt"}, {55, "cP"}, {56, "uS"}, {57, "%"}, {58, "V"}, {59, "pH"},
    // Mass, conductance, force, energy
    {60, "g"}, {61, "kg"}, {62, "t"}, {63, "lb"}, {64, "short ton"}, {65, "long ton"},
    {66, "mS/cm"}, {67, "uS/cm"}, {68, "N"}, {69, "N m"},
    // Mass flow
    {70, "g/s"}, {71, "g/min"}, {72, "g/h"}, {73, "kg/s"}, {74, "kg/min"}, {75, "kg/h"},
    {76, "kg/d"}, {77, "t/min"}, {78, "t/h"}, {79, "t/d"}, {80, "lb/s"}, {81, "lb/min"},
    {82, "lb/h"}, {83, "lb/d"}, {84, "short ton/min"}, {85, "short ton/h"},
    {86, "short ton/d"}, {87, "long ton/h"}, {88, "long ton/d"},
    // Energy, mass per volume, concentration
    {89, "deka therm"}, {90, "SGU"}, {91, "g/cm3"}, {92, "kg/m3"}, {93, "lb/gal"},
    {94, "lb/ft3"}, {95, "g/ml"}, {96, "kg/l"}, {97, "g/l"}, {98, "lb/in3"},
    {99, "short ton/yd3"}, {100, "degTwad"}, {101, "degBrix"}, {102, "degBaum hv"},
    {103, "degBaum lt"}, {104, "degAPI"}, {105, "% sol/wt"}, {106, "% sol/vol"},
    {107, "degBall"}, {108, "proof/vol"}, {109, "proof/mass"},
    // Volume, velocity, angular velocity, volumetric flow
    {110, "bushel"}, {111, "yd3"}, {112, "ft3"}, {113, "in3"}, {114, "in/s"}, {115, "in/min"},
    {116, "ft/min"}, {117, "deg/s"}, {118, "rev/s"}, {119, "rpm"}, {120, "m/h"},
    {121, "Nm3/h"}, {122, "Nl/h"}, {123, "SCFM"}, {124, "bbl liq"}, {125, "oz"},
    {126, "ft lbf"}, {127, "kW"}, {128, "kWh"}, {129, "hp"}, {130, "ft3/h"}, {131, "m3/min"},
    {132, "bbl/s"}, {133, "bbl/min"}, {134, "bbl/h"}, {135, "bbl/d"}, {136, "gal/h"},
    {137, "impgal/s"}, {138, "l/h"}, {139, "ppm"}, {140, "Mcal/h"}, {141, "MJ/h"},
    {142, "Btu/h"}, {143, "deg"}, {144, "rad"}, {145, "inH2O@60F"}, {146, "ug/l"},
    {147, "ug/m3"}, {148, "% consistency"}, {149, "vol%"}, {150, "% steam qual"},
    {151, "ft in16"}, {152, "ft3/lb"}, {153, "pF"}, {154, "ml/l"}, {155, "ul/l"},
    {160, "% plato"}, {161, "% LEL"}, {162, "Mcal"}, {163, "kohm"}, {164, "MJ"},
    {165, "Btu"}, {166, "Nm3"}, {167, "Nl"}, {168, "SCF"}, {169, "ppb"},
    // Pressure
    {170, "cmH2O@4C"}, {171, "mH2O@4C"}, {172, "cmHg@0C"}, {173, "psf"}, {174, "hPa"},
    {175, "psia"}, {176, "kg/m2"}, {177, "ftH2O@4C"}, {178, "ftH2O@60F"}, {179, "mHg@0C"},
    {235, "gal/d"}, {236, "hl"}, {237, "MPa"}, {238, "inH2O@4C"}, {239, "mmH2O@4C"},
    // Codes every table shares
    {250, "not used"}, {251, "none"}, {252, "unknown"}, {253, "special"},
};

}  // namespace

const HartUnitCode* HartUnitCodes() { return kCodes; }
int HartUnitCodeCount() { return static_cast<int>(std::size(kCodes)); }

std::string HartUnitName(int code) {
    const auto* end = kCodes + std::size(kCodes);
    const auto* found = std::lower_bound(kCodes, end, code,
                                         [](const HartUnitCode& u, int c) { return u.code < c; });
    if (found != end && found->code == code) return found->name;
    return "unit code " + std::to_string(code);
}

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
