#pragma once
// A value field of the preset and parameter panels: it shows the value as text, and a click
// (while it is enabled) asks the owner to open the value-entry pop-up over it. Its tag says which
// value it edits; its hint becomes the pop-up's hint.

#include <QLabel>
#include <functional>

class TEditBox : public QLabel {
public:
    TEditBox(QWidget* AParent, int ATag, const QString& AHint);

    int Tag() const { return fTag; }
    QString Hint() const { return toolTip(); }

    std::function<void(TEditBox*)> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    int fTag;
};
