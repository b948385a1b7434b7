#pragma once
// The session logic of the main window, without widgets: it owns the Modbus master, the serial
// and TCP connectors and the job scheduler, holds the device state records, and tells a
// TSessionView what to show. The view forwards the user's actions to the handler methods below
// (named after the window's controls). Everything runs on the user-interface thread.
//
// Extension points for presets, parameters, calibration and the firmware update: the record
// accessors, the request helpers (ReadRegisters / WriteRegister / WriteRegisters) and the
// extension events fOnMemoryRead etc. A later module binds to them; nothing here depends on it.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "device/device_records.h"
#include "device/model_table.h"
#include "link/connector.h"
#include "link/kr_types.h"
#include "link/port_discovery.h"
#include "link/port_notifier.h"
#include "link/tick_clock.h"
#include "session/link_figures.h"
#include "session/reading.h"
#include "session/session_history.h"
#include "session/session_view.h"
#include "session/task_mgr.h"

class TKRModbusMaster;
class TKRConnector;
class TKRCOMPortConnector;
class TKRTCPConnector;
class TSettingsStore;

// Time constants of a session; tests shorten them.
struct TSessionTimings {
    uint32_t TaskInterval = 5;         // pause after a reply before the next request
    uint32_t ResponseTimeout = 1000;   // scheduler's wait for a reply
    uint32_t SessionTick = 100;        // OscillTimer
    uint32_t AutoconnectFirst = 300;   // first autoconnect attempt, and after a port arrival
    uint32_t AutoconnectRetry = 1500;  // later attempts
    int32_t DrainTimeout = 1000;       // wait for the key release to leave at disconnect
    uint32_t ReactivateWait = 1000;    // pause after deactivating a still active master
    // Tick counts of the session timer between temperature and counter reads.
    int32_t TemperatureTicks = 587;
    int32_t CountersTicks = 297;
    // The link repeats the live-reading poll by itself and hands the readings over once per
    // frame (the window); off, each reading is requested by the scheduler.
    bool RepeatPoll = false;
};

// Baud list of the connection panel; the index is what the settings store keeps.
inline constexpr int32_t kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr int kBaudCount = 7;

class TSessionCore : public QObject {
    Q_OBJECT
public:
    TSessionCore(TSessionView& AView, TSettingsStore& ASettings,
                 const TTickClock& AClock = SystemTickClock(), TSessionTimings ATimings = {},
                 QObject* AParent = nullptr);
    ~TSessionCore() override;

    // --- creation and close (window creation, first showing, close request) ---
    // Reads "RCNT", the colours, "BAUDRATE", "MBADDR" and "TCP", then fills the port list.
    void LoadSettings();
    // Restores the autoconnect toggle from the store (first showing of the window).
    void RestoreAutoConnect();
    // Close request: if a session runs, the disconnect button action runs first.
    void CloseSession();
    // Writes "Autoconnect", "RCNT", the colours, "BAUDRATE" and "MBADDR".
    void SaveSettings();

    // --- connection panel ---
    void ConnectBtnClick();
    // Connects as "Connect" does, but a supply that does not answer (a firmware update that
    // left it in its boot loader) shows no box: the window is left plainly disconnected.
    // AOnResult tells whether a session started.
    void ConnectQuietly(std::function<void(bool AConnected)> AOnResult);
    void DisconnectBtnClick();
    void AutoConnectSwitchClick(bool AOn);
    void ComPortComboBoxSelect(int AIndex);
    void BaudComboBoxSelect(int AIndex);
    void SlaveAddrComboBoxSelect(int AIndex);
    void IpMaskEditChange(const QString& AText);
    // Leaving the address field: "Not a valid IP address." unless four fields of 0..255.
    void IpMaskEditExit();
    // Refills the port list; true when the remembered port is present.
    bool FillPortList();
    // Serial port arrival or removal (kernel name or extra-port path).
    void DeviceChange(TPortChange AChange, const QString& AName);

    // --- set panel and output ---
    void U_KnobChange(uint32_t APosition);
    void I_KnobChange(uint32_t APosition);
    // A set indicator was edited (digit edit, arrow step, entry pop-up).
    void UsetIndChange(uint32_t AValue);
    void IsetIndChange(uint32_t AValue);
    void OnOffBtnClick();
    void UnlockSetBtnClick();
    void ResetCountersButtonClick();
    void P_ResetCountersCheckBoxClick(bool AChecked);
    // The set-power preview can also be refreshed by a knob while it is being dragged.
    void RefreshSetPower();
    // Marks the set values as not yet written and requests WriteSetData (after a preset save,
    // the pair is written even when it equals the last one).
    void ForceSetDataWrite();
    // Set points of a run (a sweep may start at 0 V or 0 A, below what the knobs allow): each
    // clamped to the model's highest, shown, and written as the knobs' values are.
    void SetPoints(uint32_t AUset, uint32_t AIset);

    // --- operations for calibration and firmware update ---
    // Calibration commands are queued and sent one by one in order: a start followed at once by
    // an exit (or a fix by a save) must reach the supply as two writes, not collapse into one.
    void DoWriteCalibCmd(TCalib_Mode AMode, uint32_t AIndex, uint32_t AData);
    void DoReadCalibData();
    void DoJumpBoot();
    // Ends the connection without the key release (the firmware has left its application):
    // scheduler and session timer stop, the queue is cleared, the master releases the port.
    void Disconnect();

    // --- key lock ---
    // An observer session neither locks nor releases the keys and does not end when it reads
    // them released; it only reads (set before connecting).
    void SetObserver(bool AObserver) { fObserver = AObserver; }
    bool Observer() const { return fObserver; }
    // Whether this session locked the keys (they were free when it connected). Only then are
    // they released at its end; keys found locked belong to another program and stay locked.
    // Kept across a lost link, so a reconnect finding its own lock still owns it.
    bool OwnsKeyLock() const { return fOwnsKeyLock; }
    // What a controlling session does with keys it finds locked by another program (set before
    // connecting). The window joins them (it only locks free keys and releases its own); a
    // program that must not fight another over the supply (benchlordctl, the bridges) refuses:
    // no session starts, nothing is written, and fOnKeysHeld is called; take-over makes them
    // this session's keys, released at its end as if it had locked them.
    enum TKeysHeld { khJoin, khRefuse, khTakeOver };
    void SetKeysHeldRule(TKeysHeld ARule) { fKeysHeldRule = ARule; }
    // Whether another program holds the keys (identified, locked, not by this session).
    bool KeysHeldElsewhere() const { return !fObserver && gData.LOCK != 0 && !fOwnsKeyLock; }
    std::function<void()> fOnKeysHeld;

    // --- state ---
    bool Connected() const { return fConnected; }
    // A loss is being told: the session has just ended because of it and "Connection lost !!!"
    // comes next (fOnSessionEnded runs before the message).
    bool Losing() const { return fLosing; }
    bool PowerOn() const { return fPowerOn; }
    bool WriteOnOffAccepted() const { return fWriteOnOffAccepted; }
    // Whether the last live reading showed these set values (within the tolerance of smart
    // tracking on firmware before 4.3): the supply has taken them.
    bool ReadingShowsSetValues(uint32_t AUset, uint32_t AIset) const;
    bool AutoConnect() const { return fPanel.AutoConnect; }
    bool ResetCountersChecked() const { return fResetCountersChecked; }
    TMBType MBType() const { return fmbType; }
    uint8_t MBAddr() const { return fMBaddr; }
    uint32_t TcpIpAddr() const { return fTcpIpAddr; }
    int PortIndex() const { return fPortIndex; }
    int BaudIndex() const { return fBaudIndex; }
    const TSerialPortList& SerialPortList() const { return fSerialPortList; }
    const TPanelState& Panel() const { return fPanel; }
    const TTrafficLamp& Traffic() const { return fTraffic; }
    QString Title() const { return fTitle; }
    uint32_t Time() const { return fTime; }
    uint32_t AHCounter() const { return fAHCounter; }
    uint32_t WHCounter() const { return fWHCounter; }
    uint64_t AHCounter64() const { return fAHCounter64; }
    uint64_t WHCounter64() const { return fWHCounter64; }
    uint32_t PrevUset() const { return fPrevUset; }
    uint32_t PrevIset() const { return fPrevIset; }
    TColor SetColorCLR(int AIndex) const;  // fCLR0 .. fCLR3

    // Records (also written by preset, parameter and calibration modules).
    TCurrentSet& Data() { return gData; }
    TMemorySet& Memory() { return gMemory; }
    TModel& Model() { return fModel; }
    TCalibData& Calib() { return CalibData; }
    // Limits of the supply this session identified last (the defaults before the first
    // identification; kept after the session ends, replaced by the next identification).
    const TModelLimits& Limits() const { return fLimits; }
    TLN_TaskMgr& TaskMgr() { return *fTaskMgr; }
    TKRModbusMaster& ModbusMaster() { return *fModbusMaster; }
    TKRCOMPortConnector& COMPortConnector() { return *fCOMPortConnector; }
    TKRTCPConnector& TCPConnector() { return *fTCPConnector; }
    const TSessionTimings& Timings() const { return fTimings; }
    // Health of the link: started afresh by a connect of the user's, kept over an automatic
    // reconnection after a loss (which it counts).
    TLinkFigures LinkFigures() const { return fLinkStats.Figures(); }
    TLinkStats& LinkStats() { return fLinkStats; }
    // Every live reading of the session (a new session of the user's starts a new one; an
    // automatic reconnection after a loss continues it with a gap). Kept after the disconnect.
    const TSessionHistory& History() const { return fHistory; }
    // The last live reading as the supply reported it (Number 0 before the first reading of a
    // session). Kept after the session ends, so a log cut short can end with it.
    const TReading& LastReading() const { return fLastReading; }
    // Wall-clock milliseconds of the readings; tests replace it.
    void SetWallClock(std::function<int64_t()> AClock) { fWallClock = std::move(AClock); }

    // --- request helpers for job handlers (traffic lamp on, one request) ---
    using TRegsHandler = std::function<void(const TKRRegisters& ARegs)>;
    using TAckHandler = std::function<void()>;
    // Runs after a refused or failed request (not for one cancelled by a disconnect), with the
    // master's result code; the scheduler is not told.
    using TFailHandler = std::function<void(int32_t AError)>;
    // Read: on success AOnRegs runs with the registers (then the caller reports Callback).
    // ARepeat: the link reads again after each reply (see TLN_TaskMgr::SetRepeatPoll).
    void ReadRegisters(uint16_t AStart, uint16_t ACount, TRegsHandler AOnRegs,
                       TFailHandler AOnFail = {}, bool ARepeat = false);
    // Writes: on success AOnAck runs; an empty AOnAck is the generic acknowledgement
    // (scheduler Callback).
    void WriteRegister(uint16_t AReg, uint16_t AValue, TAckHandler AOnAck = {},
                       TFailHandler AOnFail = {});
    void WriteRegisters(uint16_t AStart, const TKRRegisters& AValues, TAckHandler AOnAck = {},
                        TFailHandler AOnFail = {});
    // Traffic lamp from a request's result code (0: dark yellow; else lit red); tells
    // fOnRequestResult.
    void TrafficFromCode(int32_t ACode);
    // A request completed: counted in the link figures with the link's own times of the
    // exchange, then the traffic lamp as above. Call it first thing in the completion handler
    // (the link's times are those of the packet completing).
    void RequestCompleted(int32_t ACode);

    // --- window state helpers shared with presets and parameters ---
    // Applies the output-dependent state (editable when connected and the output is off).
    void ApplyOutputState(bool AOutputOn);
    // Preset and parameter controls enabled or not; also the voltage set indicator (output off
    // and an M preset selected).
    void SetPresetControlsEnabled(bool AEnabled);
    void SetMemoryButtons(int32_t AVisible, bool AEnabled, int32_t ADown);
    void RepaintSetColors();  // set and output displays in fCLR1
    void SetDeviceColors(TColor AClr1, TColor AClr2, TColor AClr3);

    // --- extension events (presets, parameters, advanced window) ---
    // After the preset block was read into gMemory (before the scheduler Callback).
    std::function<void()> fOnMemoryRead;
    // After MEM was read back (alone or with the counters).
    std::function<void(uint32_t AMem)> fOnMemNumRead;
    // After the memory-number write was answered, with success.
    std::function<void(bool AOk)> fOnMemNumWritten;
    // After the global block was read and classified.
    std::function<void()> fOnGlobalDataRead;
    // After the calibration block was read.
    std::function<void()> fOnCalibRead;
    // After every request the link completed (not one cancelled by a disconnect), with the
    // master's result code: 0, a validated exception code 1..255, or a link failure below 0.
    std::function<void(int32_t AResult)> fOnRequestResult;
    // Session started / ended (after the window switched state).
    std::function<void()> fOnSessionStarted;
    std::function<void()> fOnSessionEnded;

signals:
    // Raised after every successful live reading (trend view, logger, command line).
    void LiveReading();

private:
    // connection_lifecycle.cpp
    // AAuto: an attempt of autoconnect, whose failures show no box.
    void Connect(bool AAuto);
    void SerialConnect();
    void TcpConnect();
    void ConnectFailed(const QString& AText);
    // An attempt that started no session: the link closed, Connect offered.
    void EndAttempt();
    void QuietAttemptFailed();
    // A connection error box; the box is modal and runs the event loop until it is closed.
    void ShowConnectError(const QString& AText);
    void StartIdentification();
    void IdentificationReply(int32_t AError, const void* AData);
    void ApplyIdentification();
    void SessionStart();
    void ConnectedState(bool AOutputOn);
    void DisconnectedState();
    void PostConnectionLost();
    void ConnectionLost();
    void AutoconnectTimerEvent();
    void PostVersionNotice();
    void VersionNotice();
    void PostAutoExpand();
    void ApplyPortSelection();
    void RememberLink();
    TKRConnector* ActiveConnector() const;
    void ConnectorStatus(TKRConnectorStat AStat);

    // live_readings.cpp
    void BindJobs();
    // The completion handler of a write: counts it, then AOnAck (or the scheduler's Callback)
    // on success, AOnFail on a refusal or failure; nothing for a cancelled one.
    TMBMCallBack WriteReply(TAckHandler AOnAck, TFailHandler AOnFail);
    // ARepetition: the scheduler's repetition the reply belongs to (0: a single request).
    void ReadDataReply(const TKRRegisters& ARegs, uint32_t ARepetition);
    void MemNumRead();
    void ReadSetDataReply(const TKRRegisters& ARegs);
    void CountersReply(const TKRRegisters& ARegs);
    void TemperatureReply(const TKRRegisters& ARegs);
    void GlobalDataReply(const TKRRegisters& ARegs);
    void SetValueRefresh();
    void RefreshOutputs();
    void RefreshInputVoltage();
    void RefreshProtection();
    void RefreshTemperature();
    void ApplyColors();
    void ApplySetColor(TColor AColor);
    void ApplyOutColor(TColor AColor);

    // output_control.cpp
    void SetValueChange();
    void WriteSetDataJob();
    void WriteOnOffJob();

    // session_counters.cpp
    void SessionTick();
    void AdvanceCounters();
    void ResetCounters();
    void RepaintTime();
    void RepaintCounters();
    void ChargeBar();
    void VinWarning();

    void PushPanel();
    uint32_t MaxUset() const { return fLimits.MaxUset; }
    uint32_t MaxIset() const { return fLimits.MaxIset; }
    uint32_t CurrentDiv() const { return fLimits.CurrentDiv; }
    void SetTraffic(bool ALit, bool ARed);
    // Counts the completing request in the link figures (see RequestCompleted).
    void CountRequest(int32_t ACode);
    void SetTitle(const QString& ATitle);

    TSessionView& fView;
    TSettingsStore& fSettings;
    const TTickClock& fClock;
    TSessionTimings fTimings;

    std::unique_ptr<TKRCOMPortConnector> fCOMPortConnector;
    std::unique_ptr<TKRTCPConnector> fTCPConnector;
    std::unique_ptr<TKRModbusMaster> fModbusMaster;
    std::unique_ptr<TLN_TaskMgr> fTaskMgr;
    QTimer fOscillTimer;
    QTimer fAutoconnectTimer;

    // Device records.
    TCurrentSet gData{};
    TMemorySet gMemory{};
    TModel fModel{};
    TCalibData CalibData{};
    TModelLimits fLimits{};
    // Calibration commands (registers 40-43) not yet sent, oldest first.
    std::deque<std::array<uint16_t, 4>> fCalibQueue;

    // Connection.
    bool fConnected = false;
    TMBType fmbType = mbtRTU;
    uint8_t fMBaddr = 1;
    uint32_t fTcpIpAddr = 0;
    TSerialPortList fSerialPortList;
    int fPortIndex = 0;
    int fBaudIndex = 2;
    int fAddrIndex = 0;
    QString fIpText = "192.168.001.001";
    bool fVersionControlMessage = true;
    bool fLostPosted = false;
    bool fObserver = false;
    bool fOwnsKeyLock = false;
    TKeysHeld fKeysHeldRule = khJoin;
    // The last session ended by a loss (an automatic reconnection continues its figures), and
    // the connect under way (until its session starts or it fails) is the autoconnect's.
    bool fLinkLost = false;
    bool fAutoAttempt = false;
    std::function<void(bool)> fQuietResult;  // a ConnectQuietly attempt is under way
    bool fIdentifying = false;               // the identification read is outstanding
    bool fLossBoxOpen = false;               // "Connection lost !!!" waits for the user
    bool fLosing = false;         // from the end of a lost session until its message is shown
    bool fTransportDown = false;  // the connector closed its transport during the session
    TLinkStats fLinkStats;
    // How long ago the link received the reply being handled, in microseconds: a reading of a
    // repeated poll may wait up to a frame to be handed over (0 for single requests).
    int64_t fReplyAgeUs = 0;
    TSessionHistory fHistory;
    TReading fLastReading;
    uint64_t fReadingCount = 0;
    std::function<int64_t()> fWallClock;
    int fErrorBoxesOpen = 0;  // connection error boxes open; autoconnect waits while one is

    // Output and set values.
    bool fPowerOn = false;
    bool fWriteOnOffAccepted = false;
    // The set values of the last live reading and their tolerance.
    uint32_t fReadUset = 0;
    uint32_t fReadIset = 0;
    int64_t fReadTolerance = 0;
    bool fResetCountersChecked = false;
    uint32_t fPrevUset = 0;
    uint32_t fPrevIset = 0;

    // Counters.
    uint32_t fTime = 0;
    uint32_t fTimePrevious = 0;
    uint32_t fTimePowerStart = 0;
    uint32_t fAHCounter = 0;
    uint32_t fWHCounter = 0;
    uint64_t fAHCounter64 = 0;
    uint64_t fWHCounter64 = 0;
    int32_t fVinErrorCount = 0;
    int32_t fTemperatureTimerCount = 0;
    int32_t fCountersTimerCount = 0;
    int32_t fAutoexpandCounter = 0;
    bool fVinLampLit = false;
    bool fChargeBarVisible = false;

    // Colours (0x00BBGGRR) and what was last applied.
    TColor fCLR0 = 0x808080;
    TColor fCLR1 = 0xFFFFFF;
    TColor fCLR2 = 0x00FF00;
    TColor fCLR3 = 0x00FFFF;
    // A read-out's text with the value it was formatted from, kept between readings.
    struct TFormatted {
        uint32_t Value = 0;
        QString Text;
    };
    TFormatted fInputVoltageText;
    TFormatted fProtectionText;
    TColor fSetColor_ = 0xFFFFFFFF;
    TColor fOutColor_ = 0xFFFFFFFF;
    // Set while the destructor tears the link down: late completions are ignored.
    bool fDestroying = false;

    // What the view shows.
    TPanelState fPanel;
    TModelFeatures fFeatures;
    TTrafficLamp fTraffic;
    QString fTitle = "Benchlord";
};
