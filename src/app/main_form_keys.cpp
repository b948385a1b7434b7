// The window from the keyboard: the Tab order, the focus frame and the shortcuts.

#include <QAbstractButton>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/output_panel.h"
#include "app/preset_bar.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/focus_frame.h"
#include "controls/focused_panel.h"
#include "controls/knob.h"

namespace {

bool IsTabStop(const QWidget* AWidget) {
    return (AWidget->focusPolicy() & Qt::TabFocus) != 0 && !AWidget->isWindow();
}

// The tab stops inside AContainer, in the focus chain's order (their creation order).
QList<QWidget*> TabStopsIn(QWidget* AContainer) {
    QList<QWidget*> stops;
    for (QWidget* w = AContainer->nextInFocusChain(); w && w != AContainer;
         w = w->nextInFocusChain()) {
        if (AContainer->isAncestorOf(w) && IsTabStop(w) && !stops.contains(w)) stops.append(w);
    }
    return stops;
}

// Clicks a button the way the mouse would: nothing happens while it is hidden or disabled.
void Press(QAbstractButton* AButton) {
    if (AButton && AButton->isVisibleTo(AButton->window()) && AButton->isEnabled())
        AButton->click();
}

}  // namespace

QList<QWidget*> TMainForm::TabStops() const {
    // The set values and the output first (what the bench needs), then the presets, the side
    // panels from top to bottom, and "Auto Test" and "Plans" last.
    QList<QWidget*> stops{fSetPanel->UsetPanel(),
                          fSetPanel->UKnob(),
                          fSetPanel->IsetPanel(),
                          fSetPanel->IKnob(),
                          fSetPanel->SetLockBtn(),
                          fOutputPanel->OnOffBtn(),
                          fOutputPanel->ResetCountersButton()};
    for (int tag = 0; tag < TPresetBar::kButtons; ++tag)
        stops.append(fPresetBar->Button(tag));
    for (TCategoryPanel* category :
         {fParamCategory, fPresetCategory, fConnectionCategory, fOscCategory}) {
        stops.append(category->Header());
        stops.append(TabStopsIn(category->Content()));
    }
    // Whatever else takes the focus (the trend picture's controls) before "Auto Test".
    for (QWidget* w : TabStopsIn(const_cast<TMainForm*>(this))) {
        if (w != fAutoTestButton && w != fPlansButton && !stops.contains(w) && w->window() == this)
            stops.append(w);
    }
    stops.append(fAutoTestButton);
    stops.append(fPlansButton);
    return stops;
}

void TMainForm::BuildKeyboard() {
    for (int tag = 0; tag < TPresetBar::kButtons; ++tag)
        fPresetBar->Button(tag)->setFocusPolicy(Qt::TabFocus);
    for (TCategoryPanel* category :
         {fParamCategory, fPresetCategory, fConnectionCategory, fOscCategory})
        category->Header()->setFocusPolicy(Qt::TabFocus);
    const QList<QWidget*> stops = TabStops();
    for (qsizetype i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
    fFocusFrame = new TFocusFrame(fFrontPanel);
    fFocusFrame->Track(stops);

    auto shortcut = [this](const QKeySequence& AKeys, std::function<void()> AAction) {
        auto* s = new QShortcut(AKeys, this);
        connect(s, &QShortcut::activated, this, std::move(AAction));
    };
    // Alt+0 .. Alt+9: the memory presets M0 .. M9.
    for (int n = 0; n <= 9; ++n) {
        shortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + n)),
                 [this, n] { Press(fPresetBar->Button(n)); });
    }
    // F5: connect when idle, disconnect during a session.
    shortcut(QKeySequence(Qt::Key_F5), [this] {
        TConnectionPanel& c = *fConnectionPanel;
        if (c.DisconnectBtn()->isEnabled())
            Press(c.DisconnectBtn());
        else
            Press(c.ConnectBtn());
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_L), [this] { Press(fSetPanel->SetLockBtn()); });
    // The output only with two modifiers, so that it is not switched by a slip of the hand.
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
             [this] { Press(fOutputPanel->OnOffBtn()); });
    // The window's size in steps: Ctrl++ (also Ctrl+= on keyboards where + needs Shift), Ctrl+-,
    // Ctrl+0 back to 100 %.
    shortcut(QKeySequence::ZoomIn, [this] { StepScale(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { StepScale(1); });
    shortcut(QKeySequence::ZoomOut, [this] { StepScale(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { StepScale(0); });
    ShowHints(fPanel);
}
