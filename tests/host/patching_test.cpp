// The patch writer on its own: the bytes of a patch, and a range it cannot make writable.
#include <gtest/gtest.h>

#include <cstring>

#include "host/Patching.h"
#include "tests/host/Plugin.h"

namespace {

DWORD Protection(uintptr_t address) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info);
    return info.Protect;
}

// A target below the site: the displacement wraps modulo 2^32 and has its top bit set.
TEST(WriteBranchPatch, CallTowardATargetBelowTheSite) {
    std::vector<DWORD> before = GameCodeProtections();
    ASSERT_TRUE(WriteBranchPatch(HostResetSite1, 0xE8, 0x00401000, 9));
    // 0x00401000 - (0x007F8704 + 5) = 0xFFC088F7
    std::vector<uint8_t> expected = {0xE8, 0xF7, 0x88, 0xC0, 0xFF, 0x90, 0x90, 0x90, 0x90};
    EXPECT_EQ(CodeBytes(HostResetSite1, 9), expected);
    EXPECT_EQ(GameCodeProtections(), before);
}

TEST(WriteBranchPatch, JumpWithoutTail) {
    std::vector<uint8_t> after = CodeBytes(HostDrawSite + 5, 4);
    ASSERT_TRUE(WriteBranchPatch(HostDrawSite, 0xE9, 0x80000000, 5));
    // 0x80000000 - 0x0058E8AC = 0x7FA71754
    std::vector<uint8_t> expected = {0xE9, 0x54, 0x17, 0xA7, 0x7F};
    EXPECT_EQ(CodeBytes(HostDrawSite, 5), expected);
    EXPECT_EQ(CodeBytes(HostDrawSite + 5, 4), after);
}

// A site whose last bytes run onto a page that cannot be made writable: nothing is written, not
// even the opcode, so that no half patch leads into a torn displacement.
TEST(WriteBranchPatch, WritesNothingWhenPartOfTheRangeCannotBeMadeWritable) {
    auto* region = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x2000, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(region, nullptr);
    ASSERT_NE(VirtualAlloc(region, 0x1000, MEM_COMMIT, PAGE_EXECUTE_READWRITE), nullptr);
    uintptr_t site = reinterpret_cast<uintptr_t>(region) + 0x1000 - 3;
    std::memset(region + 0x1000 - 3, 0xCC, 3);
    DWORD old = 0;
    VirtualProtect(region, 0x1000, PAGE_EXECUTE_READ, &old);

    EXPECT_FALSE(WriteBranchPatch(site, 0xE8, 0x00401000, 11));
    EXPECT_EQ(CodeBytes(site, 3), std::vector<uint8_t>(3, 0xCC));
    EXPECT_EQ(Protection(site), DWORD(PAGE_EXECUTE_READ));
    // Reading there is harmless too: an address that cannot be read gives no expected byte.
    EXPECT_EQ(ReadSiteByte(site + 3), 0);
    VirtualFree(region, 0, MEM_RELEASE);
}

TEST(ReadSiteByte, ReadsThroughANoAccessPageAndPutsItBack) {
    DWORD old = 0;
    ASSERT_TRUE(
        VirtualProtect(reinterpret_cast<void*>(HostDrawInterfaceSite), 1, PAGE_NOACCESS, &old));
    EXPECT_EQ(ReadSiteByte(HostDrawInterfaceSite), 0xA0);
    EXPECT_EQ(Protection(HostDrawInterfaceSite), DWORD(PAGE_NOACCESS));
    VirtualProtect(reinterpret_cast<void*>(HostDrawInterfaceSite), 1, old, &old);
}

} // namespace
