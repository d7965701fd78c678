// The port library's texts: which port names choose the simulator, and the settings text.
#include <gtest/gtest.h>

#include <string>

#include "ports/port_settings.h"

namespace {

using ports::PortKind;

TEST(PortNameKind, SimInAnyCaseNamesAController) {
    std::string name;
    EXPECT_EQ(PortKind::Simulator, ports::ClassifyPort("sim1", &name));
    EXPECT_EQ("SIM1", name);
    EXPECT_EQ(PortKind::Simulator, ports::ClassifyPort("Sim_Front-2", &name));
    EXPECT_EQ("SIM_FRONT-2", name);
    EXPECT_EQ(PortKind::Simulator, ports::ClassifyPort("SIM", &name));
    EXPECT_EQ("SIM", name);
    EXPECT_EQ(PortKind::Simulator,
              ports::ClassifyPort(("SIM" + std::string(61, 'X')).c_str(), &name));
}

TEST(PortNameKind, EverythingElseIsASerialPortOrARefusedName) {
    for (const char* serial : {"COM3", "COM10", "\\\\.\\COM3", "SI", "S", "", "XSIM1"}) {
        EXPECT_EQ(PortKind::Serial, ports::ClassifyPort(serial, nullptr)) << serial;
    }
    EXPECT_EQ(PortKind::Serial, ports::ClassifyPort(nullptr, nullptr));
    // These would escape the state folder or the kernel object namespace.
    for (const char* bad : {"SIM1\\..\\x", "SIM 1", "SIM1.sim", "SIM:1", "SIM/1"}) {
        EXPECT_EQ(PortKind::BadSimName, ports::ClassifyPort(bad, nullptr)) << bad;
    }
    EXPECT_EQ(PortKind::BadSimName,
              ports::ClassifyPort(("SIM" + std::string(62, 'X')).c_str(), nullptr));
}

TEST(PortLineSettings, ReadsTheFourFields) {
    ports::LineSettings s;
    ASSERT_TRUE(ports::ParseLineSettings("19200,N,8,1", &s));
    EXPECT_EQ(19200u, s.baud);
    EXPECT_EQ('N', s.parity);
    EXPECT_EQ(8, s.dataBits);
    EXPECT_EQ(2, s.stopBitsTimesTwo);

    ASSERT_TRUE(ports::ParseLineSettings(" 9600 , e , 7 , 1.5 ", &s));
    EXPECT_EQ(9600u, s.baud);
    EXPECT_EQ('E', s.parity);
    EXPECT_EQ(7, s.dataBits);
    EXPECT_EQ(3, s.stopBitsTimesTwo);

    ASSERT_TRUE(ports::ParseLineSettings("115200,s,5,2", &s));
    EXPECT_EQ('S', s.parity);
    EXPECT_EQ(5, s.dataBits);
    EXPECT_EQ(4, s.stopBitsTimesTwo);
}

TEST(PortLineSettings, RefusesAnythingElseAndLeavesTheResultAlone) {
    for (const char* bad :
         {"", "19200", "19200,N,8", "19200,N,8,1,x", "0,N,8,1", "-9600,N,8,1", "19200,X,8,1",
          "19200,NO,8,1", "19200,N,9,1", "19200,N,4,1", "19200,N,8,3", "19200,N,8,1.0",
          "19200;N;8;1", "4000001,N,8,1", "99999999999,N,8,1", "19 200,N,8,1"}) {
        ports::LineSettings s;
        s.baud = 1234;
        EXPECT_FALSE(ports::ParseLineSettings(bad, &s)) << bad;
        EXPECT_EQ(1234u, s.baud) << bad;
    }
    ports::LineSettings s;
    EXPECT_FALSE(ports::ParseLineSettings(nullptr, &s));
}

}  // namespace
