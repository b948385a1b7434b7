// The trend view in the window against the virtual supply: live samples, "Hold" freezing the
// picture while the load changes, control changes redrawing the frozen ring, "Run" clearing it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "app/side_bar.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"
#include "tools/oscilloscope_panel.h"
#include "tools/trend_view.h"

using apptest::Click;
using apptest::TWindowHarness;

namespace {

// Rows of column 300 in the colour.
std::vector<int> RowsAt(const QImage& AImage, int AX, QRgb AColor) {
    std::vector<int> rows;
    for (int y = 0; y < AImage.height(); ++y)
        if (AImage.pixel(AX, y) == AColor) rows.push_back(y);
    return rows;
}

}  // namespace

TEST(WindowTrend, HoldFreezesThePictureAndRunClearsIt) {
    TWindowHarness h;
    VirtualSupplyOptions opt;
    opt.loadOhms = 25.0;
    ASSERT_TRUE(h.StartSupply(opt));
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 100);
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.Connect()) << h.presenter.errors.join("|").toStdString();
    TOscilloscopePanel* osc = h.form->OscPanel();
    h.form->OscCategory()->Header()->click();
    ASSERT_TRUE(h.form->OscCategory()->Expanded());
    EXPECT_FALSE(h.form->ConnectionCategory()->Expanded());

    // 5.00 V and 0.20 A arrive; after 40 samples the right end of both traces shows them.
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Data().IOUT == 20; }));
    const int start = osc->Model().OscIdx();
    ASSERT_TRUE(h.WaitFor([&] { return osc->Model().OscIdx() >= start + 40; }, 5000));
    // Auto ranging: 5 V at 1 V/div (y = 220 - 22 - 110), 0.2 A at 0.05 A/div (y = 220 - 22 - 88).
    EXPECT_EQ(osc->Settings().VoltDiv, 0);
    EXPECT_EQ(osc->Settings().AmpDiv, 1);
    EXPECT_EQ(RowsAt(osc->Picture(), 300, kOscVoltColor), (std::vector<int>{88, 89}));
    EXPECT_EQ(RowsAt(osc->Picture(), 300, kOscAmperColor), (std::vector<int>{110, 111}));
    // The view shows that picture.
    const QImage shown = h.form->TrendView()->grab().toImage();
    const QRect target = h.form->TrendView()->PictureRect();
    EXPECT_GT(target.width(), 200);
    int yellow = 0;
    for (int x = target.left(); x <= target.right(); ++x)
        for (int y = target.top(); y <= target.bottom(); ++y)
            yellow += qRed(shown.pixel(x, y)) > 200 && qGreen(shown.pixel(x, y)) > 200 &&
                      qBlue(shown.pixel(x, y)) < 60;
    EXPECT_GT(yellow, 40);
    if (const QByteArray path = qgetenv("BENCHLORD_SCREENSHOT"); !path.isEmpty())
        h.form->grab().save(QString::fromLocal8Bit(path).replace(".png", "-trend.png"));

    // Hold; the load changes, the readings follow, the picture does not.
    Click(osc->RunSwitch());
    EXPECT_EQ(osc->RunSwitch()->text(), "Hold");
    const QImage held = osc->Picture().copy();
    const int32_t heldIdx = osc->Model().OscIdx();
    h.supply->SetLoad(10.0);
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Data().IOUT == 50; }));
    const int ticks = osc->TickCount();
    ASSERT_TRUE(h.WaitFor([&] { return osc->TickCount() >= ticks + 3; }));
    EXPECT_EQ(osc->Model().OscIdx(), heldIdx);
    EXPECT_EQ(osc->Picture(), held);

    // A control change redraws the frozen ring (queued): only the current trace now.
    const int draws = osc->DrawCount();
    Click(osc->TraceButton(otAmper));
    ASSERT_TRUE(h.WaitFor([&] { return osc->DrawCount() > draws; }));
    EXPECT_TRUE(RowsAt(osc->Picture(), 300, kOscVoltColor).empty());
    EXPECT_EQ(RowsAt(osc->Picture(), 300, kOscAmperColor), (std::vector<int>{110, 111}));
    EXPECT_EQ(osc->Model().OscIdx(), heldIdx);

    // Run: the ring starts again from empty, then shows 0.5 A (0.1 A/div: 5 divisions up).
    Click(osc->RunSwitch());
    EXPECT_EQ(osc->RunSwitch()->text(), "Run");
    EXPECT_LT(osc->Model().OscIdx(), 2);
    ASSERT_TRUE(h.WaitFor([&] { return osc->Model().OscIdx() >= 30; }, 5000));
    EXPECT_EQ(osc->Settings().AmpDiv, 2);
    EXPECT_EQ(RowsAt(osc->Picture(), 300, kOscAmperColor), (std::vector<int>{88, 89}));
    EXPECT_TRUE(RowsAt(osc->Picture(), 200, kOscAmperColor).empty());

    // Disconnect: sampling stops with the picture as it was.
    h.form->Session().DisconnectBtnClick();
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    const int32_t lastIdx = osc->Model().OscIdx();
    const QImage last = osc->Picture().copy();
    h.supply->SetLoad(5.0);
    QApplication::processEvents();
    EXPECT_EQ(osc->Model().OscIdx(), lastIdx);
    EXPECT_EQ(osc->Picture(), last);
    EXPECT_TRUE(h.presenter.errors.isEmpty()) << h.presenter.errors.join("|").toStdString();
}
