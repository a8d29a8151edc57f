// The register-level handlers behind the device-reset and DrawSite patches, and their slots.
#pragma once

#include <cstdint>

// Code address of a call another module had placed at a reset site; 0 for none. Written only
// while the hooks are installed, before the patch that leads to the reader.
extern "C" uint32_t ChainedResetShort; // the 9-byte site
extern "C" uint32_t ChainedResetLong;  // the three 11-byte sites; the last one found wins

// Entered by the game's code, never called from C++: their contracts stand in Handlers.S.
extern "C" void ResetHookShort();
extern "C" void ResetHookLong();
extern "C" void DrawSiteHook();

// True while the player, in the driving state, sits in model 519 or 520.
extern "C" bool IsPlayerInJet();
