// The failure record of KVTandrel against the simulated unit: what each kind of failure leaves
// in it, that the log line is the one built from it, and which steps it passes over.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/native/support/tandrel_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Step = TandrelStep;
using Problem = TandrelProblem;

// The operations of the cases below, on the AM29F040 of the unit.
enum class Op { kRead, kCancelledRead, kWrite, kVerify, kQuickVerify, kOpenCom7 };

struct Action {
    const char* unitCommand;  // "" none
    Op op;
    std::uint32_t address;
    std::int32_t length;
};

class FailureRecordTest : public TandrelTest {
  protected:
    void SetUp() override { Detect(); }
    void Command(const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr), "ok") << line;
    }
    std::int32_t Run(const Action& action) {
        if (*action.unitCommand != '\0') Command(action.unitCommand);
        const std::uint32_t address = action.address;
        const std::int32_t length = action.length;
        buffer_.assign(buffer_.size(), 0xFF);
        switch (action.op) {
            case Op::kCancelledRead: tandrel_.cancelRequested = 1; [[fallthrough]];
            case Op::kRead: return tandrel_.ReadChip(1, buffer_.data(), address, length, nullptr);
            case Op::kWrite: return tandrel_.WriteChip(1, buffer_.data(), address, length, nullptr);
            case Op::kVerify: return tandrel_.VerifyChip({1, address, buffer_.data(), length, 0});
            case Op::kQuickVerify:
                buffer_[0] = 0x10, buffer_[1] = 0x20, buffer_[2] = 0x30;
                return tandrel_.VerifyChip({1, address, buffer_.data(), length, 1});
            case Op::kOpenCom7: return tandrel_.InitPort("COM7", 115200);
        }
        return 0;
    }
    Bytes buffer_ = Bytes(0x2000, 0xFF);
};

struct Case {
    const char* name;
    Action action;
    TandrelFailure failure;  // step, problem, code (the result), address, block, count,
                             // expected, found
    std::string line;        // the log line that goes with it; "" none
    bool lost = false;       // LinkLost: the port is closed afterwards
};

TEST_F(FailureRecordTest, EachFailureIsRecordedAndLoggedFromTheRecord) {
    const Case cases[] = {
        {"a read block cut short",
         {"fault stop 2", Op::kRead, 0x1000, 0x1000},
         {Step::kReadBlock, Problem::kShortReply, -17, 0x1200, 2, 256, 0x1000, 0x200},
         "KVTandrel: ReadChip: Read timed-out after 512 bytes. Expected 4096 bytes.",
         true},
        {"a damaged read block",
         {"fault bad-checksum 1", Op::kRead, 0, 0x400},
         {Step::kReadBlock, Problem::kChecksum, -11, 0x100, 1, 256, 0x00, 0x01},
         "KVTandrel: ReadChip: Invalid external data checksum\r\n\tIteration: 1\r\n\tCS of recvd "
         "data: 00\r\n\tCS from device: 01"},
        {"a damaged final short block, which logs nothing",
         {"fault bad-checksum 1", Op::kRead, 0, 0x140},
         {Step::kReadBlock, Problem::kChecksum, -11, 0x100, 1, 0x40, 0xC0, 0xC1},
         ""},
        {"a refused write block",
         {"fault reply 3 F", Op::kWrite, 0, 0x1000},
         {Step::kWriteBlock, Problem::kRefused, -1, 0x300, 3, 256, 'O', 'F'},
         "WriteChip Failed. Invalid Response: 'F' (46)"},
        {"a cancelled read",
         {"", Op::kCancelledRead, 0x400, 0x400},
         {Step::kReadBlock, Problem::kCancelled, -19, 0x400, 0, 256, 0, 0},
         "KVTandrel: ReadChip - Operation Cancelled"},
        {"a byte that differs",
         {"poke 0x1234 0x5A", Op::kVerify, 0, 0x2000},
         {Step::kVerify, Problem::kMismatch, 0, 0x1234, 0, 0, 0xFF, 0x5A},
         "KVTandrel: Chip Verify failed at offset 0x001234. Local Buffer: 0xFF. Chip: 0x5A"},
        {"checksums that differ",
         {"", Op::kQuickVerify, 0, 3},
         {Step::kQuickVerify, Problem::kMismatch, 0, 0, 0, 3, 0x80, 0x2FD},
         "KVTandrel: Chip Quick Verify failed. Local Checksum: 0x0080. Chip Checksum: 0x02FD"},
        {"a port that does not exist",
         {"", Op::kOpenCom7, 0, 0},
         {Step::kOpenPort, Problem::kPortMissing, -2},
         "KVTandrel Port Init Failed (INVALID_HANDLE_VALUE)",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Command("fault clear");
        Command("fill 0xFF");
        Detect();
        EXPECT_EQ(Run(c.action), c.failure.code);
        const TandrelFailure& f = tandrel_.LastFailure();
        EXPECT_EQ(f.step, c.failure.step);
        EXPECT_EQ(f.problem, c.failure.problem);
        EXPECT_EQ(f.code, c.failure.code);
        EXPECT_EQ(f.address, c.failure.address);
        EXPECT_EQ(f.block, c.failure.block);
        EXPECT_EQ(f.count, c.failure.count);
        EXPECT_EQ(f.expected, c.failure.expected);
        EXPECT_EQ(f.found, c.failure.found);
        EXPECT_EQ(FailureLogLine(f), c.line);
        EXPECT_EQ(LinkLost(f), c.lost);
        EXPECT_EQ(tandrel_.portOpen == 0, c.lost);
        if (!c.line.empty()) {
            EXPECT_EQ(std::count(log_.begin(), log_.end(), c.line), 1);
        }
    }
    EXPECT_STREQ(tandrel_.LastFailure().port, "COM7");
}

TEST_F(FailureRecordTest,
       TheNextOperationStartsAfreshAndATimeoutChangeAroundATransferIsPassedOver) {
    Command("fault stop 0");
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256, nullptr), -17);
    EXPECT_EQ(tandrel_.LastFailure().step, Step::kReadBlock);
    EXPECT_STREQ(tandrel_.LastFailure().port, "COM1");

    Command("fault clear");
    ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    LinkFaults timeouts;
    timeouts.failGetTimeouts = true;
    ports_.SetFaults("COM1", timeouts);
    EXPECT_EQ(tandrel_.ReadChip(1, buffer_.data(), 0, 256, nullptr), 0);
    EXPECT_FALSE(tandrel_.LastFailure().failed());
    EXPECT_EQ(tandrel_.SetCommReadTimeout(300), -1);
    EXPECT_EQ(tandrel_.LastFailure().step, Step::kReadTimeout);
    EXPECT_EQ(FailureLogLine(tandrel_.LastFailure()),
              "KVTandrel: Comm Read Timeout Set Failed with -1");
}

TEST_F(FailureRecordTest, AScanThatFindsNothingTellsWhatHappenedOnTheFirstPort) {
    tandrel_.ClosePort();
    KVTandrel scanner(ports_, clock_);
    FirmwareVersion version{};
    Command("fault silent");
    EXPECT_EQ(scanner.DetectHardware(nullptr, 0, &version), 0u);
    EXPECT_EQ(scanner.LastFailure().step, Step::kVersion) << "COM1 opened but stayed silent";
    EXPECT_EQ(scanner.LastFailure().problem, Problem::kShortReply);
    EXPECT_STREQ(scanner.LastFailure().port, "COM1");

    Command("fault clear");
    EXPECT_NE(scanner.DetectHardware(nullptr, 0, &version), 0u);
    EXPECT_FALSE(scanner.LastFailure().failed());
}

}  // namespace
