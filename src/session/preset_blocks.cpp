// Preset blocks on the wire: the scheduler's ReadMemory and WriteMemory jobs serve the selected
// preset (the panel) and, in turn, block operations by number for the command line. Operations
// run one after another in the order asked for; a refused or lost request fails its operation,
// and the end of the session fails what is left.

#include <utility>

#include "device/register_codec.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/session_core.h"
#include "session/value_format.h"

void TPresetLogic::BindJobs() {
    TLN_TaskMgr& t = fCore.TaskMgr();
    // The core's own handlers stay in use should this object go before the core.
    std::weak_ptr<int> alive = fAlive;
    TTaskNotifyEvent coreRead = t.fOnReadMemory;
    t.fOnReadMemory = [this, alive, coreRead](TLN_TaskMgr* ASender) {
        if (!alive.expired())
            ServeReadMemory();
        else if (coreRead)
            coreRead(ASender);
    };
    TTaskNotifyEvent coreWrite = t.fOnWriteMemory;
    t.fOnWriteMemory = [this, alive, coreWrite](TLN_TaskMgr* ASender) {
        if (!alive.expired())
            ServeWriteMemory();
        else if (coreWrite)
            coreWrite(ASender);
    };
}

void TPresetLogic::ServeReadMemory() {
    const bool opWaiting = !fOps.empty() && !fOps.front().Write && !fOps.front().InFlight;
    if (opWaiting && !fPanelRead) {
        ServeHeadOp();
        return;
    }
    fPanelRead = false;
    std::weak_ptr<int> alive = fAlive;
    TSessionCore* core = &fCore;
    fCore.ReadRegisters(MemoryBlockStart(fCore.Data().MEM), kMemoryRegisters,
                        [this, alive, core](const TKRRegisters& ARegs) {
                            StoreMemoryRegisters(core->Memory(), ARegs);
                            if (alive.expired()) {
                                core->TaskMgr().Callback();
                                return;
                            }
                            PanelBlockRead(core->Memory());
                        });
}

void TPresetLogic::PanelBlockRead(const TMemorySet&) {
    if (fCore.fOnMemoryRead) fCore.fOnMemoryRead();
    PanelUpdate(true);
    fCore.TaskMgr().Callback();
    if (!fPending && fSelectDone) FinishSelect(true);
    KickOps();
}

void TPresetLogic::ServeWriteMemory() {
    const bool opWaiting = !fOps.empty() && fOps.front().Write && !fOps.front().InFlight;
    if (opWaiting && !fPanelWrite) {
        ServeHeadOp();
        return;
    }
    fPanelWrite = false;
    std::weak_ptr<int> alive = fAlive;
    TSessionCore* core = &fCore;
    fCore.WriteRegisters(MemoryBlockStart(fCore.Data().MEM), MemoryRegisters(fCore.Memory()),
                         [this, alive, core] {
                             core->TaskMgr().Callback();
                             if (!alive.expired()) KickOps();
                         });
}

void TPresetLogic::ServeHeadOp() {
    TBlockOp& op = fOps.front();
    op.InFlight = true;
    const uint64_t id = op.Id;
    const uint16_t start = MemoryBlockStart(op.Num);
    std::weak_ptr<int> alive = fAlive;
    TSessionCore* core = &fCore;
    if (!op.Write) {
        fCore.ReadRegisters(
            start, kMemoryRegisters,
            [this, alive, core, id](const TKRRegisters& ARegs) {
                core->TaskMgr().Callback();
                if (alive.expired()) return;
                TMemorySet block{};
                StoreMemoryRegisters(block, ARegs);
                FinishHead(id, true, block);
            },
            [this, alive, id](int32_t) {
                if (!alive.expired()) FinishHead(id, false, {});
            });
        return;
    }
    const TMemorySet block = op.Block;
    fCore.WriteRegisters(
        start, MemoryRegisters(block),
        [this, alive, core, id, block] {
            core->TaskMgr().Callback();
            if (!alive.expired()) FinishHead(id, true, block);
        },
        [this, alive, id, block](int32_t) {
            if (!alive.expired()) FinishHead(id, false, block);
        });
}

void TPresetLogic::FinishHead(uint64_t AId, bool AOk, const TMemorySet& ABlock) {
    if (fOps.empty() || fOps.front().Id != AId) return;
    TBlockHandler done = std::move(fOps.front().Done);
    fOps.pop_front();
    if (done) done(AOk, ABlock);
    KickOps();
}

void TPresetLogic::KickOps() {
    if (fOps.empty() || fOps.front().InFlight || !fCore.Connected()) return;
    if (fOps.front().Write)
        fCore.TaskMgr().WriteMemory();
    else
        fCore.TaskMgr().ReadMemory();
}

void TPresetLogic::FailAllOps() {
    std::deque<TBlockOp> ops;
    ops.swap(fOps);
    for (TBlockOp& op : ops)
        if (op.Done) op.Done(false, op.Block);
}

void TPresetLogic::Enqueue(uint16_t ANum, bool AWrite, const TMemorySet& ABlock,
                           TBlockHandler ADone) {
    TBlockOp op;
    op.Id = fNextOpId++;
    op.Num = ANum;
    op.Write = AWrite;
    op.Block = ABlock;
    op.Done = std::move(ADone);
    fOps.push_back(std::move(op));
    KickOps();
}

// --- command line -------------------------------------------------------------------------------

QString TPresetLogic::SelectPreset(uint32_t ANum, TDoneHandler AOnDone) {
    if (!fCore.Connected()) return "Not connected";
    if (ANum >= PresetCount()) return "There is no preset " + QString::number(ANum);
    ToolButtonClick(static_cast<int>(ANum));
    fSelectDone = std::move(AOnDone);
    return {};
}

QString TPresetLogic::ReadBlock(uint32_t ANum, TBlockHandler AOnDone) {
    if (!fCore.Connected()) return "Not connected";
    if (ANum >= kMemoryCount) return "There is no preset " + QString::number(ANum);
    Enqueue(static_cast<uint16_t>(ANum), false, {}, std::move(AOnDone));
    return {};
}

QString TPresetLogic::CheckValues(uint32_t ANum, const TPresetValues& AValues) const {
    if (ANum >= PresetCount()) return "There is no preset " + QString::number(ANum);
    const TVersion v = fCore.Model().Version;
    const bool charge = ANum >= 10;
    const QString name = PresetName(ANum);
    if (charge && v < ver_42) return name + " cannot be changed with this firmware";
    struct TField {
        const std::optional<uint32_t>& Value;
        int Tag;
        const char* What;
        uint32_t PointPos;
        const char* Unit;
    };
    const uint32_t cur = fCore.Limits().CurrentDiv == 10 ? 4 : 3;
    const TField fields[] = {
        {AValues.Uset, peUset, "Set voltage", 3, " V"},
        {AValues.Iset, peIset, "Set current", cur, " A"},
        {AValues.Ovp, peOvp, "OVP", 3, " V"},
        {AValues.Ocp, peOcp, "OCP", cur, " A"},
        {AValues.Opp, peOpp, "OPP", 2, " W"},
    };
    for (const TField& f : fields) {
        if (!f.Value) continue;
        const TEditorRange r = EditorRange(f.Tag, fCore.Limits());
        if (*f.Value < r.Min || *f.Value > r.Max)
            return QString(f.What) + " must be " + FormatFixedPoint(r.Min, f.PointPos) + " to " +
                   FormatFixedPoint(r.Max, f.PointPos) + f.Unit;
    }
    // A timer of 0 switches the timer off.
    if (AValues.Timer && *AValues.Timer > EditorRange(peTimer, 0, 0, 0, 1).Max)
        return "Timer must be 0:00 to " + FormatHoursMinutes(EditorRange(peTimer, 0, 0, 0, 1).Max);
    if (AValues.DefaultOnStart.value_or(false) && charge && MarkedFlagClass(v))
        return "Charge profiles cannot be loaded at power-up with this firmware";
    if (AValues.PowerOnStart && v != ver_18)
        return "Power on start is set on the supply itself with this firmware";
    if ((AValues.OvpTrigger || AValues.OcpTrigger) && v < ver_45)
        return "Protection triggers need firmware 4.5 or later";
    return {};
}

QString TPresetLogic::SaveBlock(uint32_t ANum, const TPresetValues& AValues,
                                TBlockHandler AOnDone) {
    if (!fCore.Connected()) return "Not connected";
    const QString error = CheckValues(ANum, AValues);
    if (!error.isEmpty()) return error;
    const auto num = static_cast<uint16_t>(ANum);
    Enqueue(num, false, {},
            [this, num, AValues, done = std::move(AOnDone)](bool AOk, const TMemorySet& ARead) {
                if (!AOk) {
                    if (done) done(false, ARead);
                    return;
                }
                StoreMerged(num, AValues, ARead, done);
            });
    return {};
}

void TPresetLogic::StoreMerged(uint16_t ANum, const TPresetValues& AValues, const TMemorySet& ARead,
                               TBlockHandler ADone) {
    const TVersion v = fCore.Model().Version;
    TMemorySet b = ARead;
    b.USET = AValues.Uset.value_or(b.USET);
    b.ISET = AValues.Iset.value_or(b.ISET);
    b.SOVP = AValues.Ovp.value_or(b.SOVP);
    b.SOCP = AValues.Ocp.value_or(b.SOCP);
    b.SOPP = AValues.Opp.value_or(b.SOPP);
    b.OTIM = AValues.Timer.value_or(b.OTIM);
    b.PRFS = EncodePRFS(v, AValues.DefaultOnStart.value_or((b.PRFS & 1) != 0),
                        AValues.OvpTrigger.value_or((b.PRFS & 2) != 0),
                        AValues.OcpTrigger.value_or((b.PRFS & 4) != 0));
    if (AValues.PowerOnStart) b.SINI = *AValues.PowerOnStart ? 1 : 0;
    Enqueue(ANum, true, b,
            [this, ANum, v, done = std::move(ADone)](bool AOk, const TMemorySet& AB) {
                if (AOk) {
                    if (v >= ver_43) {
                        fCore.Data().CMD = kCmdPresetSaved;
                        fCore.TaskMgr().WriteCommand();
                    }
                    if (fCore.Data().MEM == ANum) {
                        TMemorySet& m = fCore.Memory();
                        m = AB;
                        MakeLive(m);
                        PanelUpdate(true);
                    }
                }
                if (done) done(AOk, AB);
            });
}
