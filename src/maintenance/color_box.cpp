#include "maintenance/color_box.h"

#include <QPainter>
#include <QPixmap>

#include "controls/qcolor_convert.h"
#include "maintenance/advanced_rules.h"

namespace {

QIcon Swatch(TColor AColor) {
    QPixmap pix(22, 14);
    pix.fill(ToQColor(AColor));
    QPainter p(&pix);
    p.setPen(Qt::black);
    p.drawRect(pix.rect().adjusted(0, 0, -1, -1));
    return QIcon(pix);
}

}  // namespace

TColorBox::TColorBox(QWidget* AParent) : QComboBox(AParent) {
    setIconSize(QSize(22, 14));
    for (const TNamedColor& c : NamedColors())
        addItem(Swatch(c.Color), QString::fromLatin1(c.Name), QVariant::fromValue<uint>(c.Color));
}

void TColorBox::UpdateColorBox(TColor AColor) {
    AColor &= 0xFFFFFF;
    for (int i = 0; i < count(); ++i) {
        if (itemData(i).toUInt() == AColor) {
            setCurrentIndex(i);
            return;
        }
    }
    addItem(Swatch(AColor), CustomColorName(AColor), QVariant::fromValue<uint>(AColor));
    setCurrentIndex(count() - 1);
}

TColor TColorBox::SelectedColor() const {
    return currentIndex() < 0 ? 0 : currentData().toUInt();
}
