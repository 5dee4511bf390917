#include "ui/statusline.h"

#include <QLabel>
#include <QStatusBar>

namespace {

QLabel* AddLabel(QStatusBar* bar, const char* name, const QString& text) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(QString::fromLatin1(name));
    label->setContentsMargins(4, 0, 12, 0);
    bar->addWidget(label);
    return label;
}

}  // namespace

TStatusLine::TStatusLine(QStatusBar* bar) : QObject(bar), bar_(bar) {
    bar->setObjectName("statusBar");
    port_ = AddLabel(bar, "StatusPort", {});
    settings_ = AddLabel(bar, "StatusSettings", {});
    state_ = AddLabel(bar, "StatusState", "Closed");
    lastReply_ = AddLabel(bar, "StatusLastReply", "No reply yet");
}

void TStatusLine::ShowPort(const QString& path, const QString& settings, bool open) {
    port_->setText(path);
    settings_->setText(settings);
    state_->setText(open ? "Open" : "Closed");
}

void TStatusLine::ReplyReceived(const QTime& at) {
    lastReply_->setText("Last reply " + at.toString("HH:mm:ss"));
}

void TStatusLine::ShowEcho(const QString& text) {
    if (!echo_ && text.isEmpty()) return;
    if (!echo_) echo_ = AddLabel(bar_, "StatusEcho", {});
    echo_->setText(text);
    echo_->setVisible(!text.isEmpty());
}
