// The simulated unit on its own: framing, chips, faults and the control language.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>

#include "sim/programmer_unit.h"
#include "sim/unit_commands.h"

namespace {

constexpr std::uint32_t kBaud = 115200;

std::uint8_t Sum(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::vector<std::uint8_t> WithSum(std::vector<std::uint8_t> frame) {
    frame.push_back(Sum(frame));
    return frame;
}

class UnitTest : public ::testing::Test {
protected:
    // Sends bytes one after the other, 100 us apart; returns the reply values.
    std::vector<std::uint8_t> Send(const std::vector<std::uint8_t>& bytes, std::uint32_t baud = kBaud) {
        for (std::uint8_t b : bytes) {
            time_ += 100;
            unit_.Receive(b, time_, baud);
        }
        return Values(unit_.TakeOutput());
    }
    static std::vector<std::uint8_t> Values(const std::vector<UnitByte>& out) {
        std::vector<std::uint8_t> values;
        for (const UnitByte& b : out) values.push_back(b.value);
        return values;
    }
    void Command(const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr).substr(0, 2), "ok") << line;
    }
    std::vector<std::uint8_t> WriteFrame(char digit, std::uint32_t address, std::vector<std::uint8_t> data) {
        std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(digit), 'W',
                                           static_cast<std::uint8_t>(data.size())};
        if (digit == '4') frame.push_back(static_cast<std::uint8_t>(address >> 16));
        frame.push_back(static_cast<std::uint8_t>(address >> 8));
        frame.push_back(static_cast<std::uint8_t>(address));
        frame.insert(frame.end(), data.begin(), data.end());
        return WithSum(frame);
    }

    ProgrammerUnit unit_;
    std::uint64_t time_ = 0;
};

TEST_F(UnitTest, AnswersTheVersionOfEachModel) {
    EXPECT_EQ(Send({'V', 'V'}), (std::vector<std::uint8_t>{1, 0, 'F'}));
    Command("model tandrel-usb");
    EXPECT_EQ(Send({'V', 'V'}), (std::vector<std::uint8_t>{2, 5, 'A'}));
    EXPECT_EQ(unit_.eeprom(1), 'A');
    EXPECT_EQ(unit_.eeprom(4), 'U');
    Command("model tandrel-serial");
    EXPECT_EQ(unit_.eeprom(4), 'S');
    Command("model calyxor2");
    EXPECT_EQ(Send({'V', 'V'}), (std::vector<std::uint8_t>{2, 0, '2'}));
    EXPECT_TRUE(Send(WithSum({'H', 'R', 1, 0, 1})).empty()) << "emulators only answer V";
    EXPECT_TRUE(Send(WithSum({'4', 'R', 1, 0, 0, 0})).empty());
}

TEST_F(UnitTest, ReadsItsEeprom) {
    Command("eeprom 0x20 1 2 3");
    EXPECT_EQ(Send(WithSum({'H', 'R', 3, 0, 0x20})), (std::vector<std::uint8_t>{1, 2, 3, 6}));
    EXPECT_EQ(Send({'H', 'R', 3, 0, 0x20, 0}), std::vector<std::uint8_t>{'?'}) << "bad checksum";
    EXPECT_EQ(Send(WithSum({'H', 'R', 0, 0, 0})).size(), 257u) << "a count of 0 is 256";
}

TEST_F(UnitTest, TheSpeedCommandChangesTheRateAfterItsAcknowledgement) {
    EXPECT_EQ(Send({'S', 2, 'S' + 2}), std::vector<std::uint8_t>{'?'});
    EXPECT_EQ(Send({'S', 0, 'S' + 1}), std::vector<std::uint8_t>{'?'});
    EXPECT_EQ(Send({'S', 0, 'S'}), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.baudRate(), 921600u);
    EXPECT_EQ(unit_.speedCode(), 0);
    EXPECT_TRUE(Send({'V', 'V'}).empty()) << "115200 is noise now";
    EXPECT_EQ(unit_.counters().garbledBytes, 2u);
    EXPECT_EQ(Send({'V', 'V'}, 921600).size(), 3u);
    EXPECT_EQ(Send({'S', 3, 'S' + 3}, 921600), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.baudRate(), 230400u);
    Command("reset");
    EXPECT_EQ(unit_.baudRate(), 115200u);
}

TEST_F(UnitTest, ReadsTheChipInItsSocketWithAddressesWrapping) {
    Command("poke 0 0x11 0x22");
    Command("poke 0x7FFFF 0x99");
    EXPECT_EQ(Send(WithSum({'4', 'R', 3, 0x07, 0xFF, 0xFF})),
              (std::vector<std::uint8_t>{0x99, 0x11, 0x22, 0xCC}));
    EXPECT_EQ(Send(WithSum({'5', 'R', 1, 0, 0})), std::vector<std::uint8_t>{'?'})
        << "a family that is not in the socket";
}

TEST_F(UnitTest, FlashKeepsClearedBitsUntilErased) {
    Command("fill 0x0F");
    EXPECT_EQ(Send(WriteFrame('4', 0x12345, {0xF3, 0xFF})), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.chip()[0x12345], 0x03);
    EXPECT_EQ(unit_.chip()[0x12346], 0x0F);
    EXPECT_EQ(Send(WithSum({'4', 'E', 1})), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.chip()[0x12345], 0xFF);
    EXPECT_EQ(unit_.chip()[0x20000], 0x0F);
    EXPECT_EQ(Send(WithSum({'4', 'E', 8})), std::vector<std::uint8_t>{'F'});
    EXPECT_EQ(Send({'5', 'E', 'z'}), std::vector<std::uint8_t>{'F'}) << "no whole-chip erase here";

    Command("chip 27SF512");
    Command("fill 0x0F");
    EXPECT_EQ(Send(WriteFrame('5', 0x10, {0xF0})), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.chip()[0x10], 0x00);
    EXPECT_EQ(Send({'5', 'E', 'z'}), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.chip()[0x10], 0xFF);
    EXPECT_EQ(Send(WithSum({'4', 'E', 0})), std::vector<std::uint8_t>{'F'});
}

TEST_F(UnitTest, TheAt29c256ReplacesWhatItProgramsAndReadOnlyChipsRefuse) {
    Command("chip 0");
    Command("fill 0x00");
    EXPECT_EQ(Send(WriteFrame('2', 0x7FFF, {0xFF, 0xA5})), std::vector<std::uint8_t>{'O'});
    EXPECT_EQ(unit_.chip()[0x7FFF], 0xFF);
    EXPECT_EQ(unit_.chip()[0], 0xA5) << "wrapped";

    Command("chip 27C256");
    EXPECT_EQ(unit_.chip()[0x1234], ProgrammerUnit::EpromPattern(0x1234));
    EXPECT_EQ(Send(WriteFrame('5', 0, {0})), std::vector<std::uint8_t>{'F'});
    EXPECT_EQ(unit_.chip()[0], ProgrammerUnit::EpromPattern(0));
}

TEST_F(UnitTest, QuickVerifyChecksumsARange) {
    Command("poke 0x40000 0x10 0x20 0x30");
    EXPECT_EQ(Send({'Q', 0, 0, 3, 0x04, 0, 0}), (std::vector<std::uint8_t>{0x00, 0x80}));
}

TEST_F(UnitTest, FramesMayPauseUpTo100Ms) {
    Command("fill 0x00");
    const std::vector<std::uint8_t> frame = WriteFrame('4', 0x100, std::vector<std::uint8_t>(256, 0x5A));
    for (std::size_t split = 1; split < frame.size(); ++split) {
        Command("fill 0xFF");
        for (std::size_t i = 0; i < frame.size(); ++i) {
            time_ += i == split ? 90000 : 10;
            unit_.Receive(frame[i], time_, kBaud);
        }
        ASSERT_EQ(Values(unit_.TakeOutput()), std::vector<std::uint8_t>{'O'}) << split;
        ASSERT_EQ(unit_.chip()[0x1FF], 0x5A);
    }
    // A longer pause drops the partial frame; the unit waits for the next command.
    std::vector<std::uint8_t> head(frame.begin(), frame.begin() + 3);
    Send(head);
    time_ += 150000;
    EXPECT_EQ(Send({'V', 'V'}).size(), 3u);
}

TEST_F(UnitTest, GarbageBeforeAFrameIsSkipped) {
    EXPECT_EQ(Send({0x00, 'x', 'V', 'x'}).size(), 0u);
    EXPECT_EQ(Send({'V', 'V'}).size(), 3u) << "'V' then 'x' was no frame";
    EXPECT_GT(unit_.counters().ignoredBytes, 0u);
}

TEST_F(UnitTest, FaultsCountBlocksFromWhenTheyAreSet) {
    const std::vector<std::uint8_t> read = WithSum({'4', 'R', 4, 0, 0, 0});
    Command("fault bad-checksum 1");
    std::vector<std::uint8_t> good = Send(read);
    std::vector<std::uint8_t> bad = Send(read);
    ASSERT_EQ(good.size(), 5u);
    EXPECT_EQ(bad[4], static_cast<std::uint8_t>(good[4] + 1));
    EXPECT_EQ(Send(read), good) << "one block only";

    Command("fault short 0 2");
    EXPECT_EQ(Send(read).size(), 2u);
    Command("fault clear");
    Command("fault stop 1 3");
    EXPECT_EQ(Send(read).size(), 5u);
    EXPECT_EQ(Send(read).size(), 3u);
    EXPECT_TRUE(Send(read).empty());
    EXPECT_TRUE(Send({'V', 'V'}).empty()) << "a unit that stopped answers nothing";
    Command("fault clear");
    EXPECT_EQ(Send({'V', 'V'}).size(), 3u);

    Command("fault gap 0 2 40");
    std::vector<UnitByte> out;
    for (std::uint8_t b : read) unit_.Receive(b, time_ += 10, kBaud);
    out = unit_.TakeOutput();
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[2].pauseUs, 40000u);
    EXPECT_EQ(out[3].pauseUs, 0u);
}

TEST_F(UnitTest, ControlCommandsReportErrors) {
    EXPECT_EQ(ExecuteUnitCommand(unit_, "", nullptr), "error empty command");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "chip 9", nullptr), "error unknown chip '9'");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "model foo", nullptr), "error unknown model 'foo'");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "fault wobble", nullptr), "error unknown fault 'wobble'");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "fault reply x", nullptr), "error bad arguments for fault reply");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "fill 256", nullptr), "error bad byte '256'");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "load /nonexistent/file", nullptr),
              "error cannot open /nonexistent/file");
    UnitCommandEffects effects;
    EXPECT_EQ(ExecuteUnitCommand(unit_, "pace on", &effects), "ok");
    EXPECT_EQ(effects.pacing, 1);
    EXPECT_EQ(ExecuteUnitCommand(unit_, "quit", &effects), "ok");
    EXPECT_TRUE(effects.quit);
    EXPECT_EQ(ExecuteUnitCommand(unit_, "status", nullptr).substr(0, 40),
              "ok model=vorland chip=1 speed=7 baud=115");
}

TEST_F(UnitTest, LoadsAndDumpsTheChip) {
    std::string path = ::testing::TempDir() + "unit_test_chip.bin";
    {
        std::ofstream file(path, std::ios::binary);
        file << "HELLO";
    }
    Command("chip 3");
    EXPECT_EQ(ExecuteUnitCommand(unit_, "load " + path, nullptr), "ok 5");
    EXPECT_EQ(unit_.chip()[4], 'O');
    EXPECT_EQ(unit_.chip()[5], ProgrammerUnit::EpromPattern(5));
    EXPECT_EQ(ExecuteUnitCommand(unit_, "dump " + path, nullptr), "ok 4096");
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, unit_.chip());
    std::remove(path.c_str());
}

}  // namespace
