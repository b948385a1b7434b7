#pragma once
// The session's view without a window: nothing is drawn, message boxes are handed to the front
// end (which prints them on standard error), a confirmation is answered as the command decided,
// and the few moments the command line waits for are reported through callbacks.

#include <functional>

#include "session/session_view.h"

class TCliView : public TSessionView {
public:
    std::function<void(const QString&)> fOnError;
    std::function<void(const QString&)> fOnInformation;
    // Identification has set the model limits (before the key lock is taken).
    std::function<void()> fOnLimits;
    // The set values were shown (after a read-back, among others).
    std::function<void()> fOnSetValues;
    std::function<void(const TTrafficLamp&)> fOnTraffic;
    // Session tick while the output is on; the output shows off or the link was lost.
    std::function<void()> fOnSampleLog;
    std::function<void()> fOnEndAutotest;
    // What Confirm answers.
    bool fConfirmAnswer = false;

    void ShowPanelState(const TPanelState&) override {}
    void ShowTraffic(const TTrafficLamp& ALamp) override;
    void ShowTitle(const QString&) override {}
    void ShowPortList(const QStringList&, int) override {}
    void ShowBaudIndex(int) override {}
    void ShowAddressIndex(int) override {}
    void ShowIpText(const QString&) override {}
    void ShowLimits(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override;
    void ShowSetValues(uint32_t, uint32_t) override;
    void ShowSetPower(const QString&) override {}
    void ShowMismatch(bool, bool) override {}
    void EndSetEditing() override {}
    void ShowOutput(uint32_t, uint32_t, uint32_t) override {}
    void ShowInputVoltage(const QString&) override {}
    void ShowRegulation(bool, bool) override {}
    void ShowProtection(bool, const QString&) override {}
    void ShowVinWarning(bool) override {}
    void ShowSetColor(TColor) override {}
    void ShowOutColor(TColor) override {}
    void ShowTime(uint32_t, const QString&) override {}
    void ShowCharge(const TCounterDisplay&) override {}
    void ShowEnergy(const TCounterDisplay&) override {}
    void ShowTemperature(const QString&) override {}
    void ShowDebugData(const QString&) override {}
    void ShowChargeBar(bool, int, const QString&) override {}
    void ShowError(const QString& AText) override;
    void ShowInformation(const QString& AText) override;
    bool Confirm(const QString&) override { return fConfirmAnswer; }
    void SampleLog() override {
        if (fOnSampleLog) fOnSampleLog();
    }
    void EndAutotest() override {
        if (fOnEndAutotest) fOnEndAutotest();
    }
    // No box waits here: the loss message ends the command at once, and the run ends with the
    // session (reported as the lost link, not as an output that went off).
    void AutotestLinkLost() override {}
};

// A message box text as terminal lines: each "\r" becomes a line break.
QString MessageLines(const QString& AText);
