#pragma once
// The protections a run raises: the live preset's OVP and OCP set a little above what the run
// needs while it runs, and put back at every end. Both front ends raise them here (benchlordctl
// charge and a charge run from the Plans window) and put them back with the same writes: the
// command line sends them after its switch-off, on a port opened again after a lost link; the
// window sends them through the preset logic while its session goes on, and with its switch-off
// at once when the session ends (a lost link, a disconnect, the program closed).
//
//     TRunProtections protections(core, presets);
//     protections.Raise(levels, [&](TRaiseResult AResult, const QString& AError) { ... });
//     ... at the end: protections.Restore(done), or send protections.RestoreWrites() and Settled()

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/model_table.h"
#include "tools/core/output_off.h"

class TPresetLogic;
class TSessionCore;
struct TChargePlan;

// The levels a charge runs under, capped to what the model's preset editors take: OVP in
// 0.01 V, OCP in the model's current unit.
struct TProtectionLevels {
    uint32_t Ovp = 0;
    uint32_t Ocp = 0;
};
TProtectionLevels ChargeProtections(const TChargePlan& APlan, const TModelLimits& ALimits);

// How a raise ended.
enum class TRaiseResult : uint8_t {
    Raised,    // the supply holds the new levels
    NotRead,   // the preset could not be read: nothing changed
    Invalid,   // the levels do not fit the preset (nothing written)
    NotTaken,  // the store was not confirmed: the old levels are owed back all the same
};

class TRunProtections {
public:
    using TRaised = std::function<void(TRaiseResult AResult, const QString& AError)>;

    TRunProtections(TSessionCore& ACore, TPresetLogic& APresets);
    ~TRunProtections();

    // With the output off (the preset becomes the live setting): reads the live preset, keeps
    // its OVP and OCP, and stores ALevels in it; ADone tells how it went, with the error text.
    // From the store on the old levels are owed back, whatever the answer. An error text when
    // nothing could be started.
    QString Raise(const TProtectionLevels& ALevels, TRaised ADone);

    // The old levels are owed back.
    bool Owed() const { return fOwed; }
    uint32_t Memory() const { return fMemory; }
    const TProtectionLevels& Raised() const { return fRaised; }
    const TProtectionLevels& Old() const { return fOld; }

    // The writes that put the old levels back: the preset's OVP and OCP, and from firmware 4.3
    // on the preset-saved command.
    std::vector<TRegisterWrite> RestoreWrites() const;
    // The session goes on: the old levels go back through the preset logic. ADone gets an
    // error text, empty when the supply holds them again. False when nothing is owed.
    bool Restore(std::function<void(const QString&)> ADone);
    // The old levels are back: the supply answered the RestoreWrites sent at an end.
    void Settled() { fOwed = false; }

private:
    TSessionCore& fCore;
    TPresetLogic& fPresets;
    std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
    bool fOwed = false;
    uint32_t fMemory = 0;
    TProtectionLevels fRaised;
    TProtectionLevels fOld;
};
