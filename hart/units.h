// Engineering units of the HART common unit table, in the order of the window's
// four unit lists. The lists and the HART reply decoder share this one table.
#pragma once

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
