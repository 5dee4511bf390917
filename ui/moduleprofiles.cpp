#include "ui/moduleprofiles.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressDialog>

#include "print/certificatepdf.h"
#include "profile/certificate.h"
#include "profile/profilecommands.h"
#include "profile/profilesettings.h"
#include "profile/unfinishedapply.h"
#include "session/certifyjob.h"
#include "session/loopcheckjob.h"
#include "session/modulejob.h"
#include "session/requestrunner.h"
#include "traffic/journal.h"
#include "ui/applyreportdialog.h"
#include "ui/configcontrols.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

constexpr const char* kProfileFilter = "Tavrix profiles (*.json);;All files (*)";

QAction* NewAction(QMenu* menu, QAction* before, const char* name, const QString& text) {
    auto* action = new QAction(text, menu);
    action->setObjectName(name);
    menu->insertAction(before, action);
    return action;
}

QString Text(const std::string& latin1) { return QString::fromLatin1(latin1); }

}  // namespace

ModuleProfiles::ModuleProfiles(TForm1* form)
    : QObject(form),
      form_(form),
      job_(new ModuleJob(form->Link1, this)),
      certify_(new CertifyJob(form->Link1, this)) {
    QMenu* file = form->menuFile;
    // First in File, ahead of the entries that sit just before Exit.
    QAction* first = file->actions().first();
    actionReadModule = NewAction(file, first, "actionReadModule", "&Read Module");
    actionSaveProfile = NewAction(file, first, "actionSaveProfile", "&Save Profile…");
    actionOpenProfile = NewAction(file, first, "actionOpenProfile", "&Open Profile…");
    actionApplyProfile = NewAction(file, first, "actionApplyProfile", "&Apply Profile to Module…");
    actionSaveCertificate =
        NewAction(file, first, "actionSaveCertificate", "Save &Certificate…");
    actionSaveCertificate->setEnabled(false);
    file->insertSeparator(first);

    connect(actionReadModule, &QAction::triggered, this, [this] { ReadModule(); });
    connect(actionSaveProfile, &QAction::triggered, this, [this] {
        const QString path =
            WithSuffix(QFileDialog::getSaveFileName(form_, "Save Profile", {}, kProfileFilter), "json");
        if (!path.isEmpty()) SaveProfileTo(path);
    });
    connect(actionOpenProfile, &QAction::triggered, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(form_, "Open Profile", {}, kProfileFilter);
        if (!path.isEmpty()) OpenProfileFrom(path);
    });
    connect(actionSaveCertificate, &QAction::triggered, this, [this] {
        const QString path = WithSuffix(
            QFileDialog::getSaveFileName(form_, "Save Certificate", "certificate.pdf", "PDF (*.pdf)"),
            "pdf");
        if (!path.isEmpty()) SaveCertificate(path);
    });
    connect(actionApplyProfile, &QAction::triggered, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(form_, "Apply Profile to Module", {}, kProfileFilter);
        if (!path.isEmpty()) ApplyProfileFrom(path);
    });
    connect(job_, &ModuleJob::progress, this, [this](int done, int total, const QString& label) {
        if (!progress_) return;
        progress_->setMaximum(total);
        progress_->setValue(done);
        progress_->setLabelText(label);
    });
    // The snapshot goes to disk before the first set command: a crash part
    // way through still leaves what a restore needs.
    job_->SetSnapshotKeeper([this](const Profile& read) -> QString {
        Profile snapshot = read;
        snapshot.toolVersion = TAVRIX_VERSION;
        snapshot.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
        const QString path = DefaultBackupPath(QString::fromStdString(JournalFolder()) + "/backups",
                                               form_->Link1->Settings().name);
        QString error;
        if (!WriteFileWhole(path, WriteProfile(snapshot), &error))
            return "the snapshot could not be kept: " + error;
        return {};
    });
    connect(job_, &ModuleJob::lineChanged, this, &ModuleProfiles::LineChanged);
    connect(job_, &ModuleJob::finished, this, &ModuleProfiles::JobFinished);
    // Nothing else may start on the line while a job runs.
    connect(form->Link1->Runner(), &RequestRunner::started, this, [this] {
        for (QAction* a : {actionReadModule, actionApplyProfile, actionSaveCertificate})
            a->setEnabled(false);
    });
    connect(form->Link1->Runner(), &RequestRunner::ended, this, [this] {
        for (QAction* a : {actionReadModule, actionApplyProfile}) a->setEnabled(true);
        actionSaveCertificate->setEnabled(certifiable_);
    });
}

bool ModuleProfiles::ProfileFromWindow(Profile& profile) {
    for (const ProfileSetting& s : ProfileSettings()) {
        std::optional<ConfigField> field;
        try {
            field = ReadConfigField(*form_->form(), s.setting);
        } catch (const ERefusedInput& refused) {
            ShowMessage("Cannot save the profile: " + refused.Message());
            return false;
        }
        if (!field) continue;
        if (const auto problem = CheckSetting(*field)) {
            ShowMessage(
                QString("Cannot save the profile: %1 (%2): %3")
                    .arg(Text(std::string(s.name)), ConfigControlName(s.setting), Text(*problem)));
            return false;
        }
        profile.settings.push_back(*field);
    }
    profile.toolVersion = TAVRIX_VERSION;
    profile.moduleVersion = moduleVersion_;
    profile.date = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    return true;
}

bool ModuleProfiles::SaveProfileTo(const QString& path) {
    Profile profile;
    if (!ProfileFromWindow(profile)) return false;
    QFile file(path);
    const QByteArray json = WriteProfile(profile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size()) {
        ShowMessage(QString("Cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

// Reads `path` as a profile; on a refusal shows which file and field.
static std::optional<Profile> LoadProfile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QString("Cannot read %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    auto read = ReadProfile(file.readAll());
    if (const auto* error = std::get_if<ProfileError>(&read)) {
        ShowMessage(Text(ProfileErrorText(path, *error)));
        return std::nullopt;
    }
    return std::get<Profile>(std::move(read));
}

bool ModuleProfiles::OpenProfileFrom(const QString& path) {
    const auto profile = LoadProfile(path);
    if (!profile) return false;
    for (const ConfigField& field : profile->settings) WriteConfigField(*form_->form(), field);
    return true;
}

bool ModuleProfiles::ReadModule() {
    if (!form_->PortOpen) {
        ShowMessage("Open the port first.");
        return false;
    }
    applying_ = false;
    ShowProgress("Reading the module");
    return job_->StartRead(ItemIndex(form_->form()->ComboBox17));
}

bool ModuleProfiles::ApplyProfileFrom(const QString& path) {
    const auto profile = LoadProfile(path);
    if (!profile) return false;
    // Nothing is sent from a profile with one value its field cannot carry.
    if (const auto problem = ValidateProfile(*profile)) {
        ShowMessage(Text(ProfileErrorText(path, *problem)));
        return false;
    }
    lastProfileFile_ = QFileInfo(path).fileName();
    // The module is read first, so the engineer sees what will change before
    // anything is sent.
    if (!form_->PortOpen) {
        ShowMessage("Open the port first.");
        return false;
    }
    pending_ = *profile;
    applying_ = false;
    confirming_ = true;
    ShowProgress("Reading the module before the apply");
    if (job_->StartRead(ItemIndex(form_->form()->ComboBox17))) return true;
    confirming_ = false;
    progress_->disconnect(job_);
    progress_->deleteLater();
    progress_ = nullptr;
    if (job_->outcome() == ModuleJob::Outcome::PortFailed) ShowMessage(job_->failure());
    return false;
}

void ModuleProfiles::ConfirmApply() {
    confirming_ = false;
    if (job_->outcome() != ModuleJob::Outcome::Done) {
        ShowMessage("Nothing was sent: the module could not be read before the apply: " +
                    job_->failure());
        return;
    }
    // The engineer's words: each setting by the caption it has in the window.
    const auto caption = [this](const std::string& key) { return SettingCaption(*form_, key); };
    const std::vector<VerifyRow> changes = ProfileChanges(pending_, job_->readBack());
    QStringList lines;
    for (const VerifyRow& r : changes)
        lines << QString("%1: %2 \u2192 %3").arg(caption(r.setting), Text(r.readBack), Text(r.wanted));
    const bool moves = MovesRs485Line(changes);
    QMessageBox box(moves ? QMessageBox::Warning : QMessageBox::Question, "Apply Profile",
                    QString("Apply %1 to the module on %2?").arg(lastProfileFile_,
                                                                  Text(form_->Link1->Settings().name)),
                    QMessageBox::Ok | QMessageBox::Cancel, form_);
    box.setObjectName("ApplyProfileConfirmation");
    box.button(QMessageBox::Ok)->setText("Apply");
    QString said = changes.empty()
                       ? QString("The module already holds all %1 settings of the profile.")
                             .arg(pending_.settings.size())
                       : QString("%1 of %2 settings change:\n").arg(changes.size()).arg(pending_.settings.size()) +
                             lines.join("\n");
    if (moves)
        said += "\n\nThe module's RS-485 line changes: this port follows it, but every other "
                "master on the bus must be set to the new line too.";
    box.setInformativeText(said);
    if (box.exec() != QMessageBox::Ok) return;  // nothing sent
    Apply(pending_, "Applying the profile");
}

void ModuleProfiles::ShowProgress(const QString& title) {
    delete progress_;
    progress_ = new QProgressDialog(title, "Cancel", 0, 1, form_);
    progress_->setObjectName("ModuleProgress");
    progress_->setWindowTitle(title);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_, &QProgressDialog::canceled, job_, &ModuleJob::Cancel);
    progress_->show();
}

void ModuleProfiles::JobFinished() {
    if (progress_) {
        progress_->disconnect(job_);
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (confirming_) return ConfirmApply();
    certifiable_ = applying_ && job_->verified();
    actionSaveCertificate->setEnabled(certifiable_ && !form_->Link1->RunsActive());
    applying_ ? ApplyFinished() : ReadFinished();
}

void ModuleProfiles::ReadFinished() {
    // Each reply is shown by the window's own decoders, as if its query
    // button had been pressed; the link's request state is not touched.
    const auto steps = ReadModuleSteps();
    const auto& replies = job_->readReplies();
    for (size_t i = 0; i < replies.size(); ++i) {
        const std::string reply = replies[i].substr(0, TForm1::kReplyTextMax);
        form_->form()->Memo10->setPlainText(QString::fromLatin1(reply.c_str()));
        form_->ShowConfigReply(steps[i].code, reply);
    }
    if (job_->outcome() == ModuleJob::Outcome::Done) {
        moduleVersion_ = job_->readBack().moduleVersion;
    } else {
        ShowMessage(job_->failure());
    }
}

void ModuleProfiles::ApplyFinished() {
    auto* dialog = new ApplyReportDialog(job_->report(), form_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const Profile snapshot = job_->snapshot();
    const Profile wanted = lastApplied_;
    connect(dialog, &ApplyReportDialog::restoreRequested, this,
            [this, snapshot] { Apply(snapshot, "Restoring the module"); });
    connect(dialog, &ApplyReportDialog::resumeRequested, this,
            [this, wanted] { Apply(wanted, "Applying the profile"); });
    connect(dialog, &ApplyReportDialog::certificateRequested, this,
            &ModuleProfiles::SaveCertificate);
    dialog->show();
}

bool ModuleProfiles::Apply(const Profile& profile, const QString& title) {
    if (!form_->PortOpen) {
        ShowMessage("Open the port first.");
        return false;
    }
    lastApplied_ = profile;
    applying_ = true;
    ShowProgress(title);
    if (job_->StartApply(profile, true)) return true;
    // Refused before anything was sent: no progress to show.
    progress_->disconnect(job_);
    progress_->deleteLater();
    progress_ = nullptr;
    if (job_->outcome() == ModuleJob::Outcome::PortFailed) ShowMessage(job_->failure());
    return false;
}

void ModuleProfiles::LineChanged(uint32_t baudRate, int parityItem) {
    // The port now runs at the module's new settings: the port lists say so.
    form_->form()->ComboBox11->setEditText(QString::number(baudRate));
    SetItemIndex(form_->form()->ComboBox10, parityItem);
}

bool ModuleProfiles::SaveCertificate(const QString& pdfPath) {
    if (!job_->verified()) {
        ShowMessage("Only a module whose settings read back as wanted gets a certificate.");
        return false;
    }
    Certificate c;
    const QDateTime now = QDateTime::currentDateTime();
    c.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    c.port = ResolvePortName(form_->Link1->Settings().name);
    c.toolVersion = TAVRIX_VERSION;
    c.moduleVersion = job_->readBack().moduleVersion;
    c.profileFile = lastProfileFile_.toStdString();
    c.verified = true;
    c.rows = job_->rows();
    // A loop check run in the HART Instrument window goes into the certificate with its time.
    const LoopCheckJob* loop = form_->Session->LoopCheck();
    if (!loop->IsRunning() && !loop->report().points.empty()) c.loopCheck = loop->report().Lines();
    certify_->disconnect(this);
    connect(certify_, &CertifyJob::finished, this, [this, pdfPath] {
        const Certificate& done = certify_->certificate();
        QString error;
        QFile json(QFileInfo(pdfPath).path() + "/" + QFileInfo(pdfPath).completeBaseName() +
                   ".json");
        const QByteArray data = CertificateJson(done);
        if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            json.write(data) != data.size()) {
            ShowMessage(QString("Cannot write %1: %2").arg(json.fileName(), json.errorString()));
        } else if (!WriteCertificatePdf(done, pdfPath, &error)) {
            ShowMessage(QString("Cannot write %1: %2").arg(pdfPath, error));
        }
        emit certificateSaved(pdfPath);
    });
    if (!certify_->Start(c, job_->readBack())) {
        ShowMessage("The line is busy: try again once the exchange under way is done.");
        return false;
    }
    return true;
}
