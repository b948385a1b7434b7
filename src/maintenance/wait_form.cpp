#include "maintenance/wait_form.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "maintenance/advanced_rules.h"

TWaitForm::TWaitForm(QWidget* AOwner, std::function<uint32_t()> AUout, int ATickMs)
    : QDialog(AOwner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      fReadUout(std::move(AUout)),
      fUout(fReadUout ? fReadUout() : 0),
      fBar(new QProgressBar(this)) {
    setObjectName(QStringLiteral("WaitForm"));
    setFixedSize(320, 130);
    auto* label = new QLabel(QStringLiteral("Please WAIT"), this);
    label->setObjectName(QStringLiteral("WaitLabel"));
    label->setAlignment(Qt::AlignCenter);
    // Read from across the bench: its own style sheet, since the program's sets a small size
    // for every widget and would win over a font set here.
    label->setStyleSheet(QStringLiteral("font-size: 44px; font-weight: bold;"));
    fBar->setRange(0, kSeconds);
    fBar->setValue(kSeconds);
    fBar->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 16);
    layout->addWidget(label, 1);
    layout->addWidget(fBar);
    setStyleSheet(QStringLiteral("TWaitForm { border: 2px solid #606060; }"));
    fTimer.setInterval(ATickMs);
    connect(&fTimer, &QTimer::timeout, this, [this] { Tick(); });
}

int TWaitForm::Position() const {
    return fBar->value();
}

void TWaitForm::Wait() {
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->geometry();
        move(owner.center() - rect().center());
    }
    fTimer.start();
    exec();
    fTimer.stop();
}

void TWaitForm::Check() {
    if (!isVisible() || !fReadUout) return;
    if (OutputFellForWait(fUout, fReadUout())) done(QDialog::Accepted);
}

void TWaitForm::Tick() {
    fBar->setValue(fBar->value() - 1);
    if (fBar->value() <= 0) {
        done(QDialog::Accepted);
        return;
    }
    Check();
}
