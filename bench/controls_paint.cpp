// Cost of drawing the front-panel controls: one 98 x 98 knob and one 33 x 49 digit rendered into
// an image many times, and the paints that 1000 identical value writes cause (none may follow
// the first). Baseline: copying a ready 98 x 98 picture into the same image, the least any
// repaint can cost. Run with QT_QPA_PLATFORM=offscreen (set automatically when unset).

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <functional>

#include "bench/bench_timing.h"
#include "controls/knob.h"
#include "controls/led.h"
#include "controls/rot_img.h"
#include "controls/seven_segment_display.h"

namespace {

using benchtiming::MicrosPerCall;

void SetUpVoltageKnob(TLN_Knob& k) {
    k.resize(98, 98);
    k.UpdateMinMax(10, 5100);
    k.SetColor(TColorFromRGB(0x80, 0x80, 0x80));
    k.SetTransparent(true);
    k.SetIndicatorType(it_Circle);
    k.SetLineLength(12);
    k.SetOnColor(TColorFromRGB(0xFF, 0x86, 0x0D));
    k.SetLedOn(true);
}

void SetUpDigit(TdsSevenSegmentDisplay& d) {
    d.resize(33, 49);
    d.SetBackColor(0);
    d.SetOffColor(TColorFromRGB(0x20, 0x20, 0x20));
    d.SetOnColor(TColorFromRGB(0, 0xFF, 0));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kIterations = 2000;

    QImage target(98, 98, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::black);

    TLN_Knob knob;
    SetUpVoltageKnob(knob);
    knob.render(&target);  // builds the face picture once
    const QImage ready = knob.grab().toImage();

    const double blit = MicrosPerCall(kIterations, [&](int) {
        QPainter p(&target);
        p.drawImage(0, 0, ready);
    });
    // Every iteration moves the knob, so each render composes the whole picture anew.
    const double knobCompose = MicrosPerCall(kIterations, [&](int i) {
        knob.UpdatePosition(10 + (i * 7) % 5000);
        knob.render(&target);
    });
    // The part of a composition spent turning the face picture.
    const QImage face = KnobFacePicture(98, TColorFromRGB(0x80, 0x80, 0x80));
    const double rotation = MicrosPerCall(
        kIterations, [&](int i) { (void)RotImg(face, i % 360, QRectF(2, 2, 94, 94)); });
    // Nothing changed: the composed picture is only copied.
    const double knobCached = MicrosPerCall(kIterations, [&](int) { knob.render(&target); });

    TdsSevenSegmentDisplay digit;
    SetUpDigit(digit);
    QImage digitTarget(33, 49, QImage::Format_ARGB32_Premultiplied);
    const double digitRender = MicrosPerCall(kIterations, [&](int i) {
        digit.SetValue(static_cast<uint32_t>(i % 10));
        digit.render(&digitTarget);
    });

    // Paints caused by 1000 identical writes to shown controls.
    QWidget panel;
    panel.resize(300, 120);
    auto* shownKnob = new TLN_Knob(&panel);
    SetUpVoltageKnob(*shownKnob);
    auto* shownDigit = new TdsSevenSegmentDisplay(&panel);
    SetUpDigit(*shownDigit);
    shownDigit->move(110, 0);
    auto* shownLed = new TdsLed(&panel);
    shownLed->move(160, 0);
    panel.show();
    QCoreApplication::processEvents();
    shownKnob->UpdatePosition(2000);
    shownDigit->SetValue(7);
    shownLed->SetLedOn(true);
    QCoreApplication::processEvents();  // the first write paints
    const uint64_t k0 = shownKnob->Compositions(), d0 = shownDigit->PaintCount(),
                   l0 = shownLed->PaintCount();
    for (int i = 0; i < 1000; ++i) {
        shownKnob->UpdatePosition(2000);
        shownDigit->SetValue(7);
        shownLed->SetLedOn(true);
        QCoreApplication::processEvents();
    }
    const uint64_t knobPaints = shownKnob->Compositions() - k0;
    const uint64_t digitPaints = shownDigit->PaintCount() - d0;
    const uint64_t ledPaints = shownLed->PaintCount() - l0;

    std::printf("baseline: copy a ready 98x98 picture      %8.2f us\n", blit);
    std::printf("knob 98x98, composed anew each time        %8.2f us  (%.1fx baseline)\n",
                knobCompose, knobCompose / blit);
    std::printf("  of which turning the face (RotImg)       %8.2f us  (%.1fx baseline)\n", rotation,
                rotation / blit);
    std::printf("knob 98x98, unchanged (cached picture)     %8.2f us  (%.1fx baseline)\n",
                knobCached, knobCached / blit);
    std::printf("digit 33x49, new value each time           %8.2f us  (%.1fx baseline)\n",
                digitRender, digitRender / blit);
    std::printf("paints after 1000 identical writes: knob %llu, digit %llu, led %llu\n",
                static_cast<unsigned long long>(knobPaints),
                static_cast<unsigned long long>(digitPaints),
                static_cast<unsigned long long>(ledPaints));
    return (knobPaints == 0 && digitPaints == 0 && ledPaints == 0) ? 0 : 1;
}
