#include "app/preset_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/edit_box.h"

namespace {

struct TEditRow {
    const char* Caption;
    const char* Hint;
    const char* Name;
};

// In tag order.
constexpr TEditRow kRows[] = {
    {"U set", "U set", "M_UsetEdit"},
    {"I set", "I set", "M_IsetEdit"},
    {"OVP", "Over Voltage Protection", "M_OvpEdit"},
    {"OCP", "Over Current Protection", "M_OcpEdit"},
    {"OPP", "Over Power Protection", "M_OppEdit"},
    {"Timer", "Overtime Protection", "M_OtpEdit"},
};

}  // namespace

TPresetPanel::TPresetPanel(QWidget* AParent)
    : QWidget(AParent),
      fDefaultOnStart(new QCheckBox(QStringLiteral("Default on start"), this)),
      fPowerOnStart(new QCheckBox(QStringLiteral("Power on start"), this)),
      fOvpTrigger(new QCheckBox(this)),
      fOcpTrigger(new QCheckBox(this)),
      fSave(new QPushButton(QStringLiteral("Save"), this)),
      fRefresh(new QPushButton(QStringLiteral("Refresh"), this)) {
    setObjectName(QStringLiteral("PresetPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(7);
    for (int tag = 0; tag < etCount; ++tag) {
        const TEditRow& row = kRows[tag];
        auto* edit = new TEditBox(this, tag, QString::fromLatin1(row.Hint));
        edit->setObjectName(QString::fromLatin1(row.Name));
        edit->OnClick = [this](TEditBox* ABox) {
            if (OnEditClick) OnEditClick(ABox);
        };
        fEdits[static_cast<size_t>(tag)] = edit;
        auto* caption = new QLabel(QString::fromLatin1(row.Caption), this);
        caption->setObjectName(QStringLiteral("FieldLabel"));
        const int r = tag / 2;
        const int c = (tag % 2) * 2;
        grid->addWidget(caption, r, c);
        grid->addWidget(edit, r, c + 1);
        // Where the firmware has them, the OVP and OCP check boxes take the place of the
        // captions, beside the levels they switch on.
        if (tag == etOvp || tag == etOcp) {
            QCheckBox* trigger = tag == etOvp ? fOvpTrigger : fOcpTrigger;
            trigger->setText(QString::fromLatin1(row.Caption));
            grid->addWidget(trigger, r, c);
            fTriggerCaptions[tag == etOvp ? 0 : 1] = caption;
        }
    }
    fOvpTrigger->setObjectName(QStringLiteral("M_OvpCheckBox"));
    fOcpTrigger->setObjectName(QStringLiteral("M_OcpCheckBox"));
    fOvpTrigger->setToolTip(
        QStringLiteral("Over Voltage Protection: on at the level beside it when ticked"));
    fOcpTrigger->setToolTip(
        QStringLiteral("Over Current Protection: on at the level beside it when ticked"));
    fDefaultOnStart->setObjectName(QStringLiteral("M_DefaultCheckBox"));
    fPowerOnStart->setObjectName(QStringLiteral("M_PowerOnCheckBox"));
    fSave->setObjectName(QStringLiteral("M_SaveBtn"));
    fRefresh->setObjectName(QStringLiteral("M_RefreshBtn"));
    fSave->setToolTip(
        QStringLiteral("Write the preset to the supply and make it the live setting"));
    fRefresh->setToolTip(QStringLiteral("Read the preset from the supply again"));
    fOvpTrigger->hide();
    fOcpTrigger->hide();
    grid->addWidget(fDefaultOnStart, 3, 0, 1, 4);
    grid->addWidget(fPowerOnStart, 4, 0, 1, 4);
    grid->addWidget(fSave, 5, 0, 1, 2);
    grid->addWidget(fRefresh, 5, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    connect(fSave, &QPushButton::clicked, this, [this] {
        if (OnSave) OnSave();
    });
    connect(fRefresh, &QPushButton::clicked, this, [this] {
        if (OnRefresh) OnRefresh();
    });
}

void TPresetPanel::SetProtectionTriggersShown(bool AShown) {
    if (fTriggersShown == AShown) return;
    fTriggersShown = AShown;
    fOvpTrigger->setVisible(AShown);
    fOcpTrigger->setVisible(AShown);
    for (QLabel* caption : fTriggerCaptions)
        caption->setVisible(!AShown);
}
