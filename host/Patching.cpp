// The installer: looks at the first byte of each game site and writes a call or jump there.
#include "host/Patching.h"

#include <cstdio>
#include <cstring>

#include <windows.h>

#include "host/Handlers.h"
#include "host/HostInterface.h"
#include "render/DrawDisplay.h"

extern "C" {
uint32_t ChainedResetShort = 0;
uint32_t ChainedResetLong = 0;
}

namespace {

// First bytes the installer tells apart.
constexpr uint8_t PushImmediate = 0x68; // 68 40C0C900: PUSH 0xC9C040, a reset sequence
constexpr uint8_t LoadEax = 0xA1;       // A1 247BC900: MOV EAX,[0xC97B24] (DrawSite)
constexpr uint8_t LoadAl = 0xA0;        // A0 CC02C400: MOV AL,[0xC402CC] (DrawInterface)
constexpr uint8_t CallRelative = 0xE8;  // E8 xxxxxxxx: CALL +5+xxxxxxxx
constexpr uint8_t JumpRelative = 0xE9;  // E9 xxxxxxxx: JMP +5+xxxxxxxx
constexpr uint8_t Nop = 0x90;

// The head of every patch, and of the foreign calls it replaces.
#pragma pack(push, 1)
struct RelativeBranch {
    uint8_t Opcode;        // E8 (CALL) or E9 (JMP)
    uint32_t Displacement; // target - (site + 5), modulo 2^32
};
#pragma pack(pop)
static_assert(sizeof(RelativeBranch) == 5, "opcode and rel32");

template <typename F> uintptr_t CodeAddress(F* code) {
    return reinterpret_cast<uintptr_t>(code);
}

const char ResetHookName[] = "IDirect3DDevice9::Reset";

struct ResetSite {
    uintptr_t First; // the second address lies HostResetSecondOffset below
    size_t Length;   // bytes of the game's call sequence the patch covers
    uintptr_t Handler;
    uint32_t* Slot;
};
const ResetSite ResetSites[] = {
    {HostResetSite1, 9, CodeAddress(&ResetHookShort), &ChainedResetShort},
    {HostResetSite2, 11, CodeAddress(&ResetHookLong), &ChainedResetLong},
    {HostResetSite3, 11, CodeAddress(&ResetHookLong), &ChainedResetLong},
    {HostResetSite4, 11, CodeAddress(&ResetHookLong), &ChainedResetLong},
};

// Whether the whole range can be made writable; its protection is put back at once.
bool RangeWritable(uintptr_t address, size_t count) {
    DWORD previous = 0;
    void* at = reinterpret_cast<void*>(address);
    if (!VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &previous)) return false;
    DWORD ignored = 0;
    VirtualProtect(at, count, previous, &ignored);
    return true;
}

// The target of the 5-byte call at the site.
uint32_t CallTarget(uintptr_t site) {
    RelativeBranch call;
    auto* bytes = reinterpret_cast<uint8_t*>(&call);
    for (size_t i = 0; i < sizeof call; ++i)
        bytes[i] = ReadSiteByte(site + i);
    return static_cast<uint32_t>(site + sizeof call) + call.Displacement;
}

// Records the call found at the site in the slot, if any, then writes the patch; a site whose
// range cannot be made writable is left as found, its slot untouched.
void Hook(uintptr_t site, uint8_t opcode, uintptr_t handler, size_t length, uint32_t* slot) {
    if (!RangeWritable(site, length)) return;
    if (slot) *slot = CallTarget(site);
    WriteBranchPatch(site, opcode, handler, length);
}

void InstallResetSite(const ResetSite& site) {
    const uintptr_t first = site.First, second = site.First - HostResetSecondOffset;
    if (ReadSiteByte(first) == PushImmediate)
        Hook(first, CallRelative, site.Handler, site.Length, nullptr);
    else if (ReadSiteByte(second) == PushImmediate)
        Hook(second, CallRelative, site.Handler, site.Length, nullptr);
    else if (ReadSiteByte(first) == CallRelative)
        Hook(first, CallRelative, site.Handler, site.Length, site.Slot);
    else if (VerifySite(second, CallRelative, ResetHookName))
        Hook(second, CallRelative, site.Handler, site.Length, site.Slot);
}

void InstallDrawSite() {
    // No chaining here: a jump someone else left cannot be followed back into the game.
    if (VerifySite(HostDrawSite, LoadEax, "DrawSite"))
        Hook(HostDrawSite, JumpRelative, CodeAddress(&DrawSiteHook), sizeof(RelativeBranch),
             nullptr);
}

void InstallDrawInterface() {
    const uintptr_t handler = CodeAddress(&DrawDisplay);
    if (ReadSiteByte(HostDrawInterfaceSite) == CallRelative)
        Hook(HostDrawInterfaceSite, CallRelative, handler, sizeof(RelativeBranch),
             &ChainedDrawInterface);
    else if (VerifySite(HostDrawInterfaceSite, LoadAl, "DrawInterface"))
        Hook(HostDrawInterfaceSite, CallRelative, handler, sizeof(RelativeBranch), nullptr);
}

} // namespace

uint8_t ReadSiteByte(uintptr_t address) {
    void* at = reinterpret_cast<void*>(address);
    DWORD previous = 0;
    // A page that refuses even to become readable holds nothing the installer could expect.
    if (!VirtualProtect(at, 1, PAGE_EXECUTE_READ, &previous)) return 0;
    uint8_t value = *static_cast<volatile uint8_t*>(at);
    DWORD ignored = 0;
    VirtualProtect(at, 1, previous, &ignored);
    return value;
}

bool VerifySite(uintptr_t address, uint8_t expected, const char* hookName) {
    if (ReadSiteByte(address) == expected) return true;
    char text[1024];
    snprintf(text, sizeof text,
             "An unknown code found at 0x%08X (%s).\nDo you want to continue without this "
             "Function?",
             static_cast<unsigned>(address), hookName);
    constexpr UINT style = MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2;
    static_assert(style == 0x114, "No is the default button");
    if (MessageBoxA(nullptr, text, "VANTOR", style) == IDNO) ExitProcess(0);
    return false;
}

bool PatchBytes(uintptr_t address, const void* source, size_t count) {
    void* at = reinterpret_cast<void*>(address);
    DWORD previous = 0;
    if (!VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &previous)) return false;
    std::memcpy(at, source, count);
    DWORD ignored = 0;
    VirtualProtect(at, count, previous, &ignored);
    return true;
}

bool FillNops(uintptr_t address, size_t count) {
    void* at = reinterpret_cast<void*>(address);
    DWORD previous = 0;
    if (!VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &previous)) return false;
    std::memset(at, Nop, count);
    DWORD ignored = 0;
    VirtualProtect(at, count, previous, &ignored);
    return true;
}

bool WriteBranchPatch(uintptr_t site, uint8_t opcode, uintptr_t target, size_t length) {
    if (!RangeWritable(site, length)) return false;
    RelativeBranch patch;
    patch.Opcode = opcode;
    patch.Displacement = static_cast<uint32_t>(target - (site + sizeof patch));
    // Three steps, each with its own protection change: opcode, displacement, then the tail.
    bool written = PatchBytes(site, &patch.Opcode, sizeof patch.Opcode) &&
                   PatchBytes(site + 1, &patch.Displacement, sizeof patch.Displacement) &&
                   (length <= sizeof patch || FillNops(site + sizeof patch, length - sizeof patch));
    FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(site), length);
    return written;
}

void InstallHooks() {
    for (const ResetSite& site : ResetSites)
        InstallResetSite(site);
    InstallDrawSite();
    InstallDrawInterface();
}
