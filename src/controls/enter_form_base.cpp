#include "controls/enter_form_base.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>

#include "controls/control_at.h"
#include "controls/indicator.h"
#include "controls/indicator_input.h"
#include "controls/indicator_widgets.h"
#include "controls/led.h"
#include "controls/seven_segment_display.h"
#include "controls/up_down_buttons.h"
#include "controls/wheel_pause.h"

namespace {

constexpr TColor kDigitOff = TColorFromRGB(0x20, 0x20, 0x20);
constexpr TColor kBlack = TColorFromRGB(0, 0, 0);
constexpr TColor kWhite = TColorFromRGB(0xFF, 0xFF, 0xFF);

}  // namespace

TEnterFormBase::TEnterFormBase(QWidget* parent, int digitCount)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), fDigitCount(digitCount) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    fOwnPause = std::make_unique<TWheelPause>();
    fWheelPause = fOwnPause.get();
}

TEnterFormBase::~TEnterFormBase() = default;

TdsSevenSegmentDisplay* TEnterFormBase::MakeDigit(int position, int x) {
    auto* seg = new TdsSevenSegmentDisplay(this);
    seg->setObjectName(QStringLiteral("Seg%1").arg(position));
    seg->setGeometry(x, kDigitY, 17, 25);
    seg->SetSegmentWidth(4);
    seg->SetBackColor(kBlack);
    seg->SetOnColor(kWhite);
    seg->SetOffColor(kDigitOff);
    // A new digit holds code 0 with nothing lit; show the 0 it stands for.
    seg->SetSegments(SegmentsForValue(0));
    seg->SetTag(position);
    seg->setFocusPolicy(Qt::NoFocus);
    seg->OnClick = [this](QObject* sender) { SegClick(sender); };
    fSeg[position] = seg;
    return seg;
}

TdsLed* TEnterFormBase::MakePointLed(int index, int x) {
    auto* led = new TdsLed(this);
    led->setObjectName(QStringLiteral("PointLed%1").arg(index));
    led->setGeometry(x, kLedY, 3, 3);
    led->SetOnColor(kWhite);
    led->SetLedOn(true);
    led->hide();
    fPointLed[index] = led;
    return led;
}

void TEnterFormBase::MakeLabelAndStep(int labelX, int stepX, int stepWidth) {
    fLabel1 = new QLabel(this);
    fLabel1->setObjectName(QStringLiteral("Label1"));
    QFont font = fLabel1->font();
    font.setBold(true);
    font.setPixelSize(13);
    fLabel1->setFont(font);
    QPalette pal = fLabel1->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    fLabel1->setPalette(pal);
    fLabel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fLabel1->setGeometry(labelX, 0, stepX - labelX, kHeight);

    fUpDown1 = new TUpDownButtons(this, udVertical);
    fUpDown1->setObjectName(QStringLiteral("UpDown1"));
    fUpDown1->setGeometry(stepX, 0, stepWidth, kHeight);
    fUpDown1->OnClick = [this](QObject*) { UpDown1Click(); };
}

TdsSevenSegmentDisplay* TEnterFormBase::Seg(int position) const {
    return position >= 1 && position <= fDigitCount ? fSeg[position] : nullptr;
}

TdsLed* TEnterFormBase::PointLed(int index) const {
    return index >= 1 && index <= 3 ? fPointLed[index] : nullptr;
}

void TEnterFormBase::SetWheelPause(TWheelPause* pause) {
    fWheelPause = pause ? pause : fOwnPause.get();
}

void TEnterFormBase::SetIndicator(TIndicator* indicator) {
    fIndicator = indicator;
    if (!indicator) return;
    indicator->SetOnLeaveCursor([this](TIndicator*) { hide(); });
    indicator->Smart = false;
    indicator->SetAutoStop(false);
    fUpDown1->setEnabled(true);
    indicator->SetUpDownCtrl(fUpDown1);
    for (int i = 1; i <= fDigitCount; ++i)
        indicator->Digit[i] = IndicatorDigit(fSeg[i]);
    indicator->SetEnabled(true);
    fLabel1->setText(indicator->ValueName);
    // The digits of the pop-up that this value does not use stay dark.
    for (int i = 3; i <= fDigitCount; ++i) {
        if (static_cast<uint32_t>(i) > indicator->DataLen) fSeg[i]->SetValue(kSegCodeBlank);
    }
    PlacePointLed(indicator->PointPos);
    indicator->ClearValue();
    if (indicator->ValuePtr) fOpenValue = *indicator->ValuePtr;
}

void TEnterFormBase::Popup() {
    // Placed by its owner over what it edits, it still never leaves the screen's usable area.
    const QScreen* scr = QGuiApplication::screenAt(pos() + QPoint(width() / 2, height() / 2));
    if (!scr) scr = screen();
    if (scr) {
        const QRect area = scr->availableGeometry();
        move(std::clamp(x(), area.left(), std::max(area.left(), area.right() + 1 - width())),
             std::clamp(y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
    }
    if (fIndicator && fIndicator->ValuePtr) fOpenValue = *fIndicator->ValuePtr;
    show();
    FormActivate();
    if (!fAwaitingActivation && !isActiveWindow()) {
        fAwaitingActivation = true;
        qApp->installEventFilter(this);
    }
    raise();
    activateWindow();
}

void TEnterFormBase::StopAwaitingActivation() {
    if (!fAwaitingActivation) return;
    fAwaitingActivation = false;
    qApp->removeEventFilter(this);
}

bool TEnterFormBase::eventFilter(QObject* watched, QEvent* event) {
    // Until the window system activates the pop-up, keys still go to the window it was opened
    // from: they belong to the pop-up.
    // A click elsewhere ends that.
    if (fAwaitingActivation && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() != this) {
        if (event->type() == QEvent::KeyPress) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) StopAwaitingActivation();
    }
    return QWidget::eventFilter(watched, event);
}

void TEnterFormBase::hideEvent(QHideEvent* event) {
    StopAwaitingActivation();
    QWidget::hideEvent(event);
}

void TEnterFormBase::FormActivate() {
    if (!fIndicator) return;
    fIndicator->UpdateDigits();
    // The cursor placed when it opened stays where typing has moved it.
    if (fIndicator->CursorPos() == 0)
        fIndicator->SetCursorPos(static_cast<int32_t>(fIndicator->DataLen));
}

void TEnterFormBase::FormDeactivate() {
    if (fIndicator) {
        fIndicator->SetOnLeaveCursor(nullptr);
        fIndicator->SetCursorPos(0);
    }
    if (OnDeactivate) OnDeactivate(this);
}

void TEnterFormBase::FormKeyDown(int key) {
    // Return ends the entry: the value is already in its cell.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        FormDeactivate();
        hide();
        return;
    }
    // Escape ends it with the value the cell had when the pop-up opened.
    if (key == Qt::Key_Escape) {
        if (fIndicator && fIndicator->ValuePtr && *fIndicator->ValuePtr != fOpenValue) {
            *fIndicator->ValuePtr = fOpenValue;
            fIndicator->UpdateDigits();
            if (const TIndicator::TNotify& changed = fIndicator->OnChange()) changed(fIndicator);
        }
        FormDeactivate();
        hide();
        return;
    }
    IndicatorKeyDown(fIndicator, key);
}

void TEnterFormBase::FormKeyPress(QChar key) {
    IndicatorKeyPress(fIndicator, key);
}

void TEnterFormBase::FormMouseWheel(bool up, QPoint pos) {
    if (fWheelPause->Running()) return;
    QWidget* control = EnabledControlAt(this, pos);
    if (!dynamic_cast<TdsSevenSegmentDisplay*>(control)) return;
    if (fIndicator) {
        if (up) {
            fIndicator->MouseWheelUp(control);
        } else {
            fIndicator->MouseWheelDown(control);
        }
    }
    fWheelPause->Start();
}

void TEnterFormBase::SegClick(QObject* sender) {
    auto* digit = dynamic_cast<TdsSevenSegmentDisplay*>(sender);
    if (fIndicator && digit) fIndicator->SetCursorPos(digit->Tag());
}

void TEnterFormBase::UpDown1Click() {
    if (fIndicator && fIndicator->CursorPos() == 0) fIndicator->SetCursorPos(2);
}

bool TEnterFormBase::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowActivate:
            StopAwaitingActivation();
            FormActivate();
            break;
        case QEvent::WindowDeactivate:
            FormDeactivate();
            break;
        case QEvent::ShortcutOverride: {
            // The arrows and digits edit the value; no shortcut may take them first.
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                (key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9)) {
                event->accept();
                return true;
            }
            break;
        }
        default:
            break;
    }
    return QWidget::event(event);
}

void TEnterFormBase::keyPressEvent(QKeyEvent* event) {
    FormKeyDown(event->key());
    for (QChar ch : event->text())
        FormKeyPress(ch);
    event->accept();
}

void TEnterFormBase::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) FormMouseWheel(delta > 0, event->position().toPoint());
    event->accept();
}

void TEnterFormBase::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}
