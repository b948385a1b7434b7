#pragma once
// A page view for the advanced window: shows a page bundled with the program (a Qt resource) in
// a QTextBrowser, with the configured web address beside a button that opens it in the user's
// browser. The program itself fetches nothing from the network; links inside the bundled pages
// that point outside open in the browser as well.

#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QTextBrowser;

class TPageView : public QWidget {
public:
    explicit TPageView(QWidget* AParent);

    // Shows the bundled page AResource ("qrc:/pages/...") and offers AAddress (may be empty:
    // then the button is disabled and the address line says so).
    void ShowPage(const QUrl& AResource, const QUrl& AAddress);

    QUrl Address() const { return fAddress; }
    QTextBrowser* Browser() const { return fBrowser; }
    QLabel* AddressLabel() const { return fAddressLabel; }
    QPushButton* OpenBtn() const { return fOpen; }

    // Opens the address; by default QDesktopServices (tests record instead).
    std::function<bool(const QUrl&)> OpenUrl;

private:
    QTextBrowser* fBrowser;
    QLabel* fAddressLabel;
    QPushButton* fOpen;
    QUrl fAddress;
};
