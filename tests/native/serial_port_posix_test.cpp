// The termios backend on real pseudo-terminals: COMMTIMEOUTS semantics, raw bytes, locking,
// name mapping; and KVTandrel through it against the vorland-sim program.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/console.h"
#include "device/kvtandrel.h"
#include "device/port_scan.h"
#include "formats/checksums.h"
#include "platform/serial_port_posix.h"
#include "sim/sim_program_posix.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

std::int64_t MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

// A pseudo-terminal whose master side the test plays as the peer.
class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    void Send(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::vector<std::uint8_t> Take(std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        auto start = SteadyClock::now();
        while (got < count && MsSince(start) < 2000) {
            ssize_t n = read(master_, bytes.data() + got, count - got);
            if (n > 0) got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }
    void CloseMaster() {
        close(master_);
        master_ = -1;
    }
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

// The port at path, at 115200 baud under the timeouts given; null when it could not be opened
// or set up.
std::unique_ptr<SerialLink> OpenAt115200(const std::string& path, const SerialTimeouts& timeouts) {
    std::unique_ptr<SerialLink> link = OpenPosixSerialPath(path);
    SerialLineSettings line;
    if (link == nullptr || !link->GetLineSettings(line)) return nullptr;
    line.baudRate = 115200;
    if (!link->SetLineSettings(line) || !link->SetTimeouts(timeouts)) return nullptr;
    return link;
}

class PosixSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        link_ = OpenAt115200(pty_.path(), {25, 0, 300, 0, 110});
        ASSERT_NE(link_, nullptr);
    }
    std::vector<std::uint8_t> Read(std::uint32_t size) {
        std::vector<std::uint8_t> data(size);
        std::uint32_t got = 0;
        EXPECT_TRUE(link_->Read(data.data(), size, &got));
        data.resize(got);
        return data;
    }
    PtyPair pty_;
    std::unique_ptr<SerialLink> link_;
};

TEST_F(PosixSerialTest, ASilentPeerEndsTheReadAfterTheTotalConstant) {
    auto start = SteadyClock::now();
    EXPECT_TRUE(Read(3).empty());
    EXPECT_GE(MsSince(start), 290);
    EXPECT_LT(MsSince(start), 5000);
}

TEST_F(PosixSerialTest, WaitingBytesReturnAtOnce) {
    pty_.Send({1, 2, 3, 4});
    EXPECT_EQ(Read(3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(Read(1), (std::vector<std::uint8_t>{4}));
}

TEST_F(PosixSerialTest, AGapLongerThanTheIntervalEndsTheReadShort) {
    ASSERT_TRUE(link_->SetTimeouts({25, 0, 2000, 0, 110}));
    std::thread peer([&] {
        pty_.Send({1, 2, 3});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty_.Send({4, 5, 6});
    });
    auto start = SteadyClock::now();
    EXPECT_EQ(Read(10), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_LT(MsSince(start), 140);
    peer.join();
    EXPECT_EQ(Read(3), (std::vector<std::uint8_t>{4, 5, 6}));
}

TEST_F(PosixSerialTest, ShortGapsDoNotEndTheRead) {
    ASSERT_TRUE(link_->SetTimeouts({100, 0, 2000, 0, 110}));
    std::thread peer([&] {
        for (std::uint8_t b = 0; b < 5; ++b) {
            pty_.Send({b});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    EXPECT_EQ(Read(5), (std::vector<std::uint8_t>{0, 1, 2, 3, 4}));
    peer.join();
}

TEST_F(PosixSerialTest, IntervalMaxdwordReturnsWhatIsThere) {
    ASSERT_TRUE(link_->SetTimeouts({0xFFFFFFFF, 0, 0, 0, 0}));
    auto start = SteadyClock::now();
    EXPECT_TRUE(Read(4).empty());
    EXPECT_LT(MsSince(start), 100);
    pty_.Send({9, 8});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Read(4), (std::vector<std::uint8_t>{9, 8}));
}

TEST_F(PosixSerialTest, BytesPassUnchangedBothWays) {
    const std::vector<std::uint8_t> awkward = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04, 0x1A, 0x7F, 0xFF, 0x00};
    std::uint32_t written = 0;
    ASSERT_TRUE(link_->Write(awkward.data(), static_cast<std::uint32_t>(awkward.size()), &written));
    EXPECT_EQ(written, awkward.size());
    EXPECT_EQ(pty_.Take(awkward.size()), awkward);
    pty_.Send(awkward);
    EXPECT_EQ(Read(static_cast<std::uint32_t>(awkward.size())), awkward);
}

TEST_F(PosixSerialTest, PurgeDropsWhatHasArrived) {
    pty_.Send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(link_->Purge());
    EXPECT_TRUE(Read(3).empty());
}

TEST_F(PosixSerialTest, LineSettingsReachTheTerminal) {
    SerialLineSettings line;
    ASSERT_TRUE(link_->GetLineSettings(line));
    line.baudRate = 921600;
    ASSERT_TRUE(link_->SetLineSettings(line));
    SerialLineSettings back;
    ASSERT_TRUE(link_->GetLineSettings(back));
    EXPECT_EQ(back.baudRate, 921600u);
    EXPECT_EQ(back.byteSize, 8);
    EXPECT_EQ(back.parity, 0);
    line.baudRate = 12345;
    EXPECT_FALSE(link_->SetLineSettings(line)) << "a rate termios does not know";
}

TEST_F(PosixSerialTest, APortIsNotShared) {
    EXPECT_EQ(OpenPosixSerialPath(pty_.path()), nullptr);
    link_.reset();
    EXPECT_NE(OpenPosixSerialPath(pty_.path()), nullptr);
}

TEST_F(PosixSerialTest, APseudoTerminalHasNoLowLatencyModeAndStillWorks) {
    EXPECT_EQ(link_->LowLatency(), SerialLowLatency::kNotOffered);
    pty_.Send({1, 2, 3});
    EXPECT_EQ(Read(3), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(PosixSerialTest, APeerThatHasGoneFailsTheRead) {
    pty_.CloseMaster();
    std::uint8_t byte;
    std::uint32_t got = 0;
    EXPECT_FALSE(link_->Read(&byte, 1, &got));
}

TEST(PosixSerialPorts, MapsNamesToPaths) {
    PosixSerialPorts ports;
    EXPECT_EQ(ports.PathOf("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ports.PathOf("com12"), "/dev/ttyS11");
    EXPECT_EQ(ports.PathOf("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ports.PathOf("COM0"), "");
    EXPECT_EQ(ports.PathOf("COMX"), "");
    EXPECT_EQ(ports.PathOf("LPT1"), "");
    EXPECT_EQ(ports.PathOf(nullptr), "");
    ports.Map("com3", "/tmp/sim/com3");
    EXPECT_EQ(ports.PathOf("COM3"), "/tmp/sim/com3");
    ports.Map("COM3", "");
    EXPECT_EQ(ports.PathOf("COM3"), "/dev/ttyS2");
    ports.Map("UNIT", "/nonexistent/unit");
    EXPECT_EQ(ports.Open("UNIT"), nullptr);
    EXPECT_EQ(ports.Open("/dev/null"), nullptr) << "not a terminal";
}

TEST(PosixSerialPorts, APatternNamesThePortsItMatchesInNaturalOrder) {
    char folder[] = "/tmp/vorland-ports-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const char* names[] = {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM1"};
    for (const char* name : names)
        close(open((dir + "/" + name).c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(ExpandPosixPortPattern(dir + "/ttyUSB*"),
              (std::vector<std::string>{dir + "/ttyUSB0", dir + "/ttyUSB2", dir + "/ttyUSB10"}));
    EXPECT_EQ(ExpandPosixPortPattern(dir + "/tty[A-Z]??[12]"),
              (std::vector<std::string>{dir + "/ttyACM1", dir + "/ttyUSB2"}));
    EXPECT_TRUE(ExpandPosixPortPattern(dir + "/ttyS*").empty());

    // vorland-cli's port list holds each port once, also when a link names it too.
    ASSERT_EQ(symlink((dir + "/ttyUSB0").c_str(), (dir + "/unit").c_str()), 0);
    std::vector<std::string> ports = {dir + "/unit", dir + "/ttyUSB*", dir + "/ttyACM1"};
    std::string error;
    ASSERT_TRUE(ExpandPortPatterns(ports, error)) << error;
    EXPECT_EQ(ports, (std::vector<std::string>{dir + "/unit", dir + "/ttyUSB2", dir + "/ttyUSB10",
                                               dir + "/ttyACM1"}));
    unlink((dir + "/unit").c_str());
    for (const char* name : names) unlink((dir + "/" + name).c_str());
    rmdir(folder);
}

// Without --port, vorland-cli tries the USB adapters first: the by-id links, then ttyUSB*, then
// ttyACM*, each device once whatever names it, and the COM names after them.
TEST(PosixSerialPorts, AScanTriesTheUsbAdaptersFirstEachOnce) {
    char folder[] = "/tmp/vorland-devs-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    ASSERT_TRUE(std::filesystem::create_directories(dir + "/serial/by-id"));
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM0", "ttyS0"}) {
        close(open((dir + "/" + name).c_str(), O_CREAT | O_WRONLY, 0600));
    }
    const std::pair<const char*, const char*> links[] = {
        {"/serial/by-id/usb-B", "../../ttyUSB2"},
        {"/serial/by-id/usb-A", "../../ttyACM0"},
        {"/ttyUSB1", "ttyUSB0"},  // another name of ttyUSB0
    };
    for (const auto& [link, target] : links) {
        ASSERT_EQ(symlink(target, (dir + link).c_str()), 0);
    }
    PosixSerialPorts ports(dir);
    const std::vector<std::string> usb = {dir + "/ttyACM0", dir + "/ttyUSB2", dir + "/ttyUSB0",
                                          dir + "/ttyUSB10"};
    EXPECT_EQ(ports.PreferredPorts(), usb);
    EXPECT_EQ(ports.PathOf("COM1"), dir + "/ttyS0");
    std::vector<std::string> tried;
    static_cast<void>(ScanPorts(ports, nullptr, [&](const char* name) {
        tried.emplace_back(name);
        return false;
    }));
    std::vector<std::string> expected = usb;
    for (const char* com : {"COM1", "COM2", "COM3", "COM4", "COM5"}) expected.emplace_back(com);
    EXPECT_EQ(tried, expected);
    EXPECT_TRUE(PosixSerialPorts(dir + "/none").PreferredPorts().empty());
    // What names the adapter behind a port, by whatever name the port is given.
    ports.Map("COM7", dir + "/ttyACM0");
    EXPECT_EQ(ports.AdapterId("COM7"), "usb-A");
    EXPECT_EQ(ports.AdapterId((dir + "/ttyUSB2").c_str()), "usb-B");
    EXPECT_EQ(ports.AdapterId((dir + "/ttyUSB1").c_str()), "") << "no by-id link leads there";
    EXPECT_EQ(ports.AdapterId("COM1"), "");
    std::filesystem::remove_all(dir);
}

class SimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.ready());
        // Only COM3 leads anywhere: the scan must not reach the machine's own ports.
        for (const char* name : {"COM1", "COM2", "COM4", "COM5"}) ports_.Map(name, "/nonexistent");
        ports_.Map("COM3", sim_.linkPath());
    }
    SimProgram sim_{VORLAND_BINARY_DIR "/sim/vorland-sim"};
    PosixSerialPorts ports_{"/nonexistent"};  // no USB adapter of the machine either
    KVTandrel tandrel_{ports_, SystemClock()};
};

TEST_F(SimProgramTest, EveryOperationThroughARealTerminal) {
    ASSERT_EQ(sim_.Command("model tandrel-usb"), "ok");
    FirmwareVersion version{};
    char name[kHardwareNameSize];
    ASSERT_EQ(tandrel_.DetectHardware(name, sizeof name, &version), 0x41u);
    EXPECT_STREQ(name, "Tandrel USB v2.5.A");
    EXPECT_STREQ(tandrel_.portName, "COM3");

    ASSERT_EQ(tandrel_.SetLinkSpeed(0), 0);
    EXPECT_EQ(sim_.Command("status").substr(0, 47), "ok model=tandrel-usb chip=1 speed=0 baud=921600");

    std::vector<std::uint8_t> image(0x20000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
    ASSERT_EQ(tandrel_.EraseChip(1, nullptr), 1);
    ASSERT_EQ(tandrel_.BlankCheckSector(1, nullptr), 1);
    ASSERT_EQ(tandrel_.WriteChip(1, image.data(), 0x10000, static_cast<std::int32_t>(image.size()), nullptr), 0);
    EXPECT_EQ(tandrel_.BlankCheckSector(1, nullptr), 0);
    std::vector<std::uint8_t> back(image.size());
    ASSERT_EQ(tandrel_.ReadChip(1, back.data(), 0x10000, static_cast<std::int32_t>(back.size()), nullptr), 0);
    EXPECT_EQ(back, image);
    VerifyRequest request{1, 0x10000, image.data(), static_cast<std::int32_t>(image.size()), 0, nullptr};
    EXPECT_EQ(tandrel_.VerifyChip(request), 1);
    request.quick = 1;
    EXPECT_EQ(tandrel_.VerifyChip(request), 1);
    ASSERT_EQ(tandrel_.EraseSector(2), 0);
    EXPECT_EQ(tandrel_.VerifyChip(request), 0);

    tandrel_.ClosePort();
    EXPECT_EQ(sim_.Command("status").substr(0, 36), "ok model=tandrel-usb chip=1 speed=7 ");
}

TEST_F(SimProgramTest, RealTimeFaults) {
    FirmwareVersion version{};
    ASSERT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x02u);
    std::vector<std::uint8_t> data(1024);
    ASSERT_EQ(sim_.Command("fault gap 2 100 40"), "ok");
    EXPECT_EQ(tandrel_.ReadChip(1, data.data(), 0, 1024, nullptr), -17);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(sim_.Command("fault clear"), "ok");
    ASSERT_EQ(sim_.Command("fault gap 2 100 15"), "ok");
    EXPECT_EQ(tandrel_.ReadChip(1, data.data(), 0, 1024, nullptr), 0);
    ASSERT_EQ(sim_.Command("fault refuse-speed"), "ok");
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -1);
    ASSERT_EQ(sim_.Command("fault erase-fail 5 ?"), "ok");
    EXPECT_EQ(tandrel_.EraseChip(1, nullptr), 0);
}

// Behind vorland-sim's USB adapter with a latency timer of 150 ms, a read block's reply (256
// bytes and the checksum) comes as four full packets of 62 bytes at once, and its last 9 bytes
// only when the timer has run out.
TEST(SimProgramUsbLatencyTest, TheTailOfAReplyWaitsForTheTimer) {
    constexpr std::int64_t kLatencyMs = 150;
    SimProgram sim(VORLAND_BINARY_DIR "/sim/vorland-sim",
                   {"--usb-latency-ms", std::to_string(kLatencyMs)});
    ASSERT_TRUE(sim.ready());
    std::unique_ptr<SerialLink> link = OpenAt115200(sim.linkPath(), {0, 0, 2000, 0, 110});
    ASSERT_NE(link, nullptr);
    auto exchange = [&](std::vector<std::uint8_t> frame, std::vector<std::uint32_t> parts) {
        frame.push_back(static_cast<std::uint8_t>(ByteSumUpdate(0, frame.data(), frame.size())));
        std::uint32_t written = 0;
        const auto start = SteadyClock::now();
        EXPECT_TRUE(link->Write(frame.data(), static_cast<std::uint32_t>(frame.size()), &written));
        std::vector<std::int64_t> times;  // ms from the frame to each part's end
        for (std::uint32_t size : parts) {
            std::vector<std::uint8_t> bytes(size);
            std::uint32_t got = 0;
            EXPECT_TRUE(link->Read(bytes.data(), size, &got));
            EXPECT_EQ(got, size);
            times.push_back(MsSince(start));
        }
        return times;
    };
    const std::vector<std::int64_t> block = exchange({'4', 'R', 0, 0, 0, 0}, {248, 9});
    EXPECT_LT(block[0], kLatencyMs);
    EXPECT_GE(block[1], kLatencyMs);
}

}  // namespace
