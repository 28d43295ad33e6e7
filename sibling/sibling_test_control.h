// Test-only steering of the stand-in sibling library (host builds only).
//
// The stand-in exports one extra function, SiblingTestAccess, that hands out its
// single state record. A test looks it up with GetProcAddress on the loaded
// library, resets it, sets the answers it wants and afterwards reads what the
// library was handed. The Windows builds of the library do not have it: there
// the library exports exactly its two printer-interface functions.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstring>

// The stand-in's own layout: a 220-byte DEVMODEW followed by its private data,
// whose first 12004 bytes are the settings block.
constexpr size_t kSiblingPublicBytes = 220;
constexpr size_t kSiblingSettingsBytes = 12004;
// What the stand-in answers to DC_DRIVER unless told otherwise. Deliberately not
// the plug-in's fallback 0x0600, so a test can tell the two apart.
constexpr DWORD kSiblingDriverVersion = 0x0110;

struct SiblingTestState {
    // --- Answers (SiblingTestReset restores these) ---
    bool refuseConversion;  // DrvConvertDevMode fails (FALSE, ERROR_INVALID_PARAMETER)
    bool overrideExtra;     // DC_EXTRA answers extraAnswer instead of 12004
    DWORD extraAnswer;
    bool overrideDriver;  // DC_DRIVER answers driverAnswer instead of kSiblingDriverVersion
    DWORD driverAnswer;
    bool overridePaperCount;  // DC_PAPERS, DC_PAPERSIZE and DC_PAPERNAMES answer paperCountAnswer
    DWORD paperCountAnswer;   // and write nothing (0, or (DWORD)-1 for GDI_ERROR)
    short defaultPaper;       // paper number and duplex that CDM_DRIVER_DEFAULT writes
    short defaultDuplex;      // at settings offsets 376 and 372 (9 and 1)

    // --- What the library saw (SiblingTestReset clears these) ---
    unsigned capabilityCalls;
    unsigned capabilityCallsWithDevmode;  // calls that passed a non-null DEVMODE
    unsigned convertCalls;
    DWORD lastMode;
    LONG lastSizeIn;  // *pcbNeeded on entry
    bool lastNameNull;
    WCHAR lastPrinterName[64];
    bool lastInputPresent;
    size_t lastInputBytes;  // bytes of lastInput that hold a copy of the input
    BYTE lastInput[kSiblingPublicBytes + kSiblingSettingsBytes];
    bool lastOutputPresent;
    DEVMODEW lastOutputOnEntry;                          // the output's public part as it came in
    bool lastOutputBlockRecorded;                        // the output could hold a settings block
    BYTE lastOutputBlockOnEntry[kSiblingSettingsBytes];  // and this is the block it held
};

// Typed for GetProcAddress(sibling, "SiblingTestAccess").
using SiblingTestAccessProc = SiblingTestState* (*)();
// Restores the answers and clears the observations.
inline void SiblingTestReset(SiblingTestState& state) {
    std::memset(&state, 0, sizeof state);
    state.defaultPaper = 9;
    state.defaultDuplex = 1;
}
