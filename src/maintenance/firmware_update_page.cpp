#include "maintenance/firmware_update_page.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Operator texts break lines with "\r\n"; the log shows them as plain line breaks.
QString LogText(QString AText) {
    return AText.replace("\r\n", "\n").replace('\r', '\n');
}

// Top-left corner of a box 200 px left of and 50 px above the centre of AWidget's window.
QPoint BoxPosition(const QWidget* AWidget) {
    const QWidget* w = AWidget->window();
    const QRect g = w->frameGeometry();
    return {g.left() + g.width() / 2 - 200, g.top() + g.height() / 2 - 50};
}
}  // namespace

TFirmwareUpdatePage::TFirmwareUpdatePage(TSessionCore& ACore, QWidget* AParent,
                                         TUpdateFlowTimings ATimings)
    : QWidget(AParent), fCore(ACore), fFlow(ACore, ATimings) {
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    ProgressBar2 = new QProgressBar(this);
    ProgressBar2->setObjectName("ProgressBar2");
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setValue(0);
    ProgressBar2->setAlignment(Qt::AlignCenter);
    FileLabel = new QLabel(this);
    FileLabel->setObjectName("FileLabel");
    OpenFileBtn = new QPushButton("Open FW File", this);
    OpenFileBtn->setObjectName("OpenFileBtn");
    StartUpdateBtn = new QPushButton("Start Update", this);
    StartUpdateBtn->setObjectName("StartUpdateBtn");
    StartUpdateBtn->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OpenFileBtn);
    buttons->addStretch(1);
    buttons->addWidget(StartUpdateBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1, 1);
    layout->addWidget(ProgressBar2);
    layout->addWidget(FileLabel);
    layout->addLayout(buttons);

    fChooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            "BIN files (*.bin);;ALL files (*)");
    };
    fConfirm = [this](const QString& AText) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Benchlord"), AText,
                        QMessageBox::Ok | QMessageBox::Cancel, window());
        box.move(BoxPosition(this));
        return box.exec() == QMessageBox::Ok;
    };
    fShowError = [this](const QString& AText) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Benchlord"), AText, QMessageBox::Ok,
                        window());
        box.move(BoxPosition(this));
        box.exec();
    };

    connect(OpenFileBtn, &QPushButton::clicked, this, [this] { OpenFileBtnClick(); });
    connect(StartUpdateBtn, &QPushButton::clicked, this, [this] { StartUpdateBtnClick(); });
    connect(&fFlow, &TFirmwareUpdateFlow::LogCleared, Memo1, &QPlainTextEdit::clear);
    connect(&fFlow, &TFirmwareUpdateFlow::LogLine, this, [this](const QString& s) { AddLine(s); });
    connect(&fFlow, &TFirmwareUpdateFlow::Progress, this, [this](int ACurrent, int AMax) {
        ProgressBar2->setMaximum(AMax);
        ProgressBar2->setValue(ACurrent);
    });
    connect(&fFlow, &TFirmwareUpdateFlow::ErrorReport, this,
            [this](const QString& AText) { fShowError(AText); });
    connect(&fFlow, &TFirmwareUpdateFlow::Finished, this, [this](bool AOk) {
        // Another file can be chosen for the supply as it is now.
        OpenFileBtn->setEnabled(TFirmwareUpdateFlow::UpdateOffered(fCore));
        emit UpdateFinished(AOk);
    });
}

TFirmwareUpdatePage::~TFirmwareUpdatePage() = default;

void TFirmwareUpdatePage::WindowShown() {
    Memo1->setPlainText(LogText(TFirmwareUpdateFlow::kNotice));
    if (!fFlow.Running()) OpenFileBtn->setEnabled(TFirmwareUpdateFlow::UpdateOffered(fCore));
}

void TFirmwareUpdatePage::AddLine(const QString& AText) {
    Memo1->appendPlainText(LogText(AText));
}

void TFirmwareUpdatePage::OpenFileBtnClick() {
    const QString file = fChooseFile();
    if (file.isEmpty()) return;
    fFileName = file;
    const QFileInfo info(file);
    FileLabel->setText("File: " + info.fileName() + " (" + QString::number(info.size()) +
                       " bytes)");
    FileLabel->setToolTip(info.absoluteFilePath());
    StartUpdateBtn->setEnabled(true);
}

void TFirmwareUpdatePage::StartUpdateBtnClick() {
    if (fFileName.isEmpty() || fFlow.Running()) return;
    // Whatever can be checked without the chip is checked before the supply is sent into its
    // boot loader: a refusal after the jump would leave it there.
    const QString refusal = TFirmwareUpdateFlow::RefusalBeforeJump(fCore, fFileName);
    if (!refusal.isEmpty()) {
        AddLine(refusal);
        fShowError(refusal);
        return;
    }
    if (!fConfirm(TFirmwareUpdateFlow::kConfirmText)) return;
    OpenFileBtn->setEnabled(false);
    StartUpdateBtn->setEnabled(false);
    emit UpdateStarted();
    const QString file = fFileName;
    fFileName.clear();  // the next update needs a file chosen again
    FileLabel->clear();
    fFlow.Start(file);
}
