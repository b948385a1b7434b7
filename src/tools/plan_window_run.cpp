// The Plans window's side of a plan run: Run and Stop, the running step's view refreshed at most
// once per frame, the end of a run, the log.

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "session/framed_view.h"
#include "session/session_core.h"
#include "tools/core/output_off.h"
#include "tools/plan_editor.h"
#include "tools/plan_window.h"
#include "tools/sweep_page.h"

void TPlanWindow::WireRunner() {
    fFrame.setInterval(TFramedView::kFrameMs);
    connect(&fFrame, &QTimer::timeout, this, [this] { RefreshStatus(); });
    UpdateButtons();
}

bool TPlanWindow::Running() const {
    return fSweep->Running();
}

void TPlanWindow::UpdateButtons() {
    const bool running = Running();
    fRun->setEnabled(fRunAllowed && !running);
    fStop->setEnabled(false);
    for (QPushButton* b : {fOpen, fAdd, fRemove})
        b->setEnabled(!running);
    fSweep->SetRunAllowed(fRunAllowed && !running);
}

void TPlanWindow::RunClick() {}
void TPlanWindow::StopClick() {}
void TPlanWindow::SaveLogClick() {}
void TPlanWindow::SampleLog() {}
void TPlanWindow::BeforeDisconnect() {
    StopWithOutputOff();
}
void TPlanWindow::RunEnded() {}
void TPlanWindow::RefreshStatus() {}
void TPlanWindow::StopWithOutputOff() {
    fSweep->StopWithOutputOff();
}
