#include "tests/host/Plugin.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

PromptCatcher* Catcher;

int WINAPI RecordPrompt(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    Catcher->Prompts.push_back({owner, text ? text : "", caption ? caption : "", style});
    if (Catcher->Echo) {
        std::printf("prompt [%s] %s\n", caption ? caption : "", text ? text : "");
        std::fflush(stdout);
    }
    return Catcher->Answer;
}

void WriteProtected(void* at, const void* bytes, size_t count) {
    DWORD previous = 0;
    if (!VirtualProtect(at, count, PAGE_EXECUTE_READWRITE, &previous))
        throw std::runtime_error("cannot make code writable");
    std::memcpy(at, bytes, count);
    VirtualProtect(at, count, previous, &previous);
    FlushInstructionCache(GetCurrentProcess(), at, count);
}

void ThisModule() {}

} // namespace

std::string BuildDirectory() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of("\\/") + 1);
}

PromptCatcher::PromptCatcher(int answer, bool echo) : Answer(answer), Echo(echo) {
    entry_ = reinterpret_cast<uint8_t*>(GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA"));
    if (!entry_) throw std::runtime_error("no MessageBoxA");
    std::memcpy(saved_, entry_, sizeof saved_);
    Catcher = this;
    uint8_t jump[5] = {0xE9};
    uint32_t displacement =
        reinterpret_cast<uintptr_t>(&RecordPrompt) - (reinterpret_cast<uintptr_t>(entry_) + 5);
    std::memcpy(jump + 1, &displacement, 4);
    WriteProtected(entry_, jump, sizeof jump);
}

PromptCatcher::~PromptCatcher() {
    WriteProtected(entry_, saved_, sizeof saved_);
    Catcher = nullptr;
}

LoadedPlugin::LoadedPlugin(const std::string& copyName) {
    std::string path = BuildDirectory() + "vantor.asi";
    if (!copyName.empty()) {
        copy_ = BuildDirectory() + copyName;
        if (!CopyFileA(path.c_str(), copy_.c_str(), FALSE))
            throw std::runtime_error("cannot copy vantor.asi");
        path = copy_;
    }
    module_ = LoadLibraryA(path.c_str());
    if (!module_)
        throw std::runtime_error("cannot load " + path + ", error " +
                                 std::to_string(GetLastError()));
}

LoadedPlugin::~LoadedPlugin() {
    Unload();
    if (!copy_.empty()) DeleteFileA(copy_.c_str());
}

void LoadedPlugin::Unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

bool LoadedPlugin::Contains(uintptr_t address) const {
    auto base = reinterpret_cast<uintptr_t>(module_);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
}

BOOL LoadedPlugin::Notify(DWORD reason) const {
    auto base = reinterpret_cast<uintptr_t>(module_);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    using Entry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    auto entry = reinterpret_cast<Entry>(base + nt->OptionalHeader.AddressOfEntryPoint);
    return entry(module_, reason, nullptr);
}

std::vector<uint8_t> CodeBytes(uintptr_t address, size_t count) {
    auto* p = reinterpret_cast<const uint8_t*>(address);
    return std::vector<uint8_t>(p, p + count);
}

void WriteCode(uintptr_t address, const std::vector<uint8_t>& bytes) {
    WriteProtected(reinterpret_cast<void*>(address), bytes.data(), bytes.size());
}

uintptr_t BranchTarget(uintptr_t address) {
    uint32_t displacement;
    std::memcpy(&displacement, reinterpret_cast<const void*>(address + 1), 4);
    return static_cast<uint32_t>(address + 5 + displacement);
}

std::vector<uint8_t> CallBytes(uintptr_t site, uintptr_t target, size_t length) {
    std::vector<uint8_t> bytes(length, 0x90);
    bytes[0] = 0xE8;
    uint32_t displacement = static_cast<uint32_t>(target - (site + 5));
    std::memcpy(&bytes[1], &displacement, 4);
    return bytes;
}

HRESULT TableResetResult = D3D_OK;

namespace {
std::vector<TableReset> Resets;

HRESULT WINAPI DeviceReset(const void* device, const void* parameters) {
    Resets.push_back({device, parameters, false});
    return TableResetResult;
}
HRESULT WINAPI DecoyReset(const void* device, const void* parameters) {
    Resets.push_back({device, parameters, true});
    return E_FAIL;
}

struct Tables {
    const void* Device[17];
    const void* Decoy[17];
    Tables() {
        for (int i = 0; i < 17; ++i)
            Device[i] = Decoy[i] = nullptr;
        Device[16] = reinterpret_cast<const void*>(&DeviceReset);
        Decoy[16] = reinterpret_cast<const void*>(&DecoyReset);
    }
};
Tables TheTables;
TableDevice Device{TheTables.Device};
} // namespace

TableDevice* TheTableDevice() {
    Resets.clear();
    TableResetResult = D3D_OK;
    return &Device;
}
const void* const* DecoyTable() {
    return TheTables.Decoy;
}
std::vector<TableReset>& TableResets() {
    return Resets;
}
