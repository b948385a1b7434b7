// What the connected window repaints: nothing for readings that change nothing, only the controls
// that show a changed value (with the panels right beneath them), and a traffic lamp that stays
// lit while requests flow.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSet>

#include "app/connection_panel.h"
#include "app/set_panel.h"
#include "controls/led.h"
#include "tests/app/window_harness.h"
#include "tools/oscilloscope_panel.h"

using apptest::TWindowHarness;

namespace {

// Paint events of every widget of one window.
class TWindowPaints : public QObject {
public:
    explicit TWindowPaints(QWidget* AWindow) : fWindow(AWindow) { qApp->installEventFilter(this); }
    ~TWindowPaints() override { qApp->removeEventFilter(this); }
    void Clear() {
        total = 0;
        painted.clear();
    }
    int total = 0;
    QSet<QWidget*> painted;

protected:
    bool eventFilter(QObject* AObject, QEvent* AEvent) override {
        if (AEvent->type() == QEvent::Paint && AObject->isWidgetType() &&
            static_cast<QWidget*>(AObject)->window() == fWindow) {
            ++total;
            painted.insert(static_cast<QWidget*>(AObject));
        }
        return false;
    }

private:
    QWidget* fWindow;
};

// Waits for ACount more live readings of the window's session.
bool WaitReadings(TWindowHarness& AHarness, int ACount) {
    int readings = 0;
    auto c = QObject::connect(&AHarness.form->Session(), &TSessionCore::LiveReading,
                              [&] { ++readings; });
    const bool ok = AHarness.WaitFor([&] { return readings >= ACount; }, 5000);
    QObject::disconnect(c);
    return ok;
}

// Waits until the paced updates are on screen and painted.
bool Settle(TWindowHarness& AHarness) {
    const bool ok = AHarness.WaitFor([&] { return !AHarness.form->DisplayUpdatesPending(); });
    QApplication::processEvents();
    QApplication::processEvents();
    return ok;
}

std::string Names(const QSet<QWidget*>& AWidgets) {
    QStringList names;
    for (QWidget* w : AWidgets)
        names << (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
    return names.join(", ").toStdString();
}

}  // namespace

TEST(WindowPaint, UnchangedReadingsPaintNothingAndAChangePaintsOnlyItsControl) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    QWidget* form = h.form.get();
    // The trend picture moves on at 10 Hz by design; on "Hold" it is still.
    h.form->OscPanel()->RunSwitch()->setChecked(false);
    TWindowPaints paints(form);

    // The first frames: start-up reads, the lamps and read-outs take their values.
    ASSERT_TRUE(WaitReadings(h, 20));
    ASSERT_TRUE(Settle(h));

    paints.Clear();
    ASSERT_TRUE(WaitReadings(h, 100));
    EXPECT_EQ(paints.total, 0) << Names(paints.painted);
    // Requests flow all the time: the lamp stays lit instead of blinking per exchange.
    EXPECT_TRUE(h.form->ConnectionPanel()->TrafficLed()->LedOn());

    // One changed value: the input-voltage label repaints, with the panels right beneath it.
    QLabel* vin = h.form->SetPanel()->VinLabel();
    paints.Clear();
    h.supply->SetInputVoltage(30.0);
    ASSERT_TRUE(h.WaitFor([&] { return vin->text() == QStringLiteral("VIN 30.00 V"); }));
    ASSERT_TRUE(WaitReadings(h, 20));
    ASSERT_TRUE(Settle(h));
    EXPECT_TRUE(paints.painted.contains(vin));
    for (QWidget* w : paints.painted)
        EXPECT_TRUE(w == vin || w->isAncestorOf(vin)) << Names(paints.painted);
}
