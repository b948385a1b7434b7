#pragma once
// The view state of a running session, applied to the real view once per frame.
//
// A session reports each live reading (about 170 a second over TCP) and each session tick to its
// view; most of those reports change nothing on screen. TFramedView stands between the session
// and the window: it keeps the latest value of everything that follows a reading (mismatch
// lamps, read-outs, regulation and protection lamps, colours, counters, temperature, charge bar)
// as one state, and hands the window only the parts that differ from what it last handed over,
// at most once per frame of 40 ms: a change after a quiet frame at once, further ones together at
// the end of the frame. The panel state (enabled states, captions, preset buttons, lamps of the
// connection) reaches the window only when it differs too, but then at once: it answers the
// user's clicks and the session's steps, not the stream of readings. (The traffic lamp passes
// through: it reports every request and reply, and the window shows it lit for each period in which
// a request was under way.)
//
// While the pacing condition is false (no session, or it has just ended or been lost) every
// report reaches the window at once, after whatever was still waiting, so the idle look shows
// without delay. Reports that do not follow readings (port list, limits, set values, message
// boxes, side bar) pass straight through; a message box first brings the screen up to date.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <tuple>

#include "session/session_view.h"

class TFramedView : public QObject, public TSessionView {
public:
    static constexpr int kFrameMs = 40;  // 25 frames a second

    // APaced tells whether reports are paced now (normally: a session is connected).
    TFramedView(TSessionView& AView, std::function<bool()> APaced, QObject* AParent = nullptr);

    // True while a change waits for the end of its frame.
    bool Pending() const { return fTimer.isActive(); }
    // Hands every waiting change to the window now.
    void Flush();

    // --- paced: the latest value is kept, the window sees it when it differs ---
    void ShowPanelState(const TPanelState& AState) override;
    void ShowMismatch(bool AVoltage, bool ACurrent) override;
    void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) override;
    void ShowInputVoltage(const QString& AText) override;
    void ShowRegulation(bool ACV, bool ACC) override;
    void ShowProtection(bool ALit, const QString& ALabel) override;
    void ShowVinWarning(bool ALit) override;
    void ShowSetColor(TColor AColor) override;
    void ShowOutColor(TColor AColor) override;
    void ShowTime(uint32_t ASeconds, const QString& AUnit) override;
    void ShowCharge(const TCounterDisplay& ACharge) override;
    void ShowEnergy(const TCounterDisplay& AEnergy) override;
    void ShowTemperature(const QString& AText) override;
    void ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) override;

    // --- passed through ---
    void ShowTraffic(const TTrafficLamp& ALamp) override { fView.ShowTraffic(ALamp); }
    void ShowTitle(const QString& ATitle) override { fView.ShowTitle(ATitle); }
    void ShowPortList(const QStringList& AItems, int ASelected) override {
        fView.ShowPortList(AItems, ASelected);
    }
    void ShowBaudIndex(int AIndex) override { fView.ShowBaudIndex(AIndex); }
    void ShowAddressIndex(int AIndex) override { fView.ShowAddressIndex(AIndex); }
    void ShowIpText(const QString& AText) override { fView.ShowIpText(AText); }
    void ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower, uint32_t ACurrentDiv,
                    uint32_t ACurrentPointPos) override {
        fView.ShowLimits(AMaxUset, AMaxIset, AMaxPower, ACurrentDiv, ACurrentPointPos);
    }
    void ShowSetValues(uint32_t AUset, uint32_t AIset) override {
        fView.ShowSetValues(AUset, AIset);
    }
    void ShowSetPower(const QString& AText) override { fView.ShowSetPower(AText); }
    void EndSetEditing() override { fView.EndSetEditing(); }
    void ShowDebugData(const QString& AText) override { fView.ShowDebugData(AText); }
    void ShowError(const QString& AText) override;
    void ShowInformation(const QString& AText) override;
    bool Confirm(const QString& AText) override;
    void RetextError(const QString& AText) override;
    void ShowModelFeatures(const TModelFeatures& AFeatures) override {
        fView.ShowModelFeatures(AFeatures);
    }
    bool AllSidePanelsCollapsed() override { return fView.AllSidePanelsCollapsed(); }
    void ExpandConnectionPanel() override { fView.ExpandConnectionPanel(); }
    void CollapsePresetAndParamPanels() override { fView.CollapsePresetAndParamPanels(); }
    void ResetOscilloscope() override { fView.ResetOscilloscope(); }
    void SampleOscilloscope() override { fView.SampleOscilloscope(); }
    void SampleLog() override { fView.SampleLog(); }
    void EndAutotest() override { fView.EndAutotest(); }
    void AutotestLinkLost() override { fView.AutotestLinkLost(); }

private:
    // One part of the state: the latest value and the one the window has.
    template <typename T>
    struct TPart {
        std::optional<T> Latest;
        std::optional<T> Shown;
        bool Changed() const { return Latest && Latest != Shown; }
        template <typename F>
        void Apply(F&& AShow) {
            if (!Changed()) return;
            Shown = Latest;
            std::apply(AShow, *Shown);
        }
    };

    // Records a report; hands it over now or at the end of the frame.
    template <typename T, typename... A>
    void Report(TPart<T>& APart, A&&... AValues);
    void Changed();
    bool AnyChanged() const;
    void ApplyChanges();

    TSessionView& fView;
    std::function<bool()> fPaced;
    QElapsedTimer fClock;
    qint64 fLastApplyMs = -kFrameMs;
    QTimer fTimer;

    TPart<std::tuple<TPanelState>> fPanel;
    TPart<std::tuple<bool, bool>> fMismatch;
    TPart<std::tuple<uint32_t, uint32_t, uint32_t>> fOutput;
    TPart<std::tuple<QString>> fInputVoltage;
    TPart<std::tuple<bool, bool>> fRegulation;
    TPart<std::tuple<bool, QString>> fProtection;
    TPart<std::tuple<bool>> fVinWarning;
    TPart<std::tuple<TColor>> fSetColor;
    TPart<std::tuple<TColor>> fOutColor;
    TPart<std::tuple<uint32_t, QString>> fTime;
    TPart<std::tuple<TCounterDisplay>> fCharge;
    TPart<std::tuple<TCounterDisplay>> fEnergy;
    TPart<std::tuple<QString>> fTemperature;
    TPart<std::tuple<bool, int, QString>> fChargeBar;
};
