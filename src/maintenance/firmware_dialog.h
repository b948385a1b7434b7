#pragma once
// "Firmware update" from the connection panel: the update page in a window of its own, so that a
// supply already waiting in its boot loader (an update cut short) can be updated without a
// session, on the port selected in the connection panel. The window stays open while a transfer
// runs.
//
//     TFirmwareDialog dialog(core, mainWindow);
//     dialog.exec();

#include <QDialog>

class TFirmwareUpdatePage;
class TSessionCore;
struct TUpdateFlowTimings;

class TFirmwareDialog : public QDialog {
public:
    TFirmwareDialog(TSessionCore& ACore, QWidget* AParent);
    TFirmwareDialog(TSessionCore& ACore, QWidget* AParent, const TUpdateFlowTimings& ATimings);
    ~TFirmwareDialog() override;

    TFirmwareUpdatePage* Page() const { return fPage; }

protected:
    void done(int AResult) override;
    void showEvent(QShowEvent* AEvent) override;

private:
    TFirmwareUpdatePage* fPage = nullptr;
};
