#include "maintenance/page_view.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

TPageView::TPageView(QWidget* AParent)
    : QWidget(AParent),
      fBrowser(new QTextBrowser(this)),
      fAddressLabel(new QLabel(this)),
      fOpen(new QPushButton(QStringLiteral("Open in browser"), this)) {
    OpenUrl = [](const QUrl& AUrl) { return QDesktopServices::openUrl(AUrl); };
    // Only bundled pages are shown here; any other link goes to the user's browser.
    fBrowser->setOpenLinks(false);
    fBrowser->document()->setDefaultStyleSheet(QStringLiteral("a { color: #6cb4ff; }"));
    connect(fBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& AUrl) {
        if (AUrl.scheme() == QStringLiteral("qrc") || AUrl.isRelative()) {
            fBrowser->setSource(fBrowser->source().resolved(AUrl));
        } else if (OpenUrl) {
            OpenUrl(AUrl);
        }
    });
    fAddressLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fAddressLabel->setObjectName(QStringLiteral("PageAddress"));
    connect(fOpen, &QPushButton::clicked, this, [this] {
        if (fAddress.isValid() && OpenUrl) OpenUrl(fAddress);
    });
    auto* bar = new QHBoxLayout();
    bar->addWidget(fAddressLabel, 1);
    bar->addWidget(fOpen);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(fBrowser, 1);
    layout->addLayout(bar);
    ShowPage(QUrl(), QUrl());
}

void TPageView::ShowPage(const QUrl& AResource, const QUrl& AAddress) {
    if (AResource.isValid()) fBrowser->setSource(AResource);
    fAddress = AAddress;
    const bool has = AAddress.isValid() && !AAddress.isEmpty();
    fOpen->setEnabled(has);
    fAddressLabel->setText(has ? AAddress.toString()
                               : QStringLiteral("No web address configured for this page"));
}
