// What the fault matrix and the fault regressions share: device BramwickFault on the simulated
// controller SIMFAULT1, both fresh for each test, this test's own application on it, and peers
// (drawer_peer) on the same device.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

class FaultFixture : public ::testing::Test {
protected:
    static constexpr DWORD kBound = 10000;
    static constexpr char kDevice[] = "BramwickFault";
    static constexpr char kSim[] = "SIMFAULT1";

    void SetUp() override {
        ASSERT_EQ(0u, Sim(kSim, "reset"));
        m_device.SetText("Port", kSim);
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("DetectDelay_Time", 20);
        ASSERT_HR(S_OK, m_session.Create());
    }
    void TearDown() override {
        EXPECT_EQ(std::vector<std::string>(), m_session.co().Unexpected());
        m_session.Close();
        m_session.Attach(nullptr);
        Sim(kSim, "reset");  // also forgets a reply still on its way
    }

    LONG Open() { return m_session.Open(std::string(kDevice)); }
    bool OpenedBecomes(LONG value, DWORD bound = kBound) {
        return PumpUntil([&] { return m_session.DrawerOpened() == value; }, bound);
    }
    bool UpdatesBecome(const std::vector<LONG>& expected) {
        return PumpUntil([&] { return m_session.co().StatusUpdates() == expected; }, kBound);
    }
    testproc::Process Peer(const std::string& steps) const {
        return testproc::Peer(kDevice, steps);
    }
    void OpenEnabled() {
        ASSERT_OPOS(OPOS_SUCCESS, Open());
        m_session.Set(PIDX_DeviceEnabled, 1);
    }
    // Sets the named event, or waits (pumping) until it is set.
    // The event is kept for the rest of the test: a peer that reaches its wait later must still
    // find it set, not a new one.
    void Signal(const std::string& name) {
        m_signalled.emplace_back(testproc::Named(name));
        SetEvent(m_signalled.back().get());
    }
    static bool Signalled(const std::string& name) {
        fw::UniqueKernel event(testproc::Named(name));
        return PumpUntil([&] { return WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; },
                         kBound);
    }

    std::vector<fw::UniqueKernel> m_signalled;
    testutil::ComApartment m_com;
    ScratchDevice m_device{kDevice};
    DrawerClient m_session;
};
