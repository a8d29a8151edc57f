// Writing the game's six code sites at attach.
#pragma once

#include <cstddef>
#include <cstdint>

// Points the six sites at the handlers, chaining to calls other modules placed there first.
void InstallHooks();

// The byte at a game address, read with its page made readable for the moment.
uint8_t ReadSiteByte(uintptr_t address);
// True when the byte at the address is the expected one; otherwise asks the user whether to
// go on without the hook, ends the process on No and gives false on Yes.
bool VerifySite(uintptr_t address, uint8_t expected, const char* hookName);

// Each writes with the range made writable for the moment and the protection put back at
// once. False, with nothing written, when the protection cannot be changed.
bool PatchBytes(uintptr_t address, const void* source, size_t count);
bool FillNops(uintptr_t address, size_t count);

// A relative call (0xE8) or jump (0xE9) at the site toward the target, then NOPs up to
// `length` bytes. Nothing is written unless the whole range can be made writable.
bool WriteBranchPatch(uintptr_t site, uint8_t opcode, uintptr_t target, size_t length);
