// Engineering units of the HART common unit table, in the order of the window's
// four unit lists. The lists and the HART reply decoder share this one table.
#pragma once

#include <string>

struct HartUnit {
    int item;          // index in the unit lists
    int code;          // HART unit code; kNoUnitCode for the trailing "other"
    const char* text;  // list text, UTF-8
};

constexpr int kUnitItemCount = 77;
constexpr int kOtherUnitItem = 76;
constexpr int kNoUnitCode = -1;

// All 77 entries, entry i having item i.
const HartUnit* UnitTable();

// The list item for a HART unit code; a code not in the table gives "other".
int UnitItemForCode(int code);

// The list text of an item; nullptr outside 0..76.
const char* UnitText(int item);

// Every engineering unit code of the HART common unit table, named as the
// tool's own outputs name it ("mA", "kg/h", "degC"). Far more than the
// window's lists hold.
struct HartUnitCode {
    int code;
    const char* name;  // ASCII
};
// The whole table, ascending by code, and its size.
const HartUnitCode* HartUnitCodes();
int HartUnitCodeCount();

// The name of `code`, or "unit code N" for a code the table does not hold.
std::string HartUnitName(int code);
