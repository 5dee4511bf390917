// Line settings in the short form engineers write them: "9600 8N1".
#pragma once

#include <string>

#include "serial/tcomm.h"

// The letter of `parity` (a TParity ordinal) in that form: N, O, E, M or S;
// '?' outside 0..4.
char ParityLetter(int parity);

// `parity` is an item index of the parity list or a TParity ordinal; a value
// outside 0..4 (a typed parity that matched no item) shows as '?'.
std::string LineSettingsText(const std::string& baud, TByteSize byteSize, int parity,
                             TStopBits stopBits);

// The same for an open line that dropped the parity asked for (a
// pseudo-terminal): "9600 8N1 (this device cannot carry even parity)".
std::string HeldLineSettingsText(const std::string& baud, TByteSize byteSize, int parity,
                                 TStopBits stopBits, bool parityHeld);
