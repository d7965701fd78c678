// The service object of this build created in the test's own process (so that a test can also
// reach its C++ side), driven through IDispatch as a control object drives it, on a scratch
// device of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "so/cash_drawer.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

class ServiceTest : public ::testing::Test {
protected:
    static constexpr DWORD kBound = 10000;

    explicit ServiceTest(const char* device) : m_device(device) {}
    void SetUp() override {
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("DetectDelay_Time", 20);
        fw::ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CCashDrawer::CreateInstance(IID_IDispatch, object.put_void()));
        m_drawer.Attach(object.get());
        m_service = static_cast<CCashDrawer*>(static_cast<fw::DispatchObject*>(object.get()));
        ResetEvent(m_powerFail.get());
    }
    void TearDown() override { ResetEvent(m_powerFail.get()); }

    LONG Open() { return m_drawer.Open(m_device.name()); }
    void OpenEnabled() {
        ASSERT_OPOS(OPOS_SUCCESS, Open());
        ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Set(PIDX_DeviceEnabled, 1));
    }
    LONG Number(LONG index) { return m_drawer.Number(index); }
    LONG Set(LONG index, LONG value) { return m_drawer.Set(index, value); }
    bool PropertyBecomes(LONG index, LONG value) {
        return PumpUntil([&] { return Number(index) == value; }, kBound);
    }
    DWORD Sim(const std::string& args) { return ::Sim(m_device.SimName(), args); }

    testutil::ComApartment m_com;
    ScratchDevice m_device;
    DrawerClient m_drawer;
    CCashDrawer* m_service = nullptr;
    // The power-fail event every service watches; reset around each test.
    fw::UniqueKernel m_powerFail{CreateEventA(nullptr, TRUE, FALSE, "Vantrel PowerFail Event")};
};
