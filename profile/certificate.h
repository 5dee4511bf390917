// A commissioning certificate: the record a plant keeps of one module's
// commissioning. What was wanted and read back, the module's and the HART
// instrument's identity, the loop current, and the HART-to-MODBUS
// cross-check after the apply. Written as JSON here (QtCore); the printable
// page is drawn by print/certificatepdf.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "profile/profilecommands.h"

struct CertificateCheck {
    int variable = 0;            // 1..4
    int address = 0;             // 40003, 40005, ...
    std::string hartValue;       // as the instrument reports it, with its unit
    std::string modbusValue;     // as the module serves it
    bool agree = false;
};

struct Certificate {
    std::string date;           // ISO 8601 with the local offset
    std::string port;           // the device the module was on
    std::string toolVersion;
    std::string moduleVersion;  // the module's version text
    std::string profileFile;    // the profile applied
    bool verified = false;      // every setting read back as wanted
    std::vector<VerifyRow> rows;  // setting, wanted, read back
    // The HART instrument, when it answered command 0 and command 3.
    // The one identity text: "manufacturer 0x005A, device type 0x0B, id 1193046, HART 5".
    std::optional<std::string> hartIdentity;
    std::optional<double> loopCurrentMa;
    // What the plant calls it (command 13) and what it measures (command 15),
    // when it told them: "PT-101", "FEED PRESSURE", "0 to 25 kPa".
    std::optional<std::string> hartTag;
    std::optional<std::string> hartDescriptor;
    std::optional<std::string> hartRange;
    // Cross-check after the apply; empty when it could not be made, with why.
    std::vector<CertificateCheck> crossCheck;
    std::string crossCheckNote;  // "all 4 variables agree", or why there is none
    // The loop check of the HART instrument, when one was run.
    std::vector<std::string> loopCheck;
    // Why the apply failed, for the record a failed module gets too; empty
    // when it did not.
    std::string failure;
};

QByteArray CertificateJson(const Certificate& certificate);
// The file name for a certificate of the module on `port` at `date`, without
// extension: "tavrix-ttyUSB0-20261209T101500".
std::string CertificateBaseName(const Certificate& certificate);
