#pragma once
// The "About" tab: the program's picture, its three lines of description (the platform named as
// the one this build runs on), its version, licence and, when the build was given one, home page.

#include <QString>
#include <QStringList>
#include <QWidget>

// The lines shown, in order; the home page line only when AHomePage is not empty.
QStringList AboutTexts(const QString& AHomePage);
// The home page given to the build, or an empty text.
QString AboutHomePage();

class TAboutPage : public QWidget {
public:
    explicit TAboutPage(QWidget* AParent);
};
