// Entry of every test module: hostsim.exe calls ModuleMain with the remaining arguments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/gamemodel/GameModel.h"

namespace {
// Every test starts from a pristine game.
class PristineGame : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { GameReset(); }
};
} // namespace

extern "C" __declspec(dllexport) int ModuleMain(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new PristineGame);
    int result = RUN_ALL_TESTS();
    fflush(stdout);
    return result;
}
