// Key filter of the current-output range edits.
#pragma once

#include <string_view>

inline constexpr char kBackspace = 8;

// Whether `key`, typed into a range edit that holds `currentText`, reaches
// the edit. Digits, '.', '-' and backspace pass; anything but backspace is
// refused once the edit holds five characters. Position, selection and the
// number of points or signs are not looked at.
bool RangeKeyAccepted(char key, std::string_view currentText);
