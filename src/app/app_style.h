#pragma once
// The program's visual style: a dark instrument panel. Applied to the whole application at
// start-up (tests apply it too, so that what they grab is what the user sees).

#include <QString>

class QApplication;

QString AppStyleSheet();
void ApplyAppStyle(QApplication& AApp);
