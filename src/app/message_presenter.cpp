#include "app/message_presenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <vector>

namespace {

TMessagePresenter* gPresenter = nullptr;
// The error boxes open, newest last (a box opened from inside another's event loop).
std::vector<QMessageBox*> gOpenErrors;

int ShowBox(QWidget* AOwner, QMessageBox::Icon AIcon, const QString& AText,
            QMessageBox::StandardButtons AButtons) {
    QWidget* owner = AOwner ? AOwner->window() : nullptr;
    QMessageBox box(AIcon, QStringLiteral("Benchlord"), MessageBoxText(AText), AButtons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    if (owner) {
        const QRect frame = owner->frameGeometry();
        box.move(MessageBoxPosition(frame.topLeft(), frame.width(), frame.height()));
    }
    if (AIcon != QMessageBox::Critical) return box.exec();
    gOpenErrors.push_back(&box);
    const int answer = box.exec();
    gOpenErrors.pop_back();
    return answer;
}

}  // namespace

QPoint MessageBoxPosition(QPoint AWindowTopLeft, int AWidth, int AHeight) {
    return {AWindowTopLeft.x() + AWidth / 2 - 200, AWindowTopLeft.y() + AHeight / 2 - 50};
}

QString MessageBoxText(const QString& AText) {
    QString text = AText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    return text;
}

void TModalMessagePresenter::Error(QWidget* AOwner, const QString& AText) {
    ShowBox(AOwner, QMessageBox::Critical, AText, QMessageBox::Ok);
}

void TModalMessagePresenter::Information(QWidget* AOwner, const QString& AText) {
    ShowBox(AOwner, QMessageBox::Information, AText, QMessageBox::Ok);
}

bool TModalMessagePresenter::Confirm(QWidget* AOwner, const QString& AText) {
    return ShowBox(AOwner, QMessageBox::Question, AText, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TModalMessagePresenter::RetextError(const QString& AText) {
    if (!gOpenErrors.empty()) gOpenErrors.back()->setText(MessageBoxText(AText));
}

TMessagePresenter& AppMessagePresenter() {
    static TModalMessagePresenter modal;
    return gPresenter ? *gPresenter : modal;
}

void SetAppMessagePresenter(TMessagePresenter* APresenter) {
    gPresenter = APresenter;
}
