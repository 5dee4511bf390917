// After a verified apply: the HART instrument's identity (command 0) and loop
// current (command 3), and the HART-to-MODBUS cross-check against the
// module's registers 40001 to 40010 at its slave address, with the byte
// orders and coefficients the module reported. Fills a Certificate; a side
// that does not answer is said in its note, never left out unsaid. Shared by
// the window's Save Certificate… and tavrix-cli --certificate.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "exchange/crosscheck.h"
#include "exchange/hartcommission.h"
#include "exchange/requestsequence.h"
#include "hart/replies.h"
#include "profile/certificate.h"
#include "profile/profile.h"

class Link;

// What the cross-check and the loop check need of a module read back: its
// byte orders and coefficients, and its MODBUS slave address.
CrossCheckSettings ModuleCrossCheckSettings(const Profile& module);
int ModuleSlaveAddress(const Profile& module);

// The two module queries a loop reading needs (its system and MODBUS
// parameters), and what their replies, in that order, say of it.
std::vector<SequenceStep> ModuleMeterSteps();
ModuleLoopMeter ModuleMeterFrom(const std::vector<std::string>& replies);

class CertifyJob : public QObject {
    Q_OBJECT
public:
    explicit CertifyJob(Link* link, QObject* parent = nullptr);
    // Tries after the first for an exchange whose reply was lost or damaged (2).
    void SetRetries(int retries) { retries_ = retries; }

    // `certificate` already holds what the apply gave; `module` is the module
    // as read back. False while another sequence has the line.
    bool Start(Certificate certificate, const Profile& module, int hartAddress = 0);
    const Certificate& certificate() const { return certificate_; }

signals:
    void finished();

private:
    void Exchange(std::vector<SequenceStep> steps, std::function<void(const std::string&)> done);
    // Tag, descriptor and range: named when the instrument gives them, its
    // certificate made all the same when it does not.
    void ReadTagAndRange(const HartIdentity& id, const HartDynamicValues& hart);
    void CrossCheckWith(const HartDynamicValues& hart);
    void Done(const std::string& note = {});

    Link* link_;
    Certificate certificate_;
    Profile module_;
    bool running_ = false;
    int retries_ = 2;
};
