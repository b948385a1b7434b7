// The trend view in the main window: the "Oscilloscope" side panel with its controls and the
// picture below the side panels, sampled by the session's tick.

#include "app/main_form.h"
#include "app/message_presenter.h"
#include "app/side_bar.h"
#include "tools/history_window.h"
#include "tools/oscilloscope_panel.h"
#include "tools/trend_view.h"

void TMainForm::BuildTrend() {
    fOscPanel = new TOscilloscopePanel(nullptr);
    fOscCategory = fSideBar->AddPanel(QStringLiteral("Oscilloscope"), fOscPanel);
    fTrendView = new TTrendView(nullptr);
    fSideBar->SetFooter(fTrendView);
    fOscPanel->SetView(fTrendView);
    fOscPanel->IsConnected = [this] { return fSession && fSession->Connected(); };
    fOscPanel->IsWindowVisible = [this] { return isVisible(); };
    fTrendView->OnError = [this](const QString& AText) { Presenter().Error(this, AText); };
    fOscPanel->OnHistory = [this] { ShowHistory(); };
}

void TMainForm::ShowHistory() {
    if (!fHistoryWindow) {
        fHistoryWindow = new THistoryWindow(fSession->History(), this);
        fHistoryWindow->CurrentDecimals = [this] { return fSession->Limits().CurrentDecimals(); };
        fHistoryWindow->OnError = [this](const QString& AText) { Presenter().Error(this, AText); };
    }
    fHistoryWindow->show();
    fHistoryWindow->raise();
    fHistoryWindow->activateWindow();
}

void TMainForm::ResetOscilloscope() {
    fOscPanel->ResetRun();
}

void TMainForm::SampleOscilloscope() {
    const TCurrentSet& data = fSession->Data();
    fOscPanel->Tick(data.UOUT, data.IOUT, fSession->Limits().CurrentDiv);
}
