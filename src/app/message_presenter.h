#pragma once
// How the main window shows its message boxes. The program uses modal boxes centred on the main
// window (window left + width / 2 - 200, top + height / 2 - 50); tests install a presenter that
// records the texts and answers at once, so that no box ever blocks them.

#include <QPoint>
#include <QString>

class QWidget;

class TMessagePresenter {
public:
    virtual ~TMessagePresenter() = default;
    // AOwner is the window the box belongs to (may be null).
    virtual void Error(QWidget* AOwner, const QString& AText) = 0;
    virtual void Information(QWidget* AOwner, const QString& AText) = 0;
    // Yes/No; true for Yes.
    virtual bool Confirm(QWidget* AOwner, const QString& AText) = 0;
    // Changes the text of the newest error box still open; nothing when none is.
    virtual void RetextError(const QString& AText) = 0;
};

// Top-left corner of a message box on a window whose frame starts at AWindowTopLeft and whose
// size is AWidth x AHeight.
QPoint MessageBoxPosition(QPoint AWindowTopLeft, int AWidth, int AHeight);

// Operator texts separate lines with "\r"; a box shows them as line breaks.
QString MessageBoxText(const QString& AText);

// Modal QMessageBox boxes.
class TModalMessagePresenter : public TMessagePresenter {
public:
    void Error(QWidget* AOwner, const QString& AText) override;
    void Information(QWidget* AOwner, const QString& AText) override;
    bool Confirm(QWidget* AOwner, const QString& AText) override;
    void RetextError(const QString& AText) override;
};

// The presenter the program uses (the modal one unless replaced); also used by the general error
// report for errors that no handler catches.
TMessagePresenter& AppMessagePresenter();
// Replaces it (tests); nullptr restores the modal presenter.
void SetAppMessagePresenter(TMessagePresenter* APresenter);
