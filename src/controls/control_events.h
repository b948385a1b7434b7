#pragma once
// Event types of the drawn controls. Each event is one callback that receives the sender first;
// an owner assigns at most one handler per event.

#include <QObject>
#include <QPoint>
#include <functional>

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent =
    std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
// Handled starts false; a handler that consumes the wheel sets it, otherwise the wheel goes on to
// the parent.
using TMouseWheelEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift,
                                            int WheelDelta, QPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift,
                                                  QPoint MousePos, bool& Handled)>;
