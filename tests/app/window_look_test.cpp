// The window as the user sees it: grabbed offscreen while live against the virtual supply. Set
// BENCHLORD_SCREENSHOT to a file name to keep the picture.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>

#include "app/demo_supply.h"
#include "app/output_panel.h"
#include "app/side_bar.h"
#include "controls/led.h"
#include "tests/app/window_harness.h"

using apptest::TWindowHarness;

namespace {

double Luminance(QRgb AColor) {
    return 0.299 * qRed(AColor) + 0.587 * qGreen(AColor) + 0.114 * qBlue(AColor);
}

}  // namespace

TEST(WindowLook, LiveDemoPanelIsADarkInstrument) {
    // Exactly what --demo starts.
    TDemoSupply demo;
    ASSERT_TRUE(demo.Start()) << demo.Error().toStdString();
    TWindowHarness h(apptest::WithVirtualSupply());
    h.form->show();
    h.form->ConnectLoopback(demo.Port());
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Connected(); }, 3000));
    h.form->OutputPanel()->OnOffBtn()->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.form->OutputPanel()->CVLed()->LedOn(); }));
    ASSERT_TRUE(h.WaitFor([&] { return h.form->windowTitle().contains("virtual supply"); }));
    EXPECT_TRUE(h.form->DemoBadge()->isVisible());
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Data().UOUT == 1200; }));

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

    // The side panels as the user opens them.
    for (TCategoryPanel* panel : {h.form->PresetCategory(), h.form->ParamCategory()}) {
        panel->Header()->click();
        ASSERT_TRUE(panel->Expanded());
        QApplication::processEvents();
        const QImage side = h.form->grab().toImage();
        if (const QByteArray path = qgetenv("BENCHLORD_SCREENSHOT"); !path.isEmpty())
            side.save(QString::fromLocal8Bit(path).replace(
                ".png", "-" + panel->Caption().section(' ', -1).toLower() + ".png"));
    }
}

TEST(WindowLook, IdlePanelIsGreyAndShowsNoBadge) {
    TWindowHarness h;
    h.form->show();
    QApplication::processEvents();
    EXPECT_FALSE(h.form->DemoBadge()->isVisible());
    const QImage image = h.form->grab().toImage();
    if (const QByteArray path = qgetenv("BENCHLORD_SCREENSHOT"); !path.isEmpty())
        image.save(QString::fromLocal8Bit(path).replace(".png", "-idle.png"));
    // No coloured (CV green or CC yellow) pixels on the output panel while idle.
    const QRect out = h.form->OutputPanel()->geometry();
    int coloured = 0;
    for (int y = out.top(); y < out.bottom(); y += 2) {
        for (int x = out.left(); x < out.left() + 380; x += 2) {
            const QRgb c = image.pixel(x, y);
            if (qGreen(c) > 180 && qBlue(c) < 90) ++coloured;
        }
    }
    EXPECT_EQ(coloured, 0);
}
