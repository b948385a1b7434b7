#pragma once
// Recording stand-ins for the digits, LEDs, step control and cursor timer an indicator drives.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "controls/indicator.h"

namespace indicator_test {

class FakeDigit : public TIndicatorDigit {
public:
    void SetValue(uint32_t code) override {
        ++writes;
        value = code;
    }
    uint32_t Value() const override { return value; }
    void SetOnColor(TColor color) override { onColor = color; }
    void SetHandCursor(bool hand) override { handCursor = hand; }
    const void* Control() const override { return this; }

    uint32_t value = 0;
    TColor onColor = 0xFFFFFF;
    bool handCursor = false;
    int writes = 0;
};

class FakeLed : public TIndicatorLed {
public:
    void SetShown(bool on) override { shown = on; }
    void SetOnColor(TColor color) override { onColor = color; }

    bool shown = false;
    TColor onColor = 0xFFFFFF;
};

class FakeStepControl : public TIndicatorStepControl {
public:
    ~FakeStepControl() override {
        if (target) target->StepControlGone(this);
    }
    void SetRange(int32_t lo, int32_t hi) override {
        min = lo;
        max = hi;
    }
    void SetPosition(int32_t p) override { position = p; }
    void SetHandCursor(bool hand) override { handCursor = hand; }
    void SetStepTarget(TIndicator* t) override { target = t; }
    TIndicator* StepTarget() const override { return target; }
    void Click(bool up) {
        if (target) target->StepControlNotify(up);
    }

    int32_t min = 0, max = 100, position = 0;
    bool handCursor = false;
    TIndicator* target = nullptr;
};

class FakeTimer : public TIndicatorTimer {
public:
    void SetOnTick(std::function<void()> t) override { onTick = std::move(t); }
    void Start(int ms) override {
        interval = ms;
        running = true;
        ++starts;
    }
    void Stop() override { running = false; }
    bool Running() const override { return running; }
    // Delivers one tick as the event loop would, only while running.
    void Tick() {
        if (running && onTick) onTick();
    }

    std::function<void()> onTick;
    int interval = 0;
    int starts = 0;
    bool running = false;
};

// An indicator with six fake digits, two fake LEDs and a fake timer wired up.
struct Rig {
    explicit Rig(uint32_t minValue = 0, uint32_t maxValue = 9999, uint32_t dataLen = 4,
                 uint32_t pointPos = 3) {
        auto t = std::make_unique<FakeTimer>();
        timer = t.get();
        ind = std::make_unique<TIndicator>(minValue, maxValue, dataLen, pointPos, &cell,
                                           std::move(t));
        for (uint32_t i = 1; i <= 6; ++i)
            ind->Digit[i] = &digits[i];
        ind->PointLed[1] = &leds[1];
        ind->PointLed[2] = &leds[2];
    }
    // Digits DataLen..1 as text: '_' blank, '-' dash, else the digit.
    std::string Shown() const {
        std::string s;
        for (uint32_t i = ind->DataLen; i >= 1; --i) {
            const uint32_t v = digits[i].value;
            s += v == kDigitBlank ? '_' : v == kDigitDash ? '-' : v <= 9 ? char('0' + v) : 'E';
        }
        return s;
    }
    void Show(uint32_t value) {
        cell = value;
        ind->UpdateDigits();
    }

    uint32_t cell = 0;
    std::array<FakeDigit, 7> digits;
    std::array<FakeLed, 3> leds;
    FakeTimer* timer = nullptr;
    std::unique_ptr<TIndicator> ind;
};

// Keeps the process-wide active indicator from leaking between tests.
class IndicatorTest : public ::testing::Test {
protected:
    void SetUp() override { TIndicator::ResetActive(); }
    void TearDown() override { TIndicator::ResetActive(); }
};

}  // namespace indicator_test
