#pragma once
// "Firmware update" from the connection panel: the update page in a window of its own. With a
// session the update goes through it (the jump into the boot loader); without one it is for a
// supply already waiting in its boot loader (an update cut short), on the port selected in the
// connection panel. A line above the log says which. The window stays open while a transfer
// runs.
//
//     TFirmwareDialog dialog(core, mainWindow);
//     dialog.exec();

#include <QDialog>

class QLabel;
class TFirmwareUpdatePage;
class TSessionCore;
struct TUpdateFlowTimings;

class TFirmwareDialog : public QDialog {
public:
    TFirmwareDialog(TSessionCore& ACore, QWidget* AParent);
    TFirmwareDialog(TSessionCore& ACore, QWidget* AParent, const TUpdateFlowTimings& ATimings);
    ~TFirmwareDialog() override;

    TFirmwareUpdatePage* Page() const { return fPage; }
    QLabel* Purpose() const { return fPurpose; }

protected:
    void done(int AResult) override;
    void showEvent(QShowEvent* AEvent) override;

private:
    TSessionCore& fCore;
    TFirmwareUpdatePage* fPage = nullptr;
    QLabel* fPurpose = nullptr;
};
