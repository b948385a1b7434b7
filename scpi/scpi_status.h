#pragma once
// The status registers of the SCPI bridge, as IEEE 488.2 and SCPI define them: the standard event
// status register (*ESR?) with its enable mask (*ESE), the status byte (*STB?) with its service
// request enable (*SRE), and the OPERation and QUEStionable registers (condition, event latched
// on a rising condition bit, enable). One set per client; plain data, no I/O.

#include <cstdint>

// Standard event status register bits.
inline constexpr uint32_t kEsrOpc = 1;    // operation complete (*OPC)
inline constexpr uint32_t kEsrQye = 4;    // query error (-400s)
inline constexpr uint32_t kEsrDde = 8;    // device-dependent error (-300s)
inline constexpr uint32_t kEsrExe = 16;   // execution error (-200s)
inline constexpr uint32_t kEsrCme = 32;   // command error (-100s)
inline constexpr uint32_t kEsrPon = 128;  // power on: the bridge started

// Status byte bits.
inline constexpr uint32_t kStbEav = 4;   // the error queue holds an entry
inline constexpr uint32_t kStbQues = 8;  // questionable summary
// Message available (16) is never set: no reply is pending while *STB? is answered.
inline constexpr uint32_t kStbEsb = 32;    // event summary: ESR & ESE
inline constexpr uint32_t kStbMss = 64;    // master summary: STB & SRE
inline constexpr uint32_t kStbOper = 128;  // operation summary

// OPERation condition bits.
inline constexpr uint32_t kOperCV = 256;
inline constexpr uint32_t kOperCC = 1024;

// QUEStionable condition bits (the tripped protections, and constant current).
inline constexpr uint32_t kQuesOvp = 1;
inline constexpr uint32_t kQuesOcp = 2;
inline constexpr uint32_t kQuesOpp = 4;
inline constexpr uint32_t kQuesOtp = 8;
inline constexpr uint32_t kQuesCC = 16;
inline constexpr uint32_t kQuesKeysReleased = 512;  // the keys were released at the supply

class TScpiStatus {
public:
    // A new client: everything zero, with the power-on bit when asked.
    void Reset(bool APowerOn) {
        *this = TScpiStatus();
        fEsr = APowerOn ? kEsrPon : 0;
    }
    // *CLS: the event registers (the error queue is the caller's); enables and conditions stay.
    void Clear() { fEsr = fOperEvent = fQuesEvent = 0; }
    // STATus:PRESet: the SCPI enables back to zero.
    void Preset() { fOperEnable = fQuesEnable = 0; }

    // An error with this SCPI number was queued.
    void ErrorQueued(int ACode) {
        if (ACode <= -100 && ACode > -200)
            fEsr |= kEsrCme;
        else if (ACode <= -200 && ACode > -300)
            fEsr |= kEsrExe;
        else if (ACode <= -300 && ACode > -400)
            fEsr |= kEsrDde;
        else if (ACode <= -400 && ACode > -500)
            fEsr |= kEsrQye;
    }
    void OperationComplete() { fEsr |= kEsrOpc; }

    // The conditions seen in a reading; bits that rose since the last one are latched.
    void Conditions(uint32_t AOper, uint32_t AQues) {
        fOperEvent |= AOper & ~fOperCond;
        fQuesEvent |= AQues & ~fQuesCond;
        fOperCond = AOper;
        fQuesCond = AQues;
    }

    // *ESR? and the event queries read and clear.
    uint32_t TakeEsr() { return Take(fEsr); }
    uint32_t TakeOperEvent() { return Take(fOperEvent); }
    uint32_t TakeQuesEvent() { return Take(fQuesEvent); }

    uint32_t Stb(bool AErrorQueued) const {
        uint32_t stb = AErrorQueued ? kStbEav : 0;
        if (fQuesEvent & fQuesEnable) stb |= kStbQues;
        if (fOperEvent & fOperEnable) stb |= kStbOper;
        if (fEsr & fEse) stb |= kStbEsb;
        if (stb & fSre) stb |= kStbMss;
        return stb;
    }

    uint32_t OperCond() const { return fOperCond; }
    uint32_t QuesCond() const { return fQuesCond; }
    uint32_t EseMask() const { return fEse; }
    uint32_t SreMask() const { return fSre; }
    uint32_t OperEnable() const { return fOperEnable; }
    uint32_t QuesEnable() const { return fQuesEnable; }
    void SetEse(uint32_t AMask) { fEse = AMask & 0xFF; }
    // Bit 6 of the service request enable has no meaning and reads back as 0.
    void SetSre(uint32_t AMask) { fSre = AMask & 0xBF; }
    void SetOperEnable(uint32_t AMask) { fOperEnable = AMask & 0x7FFF; }
    void SetQuesEnable(uint32_t AMask) { fQuesEnable = AMask & 0x7FFF; }

private:
    static uint32_t Take(uint32_t& ARegister) {
        const uint32_t v = ARegister;
        ARegister = 0;
        return v;
    }

    uint32_t fEsr = 0;
    uint32_t fEse = 0;
    uint32_t fSre = 0;
    uint32_t fOperCond = 0, fOperEvent = 0, fOperEnable = 0;
    uint32_t fQuesCond = 0, fQuesEvent = 0, fQuesEnable = 0;
};
