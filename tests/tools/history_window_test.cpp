// The History window: zoom, pan and follow with the mouse, and the three export formats, written
// through a symbolic link and refused for a special file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "session/session_history.h"
#include "tools/history_plot.h"
#include "tools/history_window.h"

namespace {

constexpr int64_t kStart = 1'700'000'000'000;

// Ten minutes at 10 readings a second, the last two at full rate, a trip in the middle.
TSessionHistory TenMinutes() {
    TSessionHistory h(120'000);
    for (int k = 0; k < 6000; ++k) {
        THistorySample s;
        s.Time = kStart + k * 100;
        s.Uout = static_cast<uint16_t>(500 + k % 100);
        s.Iout = 1234;
        s.Power = s.Uout * 12u;
        s.Output = k < 3000;
        s.Protect = k >= 3000 ? 1 : 0;
        h.Append(s);
    }
    return h;
}

void Wheel(QWidget* AWidget, QPoint APos, int ADelta) {
    QWheelEvent e(APos, AWidget->mapToGlobal(APos), {}, {0, ADelta}, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(AWidget, &e);
}

void Mouse(QWidget* AWidget, QEvent::Type AType, QPoint APos, Qt::MouseButtons AButtons) {
    QMouseEvent e(AType, APos, AWidget->mapToGlobal(APos), Qt::LeftButton, AButtons,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(AWidget, &e);
}

QStringList Lines(const QString& APath) {
    QFile f(APath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST(HistoryWindow, LabelsOfMarksThatFallTogetherAreStacked) {
    // "OFF" and "link lost" at one time, "ON" just after, a trip further on.
    EXPECT_EQ(MarkLabelRows({{10, 30}, {12, 20}, {60, 25}, {14, 10}}),
              (std::vector<int>{0, 1, 0, 2}));
}

TEST(HistoryWindow, WheelZoomsDragPansAndDoubleClickFollowsTheNewest) {
    const TSessionHistory h = TenMinutes();
    THistoryWindow w(h);
    w.resize(1000, 600);
    w.show();
    THistoryPlot* plot = w.Plot();
    plot->ShowAll();
    EXPECT_EQ(plot->From(), kStart);
    EXPECT_EQ(plot->To(), h.LastTime() + 1);
    EXPECT_TRUE(plot->Following());

    // Zoom in around the middle: the time under the mouse stays where it was.
    const QRect area = plot->PlotRect();
    const QPoint middle(area.center().x(), area.center().y());
    const int64_t anchor = plot->TimeAtX(middle.x());
    Wheel(plot, middle, 240);
    EXPECT_FALSE(plot->Following());
    const int64_t span = plot->To() - plot->From();
    EXPECT_NEAR(static_cast<double>(span), 600'000 / 1.5625, 1000);
    EXPECT_NEAR(static_cast<double>(plot->TimeAtX(middle.x())), static_cast<double>(anchor),
                static_cast<double>(span) / area.width() + 1);

    // Drag a quarter of the width to the right: the view moves a quarter of its span back.
    const int64_t from = plot->From();
    Mouse(plot, QEvent::MouseButtonPress, middle, Qt::LeftButton);
    Mouse(plot, QEvent::MouseMove, middle + QPoint(area.width() / 4, 0), Qt::LeftButton);
    Mouse(plot, QEvent::MouseButtonRelease, middle + QPoint(area.width() / 4, 0), Qt::NoButton);
    EXPECT_NEAR(static_cast<double>(from - plot->From()), span / 4.0, span / 100.0);
    EXPECT_EQ(plot->To() - plot->From(), span);

    // A double click keeps the zoom and follows the newest reading.
    Mouse(plot, QEvent::MouseButtonDblClick, middle, Qt::LeftButton);
    EXPECT_TRUE(plot->Following());
    EXPECT_EQ(plot->To(), h.LastTime() + 1);
    EXPECT_EQ(plot->To() - plot->From(), span);

    // The picture shows the trip mark where the trip happened.
    const QImage picture = plot->grab().toImage();
    const int tripX = area.left() + static_cast<int>((kStart + 300'000 - plot->From()) *
                                                     area.width() / (plot->To() - plot->From()));
    int marked = 0;
    for (int x = tripX - 2; x <= tripX + 2; ++x)
        marked += picture.pixelColor(x, area.center().y()) == QColor(0xD0, 0x10, 0x10);
    EXPECT_GT(marked, 0) << "no trip mark at x " << tripX;
}

TEST(HistoryWindow, ExportsVisibleOrAllAsCsvXlsxAndPngThroughLinksNotIntoSpecialFiles) {
    const TSessionHistory h = TenMinutes();
    THistoryWindow w(h);
    w.CurrentDecimals = [] { return 3; };
    w.resize(900, 500);
    w.show();
    QTemporaryDir dir;

    // Whole history: the thinned seconds with their range, then the full-rate readings.
    ASSERT_EQ(w.ExportTo(dir.filePath("all.csv"), false), "");
    QStringList lines = Lines(dir.filePath("all.csv"));
    ASSERT_EQ(lines.size(), 1 + 480 + 1201);
    EXPECT_EQ(lines[0],
              "time,uout,iout,power,mode,protect,output,uout_min,uout_max,iout_min,iout_max,"
              "power_min,power_max");
    // Second 0 holds readings 0..9: 5.00 .. 5.09 V, mean 5.045 shown as 5.05 (or 5.04).
    EXPECT_TRUE(lines[1].contains(",1.234,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(",5.00,5.09,1.234,1.234,60.00,61.08")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains("T") && lines[1].section(',', 0, 0).contains('.'));
    EXPECT_TRUE(lines.last().endsWith(",OVP,0,,,,,,")) << lines.last().toStdString();

    // Visible stretch: the last minute only.
    w.Plot()->ShowRange(h.LastTime() - 59'999, h.LastTime() + 1);
    ASSERT_EQ(w.ExportTo(dir.filePath("visible.csv"), true), "");
    EXPECT_EQ(Lines(dir.filePath("visible.csv")).size(), 1 + 600);

    // A workbook and a picture.
    ASSERT_EQ(w.ExportTo(dir.filePath("all.xlsx"), false), "");
    QFile book(dir.filePath("all.xlsx"));
    ASSERT_TRUE(book.open(QIODevice::ReadOnly));
    EXPECT_EQ(book.read(2), "PK");
    ASSERT_EQ(w.ExportTo(dir.filePath("plot.png"), true), "");
    const QImage png(dir.filePath("plot.png"));
    EXPECT_EQ(png.size(), w.Plot()->size());

    // Through a link: the file it names is replaced, the link stays.
    ASSERT_TRUE(QFile::link(dir.filePath("target.csv"), dir.filePath("link.csv")));
    ASSERT_EQ(w.ExportTo(dir.filePath("link.csv"), true), "");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.csv")).isSymLink());
    EXPECT_EQ(Lines(dir.filePath("target.csv")).size(), 1 + 600);

    // A pipe is never opened for writing.
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe.csv")).constData(), 0600), 0);
    EXPECT_TRUE(w.ExportTo(dir.filePath("pipe.csv"), true).contains("not a regular file"));
}

}  // namespace
