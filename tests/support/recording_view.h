#pragma once
// A session view for tests: keeps what the session last showed and logs message boxes, so a
// test can assert on the panel without widgets.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "session/session_view.h"

namespace testsupport {

class TRecordingView : public TSessionView {
public:
    // Last shown values.
    TPanelState panel;
    TTrafficLamp traffic;
    QString title;
    QStringList portItems;
    int portSelected = -1;
    int baudIndex = -1;
    int addressIndex = -1;
    QString ipText;
    uint32_t maxUset = 0, maxIset = 0, maxPower = 0, currentDiv = 0, currentPointPos = 0;
    uint32_t uset = 0, iset = 0;
    QString setPower;
    bool mismatchU = false, mismatchI = false;
    uint32_t uout = 0, iout = 0, power = 0;
    QString inputVoltage;
    bool cv = false, cc = false;
    bool protectionLit = false;
    QString protectionLabel;
    bool vinWarning = false;
    int vinWarningChanges = 0;
    TColor setColor = 0, outColor = 0;
    uint32_t timeSeconds = 0;
    QString timeUnit;
    TCounterDisplay charge, energy;
    QString temperature;
    QString debugData;
    bool chargeBarVisible = false;
    int chargeBarPercent = 0;
    QString chargeBarLabel;
    TModelFeatures features;
    int trafficRedShown = 0;  // times the lamp turned red

    // Message boxes in the order shown.
    QStringList errors;
    QStringList infos;
    QStringList confirms;
    bool confirmAnswer = true;
    // Runs inside a message box, as if the user waited before closing it.
    std::function<void(const QString&)> onError;

    // Side bar and tools.
    bool allCollapsed = false;
    int expandRequests = 0;
    int collapseRequests = 0;
    int oscilloscopeResets = 0;
    int oscilloscopeSamples = 0;
    int logSamples = 0;
    int autotestEnds = 0;
    int editingEnds = 0;

    void ShowPanelState(const TPanelState& AState) override { panel = AState; }
    void ShowTraffic(const TTrafficLamp& ALamp) override {
        if (ALamp.Red && !traffic.Red) ++trafficRedShown;
        traffic = ALamp;
    }
    void ShowTitle(const QString& ATitle) override { title = ATitle; }
    void ShowPortList(const QStringList& AItems, int ASelected) override {
        portItems = AItems;
        portSelected = ASelected;
    }
    void ShowBaudIndex(int AIndex) override { baudIndex = AIndex; }
    void ShowAddressIndex(int AIndex) override { addressIndex = AIndex; }
    void ShowIpText(const QString& AText) override { ipText = AText; }
    void ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower, uint32_t ACurrentDiv,
                    uint32_t ACurrentPointPos) override {
        maxUset = AMaxUset;
        maxIset = AMaxIset;
        maxPower = AMaxPower;
        currentDiv = ACurrentDiv;
        currentPointPos = ACurrentPointPos;
    }
    void ShowSetValues(uint32_t AUset, uint32_t AIset) override {
        uset = AUset;
        iset = AIset;
    }
    void ShowSetPower(const QString& AText) override { setPower = AText; }
    void ShowMismatch(bool AVoltage, bool ACurrent) override {
        mismatchU = AVoltage;
        mismatchI = ACurrent;
    }
    void EndSetEditing() override { ++editingEnds; }
    void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) override {
        uout = AUout;
        iout = AIout;
        power = APower;
    }
    void ShowInputVoltage(const QString& AText) override { inputVoltage = AText; }
    void ShowRegulation(bool ACV, bool ACC) override {
        cv = ACV;
        cc = ACC;
    }
    void ShowProtection(bool ALit, const QString& ALabel) override {
        protectionLit = ALit;
        protectionLabel = ALabel;
    }
    void ShowVinWarning(bool ALit) override {
        vinWarning = ALit;
        ++vinWarningChanges;
    }
    void ShowSetColor(TColor AColor) override { setColor = AColor; }
    void ShowOutColor(TColor AColor) override { outColor = AColor; }
    void ShowTime(uint32_t ASeconds, const QString& AUnit) override {
        timeSeconds = ASeconds;
        timeUnit = AUnit;
    }
    void ShowCharge(const TCounterDisplay& ACharge) override { charge = ACharge; }
    void ShowEnergy(const TCounterDisplay& AEnergy) override { energy = AEnergy; }
    void ShowTemperature(const QString& AText) override { temperature = AText; }
    void ShowDebugData(const QString& AText) override { debugData = AText; }
    void ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) override {
        chargeBarVisible = AVisible;
        chargeBarPercent = APercent;
        chargeBarLabel = ALabel;
    }
    void ShowError(const QString& AText) override {
        errors << AText;
        if (onError) onError(AText);
    }
    void ShowInformation(const QString& AText) override { infos << AText; }
    bool Confirm(const QString& AText) override {
        confirms << AText;
        return confirmAnswer;
    }
    void ShowModelFeatures(const TModelFeatures& AFeatures) override { features = AFeatures; }
    bool AllSidePanelsCollapsed() override { return allCollapsed; }
    void ExpandConnectionPanel() override {
        ++expandRequests;
        allCollapsed = false;
    }
    void CollapsePresetAndParamPanels() override { ++collapseRequests; }
    void ResetOscilloscope() override { ++oscilloscopeResets; }
    void SampleOscilloscope() override { ++oscilloscopeSamples; }
    void SampleLog() override { ++logSamples; }
    void EndAutotest() override { ++autotestEnds; }
};

}  // namespace testsupport
