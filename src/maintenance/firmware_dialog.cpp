#include "maintenance/firmware_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "maintenance/firmware_update_page.h"
#include "session/session_core.h"

TFirmwareDialog::TFirmwareDialog(TSessionCore& ACore, QWidget* AParent)
    : TFirmwareDialog(ACore, AParent, TUpdateFlowTimings{}) {}

TFirmwareDialog::TFirmwareDialog(TSessionCore& ACore, QWidget* AParent,
                                 const TUpdateFlowTimings& ATimings)
    : QDialog(AParent),
      fCore(ACore),
      fPage(new TFirmwareUpdatePage(ACore, this, ATimings)),
      fPurpose(new QLabel(this)) {
    setObjectName(QStringLiteral("FirmwareDialog"));
    setWindowTitle(QStringLiteral("Firmware update"));
    resize(560, 380);
    fPurpose->setObjectName(QStringLiteral("FirmwarePurpose"));
    fPurpose->setWordWrap(true);
    // Room for the longer of its two texts at this width.
    fPurpose->setMinimumHeight(fPurpose->fontMetrics().lineSpacing() * 3 + 4);
    fPurpose->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fPurpose);
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
    fPurpose->setText(
        fCore.Connected()
            ? QStringLiteral("The connected supply is updated through its session: it is sent "
                             "into its boot loader, then erased, written, verified, started and "
                             "connected again.")
            : QStringLiteral("Not connected: this finishes an update on a supply that waits in "
                             "its boot loader (an update cut short). A supply that runs its "
                             "firmware is updated through a session: \"Connect\" first, then "
                             "\"Firmware update\"."));
    fPage->WindowShown();
}
