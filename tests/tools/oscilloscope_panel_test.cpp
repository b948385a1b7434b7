// The "Oscilloscope" panel's control rules and the picture's PNG export, without a session.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include "controls/up_down_buttons.h"
#include "tools/oscilloscope_panel.h"
#include "tools/trend_view.h"

TEST(OscilloscopePanel, ScaleClicksLeaveAutoAndRedrawTheFrozenRingOnce) {
    TOscilloscopePanel osc;
    bool connected = false;
    osc.IsConnected = [&] { return connected; };
    EXPECT_TRUE(osc.VoltAuto()->isChecked());
    EXPECT_FALSE(osc.VshiftUpDown()->isEnabled());

    // Clicking volts per division: one step, volts "Auto" off, the offset usable again.
    const int draws = osc.DrawCount();
    osc.VUpDown()->Step(updUp);
    EXPECT_FALSE(osc.VoltAuto()->isChecked());
    EXPECT_TRUE(osc.VshiftUpDown()->isEnabled());
    EXPECT_TRUE(osc.AmperAuto()->isChecked());
    EXPECT_FALSE(osc.AshiftUpDown()->isEnabled());
    // Disconnected: the redraw comes through the event loop, once for several changes.
    osc.VshiftUpDown()->Step(updDown);
    osc.VshiftUpDown()->Step(updDown);
    EXPECT_EQ(osc.DrawCount(), draws);
    QCoreApplication::processEvents();
    EXPECT_EQ(osc.DrawCount(), draws + 1);
    EXPECT_EQ(osc.Settings().VoltDiv, 1);
    EXPECT_EQ(ScaleOf(osc.Settings()).VoltOffset, -200);

    // "Auto" on again: offset back to zero and disabled.
    osc.VoltAuto()->click();
    EXPECT_EQ(osc.Settings().VoltShift, kVoltShiftZero);
    EXPECT_FALSE(osc.VshiftUpDown()->isEnabled());
    EXPECT_EQ(osc.VshiftUpDown()->Position(), kVoltShiftZero);

    // Connected and running, the next tick draws: no queued redraw.
    connected = true;
    QCoreApplication::processEvents();
    const int running = osc.DrawCount();
    osc.AUpDown()->Step(updDown);
    QCoreApplication::processEvents();
    EXPECT_EQ(osc.DrawCount(), running);
    EXPECT_FALSE(osc.AmperAuto()->isChecked());
    osc.Tick(500, 20, 1);
    EXPECT_EQ(osc.DrawCount(), running + 1);
    EXPECT_EQ(osc.Model().OscIdx(), 1);

    // On "Hold" a tick takes no sample; "Reset Shift" redraws through the queue.
    osc.RunSwitch()->click();
    EXPECT_EQ(osc.RunSwitch()->text(), "Hold");
    osc.AshiftUpDown()->Step(updUp);
    QCoreApplication::processEvents();
    osc.Tick(500, 20, 1);
    EXPECT_EQ(osc.Model().OscIdx(), 1);
    osc.ResetShift()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(osc.Settings().AmpShift, kAmpShiftZero);
    EXPECT_EQ(osc.Settings().VoltShift, kVoltShiftZero);

    // Run clears; a connect on "Hold" clears and runs.
    osc.RunSwitch()->click();
    EXPECT_EQ(osc.Model().OscIdx(), 0);
    osc.Tick(500, 20, 1);
    osc.RunSwitch()->click();
    osc.ResetRun();
    EXPECT_TRUE(osc.Settings().Run);
    EXPECT_EQ(osc.Model().OscIdx(), 0);
}

TEST(TrendView, SavesThePictureDoubledAndReportsAFileThatCannotBeWritten) {
    TOscilloscopePanel osc;
    TTrendView view;
    osc.SetView(&view);
    for (int k = 0; k < 100; ++k)
        osc.Tick(300 + 5 * (k % 20), 40, 1);
    QTemporaryDir dir;
    const QString path = dir.filePath("trend");
    ASSERT_TRUE(view.SavePicture(path));
    QImage saved(path + ".png");
    ASSERT_EQ(saved.size(), QSize(640, 440));
    const QImage& picture = osc.Picture();
    for (int y = 0; y < 220; y += 3)
        for (int x = 0; x < 320; x += 3)
            ASSERT_EQ(saved.pixel(2 * x + 1, 2 * y + 1), picture.pixel(x, y)) << x << "," << y;
    // Through a symbolic link the link stays and its target takes the picture.
    const QString link = dir.filePath("link.png");
    ASSERT_EQ(::symlink("trend.png", QFile::encodeName(link).constData()), 0);
    ASSERT_TRUE(QFile::remove(path + ".png"));
    ASSERT_TRUE(view.SavePicture(link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QImage(path + ".png").size(), QSize(640, 440));

    QStringList errors;
    view.OnError = [&](const QString& AText) { errors << AText; };
    const QString blocked = dir.filePath("no-such-folder/trend.png");
    EXPECT_FALSE(view.SavePicture(blocked));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Cannot save the picture to")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("no-such-folder")) << errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(blocked));
}
