#pragma once
// The production cursor timer: a QTimer on the thread that creates it (the user-interface thread).

#include <QTimer>

#include "controls/indicator_parts.h"

class TQtIndicatorTimer : public TIndicatorTimer {
public:
    TQtIndicatorTimer();
    void SetOnTick(std::function<void()> onTick) override;
    void Start(int intervalMs) override;
    void Stop() override;
    bool Running() const override;

private:
    QTimer fTimer;
    std::function<void()> fOnTick;
};
