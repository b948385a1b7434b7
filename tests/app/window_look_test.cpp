// The window as the user sees it: grabbed offscreen while live against the virtual supply. Set
// BENCHLORD_SCREENSHOT to a file name to keep the picture.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "app/output_panel.h"
#include "controls/led.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"

using apptest::TWindowHarness;

namespace {

double Luminance(QRgb AColor) {
    return 0.299 * qRed(AColor) + 0.587 * qGreen(AColor) + 0.114 * qBlue(AColor);
}

}  // namespace

TEST(WindowLook, LiveDemoPanelIsADarkInstrument) {
    TWindowHarness h(apptest::WithVirtualSupply());
    VirtualSupplyOptions opt;
    opt.loadOhms = 10.0;
    ASSERT_TRUE(h.StartSupply(opt));
    h.supply->SetRegister(simreg::USET, 1200);
    h.supply->SetRegister(simreg::ISET, 150);
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(h.WaitFor([&] { return h.form->OutputPanel()->CVLed()->LedOn(); }));
    ASSERT_TRUE(h.WaitFor([&] { return h.form->windowTitle().contains("virtual supply"); }));
    EXPECT_TRUE(h.form->DemoBadge()->isVisible());
    h.WaitPolls(5);

    const QImage image = h.form->grab().toImage();
    ASSERT_EQ(image.size(), QSize(880, 512));
    if (const QByteArray path = qgetenv("BENCHLORD_SCREENSHOT"); !path.isEmpty())
        image.save(QString::fromLocal8Bit(path));
    // Mostly dark: the average brightness of the picture stays low.
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4)
            sum += Luminance(image.pixel(x, y));
    }
    const double mean = sum / ((image.height() / 4) * (image.width() / 4));
    EXPECT_LT(mean, 70.0);
    // The output voltage glows in the constant-voltage colour (green).
    const QRect uout = h.form->OutputPanel()->geometry();
    int green = 0;
    for (int y = uout.top() + 24; y < uout.top() + 116; ++y) {
        for (int x = uout.left() + 12; x < uout.left() + 234; ++x) {
            const QRgb c = image.pixel(x, y);
            if (qGreen(c) > 200 && qRed(c) < 80 && qBlue(c) < 80) ++green;
        }
    }
    EXPECT_GT(green, 500);
}
