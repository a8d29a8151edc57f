// The plug-in as players get it: a 32-bit DLL with ASLR and NX, exporting nothing and importing
// only what every Windows with a DirectX 9 runtime has.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::string BuildDirectory() {
    char path[MAX_PATH];
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&BuildDirectory), &self);
    GetModuleFileNameA(self, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of("\\/") + 1);
}

class PluginImage : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ifstream in(BuildDirectory() + "vantor.asi", std::ios::binary);
        ASSERT_TRUE(in) << "build/vantor.asi is missing";
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
        ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    }

    // File offset of a relative virtual address, through the section table.
    size_t Offset(DWORD rva) const {
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s)
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + s->Misc.VirtualSize)
                return rva - s->VirtualAddress + s->PointerToRawData;
        return 0;
    }

    std::vector<char> bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;
};

TEST_F(PluginImage, IsA32BitDllWithAslrAndNx) {
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_TRUE(nt->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(nt->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
}

TEST_F(PluginImage, ExportsNothing) {
    const IMAGE_DATA_DIRECTORY& exports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    EXPECT_EQ(exports.VirtualAddress, 0u);
    EXPECT_EQ(exports.Size, 0u);
}

TEST_F(PluginImage, ImportsOnlyTheSystemAndDirectXLibraries) {
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(imports.VirtualAddress, 0u);
    std::set<std::string> names;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             bytes.data() + Offset(imports.VirtualAddress));
         d->Name; ++d) {
        std::string name = bytes.data() + Offset(d->Name);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        names.insert(name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"d3dx9_43.dll", "kernel32.dll", "msvcrt.dll",
                                            "user32.dll"}));
}

} // namespace
