#include "controls/panel_scaler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QLayout>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QVariant>
#include <cmath>

namespace {

constexpr char kDesignRect[] = "_bl_design";
constexpr char kDesignMin[] = "_bl_designMin";
constexpr char kDesignMax[] = "_bl_designMax";
constexpr char kDesignIcon[] = "_bl_designIcon";
constexpr char kExempt[] = "_bl_unscaled";
constexpr char kRootScale[] = "_bl_scale";

int Px(int AValue, double AScale) {
    if (AValue == 0 || AValue == QWIDGETSIZE_MAX) return AValue;
    const int v = static_cast<int>(std::lround(AValue * AScale));
    return v == 0 ? (AValue > 0 ? 1 : -1) : v;
}

QRect ScaledRect(const QRect& ARect, double AScale) {
    // Size rounded as the fixed sizes are, so a widget keeps fitting a parent of its own size.
    return {static_cast<int>(std::lround(ARect.left() * AScale)),
            static_cast<int>(std::lround(ARect.top() * AScale)),
            std::max(1, Px(ARect.width(), AScale)), std::max(1, Px(ARect.height(), AScale))};
}

QSize ScaledSize(const QSize& ASize, double AScale) {
    return {Px(ASize.width(), AScale), Px(ASize.height(), AScale)};
}

// The scale of the panel AWidget belongs to (1 outside a scaled panel).
double ScaleOf(const QWidget* AWidget) {
    for (const QWidget* w = AWidget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kRootScale);
        if (v.isValid()) return v.toDouble();
    }
    return 1;
}

bool IsExempt(const QWidget* AWidget) {
    return AWidget->property(kExempt).toBool();
}

}  // namespace

QString ScaleStyleSheet(const QString& ASheet, double AScale) {
    static const QRegularExpression px(QStringLiteral("(-?\\d+(?:\\.\\d+)?)px"));
    QString out;
    qsizetype last = 0;
    for (auto it = px.globalMatch(ASheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(ASheet).mid(last, m.capturedStart() - last);
        const double v = m.captured(1).toDouble();
        long scaled = std::lround(v * AScale);
        if (scaled == 0 && v != 0) scaled = v > 0 ? 1 : -1;
        out += QString::number(scaled) + QStringLiteral("px");
        last = m.capturedEnd();
    }
    out += QStringView(ASheet).mid(last);
    return out;
}

TPanelScaler::TPanelScaler(QWidget* ARoot)
    : fRoot(ARoot), fDesign(ARoot->size()), fDesignFont(ARoot->font()) {
    fRoot->setProperty(kRootScale, 1.0);
}

void TPanelScaler::Place(QWidget* AWidget, const QRect& ADesign) {
    AWidget->setProperty(kDesignRect, ADesign);
    AWidget->setGeometry(ScaledRect(ADesign, ScaleOf(AWidget->parentWidget())));
}

void TPanelScaler::Exempt(QWidget* AWidget) {
    AWidget->setProperty(kExempt, true);
}

void TPanelScaler::Record() {
    // Layouts: their margins and spacing, and the fixed spacers in them.
    for (QLayout* layout : fRoot->findChildren<QLayout*>()) {
        if (fLayouts.contains(layout)) continue;
        TLayoutDesign d;
        d.Margins = layout->contentsMargins();
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            d.HSpacing = grid->horizontalSpacing();
            d.VSpacing = grid->verticalSpacing();
        } else {
            d.Spacing = layout->spacing();
        }
        // Measures noted at another scale are taken back to scale 1.
        const double k = 1 / fScale;
        d.Margins = QMargins(Px(d.Margins.left(), k), Px(d.Margins.top(), k),
                             Px(d.Margins.right(), k), Px(d.Margins.bottom(), k));
        d.Spacing = d.Spacing < 0 ? d.Spacing : Px(d.Spacing, k);
        d.HSpacing = d.HSpacing < 0 ? d.HSpacing : Px(d.HSpacing, k);
        d.VSpacing = d.VSpacing < 0 ? d.VSpacing : Px(d.VSpacing, k);
        fLayouts.insert(layout, d);
        for (int i = 0; i < layout->count(); ++i) {
            QSpacerItem* spacer = layout->itemAt(i)->spacerItem();
            if (!spacer || fSpacers.contains(spacer)) continue;
            fSpacers.insert(spacer, {ScaledSize(spacer->sizeHint(), k), spacer->sizePolicy()});
        }
    }
    for (QWidget* w : fRoot->findChildren<QWidget*>()) {
        if (w->isWindow() || w->window() != fRoot->window() || IsExempt(w)) continue;
        if (!w->property(kDesignRect).isValid())
            w->setProperty(kDesignRect, ScaledRect(w->geometry(), 1 / fScale));
        if (!w->property(kDesignMin).isValid()) {
            w->setProperty(kDesignMin, ScaledSize(w->minimumSize(), 1 / fScale));
            w->setProperty(kDesignMax, ScaledSize(w->maximumSize(), 1 / fScale));
            // Buttons draw their icons and arrows at the icon size.
            if (auto* button = qobject_cast<QAbstractButton*>(w))
                w->setProperty(kDesignIcon, ScaledSize(button->iconSize(), 1 / fScale));
        }
    }
}

void TPanelScaler::ScaleLayout(QLayout* ALayout) {
    const TLayoutDesign& d = fLayouts[ALayout];
    const QMargins m = d.Margins;
    ALayout->setContentsMargins(Px(m.left(), fScale), Px(m.top(), fScale), Px(m.right(), fScale),
                                Px(m.bottom(), fScale));
    if (auto* grid = qobject_cast<QGridLayout*>(ALayout)) {
        if (d.HSpacing >= 0) grid->setHorizontalSpacing(Px(d.HSpacing, fScale));
        if (d.VSpacing >= 0) grid->setVerticalSpacing(Px(d.VSpacing, fScale));
    } else if (d.Spacing >= 0) {
        ALayout->setSpacing(Px(d.Spacing, fScale));
    }
}

void TPanelScaler::SetScale(double AScale) {
    Record();
    if (AScale == fScale) return;
    fScale = AScale;
    fRoot->setProperty(kRootScale, AScale);

    // Fonts and the style's measures first: the layouts below measure the new fonts.
    const QString sheet = qApp ? qApp->styleSheet() : QString();
    if (!sheet.isEmpty()) {
        fRoot->setStyleSheet(AScale == 1 ? QString() : ScaleStyleSheet(sheet, AScale));
    } else {
        QFont font = fDesignFont;
        if (font.pixelSize() > 0)
            font.setPixelSize(
                std::max(1, static_cast<int>(std::lround(font.pixelSize() * AScale))));
        else
            font.setPointSizeF(font.pointSizeF() * AScale);
        fRoot->setFont(font);
    }
    for (auto it = fLayouts.begin(); it != fLayouts.end(); ++it)
        ScaleLayout(it.key());
    for (auto it = fSpacers.begin(); it != fSpacers.end(); ++it) {
        const QSize s = ScaledSize(it.value().Size, AScale);
        it.key()->changeSize(s.width(), s.height(), it.value().Policy.horizontalPolicy(),
                             it.value().Policy.verticalPolicy());
    }
    // Parents before children (findChildren lists them so), sizes limits before geometry.
    for (QWidget* w : fRoot->findChildren<QWidget*>()) {
        if (w->isWindow() || w->window() != fRoot->window() || IsExempt(w)) continue;
        const QSize min = w->property(kDesignMin).toSize();
        const QSize max = w->property(kDesignMax).toSize();
        w->setMinimumSize(ScaledSize(min, AScale));
        w->setMaximumSize(ScaledSize(max, AScale));
        w->setGeometry(ScaledRect(w->property(kDesignRect).toRect(), AScale));
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setIconSize(ScaledSize(w->property(kDesignIcon).toSize(), AScale));
    }
    // The layouts place their widgets again within the new sizes.
    for (auto it = fLayouts.begin(); it != fLayouts.end(); ++it) {
        it.key()->invalidate();
        it.key()->activate();
    }
}
