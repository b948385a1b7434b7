#include "tools/oscilloscope_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>

#include "controls/up_down_buttons.h"
#include "tools/trend_view.h"

namespace {

QLabel* Caption(const QString& AText, QWidget* AParent) {
    auto* label = new QLabel(AText, AParent);
    label->setObjectName(QStringLiteral("FieldLabel"));
    return label;
}

// Colour key of a trace: its letter in the trace colour.
QLabel* Key(const QString& AText, QRgb AColor, QWidget* AParent) {
    auto* label = new QLabel(AText, AParent);
    label->setObjectName(QStringLiteral("OscKey"));
    label->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold;").arg(QColor(AColor).name()));
    return label;
}

TUpDownButtons* UpDown(const char* AName, int AMax, QWidget* AParent) {
    auto* ud = new TUpDownButtons(AParent, udHorizontal);
    ud->setObjectName(QLatin1String(AName));
    ud->SetRange(0, AMax);
    ud->setFixedSize(34, 18);
    return ud;
}

QLabel* ValueText(QWidget* AParent) {
    auto* label = new QLabel(AParent);
    label->setObjectName(QStringLiteral("OscValue"));
    label->setMinimumWidth(48);
    return label;
}

void SetText(QLabel* ALabel, const QString& AText) {
    if (ALabel->text() != AText) ALabel->setText(AText);
}

void SetPosition(TUpDownButtons* AUpDown, int APosition) {
    if (AUpDown->Position() != APosition) {
        AUpDown->SetPosition(APosition);
        AUpDown->update();
    }
}

QString Signed(int32_t AHundredths) {
    return (AHundredths >= 0 ? QStringLiteral("+") : QString()) + ShortDecimal(AHundredths);
}

}  // namespace

TOscilloscopePanel::TOscilloscopePanel(QWidget* AParent)
    : QWidget(AParent),
      fVUpDown(UpDown("VUpDown", int(kVoltsPerDiv.size()) - 1, this)),
      fAUpDown(UpDown("AUpDown", int(kAmpsPerDiv.size()) - 1, this)),
      fVshiftUpDown(UpDown("VshiftUpDown", int(kVoltOffsets.size()) - 1, this)),
      fAshiftUpDown(UpDown("AshiftUpDown", int(kAmpOffsets.size()) - 1, this)),
      fVDivText(ValueText(this)),
      fADivText(ValueText(this)),
      fVshiftText(ValueText(this)),
      fAshiftText(ValueText(this)),
      fVoltAuto(new QCheckBox(QStringLiteral("Auto"), this)),
      fAmperAuto(new QCheckBox(QStringLiteral("Auto"), this)),
      fRunSwitch(new QPushButton(this)),
      fResetShift(new QPushButton(QStringLiteral("Reset Shift"), this)),
      fHistory(new QPushButton(QStringLiteral("History"), this)) {
    setObjectName(QStringLiteral("OscPanel"));
    setAttribute(Qt::WA_StyledBackground);
    fVoltAuto->setObjectName(QStringLiteral("OscVoltAutoCheckBox"));
    fAmperAuto->setObjectName(QStringLiteral("OscAmperAutoCheckBox"));
    fRunSwitch->setObjectName(QStringLiteral("OscToggleSwitch"));
    fRunSwitch->setCheckable(true);
    fResetShift->setObjectName(QStringLiteral("OscResetShiftBtn"));
    fVshiftUpDown->setToolTip(QStringLiteral("Voltage offset"));
    fAshiftUpDown->setToolTip(QStringLiteral("Current offset"));
    fResetShift->setToolTip(QStringLiteral("Both offsets to zero"));
    fHistory->setObjectName(QStringLiteral("OscHistoryBtn"));
    fHistory->setToolTip(QStringLiteral("The whole session: zoom, scroll back and export"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(Key(QStringLiteral("V"), kOscVoltColor, this), 0, 0);
    grid->addWidget(Caption(QStringLiteral("VOLTS / DIV"), this), 0, 1);
    grid->addWidget(fVUpDown, 0, 2);
    grid->addWidget(fVDivText, 0, 3);
    grid->addWidget(fVoltAuto, 0, 4);
    grid->addWidget(Caption(QStringLiteral("Shift"), this), 1, 1);
    grid->addWidget(fVshiftUpDown, 1, 2);
    grid->addWidget(fVshiftText, 1, 3);
    grid->addWidget(Key(QStringLiteral("A"), kOscAmperColor, this), 2, 0);
    grid->addWidget(Caption(QStringLiteral("AMPERS / DIV"), this), 2, 1);
    grid->addWidget(fAUpDown, 2, 2);
    grid->addWidget(fADivText, 2, 3);
    grid->addWidget(fAmperAuto, 2, 4);
    grid->addWidget(Caption(QStringLiteral("Shift"), this), 3, 1);
    grid->addWidget(fAshiftUpDown, 3, 2);
    grid->addWidget(fAshiftText, 3, 3);
    auto* traces = new QButtonGroup(this);
    auto* traceRow = new QHBoxLayout();
    traceRow->setSpacing(8);
    const QString names[] = {QStringLiteral("-0-"), QStringLiteral("V"), QStringLiteral("A"),
                             QStringLiteral("V+A")};
    for (int k = 0; k < 4; ++k) {
        auto* button = new QRadioButton(names[k], this);
        button->setObjectName(QStringLiteral("OscRadioGroup"));
        traces->addButton(button, k);
        traceRow->addWidget(button);
        fTraceButtons[static_cast<size_t>(k)] = button;
    }
    traceRow->addStretch(1);
    grid->addLayout(traceRow, 4, 0, 1, 5);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(fRunSwitch, 1);
    buttonRow->addWidget(fResetShift, 1);
    buttonRow->addWidget(fHistory, 1);
    grid->addLayout(buttonRow, 5, 0, 1, 5);
    grid->setColumnStretch(3, 1);

    // Scale changes by hand: redraw, and a hand-picked scale is no longer automatic.
    fVUpDown->OnClick = [this](QObject*) {
        fSettings.VoltDiv = fVUpDown->Position();
        ShowSettings();
        UpdateClick();
        fVoltAuto->setChecked(false);
    };
    fAUpDown->OnClick = [this](QObject*) {
        fSettings.AmpDiv = fAUpDown->Position();
        ShowSettings();
        UpdateClick();
        fAmperAuto->setChecked(false);
    };
    fVshiftUpDown->OnClick = [this](QObject*) {
        fSettings.VoltShift = fVshiftUpDown->Position();
        ShowSettings();
        UpdateClick();
    };
    fAshiftUpDown->OnClick = [this](QObject*) {
        fSettings.AmpShift = fAshiftUpDown->Position();
        ShowSettings();
        UpdateClick();
    };
    connect(traces, &QButtonGroup::idClicked, this, [this](int AId) {
        fSettings.Traces = AId;
        UpdateClick();
    });
    connect(fVoltAuto, &QCheckBox::toggled, this, [this](bool AOn) { VoltAutoClick(AOn); });
    connect(fAmperAuto, &QCheckBox::toggled, this, [this](bool AOn) { AmperAutoClick(AOn); });
    connect(fRunSwitch, &QPushButton::toggled, this, [this](bool AOn) { RunSwitchClick(AOn); });
    connect(fResetShift, &QPushButton::clicked, this, [this] { ResetShiftClick(); });
    connect(fHistory, &QPushButton::clicked, this, [this] {
        if (OnHistory) OnHistory();
    });

    {
        const QSignalBlocker b1(fVoltAuto), b2(fAmperAuto), b3(fRunSwitch);
        fVoltAuto->setChecked(fSettings.VoltAuto);
        fAmperAuto->setChecked(fSettings.AmpAuto);
        fRunSwitch->setChecked(fSettings.Run);
    }
    fTraceButtons[static_cast<size_t>(fSettings.Traces)]->setChecked(true);
    fVUpDown->SetPosition(fSettings.VoltDiv);
    fAUpDown->SetPosition(fSettings.AmpDiv);
    fVshiftUpDown->SetPosition(fSettings.VoltShift);
    fAshiftUpDown->SetPosition(fSettings.AmpShift);
    fVshiftUpDown->setEnabled(!fSettings.VoltAuto);
    fAshiftUpDown->setEnabled(!fSettings.AmpAuto);
    ShowSettings();
    // The ring starts empty; the picture (grid and labels) is ready before the window shows.
    Clear();
    Draw();
}

void TOscilloscopePanel::SetView(TTrendView* AView) {
    fView = AView;
    if (fView) fView->SetPicture(&fPicture.Image());
}

void TOscilloscopePanel::ShowSettings() {
    SetPosition(fVUpDown, fSettings.VoltDiv);
    SetPosition(fAUpDown, fSettings.AmpDiv);
    SetPosition(fVshiftUpDown, fSettings.VoltShift);
    SetPosition(fAshiftUpDown, fSettings.AmpShift);
    const TOscScale scale = ScaleOf(fSettings);
    SetText(fVDivText, ShortDecimal(scale.VoltPerDiv) + QStringLiteral(" V"));
    SetText(fADivText, ShortDecimal(scale.AmpPerDiv) + QStringLiteral(" A"));
    SetText(fVshiftText, Signed(scale.VoltOffset) + QStringLiteral(" V"));
    SetText(fAshiftText, Signed(scale.AmpOffset) + QStringLiteral(" A"));
    const QString run = fSettings.Run ? QStringLiteral("Run") : QStringLiteral("Hold");
    if (fRunSwitch->text() != run) {
        fRunSwitch->setText(run);
        fRunSwitch->setProperty("run", fSettings.Run);
        fRunSwitch->setToolTip(fSettings.Run
                                   ? QStringLiteral("Sampling; click to hold the picture")
                                   : QStringLiteral("Held; click to run (clears the picture)"));
        fRunSwitch->style()->unpolish(fRunSwitch);
        fRunSwitch->style()->polish(fRunSwitch);
    }
}

void TOscilloscopePanel::ResetRun() {
    Clear();
    fRunSwitch->setChecked(true);
}

void TOscilloscopePanel::Clear() {
    fModel.Clear();
}

void TOscilloscopePanel::Tick(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv) {
    ++fTickCount;
    if (!fSettings.Run) return;
    fModel.Sample(AUout, AIout, ACurrentDiv);
    Draw();
}

void TOscilloscopePanel::Draw() {
    if (ApplyAutoRange(fModel, fSettings)) ShowSettings();
    fPicture.Draw(fModel, ScaleOf(fSettings), fSettings.Traces);
    ++fDrawCount;
    if (fView) fView->update(fView->PictureRect());
}

void TOscilloscopePanel::UpdateClick() {
    const bool visible = IsWindowVisible ? IsWindowVisible() : true;
    const bool connected = IsConnected ? IsConnected() : false;
    if (!visible || (connected && fSettings.Run) || fRedrawPosted) return;
    // One queued redraw however many controls change before it runs.
    fRedrawPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            fRedrawPosted = false;
            if (!IsWindowVisible || IsWindowVisible()) Draw();
        },
        Qt::QueuedConnection);
}

void TOscilloscopePanel::VoltAutoClick(bool AChecked) {
    fSettings.VoltAuto = AChecked;
    fVshiftUpDown->setEnabled(!AChecked);
    if (!AChecked) return;
    fSettings.VoltShift = kVoltShiftZero;
    ShowSettings();
    UpdateClick();
}

void TOscilloscopePanel::AmperAutoClick(bool AChecked) {
    fSettings.AmpAuto = AChecked;
    fAshiftUpDown->setEnabled(!AChecked);
    if (!AChecked) return;
    fSettings.AmpShift = kAmpShiftZero;
    ShowSettings();
    UpdateClick();
}

void TOscilloscopePanel::RunSwitchClick(bool ARun) {
    fSettings.Run = ARun;
    ShowSettings();
    if (!ARun) return;  // "Hold" only stops sampling
    Clear();
    // Held or disconnected, the picture would otherwise keep the trace just thrown away.
    UpdateClick();
}

void TOscilloscopePanel::ResetShiftClick() {
    fSettings.VoltShift = kVoltShiftZero;
    fSettings.AmpShift = kAmpShiftZero;
    ShowSettings();
    UpdateClick();
}
