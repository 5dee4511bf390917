// Read Module, Save Profile…, Open Profile… and Apply Profile to Module: the
// window's side of module profiles. The work is done by ModuleJob and the
// profile functions; this class reads and writes the controls, shows the
// progress and the report, and asks for files.
#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "profile/profile.h"

class CertifyJob;
class ModuleJob;
class QAction;
class QProgressDialog;
class TForm1;
struct ApplyReport;

class ModuleProfiles : public QObject {
    Q_OBJECT
public:
    explicit ModuleProfiles(TForm1* form);

    QAction* actionReadModule;
    QAction* actionSaveProfile;
    QAction* actionOpenProfile;
    QAction* actionApplyProfile;
    // Enabled after a verified apply, as the report's button is.
    QAction* actionSaveCertificate;

    // The actions' work once a file is chosen; true when it went ahead.
    bool SaveProfileTo(const QString& path);
    bool OpenProfileFrom(const QString& path);
    bool ApplyProfileFrom(const QString& path);
    bool ReadModule();
    // After a verified apply: the HART instrument and the cross-check read,
    // then the certificate saved as `pdfPath` and beside it as JSON.
    bool SaveCertificate(const QString& pdfPath);

    ModuleJob* job() const { return job_; }

signals:
    // The certificate's files are written (or the failure was shown).
    void certificateSaved(const QString& pdfPath);

private:
    bool ProfileFromWindow(Profile& profile);
    // Applies `profile` as a transaction (snapshot first) and shows the report.
    bool Apply(const Profile& profile, const QString& title);
    void ShowProgress(const QString& title);
    void JobFinished();
    void ReadFinished();
    void ApplyFinished();
    // The module read before an apply: what will change, Apply or Cancel.
    void ConfirmApply();
    void LineChanged(uint32_t baudRate, int parityItem);

    TForm1* form_;
    ModuleJob* job_;
    QProgressDialog* progress_ = nullptr;
    std::string moduleVersion_;  // from the last Read Module
    bool applying_ = false;
    bool certifiable_ = false;  // the last job was an apply that verified
    bool confirming_ = false;  // reading the module to say what an apply changes
    Profile pending_;          // the profile that waits for the engineer's word
    Profile lastApplied_;  // what Resume applies again
    QString lastProfileFile_;
    CertifyJob* certify_;
};
