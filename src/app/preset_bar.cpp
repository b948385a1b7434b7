#include "app/preset_bar.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QToolButton>

QString PresetCaption(int ATag) {
    const QChar kind = ATag < 10 ? QChar('M') : QChar('C');
    const int n = ATag % 10;
    if (n == 0) return QStringLiteral(" %1%2 ").arg(kind).arg(n);
    return QStringLiteral("%1%2").arg(kind).arg(n);
}

TPresetBar::TPresetBar(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("PresetBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    fGroup = new QButtonGroup(this);
    fGroup->setExclusive(true);
    for (int tag = 0; tag < kButtons; ++tag) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("PresetButton"));
        button->setProperty("charge", tag >= 10);
        button->setText(PresetCaption(tag));
        button->setCheckable(true);
        button->setFixedSize(30, 24);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(
            tag < 10
                ? QStringLiteral("Memory preset M%1").arg(tag)
                : QStringLiteral("Charge profile C%1 (%2 cell(s))").arg(tag - 10).arg(tag - 9));
        button->installEventFilter(this);
        fGroup->addButton(button, tag);
        layout->addWidget(button);
        fButtons[static_cast<size_t>(tag)] = button;
        connect(button, &QToolButton::clicked, this, [this, tag] {
            if (OnClick) OnClick(tag);
        });
    }
    layout->addStretch(1);
    fLongPress.setSingleShot(true);
    fLongPress.setInterval(kLongPressMs);
    connect(&fLongPress, &QTimer::timeout, this, [this] { FireLongPress(); });
    ShowButtons(10, false, -1);
}

void TPresetBar::ShowButtons(int AVisible, bool AEnabled, int ADown) {
    for (int tag = 0; tag < kButtons; ++tag) {
        QToolButton* button = fButtons[static_cast<size_t>(tag)];
        button->setVisible(tag < AVisible);
        button->setEnabled(AEnabled);
    }
    SetDown(ADown);
}

void TPresetBar::SetDown(int ADown) {
    if (ADown == Down()) return;
    // An exclusive group cannot release its last button; release it with the group open.
    fGroup->setExclusive(false);
    for (int tag = 0; tag < kButtons; ++tag)
        fButtons[static_cast<size_t>(tag)]->setChecked(tag == ADown);
    fGroup->setExclusive(true);
}

int TPresetBar::Down() const {
    for (int tag = 0; tag < kButtons; ++tag) {
        if (fButtons[static_cast<size_t>(tag)]->isChecked()) return tag;
    }
    return -1;
}

void TPresetBar::FireLongPress() {
    fLongPress.stop();
    const int tag = fLongPressTag;
    fLongPressTag = -1;
    if (tag >= 0 && OnLongPress) OnLongPress(tag);
}

bool TPresetBar::eventFilter(QObject* AWatched, QEvent* AEvent) {
    auto* button = qobject_cast<QToolButton*>(AWatched);
    if (!button) return false;
    const int tag = fGroup->id(button);
    if (AEvent->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton && button->isChecked() &&
        button->isEnabled()) {
        fLongPressTag = tag;
        fLongPress.start();
    } else if (AEvent->type() == QEvent::MouseButtonRelease) {
        fLongPress.stop();
        fLongPressTag = -1;
    }
    return false;
}
