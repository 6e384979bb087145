// Finding and naming the unit: the port scan, the version and the hardware information block.
#include <gtest/gtest.h>

#include <cstring>

#include "device/port_scan.h"
#include "tests/native/support/tandrel_fixture.h"

namespace {

using Kind = LinkEvent::Kind;
using Lines = std::vector<std::string>;

class IdentificationTest : public TandrelTest {
protected:
    std::uint32_t Detect() {
        flags_ = tandrel_.DetectHardware(name_, sizeof name_, &version_);
        return flags_;
    }
    std::vector<std::string> PortsTried() const {
        std::vector<std::string> names;
        for (const LinkEvent& e : ports_.events()) {
            if (e.kind == Kind::kOpen || e.kind == Kind::kOpenFailed) names.push_back(e.port);
        }
        return names;
    }
    void Command(const std::string& line) { ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr), "ok") << line; }

    char name_[kHardwareNameSize] = "previous";
    FirmwareVersion version_{9, 9, '9'};
    std::uint32_t flags_ = 0;
};

TEST_F(IdentificationTest, TheScanStopsAtTheFirstPortThatAnswers) {
    ports_.AddPort("COM2", nullptr);  // exists, stays silent
    ports_.AddPort("COM3", &unit_);
    ports_.AddPort("COM4", &unit_);
    Command("model tandrel-serial");

    EXPECT_EQ(Detect(), 0x81u);
    EXPECT_EQ(PortsTried(), (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_STREQ(tandrel_.portName, "COM3");
    EXPECT_EQ(tandrel_.portOpen, 1);
    EXPECT_FALSE(ports_.IsOpen("COM2")) << "the silent port was closed by the next InitPort";
    EXPECT_STREQ(name_, "Tandrel Serial v2.5.A");
}

// Beyond COM1 to COM5 only ports that exist are tried: first the one where a unit was last
// found, then the rest in order. Ports are "silent" (exist, never answer) or hold "unit".
struct ScanCase {
    std::vector<std::pair<std::string, bool>> ports;  // name, whether the unit is there
    const char* lastPort;
    std::vector<std::string> tried;
    const char* found;  // "" when nothing answered
    ScanStart start = ScanStart::kUsualOrder;
};

TEST_F(IdentificationTest, TheScanTriesTheFirstFiveThenTheLastPortThenEveryOtherThatExists) {
    const ScanCase cases[] = {
        {{{"COM2", false}, {"COM7", false}, {"COM12", true}},
         nullptr,
         {"COM1", "COM2", "COM3", "COM4", "COM5", "COM7", "COM12"},
         "COM12"},
        {{{"COM7", false}, {"COM12", true}},
         "COM12",
         {"COM1", "COM2", "COM3", "COM4", "COM5", "COM12"},
         "COM12"},
        // Names are compared without regard to case; a last port that is gone costs nothing.
        {{{"COM200", true}}, "com12", {"COM1", "COM2", "COM3", "COM4", "COM5", "COM200"}, "COM200"},
        {{{"COM3", true}}, "COM3", {"COM1", "COM2", "COM3"}, "COM3"},
        {{{"COM9", false}, {"COM256", true}},
         "COM9",
         {"COM1", "COM2", "COM3", "COM4", "COM5", "COM9", "COM256"},
         "COM256"},
        // Only COM names up to COM256 count as a last port; anything else is passed over.
        {{{"COM6", true}}, "/dev/ttyS0", {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"}, "COM6"},
        {{{"COM6", true}}, "COM257", {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"}, "COM6"},
        {{{"COM6", false}}, nullptr, {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"}, ""},
        // Looking again: the last port first, and not again in its place.
        {{{"COM2", false}, {"COM12", true}},
         "COM12",
         {"COM12"},
         "COM12",
         ScanStart::kLastPortFirst},
        {{{"COM3", false}, {"COM7", true}},
         "COM3",
         {"COM3", "COM1", "COM2", "COM4", "COM5", "COM7"},
         "COM7",
         ScanStart::kLastPortFirst},
        {{{"COM2", true}}, "COM9", {"COM1", "COM2"}, "COM2", ScanStart::kLastPortFirst},
    };
    for (const ScanCase& c : cases) {
        VirtualClock clock;
        SimulatedPorts ports(clock);
        ProgrammerUnit unit;
        for (const auto& [name, hasUnit] : c.ports) ports.AddPort(name, hasUnit ? &unit : nullptr);
        KVTandrel tandrel(ports, clock);
        FirmwareVersion version{};
        const std::uint32_t flags =
            tandrel.DetectHardware(nullptr, 0, &version, c.lastPort, c.start);
        std::vector<std::string> tried;
        for (const LinkEvent& e : ports.events()) {
            if (e.kind == Kind::kOpen || e.kind == Kind::kOpenFailed) tried.push_back(e.port);
        }
        const std::string last = c.lastPort != nullptr ? c.lastPort : "(none)";
        EXPECT_EQ(tried, c.tried) << last;
        EXPECT_EQ(flags, *c.found != '\0' ? 0x02u : 0u) << last;
        if (*c.found != '\0') {
            EXPECT_STREQ(tandrel.portName, c.found) << last;
        }
    }
}

TEST_F(IdentificationTest, ComPortNumbers) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"com12", 12}, {"Com256", 256},    {"COM257", 0}, {"COM0", 0}, {"COM012", 0},
        {"COM", 0},  {"COM1a", 0},  {"\\\\.\\COM3", 0}, {"LPT1", 0},   {"", 0},     {nullptr, 0},
    };
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(ComPortNumber(name), number) << (name != nullptr ? name : "null");
    }
}

// 40 ms to settle, 110 ms for the version at 115200 baud, 40 ms at each faster rate.
TEST_F(IdentificationTest, ASilentPortCostsTheSettleTimeAndTheVersionTimeouts) {
    ports_.AddPort("COM1", nullptr);
    ports_.AddPort("COM2", &unit_);
    Detect();
    std::uint64_t com2Opened = 0;
    for (const LinkEvent& e : ports_.events()) {
        if (e.kind == Kind::kOpen && e.port == "COM2") com2Opened = e.timeNs;
    }
    EXPECT_EQ(com2Opened, (40 + 110 + 3 * 40) * 1000000ull);
}

// A host that ended without setting the link back leaves the unit at its faster rate: it is
// asked there after silence at 115200 baud, and set back before anything else.
TEST_F(IdentificationTest, AUnitLeftAtAFasterRateIsFoundAndSetBack) {
    const std::pair<std::uint32_t, std::vector<std::string>> cases[] = {
        {921600, {"56 56", "56 56", "53 07 5A"}},
        {460800, {"56 56", "56 56", "56 56", "53 07 5A"}},
        {230400, {"56 56", "56 56", "56 56", "56 56", "53 07 5A"}},
    };
    ports_.AddPort("COM1", &unit_);
    for (const auto& [rate, frames] : cases) {
        ClearEvents();
        ASSERT_TRUE(unit_.SetBaudRate(rate));
        EXPECT_EQ(Detect(), 0x02u) << rate;
        std::vector<std::string> sent = HexFrames();
        sent.resize(frames.size());  // the information block follows
        EXPECT_EQ(sent, frames) << rate;
        EXPECT_EQ(unit_.baudRate(), 115200u);
        EXPECT_EQ(ports_.BaudRate("COM1"), 115200u);
        EXPECT_EQ(tandrel_.speedCode, 7);
        EXPECT_STREQ(name_, "Vorland v1.0.F");
    }
}

// A raised unit that cannot be set back is released where it is, and the scan goes on.
TEST_F(IdentificationTest, ARaisedUnitThatDoesNotComeBackIsPassedOver) {
    ports_.AddPort("COM1", &unit_);
    ASSERT_TRUE(unit_.SetBaudRate(921600));
    Command("fault refuse-speed");
    EXPECT_EQ(Detect(), 0u);
    EXPECT_FALSE(ports_.IsOpen("COM1"));
    EXPECT_EQ(tandrel_.speedCode, 0) << "the unit is left at 921600 baud";
    EXPECT_EQ(tandrel_.LastFailure().step, TandrelStep::kLinkSpeed);
    EXPECT_EQ(FailureReason(tandrel_.LastFailure(), "chip"),
              "The unit refused 115200 baud (it answered '?').");

    ProgrammerUnit second;
    ports_.AddPort("COM2", &second);
    EXPECT_EQ(Detect(), 0x02u);
    EXPECT_STREQ(tandrel_.portName, "COM2");
    EXPECT_EQ(tandrel_.speedCode, 7);
}

TEST_F(IdentificationTest, OnePortAloneAndAStoppedScan) {
    ports_.AddPort("COM1", &unit_);
    ports_.AddPort("COM7", &unit_);
    EXPECT_EQ(tandrel_.DetectHardwareAt("COM7", name_, sizeof name_, &version_), 0x02u);
    EXPECT_EQ(PortsTried(), std::vector<std::string>{"COM7"});
    EXPECT_EQ(tandrel_.DetectHardwareAt("COM8", name_, sizeof name_, &version_), 0u);
    tandrel_.stopRequested = 1;
    ClearEvents();
    EXPECT_EQ(Detect(), 0u);
    EXPECT_TRUE(PortsTried().empty());
}

// A stop between the exchanges that identify a unit ends the scan there: nothing found, no port
// held, and a unit that was found at a faster rate is back at 115200 baud.
TEST_F(IdentificationTest, AStopDuringTheIdentificationLetsThePortGo) {
    struct Case {
        std::uint32_t unitRate;
        const char* stopAfter;  // the log line after which the stop comes
    };
    const Case cases[] = {
        {115200, "KVTandrel: Firmware Version string requested"},
        {115200, "KVTandrel: Hardware Version Information requested"},
        {921600, "KVTandrel: COM1 baud rate set to 921600"},
        {921600, "KVTandrel: Hardware Version Information requested"},
    };
    static std::string stopAfter;
    static KVTandrel* device = nullptr;
    device = &tandrel_;
    SetLogLineWriter([](void*, const char* line) {
        if (stopAfter == line) device->stopRequested = 1;
    });
    ports_.AddPort("COM1", &unit_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopAfter);
        ASSERT_TRUE(unit_.SetBaudRate(c.unitRate));
        stopAfter = c.stopAfter;
        tandrel_.stopRequested = 0;
        ClearEvents();
        EXPECT_EQ(Detect(), 0u);
        EXPECT_FALSE(ports_.IsOpen("COM1"));
        EXPECT_EQ(tandrel_.portOpen, 0);
        EXPECT_EQ(unit_.baudRate(), 115200u);
        for (const std::string& port : PortsTried()) EXPECT_EQ(port, "COM1") << "no port after it";
        for (const auto& frame : ports_.Frames()) {
            EXPECT_FALSE(frame[0] == 'S' && frame[1] != kSpeedCode115200) << "nothing raised";
        }
    }
}

// A port that opens but refuses its settings is let go at once, also as the last port tried.
TEST_F(IdentificationTest, APortThatRefusesItsSettingsIsNotHeld) {
    for (const char* port : {"COM4", "COM5"}) ports_.AddPort(port, nullptr);
    ports_.SetFaults("COM5", {.failSetLine = true});
    EXPECT_EQ(Detect(), 0u);
    EXPECT_EQ(PortsTried().back(), "COM5");
    EXPECT_FALSE(ports_.IsOpen("COM5"));
    EXPECT_EQ(tandrel_.hPort, nullptr);
}

TEST_F(IdentificationTest, LogLinesOfADetectionInOrder) {
    ports_.AddPort("COM1", &unit_);
    Command("model tandrel-usb");
    Detect();
    EXPECT_EQ(log_, (Lines{"KVTandrel: COM1 baud rate set to 115200",
                           "KVTandrel: Port opened and initialized successfully.",
                           "KVTandrel: Firmware Version string requested",
                           "KVTandrel: Comm Read Timeout Set To 110 ms",
                           "KVTandrel: Comm Read Timeout Set To 300 ms",
                           "KVTandrel: Hardware Version Information requested"}));
}

TEST_F(IdentificationTest, FramesOfTheVersionAndTheInformationBlock) {
    ports_.AddPort("COM1", &unit_);
    Detect();
    std::vector<std::string> expected = {"56 56"};
    for (int address = 1; address <= 7; ++address) {
        char frame[32];
        std::snprintf(frame, sizeof frame, "48 52 01 00 %02X %02X", address, 0x9B + address);
        expected.push_back(frame);
    }
    EXPECT_EQ(HexFrames(), expected);
    EXPECT_EQ(EventsOf(Kind::kPurge).size(), 8u) << "a purge before every command";
}

struct ModelCase {
    const char* commands;
    std::uint32_t flags;
    const char* name;
    std::int32_t family;
    std::int32_t capabilities;
};

class ModelIdentification : public IdentificationTest,
                            public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelIdentification, SetsFlagsNameAndFields) {
    ports_.AddPort("COM1", &unit_);
    std::string commands = GetParam().commands;
    for (std::size_t start = 0; start < commands.size();) {
        std::size_t end = commands.find(';', start);
        if (end == std::string::npos) end = commands.size();
        Command(commands.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(Detect(), GetParam().flags);
    EXPECT_STREQ(name_, GetParam().name);
    EXPECT_EQ(tandrel_.deviceFamily, GetParam().family);
    EXPECT_EQ(tandrel_.capabilities, GetParam().capabilities);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelIdentification,
    ::testing::Values(
        ModelCase{"model tandrel-serial", 0x81, "Tandrel Serial v2.5.A", 32, 2},
        ModelCase{"model tandrel-usb", 0x41, "Tandrel USB v2.5.A", 32, 2},
        ModelCase{"model vorland", 0x02, "Vorland v1.0.F", 32, 2},
        ModelCase{"model calyxor1", 0x08, "Calyxor I v1.2.1", 8, 1},
        ModelCase{"model calyxor2", 0x04, "Calyxor II v2.0.2", 4, 1},
        // The information block wins over the version letter.
        ModelCase{"model vorland;eeprom 1 A 1 3 S", 0x81, "Tandrel Serial v1.0.F", 32, 2},
        ModelCase{"model tandrel-usb;eeprom 1 F", 0x02, "Vorland v2.5.A", 32, 2},
        // A block naming neither model: the letter decides; an unknown interface adds nothing.
        ModelCase{"model tandrel-usb;eeprom 1 0x00", 0x01, "Tandrel v2.5.A", 32, 2},
        ModelCase{"model tandrel-usb;eeprom 4 X", 0x01, "Tandrel v2.5.A", 32, 2},
        ModelCase{"model vorland;eeprom 1 Z", 0x02, "Vorland v1.0.F", 32, 2},
        // The block cannot be read: the Tandrel is still found, without its interface.
        ModelCase{"model tandrel-usb;fault eeprom-silent", 0x01, "Tandrel v2.5.A", 32, 2},
        ModelCase{"model tandrel-usb;fault eeprom-bad-checksum", 0x01, "Tandrel v2.5.A", 32, 2},
        ModelCase{"model tandrel-usb;fault eeprom-refused", 0x01, "Tandrel v2.5.A", 32, 2}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(IdentificationTest, AnUnknownLetterLeavesTheObjectAndKeepsTheOldName) {
    ports_.AddPort("COM1", &unit_);
    Command("version 3 1 Z");
    EXPECT_EQ(Detect(), 0u);
    EXPECT_STREQ(name_, "previous v3.1.Z");
    EXPECT_EQ(tandrel_.deviceFamily, 8);
    EXPECT_EQ(tandrel_.capabilities, 1);
    EXPECT_STREQ(tandrel_.portName, "COM1");
    EXPECT_EQ(tandrel_.portOpen, 0) << "the port is released";
}

// Any serial device may answer the version frame with three bytes. Ports whose reply names no
// programmer are released and the scan goes on to the unit.
TEST_F(IdentificationTest, PortsThatNameNoProgrammerAreSkippedAndReleased) {
    ProgrammerUnit streaming;
    ASSERT_EQ(ExecuteUnitCommand(streaming, "version 3 1 Z", nullptr), "ok");
    ProgrammerUnit emulator;
    emulator.SetModel(UnitModel::kCalyxor2);
    ports_.AddPort("COM2", &streaming);
    ports_.AddPort("COM3", &emulator);
    ports_.AddPort("COM4", nullptr);
    ports_.AddPort("COM12", &unit_);
    EXPECT_EQ(Detect(), 0x02u);
    EXPECT_STREQ(tandrel_.portName, "COM12");
    EXPECT_STREQ(name_, "Vorland v1.0.F");
    for (const char* port : {"COM2", "COM3", "COM4"}) EXPECT_FALSE(ports_.IsOpen(port)) << port;
    EXPECT_TRUE(ports_.IsOpen("COM12"));
}

TEST_F(IdentificationTest, AnEmulatorKeepsItsOtherCapabilityBits) {
    ports_.AddPort("COM1", &unit_);
    Command("model calyxor2");
    tandrel_.capabilities = 4;
    Detect();
    EXPECT_EQ(tandrel_.capabilities, 5);
}

TEST_F(IdentificationTest, NothingFoundClearsNameAndVersion) {
    ports_.AddPort("COM5", nullptr);
    EXPECT_EQ(Detect(), 0u);
    EXPECT_STREQ(name_, "");
    EXPECT_EQ(version_.major, 0);
    EXPECT_EQ(version_.minor, 0);
    EXPECT_EQ(version_.modelLetter, 0);
    EXPECT_EQ(tandrel_.portOpen, 0) << "the silent COM5 is released";
    EXPECT_FALSE(ports_.IsOpen("COM5"));
    EXPECT_EQ(PortsTried(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5"}));
}

TEST_F(IdentificationTest, NullVersionOpensNothing) {
    ports_.AddPort("COM1", &unit_);
    EXPECT_EQ(tandrel_.DetectHardware(name_, sizeof name_, nullptr), 0u);
    EXPECT_TRUE(ports_.events().empty());
    EXPECT_STREQ(name_, "previous");
}

TEST_F(IdentificationTest, NullNameStillIdentifies) {
    ports_.AddPort("COM1", &unit_);
    EXPECT_EQ(tandrel_.DetectHardware(nullptr, 0, &version_), 0x02u);
    EXPECT_EQ(version_.modelLetter, 'F');
}

TEST_F(IdentificationTest, VersionReplyShorterThanThreeBytesIsNoUnit) {
    ports_.AddPort("COM1", &unit_);
    Command("fault short-version");
    ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version_), -7);
    EXPECT_EQ(version_.modelLetter, '9') << "untouched";
    EXPECT_EQ(Detect(), 0u);
}

TEST_F(IdentificationTest, GetFirmwareVersionWithTheWholePortClosed) {
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version_), -2);
    EXPECT_EQ(log_, Lines{"KVTandrel: Comm Read Timeout Set Failed with -2"});
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(IdentificationTest, GetFirmwareVersionPortFailures) {
    ports_.AddPort("COM1", &unit_);
    ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    EXPECT_EQ(tandrel_.GetFirmwareVersion(nullptr), 0);
    ports_.SetFaults("COM1", {.failWriteAfter = 0});
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version_), -4);
    ports_.SetFaults("COM1", {.failReadAfter = 0});
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version_), -5);
    EXPECT_EQ(ReadTimeoutsSet().back(), 300u) << "the standing timeout is back after a failure";
    EXPECT_EQ(tandrel_.idle, 1);
}

class EepromTest : public IdentificationTest {
protected:
    void SetUp() override {
        ports_.AddPort("COM1", &unit_);
        ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
        ClearEvents();
        ClearLog();
    }
    std::uint8_t data_[300] = {};
};

TEST_F(EepromTest, ReadsWholePagesWithACountByteOfZero) {
    for (int i = 0; i < 256; ++i) unit_.SetEeprom(static_cast<std::uint16_t>(0x100 + i), static_cast<std::uint8_t>(i));
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 0x100, 256), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"48 52 00 01 00 9B"}));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(data_[i], i);
    EXPECT_EQ(data_[256], 0) << "nothing past the count";
}

TEST_F(EepromTest, ARefusalLeavesTheCallersByteAlone) {
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault eeprom-refused", nullptr), "ok");
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 1), -8);
    EXPECT_EQ(data_[0], 0);
    std::uint8_t info[kHardwareInfoSize] = {};
    EXPECT_EQ(tandrel_.GetHardwareVersion(info), 0);
    for (std::uint8_t b : info) EXPECT_EQ(b, 0);
}

TEST_F(EepromTest, ChecksumMismatchIsLogged) {
    unit_.SetEeprom(5, 0x41);
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault eeprom-bad-checksum", nullptr), "ok");
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 5, 1), -11);
    EXPECT_EQ(log_, Lines{"KVTandrel: ReadEEPROM: Invalid external data checksum\r\n"
                          "\tCS of recvd data: 41\r\n\tCS from device: 42"});
    EXPECT_EQ(data_[0], 0);
}

TEST_F(EepromTest, SilenceIsShortData) {
    ASSERT_EQ(ExecuteUnitCommand(unit_, "fault eeprom-silent", nullptr), "ok");
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 4), -17);
}

TEST_F(EepromTest, ArgumentsOutsideTheAcceptedSetAreRefused) {
    EXPECT_EQ(tandrel_.ReadEEPROM(nullptr, 1, 1), -18);
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 0), -18);
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 257), -18);
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, -1), -18);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(tandrel_.GetHardwareVersion(nullptr), -18);
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(EepromTest, PortFailures) {
    ports_.SetFaults("COM1", {.failWriteAfter = 0});
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 1), -4);
    ports_.SetFaults("COM1", {.failReadAfter = 0});
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 1), -5);
    ports_.SetFaults("COM1", {.failReadAfter = 1});
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 1), -5) << "the checksum read failing";
    tandrel_.ClosePort();
    EXPECT_EQ(tandrel_.ReadEEPROM(data_, 1, 1), -2);
}

struct NameCase {
    std::uint32_t flags;
    FirmwareVersion version;
    bool withVersion;
    const char* expected;
};

class HardwareName : public ::testing::TestWithParam<NameCase> {};

TEST_P(HardwareName, Composes) {
    char name[kHardwareNameSize] = "old text";
    const NameCase& c = GetParam();
    FormatHardwareName(c.flags, c.withVersion ? &c.version : nullptr, name, sizeof name);
    EXPECT_STREQ(name, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, HardwareName,
    ::testing::Values(NameCase{0x41, {2, 5, 'A'}, true, "Tandrel USB v2.5.A"},
                      NameCase{0x02, {1, 0, 'F'}, true, "Vorland v1.0.F"},
                      NameCase{0x81, {255, 255, 'A'}, true, "Tandrel Serial v255.255.A"},
                      NameCase{0xC1, {1, 2, 'A'}, false, "Tandrel USB Serial"},
                      NameCase{0x08, {0, 0, '1'}, false, "Calyxor I"},
                      NameCase{0x04, {2, 0, '2'}, true, "Calyxor II v2.0.2"},
                      NameCase{0x40, {1, 0, 'Q'}, true, "old text v1.0.Q"},
                      NameCase{0, {7, 1, 'x'}, true, "old text v7.1.x"},
                      NameCase{0, {7, 1, 'x'}, false, "old text"}));

TEST(HardwareNameBounds, NeverWritesPastTheBuffer) {
    char name[12];
    std::memset(name, '#', sizeof name);
    FirmwareVersion version{123, 45, 'A'};
    FormatHardwareName(0x81, &version, name, 8);
    EXPECT_STREQ(name, "Tandrel");
    EXPECT_EQ(name[8], '#');
    std::memset(name, '#', sizeof name);
    FormatHardwareName(0, &version, name, 6);  // no terminator inside: it is put at the end
    EXPECT_EQ(name[5], '\0');
    EXPECT_EQ(name[6], '#');
    FormatHardwareName(0x02, &version, nullptr, 10);
    FormatHardwareName(0x02, &version, name, 0);
}

}  // namespace
