#include "ui/rs485dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* DelayBox(const char* name, uint32_t ms, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, 1000);
    box->setSuffix(QStringLiteral(" ms"));
    box->setValue(static_cast<int>(ms));
    return box;
}

}  // namespace

Rs485Dialog::Rs485Dialog(const std::string& device, const TRs485& current, bool open,
                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("Rs485Dialog"));
    setWindowTitle(QStringLiteral("RS-485 Mode of the Port"));
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(
        QStringLiteral("<b>%1</b><br>For a UART whose driver switches an RS-485 transceiver "
                       "(industrial PCs, single-board computers): the driver raises RTS while "
                       "sending. A USB-RS485 adapter switches by itself and needs none.%2")
            .arg(QString::fromStdString(device).toHtmlEscaped(),
                 open ? QStringLiteral("<br>Takes effect when the port is next opened.")
                      : QString()),
        this);
    about->setWordWrap(true);
    layout->addWidget(about);
    enabled_ = new QCheckBox(QStringLiteral("&Kernel RS-485 mode, RTS on send"), this);
    enabled_->setObjectName(QStringLiteral("Rs485Enabled"));
    enabled_->setChecked(current.enabled);
    layout->addWidget(enabled_);
    auto* form = new QFormLayout;
    before_ = DelayBox("Rs485DelayBefore", current.delayBeforeMs, this);
    after_ = DelayBox("Rs485DelayAfter", current.delayAfterMs, this);
    form->addRow(QStringLiteral("RTS delay &before sending:"), before_);
    form->addRow(QStringLiteral("RTS delay &after sending:"), after_);
    layout->addLayout(form);
    const auto follow = [this] {
        before_->setEnabled(enabled_->isChecked());
        after_->setEnabled(enabled_->isChecked());
    };
    connect(enabled_, &QCheckBox::toggled, this, follow);
    follow();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TRs485 Rs485Dialog::Chosen() const {
    return {enabled_->isChecked(), static_cast<uint32_t>(before_->value()),
            static_cast<uint32_t>(after_->value())};
}
