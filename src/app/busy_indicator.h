#pragma once
// The busy indicator next to the connect button: a rotating sector while a connection is being
// made, moving dots while waiting for a removed port to come back. It animates only while running.

#include <QTimer>
#include <QWidget>

#include "session/session_view.h"

class TBusyIndicator : public QWidget {
public:
    static constexpr int kFrameMs = 80;
    static constexpr int kFrames = 12;

    explicit TBusyIndicator(QWidget* AParent);

    void SetRunning(bool ARunning);
    bool Running() const { return fRunning; }
    void SetAnimation(TBusyAnimation AAnimation);
    TBusyAnimation Animation() const { return fAnimation; }
    int Frame() const { return fFrame; }

    QSize sizeHint() const override { return {22, 22}; }

protected:
    void paintEvent(QPaintEvent* AEvent) override;

private:
    QTimer fTimer;
    bool fRunning = false;
    TBusyAnimation fAnimation = baSector;
    int fFrame = 0;
};
