// The window at any size: the panel scales with it, its proportions kept, the rest a border.

#include <QResizeEvent>
#include <QScreen>
#include <array>
#include <cmath>

#include "app/main_form.h"
#include "controls/focus_frame.h"
#include "controls/panel_scaler.h"

namespace {

// The steps of Ctrl++ and Ctrl+-.
constexpr std::array<double, 10> kSteps{0.7, 0.8, 0.9, 1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

}  // namespace

QSize TMainForm::MinimumClientSize() {
    return {static_cast<int>(std::ceil(kClientWidth * kMinScale)),
            static_cast<int>(std::ceil(kClientHeight * kMinScale))};
}

double TMainForm::PanelScale() const {
    return fScaler ? fScaler->Scale() : 1.0;
}

void TMainForm::resizeEvent(QResizeEvent* AEvent) {
    QWidget::resizeEvent(AEvent);
    ApplyScale();
}

void TMainForm::ApplyScale() {
    if (!fScaler) return;
    // The largest scale at which the whole panel fits, in whole percent.
    const double fit = std::min(width() / double(kClientWidth), height() / double(kClientHeight));
    const double scale = std::clamp(std::floor(fit * 100 + 1e-6) / 100, kMinScale, kMaxScale);
    fScaler->SetScale(scale);
    const QSize size(static_cast<int>(std::lround(kClientWidth * scale)),
                     static_cast<int>(std::lround(kClientHeight * scale)));
    fFrontPanel->setGeometry(std::max(0, (width() - size.width()) / 2),
                             std::max(0, (height() - size.height()) / 2), size.width(),
                             size.height());
    const int ring = std::max(2, static_cast<int>(std::lround(2 * scale)));
    fFocusFrame->SetMetrics(ring, std::max(1, ring / 2 + 1));
}

QSize TMainForm::LargestFittingClientSize() const {
    const QScreen* scr = screen();
    if (!scr) return {};
    const QRect area = scr->availableGeometry();
    // The window frame, once the window system has drawn one; before that room for a title bar.
    QSize frame = frameGeometry().size() - size();
    if (frame.isEmpty()) frame = QSize(8, 40);
    return area.size() - frame;
}

double TMainForm::LargestFittingScale() const {
    const QSize room = LargestFittingClientSize();
    if (room.isEmpty()) return kMaxScale;
    const double fit =
        std::min(room.width() / double(kClientWidth), room.height() / double(kClientHeight));
    return std::clamp(std::floor(fit * 100 + 1e-6) / 100, kMinScale, kMaxScale);
}

void TMainForm::StepScale(int ADirection) {
    const double now = PanelScale();
    double target = 1.0;
    if (ADirection > 0) {
        target = kSteps.back();
        for (double step : kSteps) {
            if (step > now + 0.005) {
                target = step;
                break;
            }
        }
    } else if (ADirection < 0) {
        target = kSteps.front();
        for (auto it = kSteps.rbegin(); it != kSteps.rend(); ++it) {
            if (*it < now - 0.005) {
                target = *it;
                break;
            }
        }
    }
    // Never larger than the screen: the last step up is the largest scale that fits.
    target = std::min(target, LargestFittingScale());
    if (isMaximized() || isFullScreen()) showNormal();
    resize(static_cast<int>(std::lround(kClientWidth * target)),
           static_cast<int>(std::lround(kClientHeight * target)));
}
