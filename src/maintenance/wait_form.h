#pragma once
// The wait window shown while the supply lowers its output by itself after the high output
// voltage calibration point: borderless, always on top, centred on its owner, a large
// "Please WAIT" and a bar counting down from 30 once a second. It closes when the bar reaches 0
// or as soon as the output voltage reads more than 1.00 V below its value when the window was
// made (checked at every tick and whenever Check is called, e.g. on each live reading).

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <functional>

class QProgressBar;

class TWaitForm : public QDialog {
public:
    static constexpr int kSeconds = 30;

    // AUout reads the output voltage (0.01 V); ATickMs is the bar's step (1000; tests shorten).
    TWaitForm(QWidget* AOwner, std::function<uint32_t()> AUout, int ATickMs = 1000);

    // Shows the window modally until it closes.
    void Wait();
    // Closes the window early when the output has fallen.
    void Check();

    uint32_t StartUout() const { return fUout; }
    int Position() const;
    QProgressBar* Bar() const { return fBar; }

private:
    void Tick();

    std::function<uint32_t()> fReadUout;
    uint32_t fUout;
    QProgressBar* fBar;
    QTimer fTimer;
};
