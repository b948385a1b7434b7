// The window's /metrics for Prometheus: the Connection panel's switch and address, kept in the
// settings so that the window serves again at its next start.

#include <QTimer>

#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/message_presenter.h"
#include "app/window_metrics.h"

void TMainForm::WireMetrics() {
    fMetrics = std::make_unique<TWindowMetrics>(*fSession);
    fConnectionPanel->OnMetrics = [this](bool AOn, const QString& AAddress) {
        SwitchMetrics(AOn, AAddress);
        fSettings->WriteString(settings::kMetrics, AAddress.trimmed());
        fSettings->WriteInteger(settings::kMetricsOn, fMetrics->Serving() ? 1 : 0);
    };
    const QString stored = fSettings->ReadString(settings::kMetrics);
    const QString address = stored.isEmpty() ? QString(kDefaultMetricsAddress) : stored;
    if (fSettings->ReadIntegerOr(settings::kMetricsOn, 0) != 1) {
        fConnectionPanel->ShowMetrics(false, address, QString());
        return;
    }
    // Served at once; a failure is told once the window is up. The settings keep asking for
    // it, so the next start tries again.
    SwitchMetrics(true, address);
}

void TMainForm::SwitchMetrics(bool AOn, const QString& AAddress) {
    if (!AOn) {
        fMetrics->Stop();
        fConnectionPanel->ShowMetrics(false, AAddress, QString());
        return;
    }
    QString warning;
    const QString error = fMetrics->Start(AAddress, &warning);
    if (!error.isEmpty()) {
        fConnectionPanel->ShowMetrics(false, AAddress, "Not serving: " + error);
        QTimer::singleShot(0, this, [this, error] {
            Presenter().Error(this, "Metrics for Prometheus: " + error);
        });
        return;
    }
    const QString where = fMetrics->Where();
    fConnectionPanel->ShowMetrics(
        true, AAddress,
        "Serving http://" + where + "/metrics" + (warning.isEmpty() ? "" : ": " + warning));
}
