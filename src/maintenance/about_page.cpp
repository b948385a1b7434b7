#include "maintenance/about_page.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "benchlord_version.h"

namespace {

QString PlatformName() {
#if defined(Q_OS_LINUX)
    return QStringLiteral("Linux");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("macOS");
#elif defined(Q_OS_WIN)
    return QStringLiteral("Windows");
#else
    return QStringLiteral("desktop");
#endif
}

// A supply's front panel with its seven-segment read-out, drawn by the program.
QPixmap AboutPicture() {
    QPixmap pix(240, 110);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 44, 52), 2));
    p.setBrush(QColor(70, 78, 90));
    p.drawRoundedRect(QRectF(4, 4, 232, 102), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 12, 8));
    p.drawRoundedRect(QRectF(16, 16, 150, 78), 4, 4);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::Monospace);
    f.setBold(true);
    f.setPixelSize(28);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(16, 16, 144, 40), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("12.00V"));
    p.setPen(QColor(90, 255, 90));
    p.drawText(QRectF(16, 54, 144, 40), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("1.500A"));
    for (int i = 0; i < 2; ++i) {
        const QPointF c(202, 36 + i * 40);
        p.setPen(QPen(QColor(30, 30, 30), 1.5));
        p.setBrush(QColor(150, 156, 168));
        p.drawEllipse(c, 14, 14);
        p.setPen(QPen(QColor(30, 30, 30), 3));
        p.drawLine(c, c + QPointF(7, -9));
    }
    return pix;
}

}  // namespace

QStringList AboutTexts(const QString& AHomePage) {
    QStringList texts = {
        QStringLiteral("Benchlord is ") + PlatformName() +
            QStringLiteral(" PC application for communicate to DPS (Digital Power Suplly)  via "
                           "USB / Bluetooth /WiFi"),
        QStringLiteral("This Benchlord version is adapted for the alternative firmware ver. 4.5 "),
        QStringLiteral("This Benchlord version is adapted for KORAD WIFI USB module"),
        QStringLiteral("version:  " BENCHLORD_VERSION),
        QStringLiteral("Licence: " BENCHLORD_LICENCE),
    };
    if (!AHomePage.isEmpty()) texts << QStringLiteral("Home page: ") + AHomePage;
    return texts;
}

QString AboutHomePage() {
    return QStringLiteral(BENCHLORD_HOMEPAGE);
}

TAboutPage::TAboutPage(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("AboutPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* picture = new QLabel(this);
    picture->setPixmap(AboutPicture());
    picture->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture);
    layout->addSpacing(12);
    const QString homePage = AboutHomePage();
    for (const QString& text : AboutTexts(homePage)) {
        auto* label = new QLabel(this);
        label->setWordWrap(true);
        if (!homePage.isEmpty() && text.endsWith(homePage)) {
            // The address opens in the user's browser; the program fetches nothing itself.
            label->setTextFormat(Qt::RichText);
            label->setText(text.left(text.size() - homePage.size()).toHtmlEscaped() +
                           QStringLiteral("<a href=\"%1\">%1</a>").arg(homePage.toHtmlEscaped()));
            label->setOpenExternalLinks(true);
            label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        } else {
            label->setTextFormat(Qt::PlainText);
            label->setText(text);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
        layout->addWidget(label);
    }
    layout->addStretch(1);
}
