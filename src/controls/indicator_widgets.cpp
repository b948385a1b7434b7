#include "controls/indicator_widgets.h"

#include <QObject>

#include "controls/led.h"
#include "controls/seven_segment_display.h"

namespace {

const char* const kDigitAdapterName = "TIndicatorDigitAdapter";
const char* const kLedAdapterName = "TIndicatorLedAdapter";

class TDigitAdapter : public QObject, public TIndicatorDigit {
public:
    explicit TDigitAdapter(TdsSevenSegmentDisplay* digit) : QObject(digit), fDigit(digit) {
        setObjectName(kDigitAdapterName);
    }
    void SetValue(uint32_t code) override { fDigit->SetValue(code); }
    uint32_t Value() const override { return fDigit->Value(); }
    void SetOnColor(TColor color) override { fDigit->SetOnColor(color); }
    void SetHandCursor(bool hand) override {
        if (hand) {
            fDigit->setCursor(Qt::PointingHandCursor);
        } else {
            fDigit->unsetCursor();
        }
    }
    // Identity is the QWidget address, which is what a search for the control under the pointer
    // yields.
    const void* Control() const override { return static_cast<const QWidget*>(fDigit); }

private:
    TdsSevenSegmentDisplay* fDigit;
};

class TLedAdapter : public QObject, public TIndicatorLed {
public:
    explicit TLedAdapter(TdsLed* led) : QObject(led), fLed(led) { setObjectName(kLedAdapterName); }
    void SetShown(bool shown) override {
        if (fLed->isHidden() == shown) fLed->setVisible(shown);
    }
    void SetOnColor(TColor color) override { fLed->SetOnColor(color); }

private:
    TdsLed* fLed;
};

// The adapter of `widget` named `name`, created on first use.
template <typename Adapter, typename Widget>
Adapter* AdapterOf(Widget* widget, const char* name) {
    if (!widget) return nullptr;
    for (QObject* child : widget->children()) {
        if (child->objectName() == QLatin1String(name)) return static_cast<Adapter*>(child);
    }
    return new Adapter(widget);
}

}  // namespace

TIndicatorDigit* IndicatorDigit(TdsSevenSegmentDisplay* digit) {
    return AdapterOf<TDigitAdapter>(digit, kDigitAdapterName);
}

TIndicatorLed* IndicatorLed(TdsLed* led) {
    return AdapterOf<TLedAdapter>(led, kLedAdapterName);
}
