#pragma once
// The update part of the advanced window's "Colors and Update" tab: the log (Memo1), the
// progress bar (ProgressBar2), "Open FW File" and "Start Update". It only shows and forwards;
// TFirmwareUpdateFlow does the work, with the transfer on a worker thread so the window keeps
// painting.
//
// Hosting it (the advanced window):
//     auto* page = new TFirmwareUpdatePage(core, tab);   // core: the main window's session
//     layout->addWidget(page);
//     on every showing of the window:  page->WindowShown();   (notice text, enable rule)
//     connect(page, &TFirmwareUpdatePage::UpdateStarted, ...);  // disable Save, Cancel, Apply,
//                                                                // battery Save
//     connect(page, &TFirmwareUpdatePage::UpdateFinished, ...); // enable Cancel
// The message boxes (confirmation, error report) can be routed through the host's presenter
// by replacing fConfirm and fShowError. The page must go before the session core: a transfer
// still running works on the core's serial port until the page's destructor has cancelled it.

#include <QString>
#include <QWidget>
#include <functional>

#include "maintenance/core/firmware_update_flow.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TSessionCore;

class TFirmwareUpdatePage : public QWidget {
    Q_OBJECT
public:
    explicit TFirmwareUpdatePage(TSessionCore& ACore, QWidget* AParent = nullptr,
                                 TUpdateFlowTimings ATimings = {});
    ~TFirmwareUpdatePage() override;

    // The advanced window is shown: the notice in the log, "Open FW File" by the enable rule.
    void WindowShown();
    // An update runs (from the confirmation until the port is restored).
    bool Busy() const { return fFlow.Running(); }
    TFirmwareUpdateFlow& Flow() { return fFlow; }

    // The file dialog ("BIN files|*.bin|ALL files|*.*"); an empty text means nothing chosen.
    std::function<QString()> fChooseFile;
    // OK/Cancel confirmation, placed 200 px left of and 50 px above the window's centre.
    std::function<bool(const QString& AText)> fConfirm;
    // The general error report (a file that cannot be used).
    std::function<void(const QString& AText)> fShowError;

    QPlainTextEdit* Memo1 = nullptr;
    QProgressBar* ProgressBar2 = nullptr;
    QPushButton* OpenFileBtn = nullptr;
    QPushButton* StartUpdateBtn = nullptr;
    QLabel* FileLabel = nullptr;  // the chosen file's name and size

signals:
    // The host disables its other buttons while the update runs ...
    void UpdateStarted();
    // ... and enables its "Cancel" again when the port is restored.
    void UpdateFinished(bool AOk);

private:
    void OpenFileBtnClick();
    void StartUpdateBtnClick();
    void AddLine(const QString& AText);

    TSessionCore& fCore;
    TFirmwareUpdateFlow fFlow;
    QString fFileName;
};
