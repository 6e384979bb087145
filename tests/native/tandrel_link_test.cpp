// KVTandrel's port handling and link speed against simulated ports.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/native/support/tandrel_fixture.h"

namespace {

using Kind = LinkEvent::Kind;
using Lines = std::vector<std::string>;

class TandrelLinkTest : public TandrelTest {
protected:
    void OpenCom1() {
        ports_.AddPort("COM1", &unit_);
        ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
        ClearLog();
        ClearEvents();
    }
};

TEST(TandrelObject, StartsAsAnEmulatorWithNoPort) {
    KVTandrel tandrel;
    EXPECT_EQ(tandrel.portOpen, 0);
    EXPECT_EQ(tandrel.hPort, nullptr);
    EXPECT_EQ(tandrel.deviceFamily, 8);
    EXPECT_EQ(tandrel.capabilities, 1);
    EXPECT_EQ(tandrel.idle, 1);
    EXPECT_EQ(tandrel.logSink, nullptr);
    EXPECT_EQ(tandrel.cancelRequested, 0);
    EXPECT_STREQ(tandrel.portName, "");
    EXPECT_EQ(tandrel.speedCode, 7);
}

TEST(Checksum8, SumsModulo256) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(Checksum8(abc, 3), 0x26);
    EXPECT_EQ(Checksum8(abc, 0), 0);
    EXPECT_EQ(Checksum8(abc, -5), 0);
    EXPECT_EQ(Checksum8(nullptr, 3), 0);
}

TEST(SpeedCodes, OnlyFourCodesHaveARate) {
    EXPECT_EQ(BaudRateOfSpeedCode(0), 921600);
    EXPECT_EQ(BaudRateOfSpeedCode(1), 460800);
    EXPECT_EQ(BaudRateOfSpeedCode(3), 230400);
    EXPECT_EQ(BaudRateOfSpeedCode(7), 115200);
    for (int code : {-1, 2, 4, 5, 6, 8, 255}) EXPECT_EQ(BaudRateOfSpeedCode(code), 0) << code;
}

TEST_F(TandrelLinkTest, InitPortConfiguresTheLineAndKeepsWhatItDoesNotSet) {
    ports_.AddPort("COM1", &unit_);
    SerialLineSettings before{9600, 7, 2, 2, true, true, 0, true, 0, true, true};
    ports_.SetLine("COM1", before);

    EXPECT_EQ(tandrel_.InitPort("COM1", 115200), 0);

    auto setups = EventsOf(Kind::kSetup);
    ASSERT_EQ(setups.size(), 1u);
    EXPECT_EQ(setups[0].requested, 1024u);
    EXPECT_EQ(setups[0].outputSize, 1024u);
    auto lines = EventsOf(Kind::kSetLine);
    ASSERT_EQ(lines.size(), 1u);
    const SerialLineSettings& line = lines[0].line;
    EXPECT_EQ(line.baudRate, 115200u);
    EXPECT_EQ(line.byteSize, 8);
    EXPECT_EQ(line.parity, 0);
    EXPECT_FALSE(line.outxCtsFlow);
    EXPECT_FALSE(line.outxDsrFlow);
    EXPECT_EQ(line.dtrControl, 1);
    EXPECT_FALSE(line.dsrSensitivity);
    EXPECT_EQ(line.rtsControl, 1);
    EXPECT_EQ(line.stopBits, 2) << "stop bits keep the value read";
    EXPECT_TRUE(line.outX) << "XON/XOFF keep the values read";
    EXPECT_TRUE(line.inX);
    auto timeouts = EventsOf(Kind::kSetTimeouts);
    ASSERT_EQ(timeouts.size(), 1u);
    EXPECT_EQ(timeouts[0].timeouts.readInterval, 25u);
    EXPECT_EQ(timeouts[0].timeouts.readTotalMultiplier, 0u);
    EXPECT_EQ(timeouts[0].timeouts.readTotalConstant, 300u);
    EXPECT_EQ(timeouts[0].timeouts.writeTotalMultiplier, 0u);
    EXPECT_EQ(timeouts[0].timeouts.writeTotalConstant, 110u);
    EXPECT_EQ(clock_.NowNs(), 40'000'000u) << "the 40 ms settle time";
    EXPECT_EQ(tandrel_.portOpen, 1);
    EXPECT_STREQ(tandrel_.portName, "COM1");
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(log_, (Lines{"KVTandrel: COM1 baud rate set to 115200",
                           "KVTandrel: Port opened and initialized successfully."}));
}

TEST_F(TandrelLinkTest, InitPortOfAMissingPortFailsWithTwoLines) {
    EXPECT_EQ(tandrel_.InitPort("COM9", 115200), -2);
    EXPECT_EQ(tandrel_.portOpen, 0);
    EXPECT_EQ(tandrel_.hPort, nullptr);
    EXPECT_STREQ(tandrel_.portName, "");
    EXPECT_EQ(log_, (Lines{"KVTandrel Port Init Failed (INVALID_HANDLE_VALUE)",
                           "KVTandrel: Port init failed with error -2."}));
}

TEST_F(TandrelLinkTest, InitPortRefusesANameItCouldNotRemember) {
    ports_.AddPort("COM1", &unit_);
    std::string longName(25, 'X');
    ports_.AddPort(longName, &unit_);
    EXPECT_EQ(tandrel_.InitPort(longName.c_str(), 115200), -2);
    EXPECT_EQ(tandrel_.InitPort(nullptr, 115200), -2);
    EXPECT_EQ(EventsOf(Kind::kOpen).size(), 0u);
}

struct ConfigFailure {
    const char* name;
    LinkFaults faults;
    Lines log;
};

class InitPortConfigFailure : public TandrelLinkTest,
                              public ::testing::WithParamInterface<ConfigFailure> {};

TEST_P(InitPortConfigFailure, KeepsTheHandleUntilTheNextInitPort) {
    ports_.AddPort("COM1", &unit_);
    ports_.SetFaults("COM1", GetParam().faults);
    EXPECT_EQ(tandrel_.InitPort("COM1", 115200), -2);
    EXPECT_EQ(log_, GetParam().log);
    EXPECT_EQ(tandrel_.portOpen, 0);
    EXPECT_NE(tandrel_.hPort, nullptr) << "the handle stays held";
    EXPECT_TRUE(ports_.IsOpen("COM1"));

    ports_.SetFaults("COM1", LinkFaults{});
    ClearLog();
    EXPECT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_[0], "KVTandrel: COM Port closed.");
}

const char kFailLine[] = "KVTandrel: Port init failed with error -2.";
const char kBaudLine[] = "KVTandrel: COM1 baud rate set to 115200";

INSTANTIATE_TEST_SUITE_P(
    Steps, InitPortConfigFailure,
    ::testing::Values(ConfigFailure{"SetupComm", {.failSetup = true}, {kFailLine}},
                      ConfigFailure{"GetCommState", {.failGetLine = true}, {kFailLine}},
                      ConfigFailure{"SetCommState", {.failSetLine = true}, {kFailLine}},
                      ConfigFailure{"SetCommTimeouts", {.failSetTimeouts = true}, {kBaudLine, kFailLine}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TandrelLinkTest, InitPortOverAnOpenPortClosesItAndSendsNothing) {
    OpenCom1();
    ports_.AddPort("COM2", nullptr);
    EXPECT_EQ(tandrel_.InitPort("COM2", 115200), 0);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_FALSE(ports_.IsOpen("COM1"));
    EXPECT_EQ(log_, (Lines{"KVTandrel: COM Port closed.", "KVTandrel: COM2 baud rate set to 115200",
                           "KVTandrel: Port opened and initialized successfully."}));
}

TEST_F(TandrelLinkTest, InitPortOverARaisedLinkBringsTheUnitBackFirst) {
    OpenCom1();
    ASSERT_EQ(tandrel_.SetLinkSpeed(0), 0);
    ClearEvents();
    EXPECT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"53 07 5A"}));
    EXPECT_EQ(unit_.baudRate(), 115200u);
    EXPECT_EQ(tandrel_.speedCode, 7);
}

TEST_F(TandrelLinkTest, ClosePortWithoutAPortOnlyLogs) {
    tandrel_.ClosePort();
    EXPECT_EQ(log_, Lines{"KVTandrel: COM Port closed."});
    EXPECT_TRUE(ports_.events().empty());
}

TEST_F(TandrelLinkTest, ClosePortOfARaisedLinkReturnsTheUnitTo115200) {
    OpenCom1();
    ASSERT_EQ(tandrel_.SetLinkSpeed(0), 0);
    ASSERT_EQ(unit_.baudRate(), 921600u);
    ClearEvents();
    ClearLog();

    tandrel_.ClosePort();

    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"53 07 5A"}));
    EXPECT_EQ(unit_.baudRate(), 115200u);
    EXPECT_EQ(ports_.BaudRate("COM1"), 115200u) << "reopened at 115200 before the release";
    EXPECT_FALSE(ports_.IsOpen("COM1"));
    EXPECT_EQ(tandrel_.hPort, nullptr);
    EXPECT_EQ(tandrel_.portOpen, 0);
    EXPECT_EQ(tandrel_.speedCode, 7);
    EXPECT_EQ(log_, (Lines{"KVTandrel: COM Port closed.", kBaudLine,
                           "KVTandrel: Port opened and initialized successfully.",
                           "KVTandrel: COM Port closed."}));
}

TEST_F(TandrelLinkTest, SetLinkSpeedRefusesCodesOutsideTheTable) {
    OpenCom1();
    for (int code : {2, 4, 5, 6, -1, 8}) {
        EXPECT_EQ(tandrel_.SetLinkSpeed(code), -18) << code;
        EXPECT_EQ(tandrel_.idle, 1);
    }
    EXPECT_TRUE(ports_.events().empty()) << "nothing sent, not even a purge";
}

TEST_F(TandrelLinkTest, SetLinkSpeedRaisesBothSides) {
    OpenCom1();
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"53 00 53"}));
    ASSERT_GE(ports_.events().size(), 2u);
    EXPECT_EQ(ports_.events()[0].kind, Kind::kPurge);
    EXPECT_EQ(tandrel_.speedCode, 0);
    EXPECT_EQ(unit_.baudRate(), 921600u);
    EXPECT_EQ(ports_.BaudRate("COM1"), 921600u);
    EXPECT_EQ(log_, (Lines{"KVTandrel: COM Port closed.", "KVTandrel: COM1 baud rate set to 921600",
                           "KVTandrel: Port opened and initialized successfully."}));
    // The link works at the new rate.
    FirmwareVersion version{};
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version), 0);
    EXPECT_EQ(version.modelLetter, 'F');
}

TEST_F(TandrelLinkTest, SetLinkSpeedSevenReopensAt115200) {
    OpenCom1();
    EXPECT_EQ(tandrel_.SetLinkSpeed(7), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"53 07 5A"}));
    EXPECT_EQ(EventsOf(Kind::kOpen).size(), 1u);
    EXPECT_EQ(ports_.BaudRate("COM1"), 115200u);
    EXPECT_EQ(tandrel_.speedCode, 7);
}

TEST_F(TandrelLinkTest, ARefusedSpeedChangeKeepsBothSidesWhereTheyWere) {
    OpenCom1();
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault refuse-speed", nullptr), "ok");
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -1);
    EXPECT_EQ(tandrel_.speedCode, 7);
    EXPECT_EQ(unit_.baudRate(), 115200u);
    EXPECT_TRUE(EventsOf(Kind::kOpen).empty()) << "not reopened";
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(TandrelLinkTest, ASilentUnitCostsTheStandingTimeout) {
    OpenCom1();
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault silent", nullptr), "ok");
    std::uint64_t before = clock_.NowNs();
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -1);
    EXPECT_EQ(clock_.NowNs() - before, 300'000'000u);
}

TEST_F(TandrelLinkTest, PortFailuresOfTheSpeedCommand) {
    OpenCom1();
    // Each failure leaves the unit's rate unknown: the port is closed.
    const std::pair<LinkFaults, std::int32_t> cases[] = {
        {{.failWriteAfter = 0}, -4},
        {{.shortWrite = true}, -4},  // a frame sent in part is a failed write
        {{.failReadAfter = 0}, -5},
    };
    for (const auto& [faults, result] : cases) {
        ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
        ports_.SetFaults("COM1", faults);
        EXPECT_EQ(tandrel_.SetLinkSpeed(0), result);
        EXPECT_EQ(tandrel_.portOpen, 0);
        EXPECT_FALSE(ports_.IsOpen("COM1"));
        EXPECT_EQ(tandrel_.speedCode, 7);
        EXPECT_EQ(tandrel_.idle, 1);
    }
}

TEST_F(TandrelLinkTest, APortThatDoesNotReopenAtTheNewRateClosesTheLink) {
    OpenCom1();
    ports_.SetFaults("COM1", {.failSetLine = true});
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -2);
    EXPECT_EQ(unit_.baudRate(), 921600u) << "the unit took the new rate";
    EXPECT_EQ(tandrel_.speedCode, 0);
    EXPECT_EQ(tandrel_.portOpen, 0);
    EXPECT_FALSE(ports_.IsOpen("COM1"));
    EXPECT_EQ(FailureReason(tandrel_.LastFailure(), "chip"),
              "The port COM1 did not reopen at 921600 baud.");
}

// A unit that stops answering over a raised link: the link is closed, after one try to bring the
// unit back to 115200 baud.
TEST_F(TandrelLinkTest, ALostLinkIsClosedAfterTryingToSetTheUnitBack) {
    Detect();
    ASSERT_EQ(tandrel_.SetLinkSpeed(0), 0);
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault stop 1", nullptr), "ok");
    ClearEvents();
    std::vector<std::uint8_t> buffer(0x400);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer.data(), 0, 0x400, nullptr), -17);
    const std::vector<std::string> frames = HexFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2], "53 07 5A");
    EXPECT_EQ(tandrel_.portOpen, 0);
    EXPECT_EQ(tandrel_.speedCode, 0) << "it did not answer: it is still at 921600 baud";
    EXPECT_EQ(tandrel_.LastFailure().step, TandrelStep::kReadBlock) << "the read's failure stays";
}

TEST_F(TandrelLinkTest, SetLinkSpeedWithoutAPortFailsTheWrite) {
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -4);
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(TandrelLinkTest, SetCommReadTimeout) {
    EXPECT_EQ(tandrel_.SetCommReadTimeout(6000), -2);
    OpenCom1();
    EXPECT_EQ(tandrel_.SetCommReadTimeout(6000), 0);
    EXPECT_EQ(ReadTimeoutsSet(), std::vector<std::uint32_t>{6000});
    EXPECT_EQ(EventsOf(Kind::kSetTimeouts)[0].timeouts.readInterval, 25u) << "only the constant changes";
    ports_.SetFaults("COM1", {.failGetTimeouts = true});
    EXPECT_EQ(tandrel_.SetCommReadTimeout(300), -1);
    ports_.SetFaults("COM1", {.failSetTimeouts = true});
    EXPECT_EQ(tandrel_.SetCommReadTimeout(300), -1);
    EXPECT_EQ(log_, (Lines{"KVTandrel: Comm Read Timeout Set To 6000 ms",
                           "KVTandrel: Comm Read Timeout Set Failed with -1",
                           "KVTandrel: Comm Read Timeout Set Failed with -1"}));
}

TEST_F(TandrelLinkTest, CancelOutsideAnExchangeChangesNothing) {
    tandrel_.RequestCancel();
    EXPECT_EQ(tandrel_.cancelRequested, 0);
    tandrel_.idle = 0;
    tandrel_.RequestCancel();
    EXPECT_EQ(tandrel_.cancelRequested, 1);
}

TEST_F(TandrelLinkTest, WithoutASinkNothingIsLogged) {
    tandrel_.logSink = nullptr;
    EXPECT_EQ(tandrel_.InitPort("COM9", 115200), -2);
    tandrel_.ClosePort();
    EXPECT_TRUE(log_.empty());
}

TEST_F(TandrelLinkTest, DestructionClosesTheHandleSilently) {
    {
        KVTandrel other(ports_, clock_);
        ports_.AddPort("COM2", &unit_);
        ASSERT_EQ(other.InitPort("COM2", 115200), 0);
        ClearEvents();
    }
    EXPECT_FALSE(ports_.IsOpen("COM2"));
    EXPECT_TRUE(ports_.Frames().empty());
}

}  // namespace
