// The per-frame routine behind the game's DrawInterface call.
#pragma once

#include <cstdint>

// Code address of a handler another module had placed at the DrawInterface site; 0 for none.
extern uint32_t ChainedDrawInterface;

// Entered once per game frame; returns the byte the overwritten game instruction loaded.
extern "C" uint8_t DrawDisplay();
