// Base fixture of every unit test: a fresh simulated machine, and at the end
// the check that every handle was closed exactly once and no message went to
// a destroyed window.
#pragma once

#include <gtest/gtest.h>

#include "main/main_state.h"
#include "sim/sim.h"

// The programs' module-wide state lives as long as the process; each test
// starts as a freshly started program.
inline void ResetProgramState() {
    ModuleInstance = nullptr;
    MainWindow = InstalledLabel = ResidentLabel = SummaryLabel = GuardButton = GuardStatusLabel = nullptr;
    ResidentGridFound = 0;
    GridRemovalIncomplete = 0;
    StartTempFolder.clear();
    DeepScanServiceList = DeepScanProcessList = nullptr;
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetProgramState();
    }
    void TearDown() override {
        EXPECT_EQ(sim::machine().OpenHandles(), std::vector<std::string>{}) << "handles left open";
        EXPECT_EQ(sim::machine().misuse, std::vector<std::string>{}) << "platform misuse";
        EXPECT_EQ(sim::machine().impersonating, "") << "the thread still acts as another user";
    }
    sim::Machine& M() { return sim::machine(); }
};
