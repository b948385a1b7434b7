#pragma once
// The "Profile" panel: the selected preset's set voltage, set current, OVP, OCP, OPP and output
// timer fields (edited through the value-entry pop-up), the "Default on start" and "Power on
// start" boxes, the OVP and OCP trigger boxes, and the Save and Refresh buttons.

#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class TEditBox;

class TPresetPanel : public QWidget {
public:
    // Edit-box tags, also the index into the window's editor indicators.
    enum TEditTag { etUset = 0, etIset, etOvp, etOcp, etOpp, etTimer, etCount };

    explicit TPresetPanel(QWidget* AParent);

    TEditBox* Edit(int ATag) const { return fEdits[static_cast<size_t>(ATag)]; }
    QCheckBox* DefaultOnStart() const { return fDefaultOnStart; }
    QCheckBox* PowerOnStart() const { return fPowerOnStart; }
    QCheckBox* OvpTrigger() const { return fOvpTrigger; }
    QCheckBox* OcpTrigger() const { return fOcpTrigger; }
    QPushButton* SaveBtn() const { return fSave; }
    QPushButton* RefreshBtn() const { return fRefresh; }

    // The OVP and OCP levels are always shown; from ver_45 on their captions are check boxes
    // that say whether that protection is on.
    void SetProtectionTriggersShown(bool AShown);

    std::function<void(TEditBox*)> OnEditClick;
    std::function<void()> OnSave;
    std::function<void()> OnRefresh;

private:
    std::array<TEditBox*, etCount> fEdits{};
    bool fTriggersShown = false;
    std::array<QLabel*, 2> fTriggerCaptions{};  // "OVP", "OCP" where there are no boxes
    QCheckBox* fDefaultOnStart;
    QCheckBox* fPowerOnStart;
    QCheckBox* fOvpTrigger;
    QCheckBox* fOcpTrigger;
    QPushButton* fSave;
    QPushButton* fRefresh;
};
