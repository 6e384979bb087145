// ReadChip and WriteChip: frames, blocks, progress, cancel, checksums and failing units.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>

#include "tests/native/support/tandrel_fixture.h"

namespace {

using Kind = LinkEvent::Kind;
using Lines = std::vector<std::string>;
using Calls = std::vector<std::string>;

class TransferTest : public TandrelTest {
protected:
    void SetUp() override {
        Detect();
        for (std::size_t i = 0; i < unit_.chip().size(); ++i) {
            unit_.chip()[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
        }
    }
    void Command(const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr), "ok") << line;
    }
    std::vector<std::uint8_t> ChipBytes(std::size_t from, std::size_t count) const {
        return {unit_.chip().begin() + static_cast<std::ptrdiff_t>(from),
                unit_.chip().begin() + static_cast<std::ptrdiff_t>(from + count)};
    }
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(0x80000 + 16, 0xAA);
};

TEST_F(TransferTest, AFinalShortBlockStepsOncePastTheRange) {
    Command("chip 2");
    unit_.chip()[0x13F] = 0x77;
    EXPECT_EQ(tandrel_.ReadChip(2, buffer_.data(), 0, 0x140, &progress_), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"35 52 00 00 00 87", "35 52 40 01 00 C8"}));
    EXPECT_EQ(progress_.calls,
              (Calls{"range 0 1", "step 1", "pos 0", "text Reading Address 000000", "stepit",
                     "text Reading Address 000100", "stepit", "pos 0", "text "}));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + 0x140), ChipBytes(0, 0x140));
    EXPECT_EQ(buffer_[0x140], 0xAA) << "nothing past the range";
}

TEST_F(TransferTest, TheAm29f040ReadFrameHasThreeAddressBytes) {
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0x7FFC0, 64, nullptr), 0);
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"34 52 40 07 FF C0 8C"});
    EXPECT_EQ(std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + 64), ChipBytes(0x7FFC0, 64));
}

TEST_F(TransferTest, FrameDigitsOfEveryReadableType) {
    const char* expected[] = {"32 52 00 00 00 84", "34 52 00 00 00 00 86", "35 52 00 00 00 87",
                              "33 52 00 00 00 85", "35 52 00 00 00 87", "35 52 00 00 00 87",
                              "35 52 00 00 00 87"};
    for (int type = 0; type < static_cast<int>(std::size(expected)); ++type) {
        Command("chip " + std::to_string(type));
        ClearEvents();
        EXPECT_EQ(tandrel_.ReadChip(type, buffer_.data(), 0, 256, nullptr), 0) << type;
        EXPECT_EQ(HexFrames(), std::vector<std::string>{expected[type]}) << type;
    }
}

TEST_F(TransferTest, LogLinesAndTimeoutsOfASuccessfulRead) {
    ports_.SetWireTime(false);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 512, nullptr), 0);
    EXPECT_EQ(log_, (Lines{"KVTandrel: Comm Read Timeout Set To 6000 ms",
                           "KVTandrel: ReadChip took 0 milliseconds (0.000000 seconds)",
                           "KVTandrel: Comm Read Timeout Set To 300 ms"}));
    ASSERT_FALSE(ports_.events().empty());
    // The purge comes after the timeout change and before the first frame.
    std::vector<Kind> kinds;
    for (const LinkEvent& e : ports_.events()) kinds.push_back(e.kind);
    EXPECT_EQ(kinds[0], Kind::kSetTimeouts);
    EXPECT_EQ(kinds[1], Kind::kPurge);
    EXPECT_EQ(kinds[2], Kind::kWrite);
}

TEST_F(TransferTest, ElapsedTimeSurvivesTheTickWrapping) {
    VirtualClock clock(0xFFFFFFFFu - 3);
    SimulatedPorts ports(clock);
    KVTandrel tandrel(ports, clock);
    tandrel.logSink = &sink_;
    ports.AddPort("COM1", &unit_);
    FirmwareVersion version;
    ASSERT_EQ(tandrel.DetectHardware(nullptr, 0, &version), 2u);
    log_.clear();
    std::uint32_t before = clock.TickCount();
    ASSERT_EQ(tandrel.ReadChip(1, buffer_.data(), 0, 4096, nullptr), 0);
    std::uint32_t elapsed = clock.TickCount() - before;
    ASSERT_GT(elapsed, 300u) << "16 blocks at 115200 baud";
    ASSERT_LT(elapsed, 600u);
    char line[128];
    std::snprintf(line, sizeof line, "KVTandrel: ReadChip took %u milliseconds (%f seconds)", elapsed,
                  elapsed * 0.001);
    EXPECT_EQ(log_[1], line);
}

TEST_F(TransferTest, AChecksumMismatchNamesTheBlock) {
    Command("fault bad-checksum 1");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 1024, &progress_), -11);
    std::uint8_t local = Checksum8(unit_.chip().data() + 256, 256);
    char line[160];
    std::snprintf(line, sizeof line,
                  "KVTandrel: ReadChip: Invalid external data checksum\r\n\tIteration: 1\r\n\tCS "
                  "of recvd data: %.2X\r\n\tCS from device: %.2x",
                  local, static_cast<std::uint8_t>(local + 1));
    EXPECT_EQ(log_, (Lines{"KVTandrel: Comm Read Timeout Set To 6000 ms", line,
                           "KVTandrel: Comm Read Timeout Set To 300 ms"}));
    EXPECT_EQ(ports_.Frames().size(), 2u) << "nothing is retried";
    EXPECT_EQ(progress_.Count("stepit"), 1);
    // Block 0 and the failed block stay as read; the rest of the range is zero.
    EXPECT_EQ(std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + 512), ChipBytes(0, 512));
    for (int i = 512; i < 1024; ++i) ASSERT_EQ(buffer_[i], 0) << i;
    EXPECT_EQ(buffer_[1024], 0xAA);
}

TEST_F(TransferTest, AChecksumMismatchInTheFinalShortBlockHasNoLogLine) {
    Command("fault bad-checksum 1");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256 + 64, nullptr), -11);
    EXPECT_EQ(log_, (Lines{"KVTandrel: Comm Read Timeout Set To 6000 ms",
                           "KVTandrel: Comm Read Timeout Set To 300 ms"}));
}

TEST_F(TransferTest, CancelBeforeTheFirstBlockSendsNothing) {
    tandrel_.cancelRequested = 1;
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 1024, &progress_), -19);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(progress_.calls, (Calls{"range 0 4", "step 1", "pos 0", "pos 0", "text "}));
    EXPECT_EQ(tandrel_.cancelRequested, 0);
    EXPECT_EQ(tandrel_.idle, 1);
    EXPECT_EQ(log_[1], "KVTandrel: ReadChip - Operation Cancelled");
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(buffer_[i], 0);

    tandrel_.cancelRequested = 1;
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, 1024, &progress_), -19);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(log_[4], "KVTandrel: WriteChip - Operation Cancelled");
}

// Calls a hook at every progress step: the window thread pressing "Cancel Operation".
class HookedProgress final : public ProgressSink {
public:
    std::function<void(int)> onStep;
    void SetRange(std::int32_t, std::int32_t) override {}
    void SetStep(std::int32_t) override {}
    void SetPos(std::int32_t) override {}
    void StepIt() override { onStep(++steps); }
    void SetText(const char*) override {}
    int steps = 0;
};

TEST_F(TransferTest, CancelDuringATransferStopsAtTheNextBlock) {
    HookedProgress progress;
    progress.onStep = [&](int step) {
        EXPECT_EQ(tandrel_.idle, 0) << "an exchange is running";
        if (step == 2) tandrel_.RequestCancel();
    };
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 0x10000, &progress), -19);
    EXPECT_EQ(ports_.Frames().size(), 2u);
    EXPECT_EQ(tandrel_.cancelRequested, 0);
}

TEST_F(TransferTest, ACancelDuringTheFinalShortBlockIsDropped) {
    HookedProgress progress;
    progress.onStep = [&](int step) {
        if (step == 1) tandrel_.RequestCancel();
    };
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256 + 64, &progress), 0);
    EXPECT_EQ(tandrel_.cancelRequested, 0) << "cleared at the end, not left for the next operation";
}

TEST_F(TransferTest, ACancelPressedDuringAnEraseIsDroppedWhenTheEraseEnds) {
    tandrel_.idle = 0;
    tandrel_.RequestCancel();  // as if pressed while the unit erases
    EXPECT_EQ(tandrel_.EraseSector(3), 0);
    EXPECT_EQ(tandrel_.cancelRequested, 0);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 512, nullptr), 0);
}

TEST_F(TransferTest, WriteFramesCarryHeaderDataAndChecksum) {
    Command("chip 0");
    std::vector<std::uint8_t> src(256 + 128);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(255 - i);
    EXPECT_EQ(tandrel_.WriteChip(0, src.data(), 0x1200, static_cast<std::int32_t>(src.size()), &progress_), 0);
    auto frames = ports_.Frames();
    ASSERT_EQ(frames.size(), 2u);
    ASSERT_EQ(frames[0].size(), 262u);
    EXPECT_EQ(Hex({frames[0].begin(), frames[0].begin() + 5}), "32 57 00 12 00");
    EXPECT_EQ(frames[0][261], Checksum8(frames[0].data(), 261));
    ASSERT_EQ(frames[1].size(), 5u + 128 + 1);
    EXPECT_EQ(Hex({frames[1].begin(), frames[1].begin() + 5}), "32 57 80 13 00");
    EXPECT_EQ(frames[1][133], Checksum8(frames[1].data(), 133));
    EXPECT_EQ(ChipBytes(0x1200, src.size()), src);
    EXPECT_EQ(progress_.calls,
              (Calls{"range 0 1", "step 1", "pos 0", "text Writing Address 001200", "stepit",
                     "text Writing Address 001300", "stepit", "pos 0", "text "}));
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_EQ(log_[1].rfind("KVTandrel: WriteChip took ", 0), 0u) << log_[1];
}

TEST_F(TransferTest, Am29f040WriteFramesHaveThreeAddressBytes) {
    std::vector<std::uint8_t> src(256, 0x00);
    EXPECT_EQ(tandrel_.WriteChip(1, src.data(), 0x7FF00, 256, nullptr), 0);
    auto frames = ports_.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 263u);
    EXPECT_EQ(Hex({frames[0].begin(), frames[0].begin() + 6}), "34 57 00 07 FF 00");
}

TEST_F(TransferTest, FlashProgrammingOnlyClearsBits) {
    Command("fill 0xF0");
    std::vector<std::uint8_t> src(256, 0x3F);
    EXPECT_EQ(tandrel_.WriteChip(1, src.data(), 0, 256, nullptr), 0);
    EXPECT_EQ(unit_.chip()[0], 0x30);
    EXPECT_EQ(unit_.chip()[256], 0xF0);
}

TEST_F(TransferTest, ReadOnlyAndUnknownTypesAreNotWritten) {
    for (int type : {3, 4, 5, 6, 7, -1}) {
        EXPECT_EQ(tandrel_.WriteChip(type, buffer_.data(), 0, 256, nullptr), -18) << type;
    }
    EXPECT_EQ(tandrel_.ReadChip(7, buffer_.data(), 0, 256, nullptr), -18);
    EXPECT_TRUE(ports_.Frames().empty());
}

TEST_F(TransferTest, AnInvalidWriteResponseIsLogged) {
    Command("fault reply 1 F");
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, 1024, &progress_), -1);
    EXPECT_EQ(ports_.Frames().size(), 2u);
    EXPECT_EQ(progress_.Count("stepit"), 1);
    EXPECT_EQ(log_[1], "WriteChip Failed. Invalid Response: 'F' (46)");
}

TEST_F(TransferTest, ControlCharactersDoNotCutTheResponseLine) {
    Command("fault reply 0 0x00");
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, 256, nullptr), -1);
    EXPECT_EQ(log_[1], "WriteChip Failed. Invalid Response: '.' (0)");
}

TEST_F(TransferTest, ASilentWriteBlockWaitsTheTransferTimeout) {
    Command("fault stop 1");
    std::uint64_t before = clock_.NowNs();
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, 1024, nullptr), -1);
    EXPECT_GE(clock_.NowNs() - before, 6000'000'000u);
    EXPECT_LT(clock_.NowNs() - before, 6100'000'000u);
    EXPECT_EQ(log_[1], "WriteChip Failed. No Response.");
}

TEST_F(TransferTest, AUnitThatStopsMidBlockGivesShortData) {
    Command("fault stop 2 100");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 1024, nullptr), -17);
    EXPECT_EQ(log_[1], "KVTandrel: ReadChip: Read timed-out after 612 bytes. Expected 1024 bytes.");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 1024, nullptr), -17) << "still silent";
    EXPECT_EQ(log_[4], "KVTandrel: ReadChip: Read timed-out after 0 bytes. Expected 1024 bytes.");
}

TEST_F(TransferTest, AFinalShortBlockWithNoBytesIsRefused) {
    Command("fault stop 1");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256 + 64, nullptr), -1);
    ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    Command("fault short 0 10");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 64, nullptr), -11)
        << "some bytes, then no checksum byte";
}

// A port that fails closes the link; the next operation would look for the unit again.
TEST_F(TransferTest, PortFailuresInsideATransferAreRefusals) {
    struct Case {
        LinkFaults faults;
        bool write;
    };
    const Case cases[] = {
        {{.failWriteAfter = 1}, false}, {{.failReadAfter = 0}, false},
        {{.failReadAfter = 1}, false},  // the checksum read
        {{.failWriteAfter = 0}, true},  {{.failReadAfter = 0}, true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
        ports_.SetFaults("COM1", c.faults);
        EXPECT_EQ(c.write ? tandrel_.WriteChip(1, buffer_.data(), 0, 512, nullptr)
                          : tandrel_.ReadChip(1, buffer_.data(), 0, 512, nullptr),
                  -1);
        EXPECT_EQ(tandrel_.idle, 1);
        EXPECT_EQ(tandrel_.portOpen, 0);
        EXPECT_FALSE(ports_.IsOpen("COM1"));
    }
}

TEST_F(TransferTest, RefusalsStillResetTheBarAndClearTheCancel) {
    KVTandrel fresh(ports_, clock_);
    fresh.cancelRequested = 1;
    EXPECT_EQ(fresh.ReadChip(1, buffer_.data(), 0, 256, &progress_), -3);
    EXPECT_EQ(fresh.cancelRequested, 0);
    EXPECT_EQ(progress_.calls, (Calls{"pos 0", "text "}));
    tandrel_.ClosePort();
    progress_.calls.clear();
    ClearEvents();
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, 256, &progress_), -2);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256, &progress_), -2);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(progress_.calls, (Calls{"pos 0", "text ", "pos 0", "text "}));
}

TEST_F(TransferTest, BuffersOutsideTheCallersReachAreRefused) {
    EXPECT_EQ(tandrel_.ReadChip(1, nullptr, 0, 256, nullptr), -18);
    EXPECT_EQ(tandrel_.WriteChip(1, nullptr, 0, 256, nullptr), -18);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, -256, nullptr), -18);
    EXPECT_EQ(tandrel_.WriteChip(1, buffer_.data(), 0, -1, nullptr), -18);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, INT32_MIN, nullptr), -18);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(buffer_[0], 0xAA);
    EXPECT_EQ(log_[0], "KVTandrel: ReadChip refused: null buffer or negative length (256)");
    // Nothing to move is no failure.
    EXPECT_EQ(tandrel_.ReadChip(1, nullptr, 0, 0, nullptr), 0);
    EXPECT_EQ(tandrel_.WriteChip(1, nullptr, 0, 0, nullptr), 0);
    EXPECT_TRUE(ports_.Frames().empty());
}

TEST_F(TransferTest, AddressesWrapInTheFrameOnly) {
    std::uint8_t small[512];
    std::memset(small, 0xAA, sizeof small);
    EXPECT_EQ(tandrel_.ReadChip(1, small, 0xFFFFFF80u, 256, nullptr), 0);
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"34 52 00 FF FF 80 04"});
    EXPECT_EQ(small[256], 0xAA);
}

// A pause at every position of a block's reply: up to 25 ms between bytes is one reply, more
// ends the read short. A pause before the checksum byte falls between two reads and is harmless.
TEST_F(TransferTest, RepliesSplitAtEveryPosition) {
    for (std::uint32_t at = 0; at <= 256; ++at) {
        // The tail of a reply cut short last round arrives late: let it pass before the next
        // operation, as the user's pause between operations would.
        clock_.Sleep(100);
        Command("fault gap 1 " + std::to_string(at) + " 20");
        ClearLog();
        ASSERT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 768, nullptr), 0) << "20 ms at " << at;
        ASSERT_EQ(std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + 768), ChipBytes(0, 768));

        Command("fault gap 1 " + std::to_string(at) + " 30");
        ClearLog();
        std::int32_t result = tandrel_.ReadChip(1, buffer_.data(), 0, 768, nullptr);
        if (at == 0 || at == 256) {
            // Before the first byte of a read only the total limit counts.
            ASSERT_EQ(result, 0) << "30 ms at " << at;
        } else {
            ASSERT_EQ(result, -17) << "30 ms at " << at;
            char line[100];
            std::snprintf(line, sizeof line,
                          "KVTandrel: ReadChip: Read timed-out after %u bytes. Expected 768 bytes.",
                          256 + at);
            ASSERT_EQ(log_[1], line);
        }
    }
}

}  // namespace
