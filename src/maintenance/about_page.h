#pragma once
// The "About" tab: the program's picture and its four lines of text, the platform named as the
// one this build runs on.

#include <QString>
#include <QStringList>
#include <QWidget>

// The four lines shown, in order.
QStringList AboutTexts();

class TAboutPage : public QWidget {
public:
    explicit TAboutPage(QWidget* AParent);
};
