// KVTandrel through Win32 COM ports under Wine, against the simulator on a pseudo-terminal; and
// the progress adapter against a real window on another thread.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "device/kvtandrel_win.h"
#include "tests/win/support/sim_unit.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * seed) ^ (i >> 8));
    return bytes;
}

TEST(TandrelGlobal, TheProcessLinkStartsWithoutAPortAndHasOneHold) {
    LinkHold hold = gUnitLink.Take();
    ASSERT_TRUE(hold);
    EXPECT_FALSE(gUnitLink.Take()) << "nobody else can reach the device";
    EXPECT_EQ(hold->portOpen, 0);
    EXPECT_EQ(hold->hPort, nullptr);
    EXPECT_EQ(hold->speedCode, 7);
    EXPECT_EQ(hold->logSink, nullptr);
    EXPECT_FALSE(hold.unit().supported());
}

class TandrelWineTest : public ::testing::Test {
protected:
    void StartSim(int com, std::vector<std::string> commands = {}) {
        SimUnit::Options options;
        options.com = com;
        options.commands = std::move(commands);
        ASSERT_TRUE(sim_.Start(options)) << sim_.error();
    }
    std::string Status() { return sim_.Command("status"); }

    SimUnit sim_;
    KVTandrel tandrel_;  // Win32 ports, the real clock
};

TEST_F(TandrelWineTest, DetectsTheUnitOnCom3Only) {
    StartSim(3, {"model tandrel-usb"});
    FirmwareVersion version{};
    char name[kHardwareNameSize] = {};
    EXPECT_EQ(tandrel_.DetectHardware(name, sizeof name, &version), 0x41u);
    EXPECT_STREQ(name, "Tandrel USB v2.5.A");
    EXPECT_STREQ(tandrel_.portName, "COM3");
    EXPECT_EQ(tandrel_.deviceFamily, 32);
    tandrel_.ClosePort();
}

TEST_F(TandrelWineTest, EveryOperationAt921600Baud) {
    StartSim(1, {"model vorland", "chip 1"});
    FirmwareVersion version{};
    ASSERT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x02u);
    ASSERT_EQ(tandrel_.SetLinkSpeed(0), 0);
    EXPECT_NE(Status().find("speed=0 baud=921600"), std::string::npos) << Status();

    // Program two sectors and check the chip itself.
    ASSERT_EQ(tandrel_.EraseChip(1, nullptr), 1);
    EXPECT_EQ(tandrel_.BlankCheckChip(1, nullptr), 1);
    const std::vector<std::uint8_t> image = Pattern(0x20000, 37);
    ASSERT_EQ(tandrel_.WriteChip(1, image.data(), 0x30000, static_cast<std::int32_t>(image.size()), nullptr), 0);
    std::vector<std::uint8_t> chip = sim_.ChipContents();
    ASSERT_EQ(chip.size(), 0x80000u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin() + 0x30000));
    EXPECT_EQ(chip[0x2FFFF], 0xFF);
    EXPECT_EQ(chip[0x50000], 0xFF);

    std::vector<std::uint8_t> back(image.size());
    ASSERT_EQ(tandrel_.ReadChip(1, back.data(), 0x30000, static_cast<std::int32_t>(back.size()), nullptr), 0);
    EXPECT_EQ(back, image);

    VerifyRequest request{1, 0x30000, image.data(), static_cast<std::int32_t>(image.size()), 0, nullptr};
    EXPECT_EQ(tandrel_.VerifyChip(request), 1);
    request.quick = 1;
    EXPECT_EQ(tandrel_.VerifyChip(request), 1);
    EXPECT_EQ(tandrel_.BlankCheckSector(3, nullptr), 0);
    EXPECT_EQ(tandrel_.BlankCheckSector(5, nullptr), 1);

    ASSERT_EQ(tandrel_.EraseSector(4), 0);
    request.quick = 0;
    EXPECT_EQ(tandrel_.VerifyChip(request), 0);
    EXPECT_EQ(tandrel_.BlankCheckSector(4, nullptr), 1);

    tandrel_.ClosePort();
    EXPECT_NE(Status().find("speed=7 baud=115200"), std::string::npos) << Status();
}

TEST_F(TandrelWineTest, ChipTypesInTheSocket) {
    StartSim(2, {"model tandrel-serial", "chip 27SF512", "fill 0"});
    FirmwareVersion version{};
    ASSERT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x81u);
    EXPECT_EQ(tandrel_.EraseChip(2, nullptr), 1);
    EXPECT_EQ(tandrel_.BlankCheckChip(2, nullptr), 1);

    ASSERT_TRUE(sim_.Ok("chip 0"));
    ASSERT_TRUE(sim_.Ok("fill 0x33"));
    EXPECT_EQ(tandrel_.EraseChip(0, nullptr), 1) << "the AT29C256 is erased by writing ones";
    EXPECT_EQ(tandrel_.BlankCheckChip(0, nullptr), 1);

    ASSERT_TRUE(sim_.Ok("chip 2732A"));
    const std::vector<std::uint8_t> eprom = sim_.ChipContents();
    std::vector<std::uint8_t> back(eprom.size());
    ASSERT_EQ(tandrel_.ReadChip(3, back.data(), 0, static_cast<std::int32_t>(back.size()), nullptr), 0);
    EXPECT_EQ(back, eprom);
    EXPECT_EQ(tandrel_.BlankCheckChip(3, nullptr), 0);
    tandrel_.ClosePort();
}

TEST_F(TandrelWineTest, AStoppedUnitLeavesItsPortEmpty) {
    StartSim(2);
    sim_.Stop();
    FirmwareVersion version{};
    EXPECT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0u);
    StartSim(4);
    EXPECT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x02u);
    EXPECT_STREQ(tandrel_.portName, "COM4");
    tandrel_.ClosePort();
}

TEST_F(TandrelWineTest, FaultsReachTheHostThroughWine) {
    StartSim(1);
    FirmwareVersion version{};
    ASSERT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x02u);
    std::vector<std::uint8_t> data(2048);
    ASSERT_TRUE(sim_.Ok("fault bad-checksum 2"));
    EXPECT_EQ(tandrel_.ReadChip(1, data.data(), 0, 2048, nullptr), -11);
    ASSERT_TRUE(sim_.Ok("fault clear"));
    ASSERT_TRUE(sim_.Ok("fault gap 1 10 60"));
    EXPECT_EQ(tandrel_.ReadChip(1, data.data(), 0, 2048, nullptr), -17) << "a 60 ms gap ends the reply";
    Sleep(100);
    ASSERT_TRUE(sim_.Ok("fault clear"));
    ASSERT_TRUE(sim_.Ok("fault reply 0 F"));
    EXPECT_EQ(tandrel_.WriteChip(1, data.data(), 0, 256, nullptr), -1);
    ASSERT_TRUE(sim_.Ok("fault clear"));
    ASSERT_TRUE(sim_.Ok("fault erase-fail 0 F"));
    EXPECT_EQ(tandrel_.EraseSector(0), -1);
    ASSERT_TRUE(sim_.Ok("fault refuse-speed"));
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -1);
    EXPECT_EQ(tandrel_.speedCode, 7);
    ASSERT_TRUE(sim_.Ok("fault silent"));
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), -1) << "silence costs the standing 300 ms";
    tandrel_.ClosePort();
}

// A window that records the messages the device sends it, and presses "Cancel Operation" at
// the second step, as the programmer window's thread would.
struct Recorder {
    std::vector<std::string> calls;
    KVTandrel* device = nullptr;
    int cancelAtStep = 0;
    int steps = 0;
};

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* recorder = reinterpret_cast<Recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (recorder == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case PBM_SETRANGE:
            recorder->calls.push_back("range " + std::to_string(LOWORD(lParam)) + " " +
                                      std::to_string(HIWORD(lParam)) + " w" + std::to_string(wParam));
            return 0;
        case PBM_SETSTEP: recorder->calls.push_back("step " + std::to_string(wParam)); return 0;
        case PBM_SETPOS: recorder->calls.push_back("pos " + std::to_string(wParam)); return 0;
        case PBM_STEPIT:
            recorder->calls.push_back("stepit");
            if (++recorder->steps == recorder->cancelAtStep) recorder->device->RequestCancel();
            return 0;
        case WM_SETTEXT:
            recorder->calls.push_back(std::string("text ") + reinterpret_cast<const char*>(lParam));
            return TRUE;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

class ProgressWindowTest : public TandrelWineTest {
protected:
    void SetUp() override {
        WNDCLASSA type{};
        type.lpfnWndProc = RecorderProc;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "VorlandProgressRecorder";
        RegisterClassA(&type);
        window_ = CreateWindowA("VorlandProgressRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        recorder_.device = &tandrel_;
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&recorder_));
        StartSim(1);
        FirmwareVersion version{};
        ASSERT_EQ(tandrel_.DetectHardware(nullptr, 0, &version), 0x02u);
    }
    void TearDown() override {
        tandrel_.ClosePort();
        DestroyWindow(window_);
    }
    // Runs the operation on a worker thread while this thread serves the window.
    std::int32_t OnWorker(const std::function<std::int32_t(ProgressSink*)>& operation) {
        std::atomic<bool> done{false};
        std::int32_t result = 0;
        std::thread worker([&] {
            WindowProgress progress(window_);
            result = operation(progress.OrNull());
            done = true;
            PostThreadMessageA(mainThread_, WM_NULL, 0, 0);
        });
        MSG message;
        while (!done) {
            if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&message);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            }
        }
        worker.join();
        return result;
    }

    HWND window_ = nullptr;
    Recorder recorder_;
    DWORD mainThread_ = GetCurrentThreadId();
};

TEST_F(ProgressWindowTest, AReadReportsEachBlockToTheWindow) {
    std::vector<std::uint8_t> data(0x140);
    EXPECT_EQ(OnWorker([&](ProgressSink* p) { return tandrel_.ReadChip(1, data.data(), 0, 0x140, p); }), 0);
    EXPECT_EQ(recorder_.calls,
              (std::vector<std::string>{"range 0 1 w0", "step 1", "pos 0", "text Reading Address 000000",
                                        "stepit", "text Reading Address 000100", "stepit", "pos 0",
                                        "text "}));
}

TEST_F(ProgressWindowTest, CancelFromTheWindowThreadStopsAtTheNextBlock) {
    recorder_.cancelAtStep = 2;
    std::vector<std::uint8_t> data(0x10000);
    EXPECT_EQ(OnWorker([&](ProgressSink* p) { return tandrel_.WriteChip(1, data.data(), 0, 0x10000, p); }), -19);
    EXPECT_EQ(std::count(recorder_.calls.begin(), recorder_.calls.end(), "stepit"), 2);
    EXPECT_EQ(recorder_.calls.back(), "text ");
    EXPECT_EQ(tandrel_.cancelRequested, 0);
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(ProgressWindowTest, ThePortReopensAfterWorkOnAnotherThread) {
    std::vector<std::uint8_t> data(0x1000);
    EXPECT_EQ(OnWorker([&](ProgressSink* p) { return tandrel_.ReadChip(1, data.data(), 0, 0x1000, p); }), 0);
    EXPECT_EQ(tandrel_.SetLinkSpeed(0), 0);
    FirmwareVersion version{};
    EXPECT_EQ(tandrel_.GetFirmwareVersion(&version), 0);
    EXPECT_EQ(OnWorker([&](ProgressSink* p) { return tandrel_.ReadChip(1, data.data(), 0, 0x1000, p); }), 0);
    tandrel_.ClosePort();
    EXPECT_NE(Status().find("speed=7"), std::string::npos) << Status();
}

TEST_F(ProgressWindowTest, ANullWindowGetsNothing) {
    WindowProgress none(nullptr);
    EXPECT_EQ(none.OrNull(), nullptr);
}

}  // namespace
