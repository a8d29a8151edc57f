// The real plug-in inside the simulated game: loading it as the game would, answering its
// prompt, and reading what it left at the game's code sites.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "testing/gamemodel/GameModel.h"

// The folder this test module (and vantor.asi beside it) lives in, with a trailing backslash.
std::string BuildDirectory();

// One prompt the plug-in showed.
struct Prompt {
    HWND Owner;
    std::string Text, Caption;
    UINT Style;
};

// While alive, every MessageBoxA in the process is answered with `Answer` and recorded.
//
// The plug-in prompts from inside its attach notification, that is inside LoadLibrary, before a
// test could touch its import table; so the box is caught at user32's MessageBoxA itself: a
// jump at its first bytes leads to the recorder, and the bytes are put back on destruction.
// Nothing else in the test process shows a box while one is alive.
class PromptCatcher {
  public:
    // `echo`: each prompt's text also goes to stdout at once (for a process the answer ends).
    explicit PromptCatcher(int answer = IDYES, bool echo = false);
    ~PromptCatcher();
    PromptCatcher(const PromptCatcher&) = delete;
    PromptCatcher& operator=(const PromptCatcher&) = delete;

    int Answer;
    bool Echo;
    std::vector<Prompt> Prompts;

  private:
    uint8_t* entry_;
    uint8_t saved_[5];
};

// A copy of vantor.asi, loaded with LoadLibrary for the lifetime of this object.
class LoadedPlugin {
  public:
    // `copyName` empty: the build's own vantor.asi; otherwise a copy under that file name in the
    // build folder, removed again afterwards.
    explicit LoadedPlugin(const std::string& copyName = "");
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    HMODULE Module() const { return module_; }
    bool Contains(uintptr_t address) const;
    // Calls the module's entry point as the loader would, with the given reason.
    BOOL Notify(DWORD reason) const;
    void Unload();

  private:
    HMODULE module_ = nullptr;
    std::string copy_;
};

// The bytes at a game address.
std::vector<uint8_t> CodeBytes(uintptr_t address, size_t count);
// Writes game code with the page made writable for the moment.
void WriteCode(uintptr_t address, const std::vector<uint8_t>& bytes);
// Where a 5-byte relative call or jump at the address leads, modulo 2^32.
uintptr_t BranchTarget(uintptr_t address);
// A 5-byte relative call at `site` toward `target`, then NOPs up to `length` bytes.
std::vector<uint8_t> CallBytes(uintptr_t site, uintptr_t target, size_t length);

// A stand-in device for the reset path alone: slot 16 of its function table records the call.
// A second table, the decoy, records too, so that a handler reading the table from the wrong
// place is seen rather than crashing.
struct TableDevice {
    const void* const* Table;
};
struct TableReset {
    const void* Device;
    const void* Parameters;
    bool ThroughDecoy;
};
TableDevice* TheTableDevice(); // calls cleared, result D3D_OK
const void* const* DecoyTable();
std::vector<TableReset>& TableResets();
extern HRESULT TableResetResult;
