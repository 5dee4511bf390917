// An apply under way, kept on disk from before its first set command until
// its report is out, so that one ended by a crash or a kill is found by the
// next run on the same port: the module may be half-configured.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct UnfinishedLine {
    uint32_t baud = 9600;
    int parity = 0;  // item of the parity list: none, odd, even
    bool operator==(const UnfinishedLine&) const = default;
};

struct UnfinishedApply {
    std::string port;
    std::string started;      // ISO 8601, UTC
    std::string profileFile;  // as given on the command line
    std::string backup;       // the snapshot's file
    UnfinishedLine lineBefore;
    // The profile's RS485 line, where it moves the module's.
    std::optional<UnfinishedLine> lineAfter;
    std::vector<std::string> sent;  // set commands sent, in order, each once
    bool rs485Sent = false;

    // Records a set command sent (again, when retried).
    void Sent(const std::string& label, bool rs485);
};

QByteArray UnfinishedApplyJson(const UnfinishedApply& apply);
// nullopt for a file that is not one of ours (damaged or cut off): it says
// too little to warn by.
std::optional<UnfinishedApply> ReadUnfinishedApply(const QByteArray& json);

// The file name a port's record goes by: the port's path with every
// character outside [A-Za-z0-9._-] escaped, so that two ports never share one.
std::string UnfinishedApplyFileName(const std::string& port);

// Writes `data` to `path` whole or not at all (a kill part way through leaves
// the old file or none); false with `error` naming the file and the cause.
bool WriteFileWhole(const QString& path, const QByteArray& data, QString* error);

// Where an apply keeps the module's snapshot unless told otherwise:
// FOLDER/tavrix-backup-PORTNAME-yyyyMMddTHHmmss.json.
QString DefaultBackupPath(const QString& folder, const std::string& port);
