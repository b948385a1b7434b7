#include "maintenance/battery_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controls/enter_form_base.h"
#include "controls/indicator.h"
#include "maintenance/advanced_rules.h"
#include "maintenance/value_panel.h"
#include "session/session_core.h"

namespace {

// A battery pack feeding the unit, drawn by the program.
QPixmap BatteryPicture() {
    QPixmap pix(150, 220);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 3; ++i) {
        const QRectF cell(18 + i * 40, 40, 34, 150);
        QLinearGradient g(cell.topLeft(), cell.topRight());
        g.setColorAt(0, QColor(40, 110, 60));
        g.setColorAt(0.5, QColor(90, 190, 110));
        g.setColorAt(1, QColor(30, 90, 50));
        p.setPen(QPen(QColor(20, 50, 30), 1.5));
        p.setBrush(g);
        p.drawRoundedRect(cell, 6, 6);
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(QRectF(cell.center().x() - 6, 32, 12, 8));
        p.setPen(QColor(240, 255, 240));
        QFont f = p.font();
        f.setPixelSize(18);
        f.setBold(true);
        p.setFont(f);
        p.drawText(cell.adjusted(0, 4, 0, 0), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("+"));
    }
    p.setPen(QPen(QColor(214, 30, 30), 4));
    p.drawLine(QPointF(35, 30), QPointF(35, 12));
    p.drawLine(QPointF(35, 12), QPointF(140, 12));
    p.setPen(QPen(QColor(20, 20, 20), 4));
    p.drawLine(QPointF(115, 196), QPointF(115, 210));
    p.drawLine(QPointF(115, 210), QPointF(140, 210));
    return pix;
}

}  // namespace

TBatteryPage::TBatteryPage(TSessionCore& ACore, QWidget* AParent)
    : QWidget(AParent),
      fCore(ACore),
      fUse(new QCheckBox(QStringLiteral("Use Battery Source"), this)),
      fCellBox(new QGroupBox(QStringLiteral(" Battery Cells "), this)),
      fCells(new QButtonGroup(this)),
      fMaxsPanel(new TValuePanel(this)),
      fMinsPanel(new TValuePanel(this)),
      fGauge(new QWidget(this)),
      fGaugeBar(new QProgressBar(fGauge)),
      fGaugeCaption(new QLabel(fGauge)),
      fSave(new QPushButton(QStringLiteral("Save"), this)),
      fCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("BatteryPage"));
    auto* picture = new QLabel(this);
    picture->setPixmap(BatteryPicture());
    picture->setGeometry(16, 40, 150, 220);
    fUse->setObjectName(QStringLiteral("BatteryCheckBox"));
    fUse->setGeometry(190, 16, 200, 24);

    fCellBox->setObjectName(QStringLiteral("BatteryRadioGroup"));
    fCellBox->setGeometry(190, 50, 130, 160);
    auto* cellLayout = new QVBoxLayout(fCellBox);
    fCells->setExclusive(false);  // the selection can be cleared
    const auto& presets = CellPresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(presets[i].Name), fCellBox);
        radio->setAutoExclusive(false);
        fCells->addButton(radio, static_cast<int>(i));
        cellLayout->addWidget(radio);
    }
    connect(fCells, &QButtonGroup::idClicked, this, [this](int AId) { CellChosen(AId); });

    auto* maxsLabel = new QLabel(QStringLiteral("Voltage for 100% charge"), this);
    maxsLabel->setGeometry(340, 56, 170, 20);
    fMaxsPanel->setObjectName(QStringLiteral("MAXS_Panel"));
    fMaxsPanel->setGeometry(340, 78, 110, 28);
    fMaxsPanel->setToolTip(QStringLiteral("Voltage for 100% charge"));
    auto* minsLabel = new QLabel(QStringLiteral("Voltage for 0% charge"), this);
    minsLabel->setGeometry(340, 122, 170, 20);
    fMinsPanel->setObjectName(QStringLiteral("MINS_Panel"));
    fMinsPanel->setGeometry(340, 144, 110, 28);
    fMinsPanel->setToolTip(QStringLiteral("Voltage for 0% charge"));
    for (TValuePanel* panel : {fMaxsPanel, fMinsPanel})
        panel->OnClick = [this](TValuePanel* APanel) { PanelClick(APanel); };

    fGauge->setObjectName(QStringLiteral("BatteryPanel"));
    fGauge->setGeometry(520, 40, 60, 200);
    fGaugeBar->setOrientation(Qt::Vertical);
    fGaugeBar->setRange(0, 100);
    fGaugeBar->setTextVisible(false);
    fGaugeBar->setGeometry(14, 0, 32, 170);
    fGaugeCaption->setGeometry(0, 174, 60, 20);
    fGaugeCaption->setAlignment(Qt::AlignCenter);

    fSave->setObjectName(QStringLiteral("BatterySaveBtn"));
    fSave->setGeometry(388, 340, 96, 28);
    fSave->setToolTip(QStringLiteral("Write the battery settings and the colors to the supply"));
    fCancel->setGeometry(494, 340, 96, 28);
    connect(fSave, &QPushButton::clicked, this, [this] {
        if (OnSave) OnSave();
    });
    connect(fCancel, &QPushButton::clicked, this, [this] {
        if (OnCancel) OnCancel();
    });
    connect(fUse, &QCheckBox::clicked, this, [this] { BatteryDataChanged(fUse); });

    TCurrentSet& d = fCore.Data();
    fMaxsInd = std::make_unique<TIndicator>(420, 9999, 4, 3, &d.MAXS, QStringLiteral("V"));
    fMinsInd = std::make_unique<TIndicator>(420, 9999, 4, 3, &d.MINS, QStringLiteral("V"));
    for (TIndicator* ind : {fMaxsInd.get(), fMinsInd.get()})
        ind->SetOnChange([this](TIndicator*) { BatteryDataChanged(nullptr); });
    BatteryDataChanged(nullptr);
}

TBatteryPage::~TBatteryPage() {
    for (TIndicator* ind : {fMaxsInd.get(), fMinsInd.get()}) {
        if (TIndicator::Active() == ind) TIndicator::ResetActive();
        if (fPopup && fPopup->Indicator() == ind) fPopup->SetIndicator(nullptr);
    }
}

int TBatteryPage::SelectedCell() const {
    for (QAbstractButton* b : fCells->buttons()) {
        if (b->isChecked()) return fCells->id(b);
    }
    return -1;
}

void TBatteryPage::UpdateBattery() {
    fUse->setChecked(fCore.Model().BSRC);
    BatteryDataChanged(nullptr);
}

void TBatteryPage::BatteryDataChanged(QObject* ACause) {
    const TCurrentSet& d = fCore.Data();
    fMaxsPanel->setText(BatteryValueText(d.MAXS));
    fMinsPanel->setText(BatteryValueText(d.MINS));
    const bool use = fUse->isChecked();
    fMaxsPanel->setEnabled(use);
    fMinsPanel->setEnabled(use);
    fCellBox->setEnabled(use);
    if (use && ACause != fCells) {
        const int preset = CellPresetIndex(d.MAXS);
        for (QAbstractButton* b : fCells->buttons()) {
            const QSignalBlocker block(b);
            b->setChecked(fCells->id(b) == preset);
        }
    }
    fGauge->setVisible(use);
    if (use) {
        const int charge = BatteryCharge(d.UIN, d.MINS, d.MAXS);
        fGaugeBar->setValue(charge);
        fGaugeCaption->setText(QString::number(charge) + QStringLiteral(" %"));
    }
}

void TBatteryPage::CellChosen(int AIndex) {
    const auto& presets = CellPresets();
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= presets.size()) return;
    // One entry at a time, as in a radio group.
    for (QAbstractButton* b : fCells->buttons()) {
        const QSignalBlocker block(b);
        b->setChecked(fCells->id(b) == AIndex);
    }
    TCurrentSet& d = fCore.Data();
    d.MAXS = presets[static_cast<size_t>(AIndex)].Full;
    d.MINS = presets[static_cast<size_t>(AIndex)].Empty;
    BatteryDataChanged(fCells);
}

void TBatteryPage::PanelClick(TValuePanel* APanel) {
    if (!fPopup || !APanel->isEnabled()) return;
    // Bottom edge on the panel's bottom edge, left edges together.
    const QPoint bottomLeft = APanel->mapToGlobal(QPoint(0, APanel->height()));
    fPopup->move(bottomLeft - QPoint(0, fPopup->height()));
    fPopup->SetHint(APanel->toolTip());
    fPopup->SetIndicator(APanel == fMaxsPanel ? fMaxsInd.get() : fMinsInd.get());
    fPopup->Popup();
}
