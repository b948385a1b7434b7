#include "maintenance/firmware_dialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "maintenance/firmware_update_page.h"

TFirmwareDialog::TFirmwareDialog(TSessionCore& ACore, QWidget* AParent)
    : TFirmwareDialog(ACore, AParent, TUpdateFlowTimings{}) {}

TFirmwareDialog::TFirmwareDialog(TSessionCore& ACore, QWidget* AParent,
                                 const TUpdateFlowTimings& ATimings)
    : QDialog(AParent), fPage(new TFirmwareUpdatePage(ACore, this, ATimings)) {
    setObjectName(QStringLiteral("FirmwareDialog"));
    setWindowTitle(QStringLiteral("Firmware update"));
    resize(560, 360);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fPage, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QPushButton* close = buttons->button(QDialogButtonBox::Close);
    connect(fPage, &TFirmwareUpdatePage::UpdateStarted, close,
            [close] { close->setEnabled(false); });
    connect(fPage, &TFirmwareUpdatePage::UpdateFinished, close,
            [close] { close->setEnabled(true); });
}

TFirmwareDialog::~TFirmwareDialog() = default;

void TFirmwareDialog::done(int AResult) {
    // A firmware transfer owns the serial port until it ends.
    if (fPage->Busy()) return;
    QDialog::done(AResult);
}

void TFirmwareDialog::showEvent(QShowEvent* AEvent) {
    QDialog::showEvent(AEvent);
    fPage->WindowShown();
}
