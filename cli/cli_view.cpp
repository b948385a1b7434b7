#include "cli/cli_view.h"

void TCliView::ShowTraffic(const TTrafficLamp& ALamp) {
    if (fOnTraffic) fOnTraffic(ALamp);
}

void TCliView::ShowLimits(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
    if (fOnLimits) fOnLimits();
}

void TCliView::ShowSetValues(uint32_t, uint32_t) {
    if (fOnSetValues) fOnSetValues();
}

void TCliView::ShowError(const QString& AText) {
    if (fOnError) fOnError(AText);
}

void TCliView::ShowInformation(const QString& AText) {
    if (fOnInformation) fOnInformation(AText);
}

QString MessageLines(const QString& AText) {
    QString text = AText;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}
