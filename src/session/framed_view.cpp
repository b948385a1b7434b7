#include "session/framed_view.h"

#include <algorithm>

namespace {
// A frame counts as over this much early, so a timer firing a little early does not skip it.
constexpr qint64 kSlackMs = 2;
}  // namespace

TFramedView::TFramedView(TSessionView& AView, std::function<bool()> APaced, QObject* AParent)
    : QObject(AParent), fView(AView), fPaced(std::move(APaced)) {
    fClock.start();
    fTimer.setSingleShot(true);
    connect(&fTimer, &QTimer::timeout, this, [this] { ApplyChanges(); });
}

template <typename T, typename... A>
void TFramedView::Report(TPart<T>& APart, A&&... AValues) {
    APart.Latest.emplace(std::forward<A>(AValues)...);
    Changed();
}

void TFramedView::Changed() {
    if (!fPaced()) {
        Flush();
        return;
    }
    if (fTimer.isActive() || !AnyChanged()) return;
    const qint64 sinceLast = fClock.elapsed() - fLastApplyMs;
    if (sinceLast >= kFrameMs - kSlackMs)
        ApplyChanges();
    else
        fTimer.start(static_cast<int>(kFrameMs - sinceLast));
}

void TFramedView::Flush() {
    fTimer.stop();
    if (AnyChanged()) ApplyChanges();
}

bool TFramedView::AnyChanged() const {
    return fMismatch.Changed() || fOutput.Changed() || fInputVoltage.Changed() ||
           fRegulation.Changed() || fProtection.Changed() || fVinWarning.Changed() ||
           fSetColor.Changed() || fOutColor.Changed() || fTime.Changed() || fCharge.Changed() ||
           fEnergy.Changed() || fTemperature.Changed() || fChargeBar.Changed();
}

void TFramedView::ApplyChanges() {
    fTimer.stop();
    fLastApplyMs = fClock.elapsed();
    fSetColor.Apply([this](TColor c) { fView.ShowSetColor(c); });
    fOutColor.Apply([this](TColor c) { fView.ShowOutColor(c); });
    fMismatch.Apply([this](bool u, bool i) { fView.ShowMismatch(u, i); });
    fOutput.Apply([this](uint32_t u, uint32_t i, uint32_t p) { fView.ShowOutput(u, i, p); });
    fInputVoltage.Apply([this](const QString& t) { fView.ShowInputVoltage(t); });
    fRegulation.Apply([this](bool cv, bool cc) { fView.ShowRegulation(cv, cc); });
    fProtection.Apply([this](bool lit, const QString& l) { fView.ShowProtection(lit, l); });
    fVinWarning.Apply([this](bool lit) { fView.ShowVinWarning(lit); });
    fTime.Apply([this](uint32_t s, const QString& u) { fView.ShowTime(s, u); });
    fCharge.Apply([this](const TCounterDisplay& c) { fView.ShowCharge(c); });
    fEnergy.Apply([this](const TCounterDisplay& e) { fView.ShowEnergy(e); });
    fTemperature.Apply([this](const QString& t) { fView.ShowTemperature(t); });
    fChargeBar.Apply([this](bool v, int p, const QString& l) { fView.ShowChargeBar(v, p, l); });
}

void TFramedView::ShowPanelState(const TPanelState& AState) {
    // Enabled states answer the user's actions and the session's steps, so a change shows at
    // once; the reading that repeats them costs nothing.
    fPanel.Latest.emplace(AState);
    fPanel.Apply([this](const TPanelState& s) { fView.ShowPanelState(s); });
}

void TFramedView::ShowMismatch(bool AVoltage, bool ACurrent) {
    Report(fMismatch, AVoltage, ACurrent);
}

void TFramedView::ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) {
    Report(fOutput, AUout, AIout, APower);
}

void TFramedView::ShowInputVoltage(const QString& AText) {
    Report(fInputVoltage, AText);
}

void TFramedView::ShowRegulation(bool ACV, bool ACC) {
    Report(fRegulation, ACV, ACC);
}

void TFramedView::ShowProtection(bool ALit, const QString& ALabel) {
    Report(fProtection, ALit, ALabel);
}

void TFramedView::ShowVinWarning(bool ALit) {
    Report(fVinWarning, ALit);
}

void TFramedView::ShowSetColor(TColor AColor) {
    Report(fSetColor, AColor);
}

void TFramedView::ShowOutColor(TColor AColor) {
    Report(fOutColor, AColor);
}

void TFramedView::ShowTime(uint32_t ASeconds, const QString& AUnit) {
    Report(fTime, ASeconds, AUnit);
}

void TFramedView::ShowCharge(const TCounterDisplay& ACharge) {
    Report(fCharge, ACharge);
}

void TFramedView::ShowEnergy(const TCounterDisplay& AEnergy) {
    Report(fEnergy, AEnergy);
}

void TFramedView::ShowTemperature(const QString& AText) {
    Report(fTemperature, AText);
}

void TFramedView::ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) {
    Report(fChargeBar, AVisible, APercent, ALabel);
}

void TFramedView::ShowError(const QString& AText) {
    Flush();
    fView.ShowError(AText);
}

void TFramedView::ShowInformation(const QString& AText) {
    Flush();
    fView.ShowInformation(AText);
}

void TFramedView::RetextError(const QString& AText) {
    Flush();
    fView.RetextError(AText);
}

bool TFramedView::Confirm(const QString& AText) {
    Flush();
    return fView.Confirm(AText);
}
