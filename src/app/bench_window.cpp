#include "app/bench_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "app/bench_row.h"
#include "app/message_presenter.h"
#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "session/link_choice.h"
#include "session/session_core.h"
#include "tools/core/readings_csv.h"

// A supply's boxes: while its panel is hidden they become lines of the bench's messages, so
// that one supply's lost link never holds the window (and the other supplies) behind a box.
class TBenchWindow::TSupplyPresenter : public TMessagePresenter {
public:
    TSupplyPresenter(TBenchWindow& AWindow, int AIndex) : fWindow(AWindow), fIndex(AIndex) {}
    void Error(QWidget* AOwner, const QString& AText) override {
        fWindow.fConnecting[fIndex] = false;
        if (PanelShown())
            Base().Error(AOwner, AText);
        else
            Tell(AText);
        fWindow.ShowRow(fIndex);
    }
    void Information(QWidget* AOwner, const QString& AText) override {
        if (PanelShown())
            Base().Information(AOwner, AText);
        else
            Tell(AText);
    }
    bool Confirm(QWidget* AOwner, const QString& AText) override {
        return Base().Confirm(AOwner, AText);
    }
    void RetextError(const QString& AText) override { Base().RetextError(AText); }

private:
    bool PanelShown() const {
        return fIndex < static_cast<int>(fWindow.fPanels.size()) &&
               fWindow.fPanels[fIndex]->isVisible();
    }
    TMessagePresenter& Base() const {
        return fWindow.fOptions.Presenter ? *fWindow.fOptions.Presenter : AppMessagePresenter();
    }
    void Tell(const QString& AText) {
        // Operator texts separate lines with "\r".
        QString text = AText;
        text.replace('\r', ' ');
        fWindow.AddMessage(fWindow.fBench->Supply(fIndex).Name + ": " + text.simplified());
    }
    TBenchWindow& fWindow;
    int fIndex;
};

QString BenchSettingsPath(const QString& ABase, const QString& AName) {
    const QFileInfo info(ABase);
    QString name = BenchColumnPrefix(AName);
    // A name may hold characters a file name should not.
    for (QChar& c : name)
        if (c == '/' || c == '\\' || c.unicode() < 0x20) c = '_';
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-bench-") + name +
                               QStringLiteral(".ini"));
}

TBenchWindow::TBenchWindow(TBenchFile ABench, const TBenchWindowOptions& AOptions, QWidget* AParent)
    : QWidget(AParent),
      fOptions(AOptions),
      fBench(std::make_unique<TBenchCore>(std::move(ABench))) {
    setObjectName(QStringLiteral("BenchWindow"));
    setWindowTitle(QStringLiteral("Benchlord bench"));
    const QString base =
        fOptions.SettingsBase.isEmpty() ? TSettingsStore().FilePath() : fOptions.SettingsBase;
    const int count = fBench->Count();
    fConnecting.assign(count, false);
    for (int i = 0; i < count; ++i) {
        fSettings.push_back(
            std::make_unique<TSettingsStore>(BenchSettingsPath(base, fBench->Supply(i).Name)));
        fPresenters.push_back(std::make_unique<TSupplyPresenter>(*this, i));
        TMainFormOptions form = fOptions.Form;
        form.Settings = fSettings.back().get();
        form.Presenter = fPresenters.back().get();
        form.HideOnClose = true;
        auto panel = std::make_unique<TMainForm>(form);
        // The pop-ups in the program's creation order, tool windows of their panel.
        auto* enterForm2 = new TEnterForm2(panel.get());
        panel->AdvancedForm();
        auto* enterForm = new TEnterForm(panel.get());
        panel->SetEntryPopups(enterForm, enterForm2);
        // Attached before the session connects, so that the bench sees its start.
        fBench->Attach(i, panel->Session());
        fPanels.push_back(std::move(panel));
    }
    BuildRows();
    // Readings come as fast as each link gives them (a couple of hundred a second); a row is
    // shown again at most once per frame, with the newest state.
    fDirty.assign(fBench->Count(), false);
    fRowTimer.setSingleShot(true);
    fRowTimer.setInterval(kRowFrameMs);
    connect(&fRowTimer, &QTimer::timeout, this, [this] {
        for (int i = 0; i < static_cast<int>(fDirty.size()); ++i)
            if (fDirty[i]) ShowRow(i);
    });
    connect(fBench.get(), &TBenchCore::SupplyChanged, this, [this](int AIndex) {
        fConnecting[AIndex] = false;
        fDirty[AIndex] = true;
        if (!fRowTimer.isActive()) fRowTimer.start();
    });
    connect(fBench.get(), &TBenchCore::TrackingChanged, this, [this](int APair, bool) {
        const TBenchTrack& t = fBench->Bench().Tracks[APair];
        ShowRow(fBench->Bench().IndexOf(t.Follower));
        ShowRow(fBench->Bench().IndexOf(t.Leader));
    });
    connect(fBench.get(), &TBenchCore::Message, this, &TBenchWindow::AddMessage);
    connect(fBench.get(), &TBenchCore::StepStarted, this, [this](int AIndex, bool AOn) {
        fStatus->setText(
            QStringLiteral("Switching %1 %2").arg(fBench->Supply(AIndex).Name, AOn ? "on" : "off"));
    });
    connect(fBench.get(), &TBenchCore::SequenceEnded, this,
            [this](bool AOn, TBenchFault AFault, const QString& AMessage) {
                if (AFault == TBenchFault::None) {
                    fStatus->setText(AOn ? QStringLiteral("All on") : QStringLiteral("All off"));
                } else {
                    fStatus->setText(AMessage);
                    AddMessage(AMessage);
                }
            });
}

TBenchWindow::~TBenchWindow() {
    // The panels (and their sessions) go before the bench core and the presenters they use.
    fPanels.clear();
}

void TBenchWindow::BuildRows() {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    fAllOn = new QPushButton(QStringLiteral("All on"));
    fAllOn->setObjectName(QStringLiteral("AllOn"));
    fAllOff = new QPushButton(QStringLiteral("All off"));
    fAllOff->setObjectName(QStringLiteral("AllOff"));
    // The switching order with the delays, as "All on" runs it ("All off" runs it backwards).
    QStringList order;
    for (int index : fBench->Bench().SwitchingOrder()) {
        const TBenchSupply& s = fBench->Supply(index);
        order << (s.DelayMs ? QStringLiteral("%1 s, %2").arg(TrimmedUnits(s.DelayMs, 3), s.Name)
                            : s.Name);
    }
    fAllOn->setToolTip(QStringLiteral("On in order: ") + order.join(", "));
    fAllOff->setToolTip(QStringLiteral("Off in the reverse order, with the same delays"));
    buttons->addWidget(fAllOn);
    buttons->addWidget(fAllOff);
    auto* orderLabel = new QLabel(QStringLiteral("Order: ") + order.join(QStringLiteral(" > ")));
    orderLabel->setObjectName(QStringLiteral("BenchOrder"));
    buttons->addWidget(orderLabel, 1);
    fStatus = new QLabel;
    fStatus->setObjectName(QStringLiteral("BenchStatus"));
    buttons->addWidget(fStatus);
    layout->addLayout(buttons);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    const QStringList headings = TBenchRow::Headings();
    for (int c = 0; c < headings.size(); ++c) {
        auto* heading = new QLabel(headings[c]);
        heading->setObjectName(QStringLiteral("BenchHeading"));
        grid->addWidget(heading, 0, c);
    }
    for (int i = 0; i < fBench->Count(); ++i) {
        const TBenchSupply& s = fBench->Supply(i);
        const QString place =
            s.DelayMs ? QStringLiteral("%1 (%2 s)").arg(s.Order).arg(TrimmedUnits(s.DelayMs, 3))
                      : QString::number(s.Order);
        auto* row = new TBenchRow(s.Name, place, *grid, i + 1, this);
        connect(row, &TBenchRow::SwitchClicked, this, [this, i](bool AOn) {
            const QString refused = fBench->Switch(i, AOn);
            if (!refused.isEmpty()) AddMessage(refused);
        });
        connect(row, &TBenchRow::SetPointsEntered, this, [this, i](uint32_t AUset, uint32_t AIset) {
            // A refusal comes as the bench's message; the row shows the set points as read.
            fBench->SetPoints(i, AUset, AIset);
            ShowRow(i);
        });
        connect(row, &TBenchRow::PanelClicked, this, [this, i] { OpenPanel(i); });
        fRows.push_back(row);
    }
    layout->addLayout(grid);
    fMessages = new QListWidget;
    fMessages->setObjectName(QStringLiteral("BenchMessages"));
    fMessages->setMaximumHeight(110);
    layout->addWidget(fMessages);
    for (const QString& text : std::exchange(fPending, {}))
        AddMessage(text);

    connect(fAllOn, &QPushButton::clicked, this, [this] {
        const QString refused = fBench->AllOn();
        if (!refused.isEmpty()) AddMessage(refused);
    });
    connect(fAllOff, &QPushButton::clicked, this, [this] {
        const QString refused = fBench->AllOff();
        if (!refused.isEmpty()) AddMessage(refused);
    });
    for (int i = 0; i < fBench->Count(); ++i)
        ShowRow(i);
}

void TBenchWindow::ConnectAll() {
    for (int i = 0; i < fBench->Count(); ++i)
        Connect(i);
}

void TBenchWindow::Connect(int AIndex) {
    const TBenchLink& link = fBench->Supply(AIndex).Link;
    TMainForm& panel = *fPanels[AIndex];
    TSessionCore& session = panel.Session();
    const QString& name = fBench->Supply(AIndex).Name;
    if (link.Tcp()) {
        QString error;
        const QString address = ResolveIPv4(link.TcpHost, &error);
        if (address.isEmpty()) {
            AddMessage(name + ": cannot connect: " + error);
            return;
        }
        fConnecting[AIndex] = true;
        panel.ConnectTcp(address, link.TcpPort, link.Addr);
    } else {
        // A device path (a pseudo-terminal, a by-id link) or a port the system does not list is
        // listed as an extra port, as on the command line.
        const QString path = SerialPath(link.Port);
        session.FillPortList();
        if (FindPortIndex(session.SerialPortList(), link.Port) < 0 &&
            !ExtraPorts().contains(path)) {
            AddExtraPort(path);
            session.FillPortList();
        }
        const int index = FindPortIndex(session.SerialPortList(), link.Port);
        if (index < 0) {
            AddMessage(name + ": cannot connect: no port " + link.Port);
            return;
        }
        fConnecting[AIndex] = true;
        panel.ConnectSerial(index, BaudIndexOf(link.Baud), link.Addr);
    }
    ShowRow(AIndex);
}

QString TBenchWindow::TrackingText(int AIndex) const {
    QStringList texts;
    const std::vector<TBenchTrack>& tracks = fBench->Bench().Tracks;
    for (size_t p = 0; p < tracks.size(); ++p) {
        const TBenchTrack& t = tracks[p];
        const QString ended =
            fBench->Tracking(static_cast<int>(p)) ? QString() : QStringLiteral(" (ended)");
        if (fBench->Bench().IndexOf(t.Follower) == AIndex)
            texts << QStringLiteral("follows %1 x %2%3%4")
                         .arg(t.Leader, TrimmedUnits(t.FactorMicros, 6),
                              t.Current ? QStringLiteral(", current too") : QString(), ended);
        if (fBench->Bench().IndexOf(t.Leader) == AIndex)
            texts << QStringLiteral("leads %1%2").arg(t.Follower, ended);
    }
    return texts.join(QStringLiteral("; "));
}

void TBenchWindow::ShowRow(int AIndex) {
    if (AIndex < 0 || AIndex >= static_cast<int>(fRows.size())) return;
    if (AIndex < static_cast<int>(fDirty.size())) fDirty[AIndex] = false;
    const TSessionCore* session = fBench->Session(AIndex);
    TBenchRowState state;
    const bool connected = fBench->Connected(AIndex);
    if (connected)
        state.Link = QStringLiteral("connected");
    else if (fBench->Lost(AIndex))
        state.Link = QStringLiteral("lost");
    else if (fConnecting[AIndex])
        state.Link = QStringLiteral("connecting");
    else
        state.Link = QStringLiteral("not connected");
    if (session) {
        const TReading& r = session->LastReading();
        const TModelLimits& limits = session->Limits();
        // The identified model as the title names it ("DPS5015 ver. 4.5" shows "DPS5015").
        if (r.Number > 0) state.Model = session->Title().section(' ', 0, 0);
        state.Live = connected && r.Number > 0;
        const int decimals = CurrentDecimalsOf(limits.CurrentDiv);
        const double amps = decimals == 3 ? 1000.0 : 100.0;
        state.Uout = QString::number(r.Uout / 100.0, 'f', 2) + " V";
        state.Iout = QString::number(r.Iout / amps, 'f', decimals) + " A";
        state.Power = QString::number(r.Power / 100.0, 'f', 2) + " W";
        state.Mode = ReadingRowOf(r).ConstantCurrent ? QStringLiteral("CC") : QStringLiteral("CV");
        state.Protection = ProtectionName(r.Protect);
        state.Tripped = r.Protect != 0;
        state.OutputOn = r.OnOff != 0;
        state.Uset = r.Uset;
        state.Iset = r.Iset;
        state.MaxUset = limits.MaxUset;
        state.MaxIset = limits.MaxIset;
        state.CurrentDecimals = decimals;
        const int pair = fBench->PairOfFollower(AIndex);
        state.Editable = state.Live && (pair < 0 || !fBench->Tracking(pair));
    }
    state.Tracking = TrackingText(AIndex);
    fRows[AIndex]->Show(state);
}

void TBenchWindow::AddMessage(const QString& AText) {
    if (AText.isEmpty()) return;
    // A panel may tell something while it is being made, before the list exists.
    if (!fMessages) {
        fPending << AText;
        return;
    }
    // A protective switch-off may be told by the bench and by the sequence it stopped.
    if (fMessages->count() > 0 && fMessages->item(fMessages->count() - 1)->text() == AText) return;
    fMessages->addItem(AText);
    // The list keeps the newest lines.
    while (fMessages->count() > 200)
        delete fMessages->takeItem(0);
    fMessages->scrollToBottom();
}

void TBenchWindow::OpenPanel(int AIndex) {
    TMainForm& panel = *fPanels[AIndex];
    panel.show();
    panel.raise();
    panel.activateWindow();
}

void TBenchWindow::closeEvent(QCloseEvent* AEvent) {
    if (!fClosed) {
        // Every supply's session ends as its own window's would.
        for (auto& panel : fPanels)
            panel->Shutdown();
        fClosed = true;
    }
    AEvent->accept();
}
