#pragma once
// In demo mode the terminal the program was started from is the virtual supply's console: each
// line typed there ("load 4.7", "trip ovp", "help") runs against the supply as in benchlord-sim,
// so the window can be watched reacting to a changing load or a tripped protection. Only when
// standard input is a terminal; the lines are read on the UI thread as they arrive.

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class VirtualSupply;

class TDemoConsole : public QObject {
public:
    explicit TDemoConsole(VirtualSupply& ASupply, QObject* AParent = nullptr);

private:
    void ReadInput();

    VirtualSupply& fSupply;
    QSocketNotifier* fNotifier = nullptr;
    QByteArray fPending;
};
