#pragma once
// The bench window: one row per supply of a bench, "All on" and "All off", and the bench's
// messages. Every supply has a full panel of its own (a main window, hidden until its row's
// "Panel..." button opens it) whose session core, with its own link, lost-link handling and
// reconnection, the bench core drives. The window shows what the bench core and the sessions
// tell and forwards the user's actions to the bench core; it decides nothing itself.

#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "tools/core/bench_core.h"

class QLabel;
class QListWidget;
class QPushButton;
class TBenchRow;
class TMessagePresenter;

struct TBenchWindowOptions {
    // Every supply's panel is made with these; its Settings and Presenter are its own.
    TMainFormOptions Form{};
    // The settings file from which the supplies' own files are named (BenchSettingsPath);
    // empty: the user's.
    QString SettingsBase;
    // Message boxes of a visible panel, and the questions; null: the application's presenter.
    TMessagePresenter* Presenter = nullptr;
};

// The settings file of the bench's supply named AName beside ABase ("DPS.ini" gives
// "DPS-bench-+12V.ini" for "+12 V"): a supply's port, colours and window size are its own.
QString BenchSettingsPath(const QString& ABase, const QString& AName);

class TBenchWindow : public QWidget {
    Q_OBJECT
public:
    explicit TBenchWindow(TBenchFile ABench, const TBenchWindowOptions& AOptions = {},
                          QWidget* AParent = nullptr);
    ~TBenchWindow() override;

    // Connects every supply over its link (a link that cannot be had is told as a message).
    void ConnectAll();

    TBenchCore& Bench() { return *fBench; }
    int Count() const { return fBench->Count(); }
    TMainForm& Panel(int AIndex) { return *fPanels[AIndex]; }
    TBenchRow& Row(int AIndex) { return *fRows[AIndex]; }
    QPushButton* AllOnButton() const { return fAllOn; }
    QPushButton* AllOffButton() const { return fAllOff; }
    QListWidget* Messages() const { return fMessages; }
    QLabel* Status() const { return fStatus; }

    // Adds a line to the messages (newest last).
    void AddMessage(const QString& AText);
    void OpenPanel(int AIndex);

protected:
    void closeEvent(QCloseEvent* AEvent) override;

private:
    class TSupplyPresenter;

    void BuildRows();
    void ShowRow(int AIndex);
    void Connect(int AIndex);
    QString TrackingText(int AIndex) const;

    TBenchWindowOptions fOptions;
    std::unique_ptr<TBenchCore> fBench;
    std::vector<std::unique_ptr<TSettingsStore>> fSettings;
    std::vector<std::unique_ptr<TSupplyPresenter>> fPresenters;
    std::vector<std::unique_ptr<TMainForm>> fPanels;
    std::vector<TBenchRow*> fRows;
    std::vector<bool> fConnecting;
    // Rows whose supply changed since they were shown; shown together when fRowTimer fires.
    static constexpr int kRowFrameMs = 40;
    std::vector<bool> fDirty;
    QTimer fRowTimer;
    QPushButton* fAllOn = nullptr;
    QPushButton* fAllOff = nullptr;
    QLabel* fStatus = nullptr;
    QListWidget* fMessages = nullptr;
    QStringList fPending;  // messages told before the list was made
    bool fClosed = false;
};
