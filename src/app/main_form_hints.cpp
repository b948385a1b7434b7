// Tooltips that say what a control does and, while it is disabled, why.

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/output_panel.h"
#include "app/param_panel.h"
#include "app/preset_bar.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/knob.h"

namespace {

// What the control does; below it, while the control is disabled, the reason.
void Hint(QWidget* AWidget, const QString& AWhat, const QString& AWhyDisabled) {
    QString text = AWhat;
    if (!AWidget->isEnabled() && !AWhyDisabled.isEmpty()) text += QLatin1Char('\n') + AWhyDisabled;
    if (AWidget->toolTip() != text) AWidget->setToolTip(text);
}

}  // namespace

void TMainForm::ShowHints(const TPanelState& AState) {
    const bool connected = fSession && fSession->Connected();
    const QString needsIdleOutput = QStringLiteral("needs a connection and the output off");

    Hint(fOutputPanel->OnOffBtn(), QStringLiteral("Switch the output on or off (Ctrl+Shift+O)"),
         QStringLiteral("The output switch needs a connection"));
    Hint(fOutputPanel->ResetCountersButton(), QStringLiteral("Reset Energy and Timer"),
         connected ? QStringLiteral("This firmware cannot reset its counters")
                   : QStringLiteral("Resetting the counters needs a connection"));
    Hint(fSetPanel->SetLockBtn(),
         QStringLiteral("Lock or unlock the knobs and set values while the output is on (Ctrl+L)"),
         connected ? QStringLiteral("The set values are free while the output is off")
                   : QStringLiteral("Locking needs a connection and the output on"));
    const QString knobWhy = !connected ? QStringLiteral("The knobs need a connection")
                                       : QStringLiteral(
                                             "Locked while the output is on: Unlock SET "
                                             "(Ctrl+L) frees them");
    Hint(fSetPanel->UKnob(),
         QStringLiteral("Set voltage: drag, click beside the pointer, or the arrow keys "
                        "(Page Up/Down: large steps)"),
         knobWhy);
    Hint(fSetPanel->IKnob(),
         QStringLiteral("Set current: drag, click beside the pointer, or the arrow keys "
                        "(Page Up/Down: large steps)"),
         knobWhy);
    for (int tag = 0; tag < TPresetBar::kButtons; ++tag) {
        const QString what =
            tag < 10 ? QStringLiteral("Memory preset M%1 (Alt+%1)").arg(tag)
                     : QStringLiteral("Charge profile C%1 (%2 cell(s))").arg(tag - 10).arg(tag - 9);
        Hint(fPresetBar->Button(tag), what,
             QStringLiteral("Presets need a connection and the output off"));
    }
    Hint(fAutoTestButton,
         QStringLiteral("The autotest window: steps the output through a table of set points"),
         QStringLiteral("Auto Test needs a connection"));
    Hint(fPlansButton,
         QStringLiteral("Plans: steps that end on a condition (battery charging) and I-V sweeps"),
         QStringLiteral("Plans need a connection"));
    Hint(fParamCategory->Header(), QStringLiteral("The supply's global parameters"),
         QStringLiteral("Parameters need a connection"));
    Hint(fPresetCategory->Header(), QStringLiteral("The selected preset's values and flags"),
         QStringLiteral("The profile needs a connection"));
    Hint(fParamPanel->AdvancedBtn(), QStringLiteral("Colors, calibration, battery source, help"),
         QStringLiteral("Advanced ") + needsIdleOutput);
    TConnectionPanel& c = *fConnectionPanel;
    Hint(c.ConnectBtn(), QStringLiteral("Connect to the supply (F5)"),
         connected            ? QStringLiteral("Already connected")
         : AState.AutoConnect ? QStringLiteral("Autoconnect connects by itself while it is on")
                              : QString());
    Hint(c.DisconnectBtn(), QStringLiteral("End the session (F5)"),
         QStringLiteral("Not connected"));
}
