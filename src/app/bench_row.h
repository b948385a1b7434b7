#pragma once
// One supply's row in the bench window: its name, model, link state, live readings, regulation,
// protection, output switch, set points, place in the switching order and tracking. It only
// shows what it is given and forwards what the user does.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QPushButton;

// What a row shows; texts made by the window from the supply's session and the bench.
struct TBenchRowState {
    QString Model;              // "DPS5015", empty before identification
    QString Link;               // "connected", "not connected", "lost"
    bool Live = false;          // readings are current
    QString Uout, Iout, Power;  // "12.00 V", "1.200 A", "14.40 W"
    QString Mode;               // "CV", "CC" or empty
    QString Protection;         // "none", "OVP", ...
    bool Tripped = false;
    bool OutputOn = false;
    // Set points and their editors' ranges: 0.01 V and the supply's current unit.
    uint32_t Uset = 0, Iset = 0;
    uint32_t MaxUset = 0, MaxIset = 0;
    int CurrentDecimals = 2;
    bool Editable = false;  // connected, and it does not follow another supply
    QString Tracking;       // "follows +12 V × -1", "leads -12 V", "" for none
};

class TBenchRow : public QObject {
    Q_OBJECT
public:
    // Places the row's widgets in row ARow of AGrid (the columns of the window's heading).
    TBenchRow(const QString& AName, const QString& AOrder, QGridLayout& AGrid, int ARow,
              QObject* AParent = nullptr);

    void Show(const TBenchRowState& AState);

    QLabel* NameLabel() const { return fName; }
    QLabel* ModelLabel() const { return fModel; }
    QLabel* LinkLabel() const { return fLink; }
    QLabel* UoutLabel() const { return fUout; }
    QLabel* IoutLabel() const { return fIout; }
    QLabel* PowerLabel() const { return fPower; }
    QLabel* ModeLabel() const { return fMode; }
    QLabel* ProtectionLabel() const { return fProtection; }
    QPushButton* OutputButton() const { return fOutput; }
    QDoubleSpinBox* UsetBox() const { return fUset; }
    QDoubleSpinBox* IsetBox() const { return fIset; }
    QLabel* TrackingLabel() const { return fTracking; }
    QPushButton* PanelButton() const { return fPanel; }

    // The column headings, in the order of the row's widgets.
    static QStringList Headings();

signals:
    void SwitchClicked(bool AOn);
    // A set point was entered (0.01 V, current unit).
    void SetPointsEntered(uint32_t AUset, uint32_t AIset);
    void PanelClicked();

private:
    void Entered();

    QLabel* fName;
    QLabel* fModel;
    QLabel* fLink;
    QLabel* fUout;
    QLabel* fIout;
    QLabel* fPower;
    QLabel* fMode;
    QLabel* fProtection;
    QPushButton* fOutput;
    QDoubleSpinBox* fUset;
    QDoubleSpinBox* fIset;
    QLabel* fOrder;
    QLabel* fTracking;
    QPushButton* fPanel;
    TBenchRowState fState;
};
