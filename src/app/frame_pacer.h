#pragma once
// Paces display updates: each kind of update (a key, one per control or group of controls)
// reaches the screen at most once per frame of 40 ms. An update whose key has been quiet for a
// frame is applied at once; a faster one waits for the end of its key's frame, where only the
// latest waiting update of the key is applied. Readings faster than the frame rate thus cost one
// screen update per frame and control, and the last value always shows.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

class TFramePacer : public QObject {
public:
    static constexpr int kFrameMs = 40;  // 25 updates per second and key

    explicit TFramePacer(QObject* AParent = nullptr);

    // Applies AApply now or at the end of the key's frame (replacing one waiting there).
    void Post(int AKey, std::function<void()> AApply);
    // Applies everything waiting now.
    void Flush();
    bool Pending() const;

private:
    struct TSlot {
        qint64 LastMs = -kFrameMs;
        std::function<void()> Waiting;
    };
    void FrameEnd();
    void Schedule();

    QElapsedTimer fClock;
    QTimer fTimer;
    std::map<int, TSlot> fSlots;
};
