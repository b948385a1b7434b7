#include "tools/trend_view.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include "tools/core/save_file.h"
#include "tools/trend_model.h"

namespace {

const QColor kPanelColor(0x0b, 0x0d, 0x10);

}  // namespace

TTrendView::TTrendView(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("OscPaintBox"));
    // Every pixel is painted here, so a new picture repaints this panel and nothing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setToolTip(QStringLiteral("Right-click to save the picture"));
}

void TTrendView::SetPicture(const QImage* APicture) {
    fPicture = APicture;
    update();
}

QSize TTrendView::sizeHint() const {
    return {kOscWidth, kOscHeight};
}

QSize TTrendView::minimumSizeHint() const {
    return {kOscWidth / 4, kOscHeight / 4};
}

QRect TTrendView::PictureRect() const {
    const QSize fitted = QSize(kOscWidth, kOscHeight).scaled(size(), Qt::KeepAspectRatio);
    // At the panel's bottom edge, centred across.
    return {(width() - fitted.width()) / 2, height() - fitted.height(), fitted.width(),
            fitted.height()};
}

void TTrendView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect target = PictureRect();
    const QRegion around = QRegion(rect()).subtracted(target);
    for (const QRect& r : around)
        p.fillRect(r, palette().window());
    if (!fPicture) {
        p.fillRect(target, kPanelColor);
        return;
    }
    if (target.size() != fPicture->size()) p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, *fPicture);
}

void TTrendView::contextMenuEvent(QContextMenuEvent* AEvent) {
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Save picture"));
    save->setEnabled(fPicture != nullptr);
    if (menu.exec(AEvent->globalPos()) == save) SavePictureDialog();
}

void TTrendView::SavePictureDialog() {
    if (fPicture == nullptr) return;
    // Taken now, so the file holds the picture the user chose to save even if it moves on.
    const QImage snapshot = *fPicture;
    const QString folder = fLastFolder.isEmpty() ? QDir::homePath() : fLastFolder;
    const QString proposed = QDir(folder).filePath(
        QDateTime::currentDateTime().toString("'Trend_'yyyyMMdd_HHmmss'.png'"));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save picture"), proposed, QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    fLastFolder = QFileInfo(path).absolutePath();
    SaveImage(snapshot, path);
}

bool TTrendView::SavePicture(const QString& APath) {
    return fPicture != nullptr && SaveImage(*fPicture, APath);
}

bool TTrendView::SaveImage(const QImage& AImage, const QString& APath) {
    QString path = APath;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    // Each pixel doubled: the lines stay crisp when the picture is printed or shown larger.
    const QImage doubled =
        AImage.scaled(AImage.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const QString error = doubled.save(&buffer, "PNG")
                              ? SaveFile(path, png)
                              : QStringLiteral("the picture cannot be encoded");
    const bool ok = error.isEmpty();
    if (!ok) {
        const QString text = QStringLiteral("Cannot save the picture to \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(path), error);
        if (OnError)
            OnError(text);
        else
            QMessageBox::critical(this, QStringLiteral("Benchlord"), text);
    }
    return ok;
}
