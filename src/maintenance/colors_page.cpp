#include "maintenance/colors_page.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/qcolor_convert.h"
#include "maintenance/color_box.h"

TColorsPage::TColorsPage(QWidget* AParent)
    : QWidget(AParent),
      fSave(new QPushButton(QStringLiteral("Save"), this)),
      fCancel(new QPushButton(QStringLiteral("Cancel"), this)),
      fUpdateArea(new QGroupBox(QStringLiteral("Firmware update"), this)) {
    setObjectName(QStringLiteral("ColorsPage"));
    const char* labels[3] = {"Power OFF color", "Power ON color (CV)", "Power ON color (CC)"};
    auto* colors = new QGroupBox(QStringLiteral("Display colors"), this);
    auto* grid = new QGridLayout(colors);
    for (size_t i = 0; i < 3; ++i) {
        fBoxes[i] = new TColorBox(colors);
        fBoxes[i]->setObjectName(QStringLiteral("ColorBox%1").arg(i + 1));
        fBoxes[i]->setMinimumWidth(170);
        fMore[i] = new QPushButton(QStringLiteral(">"), colors);
        fMore[i]->setFixedWidth(28);
        fMore[i]->setToolTip(QStringLiteral("More colors"));
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), colors), row, 0);
        grid->addWidget(fBoxes[i], row, 1);
        grid->addWidget(fMore[i], row, 2);
        connect(fMore[i], &QPushButton::clicked, this, [this, row] { ChooseColor(row + 1); });
    }
    grid->setColumnStretch(3, 1);
    fSave->setObjectName(QStringLiteral("ColorSaveBtn"));
    fCancel->setObjectName(QStringLiteral("ColorCancelBtn"));
    fSave->setToolTip(QStringLiteral("Write the colors and the battery settings to the supply"));
    auto* buttons = new QVBoxLayout();
    buttons->addWidget(fSave);
    buttons->addWidget(fCancel);
    buttons->addStretch(1);
    auto* top = new QHBoxLayout();
    top->addWidget(colors, 1);
    top->addLayout(buttons);

    fUpdateArea->setObjectName(QStringLiteral("UpdateArea"));
    auto* updateLayout = new QVBoxLayout(fUpdateArea);
    updateLayout->setContentsMargins(4, 4, 4, 4);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(fUpdateArea, 1);
    connect(fSave, &QPushButton::clicked, this, [this] {
        if (OnSave) OnSave();
    });
    connect(fCancel, &QPushButton::clicked, this, [this] {
        if (OnCancel) OnCancel();
    });
}

void TColorsPage::HostUpdatePage(QWidget* APage) {
    APage->setParent(fUpdateArea);
    fUpdateArea->layout()->addWidget(APage);
}

void TColorsPage::ChooseColor(int AIndex) {
    TColorBox* box = ColorBox(AIndex);
    const QColor chosen = QColorDialog::getColor(ToQColor(box->SelectedColor()), this);
    if (chosen.isValid()) box->UpdateColorBox(ToTColor(chosen));
}
