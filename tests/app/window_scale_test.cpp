// The window at every size: the panel scales with it and keeps every control in its place.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QStyleOption>
#include <QTest>

#include "app/connection_panel.h"
#include "app/main_form.h"
#include "app/segment_readout.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/focus_frame.h"
#include "controls/knob.h"
#include "controls/seven_segment_display.h"
#include "tests/app/window_harness.h"

using namespace apptest;

namespace {

// Every shown control lies inside its parent, and the panel inside the window; labels show
// their whole text. Returns what does not.
QStringList OutOfPlace(TMainForm& AForm) {
    QStringList faults;
    QWidget* panel = AForm.FrontPanel();
    if (!AForm.rect().contains(panel->geometry())) faults << "the panel leaves the window";
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(&AForm) || w == AForm.FocusFrame()) continue;
        const QString name =
            w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
        if (!w->parentWidget()->rect().contains(w->geometry()))
            faults << QStringLiteral("%1 outside its parent").arg(name);
        auto* label = qobject_cast<QLabel*>(w);
        if (label && !label->wordWrap() && !label->text().isEmpty() &&
            label->fontMetrics().horizontalAdvance(label->text()) >
                label->contentsRect().width() + 1)
            faults << QStringLiteral("%1 cuts its text \"%2\"").arg(name, label->text());
    }
    return faults;
}

}  // namespace

TEST(WindowScale, EveryControlStaysInItsPlaceFrom70To300PercentAndTheSizeIsRemembered) {
    const char* shots = std::getenv("BENCHLORD_SCREENSHOT_DIR");  // keeps the pictures if set
    {
        TWindowHarness h;
        TMainForm& f = *h.form;
        f.show();
        for (const double scale : {0.7, 1.0, 3.0}) {
            SCOPED_TRACE(scale);
            f.resize(static_cast<int>(880 * scale), static_cast<int>(512 * scale));
            QApplication::processEvents();
            ASSERT_DOUBLE_EQ(f.PanelScale(), scale);
            // The drawn controls take their size from the scale: digits and knobs are drawn
            // anew at it, not magnified.
            EXPECT_NEAR(f.SetPanel()->UKnob()->Diameter(), 64 * scale, 1.5);
            EXPECT_NEAR(f.SetPanel()->UsetReadout()->Seg(1)->height(), 52 * scale, 1.5);
            // So does the style's own check box.
            QCheckBox* box = f.ConnectionPanel()->AutoConnectSwitch();
            QStyleOptionButton check;
            check.initFrom(box);
            EXPECT_NEAR(
                box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &check, box).width(),
                14 * scale, 1.5);
            for (TCategoryPanel* side :
                 {f.ParamCategory(), f.PresetCategory(), f.ConnectionCategory(), f.OscCategory()}) {
                f.SideBar()->Expand(side);
                QApplication::processEvents();
                const QStringList faults = OutOfPlace(f);
                EXPECT_TRUE(faults.isEmpty())
                    << side->Caption().toStdString() << ": " << faults.join("; ").toStdString();
            }
            f.SideBar()->Expand(f.ConnectionCategory());
            QApplication::processEvents();
            if (shots)
                f.grab().save(QDir(shots).filePath(
                    QStringLiteral("issue-32-%1.png").arg(qRound(scale * 100))));
        }
        // A window wider than the panel's proportions: the panel keeps them, centred.
        f.resize(1600, 600);
        QApplication::processEvents();
        EXPECT_NEAR(f.PanelScale(), 600.0 / 512, 0.01);
        EXPECT_NEAR(f.FrontPanel()->geometry().center().x(), 800, 2);
        // Ctrl+0 back to 100 %, Ctrl++ one step up.
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        // Ctrl++ stops at the largest window that fits the screen's available area.
        const QRect area = f.screen()->availableGeometry();
        for (int k = 0; k < 10; ++k)
            QTest::keyClick(&f, Qt::Key_Equal, Qt::ControlModifier);
        EXPECT_GT(f.PanelScale(), 1.75);
        EXPECT_LE(f.frameGeometry().width(), area.width());
        EXPECT_LE(f.frameGeometry().height(), area.height());
        QTest::keyClick(&f, Qt::Key_0, Qt::ControlModifier);
        EXPECT_EQ(f.size(), QSize(880, 512));
        QTest::keyClick(&f, Qt::Key_Equal, Qt::ControlModifier);
        EXPECT_EQ(f.size(), QSize(1100, 640));
        EXPECT_DOUBLE_EQ(f.PanelScale(), 1.25);
        // Closing keeps the size for the next start.
        f.close();
        TMainFormOptions options;
        options.Settings = &h.settings;
        options.Presenter = &h.presenter;
        options.PortNotices = false;
        TMainForm again(options);
        EXPECT_EQ(again.size(), QSize(1100, 640));
        EXPECT_DOUBLE_EQ(again.PanelScale(), 1.25);
        // A size kept from a larger screen is cut to this one at start.
        h.settings.WriteInteger("WindowWidth", 2640);
        h.settings.WriteInteger("WindowHeight", 1536);
        TMainForm big(options);
        EXPECT_LE(big.width(), area.width());
        EXPECT_LE(big.height(), area.height());
    }
}
