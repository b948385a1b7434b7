// Whole sessions against the virtual supply: connect, identify, lock, poll, lose and disconnect.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QElapsedTimer>

#include "link/com_port_connector.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "sim/sim_device.h"
#include "tests/session/session_harness.h"
#include "tests/support/tcp_test_slave.h"

using sessiontest::TSessionHarness;

namespace {

TEST(SessionConnect, TcpSessionIdentifiesLocksAndPolls) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_EQ(h.supply->Register(simreg::LOCK), 0);
    ASSERT_TRUE(h.ConnectTcp());

    // Identified (default unit: DPS5015, version 4.6 with a temperature sensor).
    EXPECT_EQ(h.view.title, "DPS5015 ver. 4.6T");
    EXPECT_EQ(h.view.maxUset, 5100u);
    EXPECT_EQ(h.view.maxIset, 1510u);
    EXPECT_EQ(h.view.currentPointPos, 3u);
    // The keys were free, so the session locked them.
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 1);
    EXPECT_TRUE(h.view.panel.OnlineLamp);
    EXPECT_TRUE(h.view.panel.DisconnectEnabled);
    EXPECT_FALSE(h.view.panel.ConnectEnabled);
    EXPECT_FALSE(h.view.panel.PortListEnabled);
    EXPECT_FALSE(h.view.panel.IpFieldEnabled);
    EXPECT_TRUE(h.view.panel.OnOffEnabled);
    EXPECT_FALSE(h.view.panel.BusyRunning);

    // The link is remembered.
    EXPECT_EQ(h.settings.ReadString("PORT"), "TCP");
    EXPECT_EQ(static_cast<uint32_t>(h.settings.ReadInteger("TCP")), 0x0100007Fu);

    // Polling runs back to back and the readings reach the panel.
    ASSERT_TRUE(h.WaitPolls(20));
    EXPECT_EQ(h.core->Model().Version, ver_46);
    EXPECT_TRUE(h.view.panel.CounterResetEnabled);
    EXPECT_TRUE(h.view.panel.KeysLockedVisible);
    EXPECT_EQ(h.view.inputVoltage,
              "VIN " + QString::number(h.supply->Register(simreg::UIN) / 100.0, 'f', 2) + " V");
    EXPECT_EQ(h.view.protectionLabel, "Error");
    EXPECT_FALSE(h.view.protectionLit);
    EXPECT_TRUE(h.view.errors.isEmpty());
    EXPECT_TRUE(h.view.infos.isEmpty());  // ver_46 gets no version notice
}

// Keys another program locked belong to it: neither locked again nor released at the end.
TEST(SessionConnect, KeysLockedByAnotherProgramStayLocked) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::LOCK, 1);
    h.supply->ClearWrites();
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    EXPECT_FALSE(h.core->OwnsKeyLock());
    h.core->DisconnectBtnClick();
    EXPECT_FALSE(h.core->Connected());
    EXPECT_FALSE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(200)));
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 1);
}

// An observer reads only: it never locks, reads on when the keys come free, and writes nothing
// when it ends.
TEST(SessionConnect, ObserverNeverLocksAndOutlivesReleasedKeys) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.core->SetObserver(true);
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
    // Another program locks the keys and releases them again.
    h.supply->SetRegister(simreg::LOCK, 1);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Data().LOCK == 1; }));
    h.core->OnOffBtnClick();
    h.core->UsetIndChange(700);
    h.supply->ReleaseKeyLock();
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Data().LOCK == 0; }));
    ASSERT_TRUE(h.WaitPolls(5));
    EXPECT_TRUE(h.core->Connected());
    EXPECT_TRUE(h.view.errors.isEmpty());
    h.core->DisconnectBtnClick();
    EXPECT_FALSE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(200)));
    EXPECT_TRUE(h.supply->Writes().empty());
}

TEST(SessionConnect, UnreachableBridgeReportsAndSwitchesAutoconnectOff) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    const uint16_t port = h.supply->TcpPort();
    h.supply.reset();  // nothing listens there any more
    h.core->LoadSettings();
    h.core->TCPConnector().SetPort(port);
    h.core->ComPortComboBoxSelect(0);
    h.core->IpMaskEditChange("127.000.000.001");
    h.core->AutoConnectSwitchClick(false);
    h.core->ConnectBtnClick();
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_EQ(h.view.errors[0],
              "The TCP server at 127.0.0.1 does not replay!\rPlease check  the TCP IP address.");
    EXPECT_FALSE(h.core->Connected());
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
    EXPECT_FALSE(h.view.panel.AutoConnect);
    EXPECT_FALSE(h.view.panel.BusyRunning);
}

TEST(SessionConnect, AllZeroAddressIsRefused) {
    TSessionHarness h;
    h.core->ComPortComboBoxSelect(0);
    h.core->IpMaskEditChange("000.000.000.000");
    h.core->ConnectBtnClick();
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_EQ(h.view.errors[0], "Wrong address 000.000.000.000\rPlease check  the TCP IP address.");
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
}

TEST(SessionConnect, AddressFieldChecksEachOctet) {
    TSessionHarness h;
    h.core->IpMaskEditChange("192.168.001.001");
    h.core->IpMaskEditExit();
    EXPECT_TRUE(h.view.errors.isEmpty());
    h.core->IpMaskEditChange("192.300.001.001");
    h.core->IpMaskEditExit();
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_EQ(h.view.errors[0], "Not a valid IP address.");
}

TEST(SessionConnect, MissingSerialPortReportsClosedOrBusy) {
    TSessionHarness h;
    AddExtraPort("/dev/null");  // listed, but not a serial port
    h.core->LoadSettings();
    int index = -1;
    for (size_t i = 0; i < h.core->SerialPortList().size(); ++i)
        if (h.core->SerialPortList()[i].ShortName == "/dev/null") index = static_cast<int>(i);
    RemoveExtraPort("/dev/null");
    ASSERT_GT(index, 0);
    h.core->ComPortComboBoxSelect(index);
    h.core->ConnectBtnClick();
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_EQ(h.view.errors[0],
              "The /dev/null port is closed or busy!\rPlease check  the port and close other "
              "application using this port.");
    EXPECT_FALSE(h.core->ModbusMaster().Active());
}

TEST(SessionConnect, PortHeldByAnotherProgramIsReportedBusy) {
    TSessionHarness h;
    VirtualSupplyOptions opt;
    opt.pty = true;
    ASSERT_TRUE(h.StartSupply(opt));
    // Another program has the port open with the exclusive lock.
    const int other = ::open(h.supply->PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(h.ConnectPty(300));
    ::close(other);
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_TRUE(h.view.errors[0].startsWith("The port " +
                                            QString::fromStdString(h.supply->PtyPath()) +
                                            " is busy: another program is using it (this is not a "
                                            "permission problem).\r"))
        << h.view.errors[0].toStdString();
    EXPECT_FALSE(h.core->ModbusMaster().Active());
}

TEST(SessionConnect, KeyReleasedAtDeviceEndsSessionAsLost) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    h.supply->ReleaseKeyLock();
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->Connected(); }));
    ASSERT_EQ(h.view.errors.size(), 1);
    EXPECT_EQ(h.view.errors[0], "Connection lost !!!");
    EXPECT_EQ(h.view.title, "Benchlord");
    EXPECT_FALSE(h.view.panel.OnlineLamp);
    EXPECT_TRUE(h.view.traffic.Red);
    EXPECT_TRUE(h.view.panel.PortListEnabled);
    EXPECT_FALSE(h.view.panel.OnOffEnabled);
    EXPECT_EQ(h.view.setColor, h.core->SetColorCLR(0));
    EXPECT_FALSE(h.core->ModbusMaster().Active());
}

TEST(SessionConnect, ThreeUnansweredRequestsEndTheSession) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    SimFaults faults;
    faults.dropEvery = 1;
    QElapsedTimer elapsed;
    h.supply->SetFaults(faults);
    elapsed.start();
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->Connected(); }, 3000));
    // Three response waits of 150 ms pass before the loss is declared.
    EXPECT_GE(elapsed.elapsed(), 3 * 150 - 20);
    EXPECT_EQ(h.view.errors, QStringList{"Connection lost !!!"});
}

TEST(SessionConnect, DisconnectReleasesKeysEvenWhenSupplyIsSilent) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    SimFaults faults;
    faults.dropEvery = 1;
    h.supply->SetFaults(faults);
    h.supply->ClearWrites();
    QElapsedTimer elapsed;
    elapsed.start();
    h.core->DisconnectBtnClick();
    EXPECT_LT(elapsed.elapsed(), 1300);
    EXPECT_FALSE(h.core->Connected());
    ASSERT_TRUE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(500)));
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
    EXPECT_FALSE(h.view.panel.DisconnectEnabled);
    EXPECT_TRUE(h.view.errors.isEmpty());
}

TEST(SessionConnect, DisconnectReleasesKeysAndResetsThePanel) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitPolls(3));
    h.core->DisconnectBtnClick();
    // The release left before the link closed; the supply's thread applies it.
    EXPECT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::LOCK) == 0; }, 500));
    EXPECT_EQ(h.view.title, "Benchlord");
    EXPECT_EQ(h.view.uout, 0u);
    EXPECT_EQ(h.view.setPower, "Power 0.00 W");
    EXPECT_EQ(h.view.panel.SetLockCaption, "Unlock SET");
    EXPECT_FALSE(h.view.panel.SetLockEnabled);
    EXPECT_FALSE(h.view.panel.KnobsEnabled);
    EXPECT_EQ(h.view.panel.MemoryButtonDown, -1);
    EXPECT_FALSE(h.view.panel.TemperatureVisible);
    EXPECT_FALSE(h.view.panel.KeysLockedVisible);
    // Polling has stopped.
    const uint64_t requests = h.supply->Requests();
    testsupport::ProcessFor(100);
    EXPECT_EQ(h.supply->Requests(), requests);
}

TEST(SessionConnect, AutoconnectFindsTheRememberedBridge) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.settings.WriteString("PORT", "TCP");
    h.settings.WriteInteger("TCP", 0x0100007F);
    h.core->LoadSettings();
    EXPECT_EQ(h.view.ipText, "127.000.000.001");
    h.core->TCPConnector().SetPort(h.supply->TcpPort());
    h.core->AutoConnectSwitchClick(true);
    EXPECT_FALSE(h.view.panel.ConnectEnabled);
    EXPECT_TRUE(h.view.panel.BusyRunning);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Connected(); }, 2000));
    // Lost by the supply: reconnection resumes after the message.
    h.supply->ReleaseKeyLock();
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->Connected(); }));
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Connected(); }, 2000));
    EXPECT_EQ(h.view.errors, QStringList{"Connection lost !!!"});
}

TEST(SessionConnect, PtySessionAndRemovalOfOtherPortsOnly) {
    TSessionHarness h;
    VirtualSupplyOptions opt;
    opt.pty = true;
    ASSERT_TRUE(h.StartSupply(opt));
    ASSERT_TRUE(h.ConnectPty());
    ASSERT_TRUE(h.WaitPolls(5));
    const QString pty = QString::fromStdString(h.supply->PtyPath());
    EXPECT_EQ(h.settings.ReadString("PORT"), pty);
    EXPECT_EQ(h.settings.ReadBaud(pty), 2);
    EXPECT_EQ(h.settings.ReadDevice(pty), "DPS5015");
    EXPECT_EQ(h.core->MBType(), mbtRTU);

    h.core->DeviceChange(pcRemoval, "ttyUSB7");
    EXPECT_TRUE(h.core->Connected());
    ASSERT_TRUE(h.WaitPolls(3));
    h.core->DeviceChange(pcRemoval, pty);
    EXPECT_FALSE(h.core->Connected());
    EXPECT_TRUE(h.view.errors.isEmpty());
}

TEST(SessionConnect, RemovalDuringTcpSessionKeepsIt) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    // The serial connector still names a port from earlier use.
    h.core->COMPortConnector().SetPort("ttyUSB0");
    ASSERT_TRUE(h.ConnectTcp());
    h.core->DeviceChange(pcRemoval, "ttyUSB0");
    EXPECT_TRUE(h.core->Connected());
}

}  // namespace

namespace {

TEST(SessionSettings, ChoicesSurviveARestart) {
    TSessionHarness h;
    h.settings.WriteInteger("CLR2", 0x123456);
    h.settings.WriteInteger("BAUDRATE", 6);
    h.settings.WriteInteger("MBADDR", 4);
    h.settings.WriteInteger("RCNT", 1);
    h.settings.WriteInteger("Autoconnect", 0);
    h.core->LoadSettings();
    EXPECT_EQ(h.core->SetColorCLR(2), 0x123456u);
    EXPECT_EQ(h.core->SetColorCLR(1), 0xFFFFFFu);  // absent: default white
    EXPECT_EQ(h.view.baudIndex, 6);
    EXPECT_EQ(h.view.addressIndex, 4);
    EXPECT_EQ(h.view.ipText, "192.168.001.001");
    EXPECT_TRUE(h.core->ResetCountersChecked());
    h.core->AutoConnectSwitchClick(true);
    h.core->AutoConnectSwitchClick(false);
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
    h.core->BaudComboBoxSelect(3);
    h.core->SaveSettings();
    EXPECT_EQ(h.settings.ReadInteger("BAUDRATE"), 3);
    EXPECT_EQ(h.settings.ReadInteger("Autoconnect"), 0);
    EXPECT_EQ(h.settings.ReadInteger("CLR2"), 0x123456);
}

TEST(SessionSettings, ArrivalOfTheRememberedPortRestartsAutoconnect) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.settings.WriteString("PORT", "TCP");
    h.settings.WriteInteger("TCP", 0x0100007F);
    h.core->LoadSettings();
    h.core->TCPConnector().SetPort(h.supply->TcpPort());
    h.core->DeviceChange(pcArrival, "ttyUSB3");  // toggle off: nothing happens
    testsupport::ProcessFor(50);
    EXPECT_FALSE(h.core->Connected());
    h.core->AutoConnectSwitchClick(true);
    h.core->DeviceChange(pcArrival, "ttyUSB3");
    EXPECT_TRUE(h.view.panel.BusyRunning);
    EXPECT_EQ(h.view.panel.BusyAnimation, baSector);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Connected(); }, 2000));
}

}  // namespace

namespace {

TEST(SessionConnectQuietly, AKeyLockThatIsRefusedEndsPlainlyDisconnected) {
    sessiontest::TSessionHarness h;
    // Answers the identification as a DPS5015 4.6 with its keys free, refuses the key lock.
    testsupport::TTcpTestSlave slave;
    slave.SetRegister(hreg::MODEL, 5015);
    slave.SetRegister(hreg::VERSION, 46);
    slave.SetRegister(hreg::LOCK, 0);
    slave.SetRegister(hreg::ONOFF, 0);
    slave.SetExceptionCode(4);
    slave.QueueActions({testsupport::TSlaveAction::Answer, testsupport::TSlaveAction::Exception});
    h.core->LoadSettings();
    h.core->TCPConnector().SetPort(slave.Port());
    h.core->ComPortComboBoxSelect(0);
    h.core->IpMaskEditChange("127.000.000.001");
    bool done = false, connected = true;
    h.core->ConnectQuietly([&](bool AConnected) {
        done = true;
        connected = AConnected;
    });
    ASSERT_TRUE(h.WaitFor([&] { return done; }, 3000)) << "the attempt ends";
    EXPECT_FALSE(connected);
    EXPECT_TRUE(h.view.errors.isEmpty());
    EXPECT_TRUE(h.view.panel.ConnectEnabled);
    EXPECT_FALSE(h.view.panel.DisconnectEnabled);
    EXPECT_FALSE(h.view.panel.BusyRunning);
}

}  // namespace
