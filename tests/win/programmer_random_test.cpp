// A seeded random walk through the real Vorland.exe with two simulated units that are unplugged
// and plugged in again, on their port or another: chip choices, HEX and binary loads, Close and
// restart, Program, Verify, Read, Erase and Blank Check, Cancel and unplugging at random moments.
// After every line that says a chip succeeded, the unit the log names holds what the line
// claims; after every operation, no unit it did not run on has changed.
//
// The walk prints its seed. VORLAND_RANDOM_SEED repeats one, VORLAND_RANDOM_STEPS sets its length
// (./test takes a short walk with a new seed each time; the long one is 200 steps or more).
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/address_rules.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
#include "tests/win/support/programmer_window_fixture.h"

namespace {

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

constexpr int kShortWalk = 60;
constexpr int kPorts[] = {3, 4, 5, 6};
constexpr std::int32_t kChipSizes[] = {0x8000, 0, 0x10000};  // types 0 (rewritable) and 2 (flash)

unsigned EnvNumber(const char* name, unsigned otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 0))
                                            : otherwise;
}

struct Unit {
    SimUnit* sim = nullptr;
    int com = 0;      // its port; 0 unplugged
    int lastCom = 0;  // where it was last plugged in
    Bytes chip;       // what it must hold
};

class ProgrammerRandomTest : public ProgrammerWindowTest {
  protected:
    unsigned Pick(unsigned n) { return static_cast<unsigned>(rng_() % n); }
    Bytes RandomBytes(std::size_t n) {
        Bytes bytes(n);
        for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng_());
        return bytes;
    }
    std::int32_t ChipSize() const { return kChipSizes[chipType_]; }

    void Plug(Unit& u, int com) {
        ASSERT_TRUE(u.sim->Ok("reset"));  // power comes back: 115200 baud, no faults
        ASSERT_TRUE(
            u.sim->Ok("link " + WinePrefixPath() + "/dosdevices/com" + std::to_string(com)));
        u.com = u.lastCom = com;
        if (Pick(2) == 0) Arrival(com);
    }
    void Unplug(Unit& u) {
        ASSERT_TRUE(u.sim->Ok("fault silent"));  // the port handle the window may hold goes dead
        ASSERT_TRUE(u.sim->Ok("unlink"));
        u.com = 0;
    }
    // Wine tells of no arrival: the message is made as the system makes it.
    void Arrival(int com) {
        const std::string name = "COM" + std::to_string(com);
        char buffer[sizeof(DEV_BROADCAST_PORT_A) + 8] = {};
        auto* port = reinterpret_cast<DEV_BROADCAST_PORT_A*>(buffer);
        port->dbcp_size = static_cast<DWORD>(sizeof(DEV_BROADCAST_PORT_A) + name.size());
        port->dbcp_devicetype = DBT_DEVTYP_PORT;
        std::strcpy(port->dbcp_name, name.c_str());
        const std::size_t before = app_.Log().size();
        SendMessageA(app_.window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                     reinterpret_cast<LPARAM>(buffer));
        if (Pick(4) == 0) app_.Press(IDC_CANCEL_OPERATION);
        WaitIdle();
        Follow(app_.LogSince(before));
    }
    bool PortFree(int com) const { return units_[0].com != com && units_[1].com != com; }

    void WaitIdle() {
        const DWORD start = GetTickCount();
        while (!app_.Enabled(IDC_READ_CHIP) || !app_.Enabled(IDCANCEL)) {
            ASSERT_LT(GetTickCount() - start, 60000u) << "the window stays busy";
            PumpMessages(10);
        }
    }
    // The unit the log names: its "HW:" and "Port:" lines. True when it is another than the
    // one the work was on (the window takes it up, but must not run the operation on it).
    bool Follow(const std::string& line) {
        if (line.rfind("HW: ", 0) == 0) hw_ = line.substr(4);
        if (line == "Supported hardware Not Found!") named_.clear();
        if (line.rfind("Port: ", 0) != 0) return false;
        named_ = line.substr(6);
        const std::string unit = hw_ + " on " + named_;
        const bool other = !given_.empty() && unit != given_;
        given_ = unit;
        return other;
    }
    void Follow(const Lines& lines) {
        for (const std::string& line : lines) Follow(line);
    }
    void ExpectBoxes() {
        const Lines boxes = Boxes();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(boxes[i], FormatAddress(ranges_[i])) << "box " << i;
    }
    void TakeBoxes() {
        const Lines boxes = Boxes();
        for (int i = 0; i < 4; ++i) ranges_[i] = ParseHex(boxes[i].c_str());
    }

    void StartWalk() {
        units_[0].sim = &Sim();
        units_[1].sim = &second_;
        chipType_ = Pick(2) == 0 ? 0 : 2;
        const std::string type = "chip " + std::to_string(chipType_);
        StartUnit({"model vorland", type}, 3);
        StartUnitOf(second_, {Pick(2) == 0 ? "model vorland" : "model tandrel-usb", type}, 4, 9);
        units_[0].com = units_[0].lastCom = 3;
        units_[1].com = units_[1].lastCom = 4;
        for (Unit& u : units_) u.chip = u.sim->ChipContents();
        ranges_[0] = ranges_[2] = 0;
        ranges_[1] = ranges_[3] = ChipSize() - 1;
        app_.WriteSettings(Settings(chipType_, 0, ChipSize() - 1, 0, ChipSize() - 1));
        Restart(false);
        Check(IDC_QUICK_VERIFY, Pick(3) == 0);
    }
    void Restart(bool close) {
        if (close) {
            ASSERT_TRUE(app_.Close());
        }
        ASSERT_TRUE(app_.Start());
        buffer_.assign(buffer_.size(), 0);
        named_.clear();
        given_.clear();
        Follow(app_.Log());
        ExpectBoxes();
    }
    void ChooseChip() {
        chipType_ = chipType_ == 0 ? 2 : 0;
        app_.SelectChip(chipType_);
        for (Unit& u : units_) {
            ASSERT_TRUE(u.sim->Ok("chip " + std::to_string(chipType_)));  // a fresh one in
            u.chip = u.sim->ChipContents();
        }
        TakeBoxes();
    }
    void LoadFile(bool addressed) {
        const std::uint32_t size = static_cast<std::uint32_t>(ChipSize());
        const std::uint32_t length =
            addressed ? 1 + Pick(0x300) : 64 * (1 + Pick(32)) - (Pick(5) == 0);
        const std::uint32_t start = addressed ? Pick(size - length + 1) : 0;
        const Bytes data = RandomBytes(length);
        const std::string path = app_.dir().File(addressed ? "image.s19" : "image.bin");
        const std::string text =
            WriteImage(addressed ? ImageFormat::kSRecord : ImageFormat::kBinary, data.data(),
                       length, start, "image");
        WriteFileBytes(path, Bytes(text.begin(), text.end()));
        Load(path);
        if (addressed) {
            std::fill(buffer_.begin(), buffer_.end(), 0xFF);
            ranges_[0] = ranges_[2] = static_cast<std::int32_t>(start & ~63u);
            ranges_[1] = ranges_[3] = static_cast<std::int32_t>((start + length - 1) | 63u);
        } else {
            std::fill(buffer_.begin(), buffer_.begin() + ChipSize(), 0);
            // A binary starts at chip address 0: the test never types one.
            ranges_[0] = ranges_[2] = 0;
            ranges_[1] = ranges_[3] = static_cast<std::int32_t>(length) - 1;
        }
        std::copy(data.begin(), data.end(), buffer_.begin() + start);
        ExpectBoxes();
    }

    // Presses an operation button, maybe cancels or unplugs a unit meanwhile, and checks the
    // lines it logged against the units.
    void Operate(int button) {
        ExpectBoxes();
        if (button == IDC_PROGRAM_CHIP) {
            Check(IDC_VERIFY_AFTER_PROGRAM, Pick(4) != 0);
            Check(IDC_PROGRAM_CHANGED, Pick(3) == 0);
        }
        std::map<std::string, Unit*> at;  // where each unit is as the operation starts
        for (Unit& u : units_) {
            if (u.com != 0) at["COM" + std::to_string(u.com)] = &u;
        }
        const std::size_t before = app_.Log().size();
        app_.Press(button);
        ASSERT_TRUE(app_.WaitForLogLines(before + 1));
        if (Pick(5) == 0) {
            PumpMessages(Pick(600));
            app_.Press(IDC_CANCEL_OPERATION);
        }
        if (Pick(16) == 0 && !at.empty()) {
            PumpMessages(Pick(600));
            Unplug(*std::next(at.begin(), Pick(static_cast<unsigned>(at.size())))->second);
        }
        WaitIdle();
        const Lines lines = app_.LogSince(before);
        SCOPED_TRACE(::testing::PrintToString(lines));
        Bytes now[2] = {units_[0].sim->ChipContents(), units_[1].sim->ChipContents()};
        const std::size_t length = static_cast<std::size_t>(ranges_[3] - ranges_[2] + 1);
        auto chipRange = [&](const Unit* u) {
            const Bytes& chip = now[u == &units_[0] ? 0 : 1];
            return Bytes(chip.begin() + ranges_[2], chip.begin() + ranges_[2] + length);
        };
        const Bytes bufferRange(buffer_.begin() + ranges_[0],
                                buffer_.begin() + ranges_[0] + length);
        const bool writes = button == IDC_PROGRAM_CHIP || button == IDC_ERASE_CHIP;
        // Programming only what differs erases a flash chip whose bytes need a bit set.
        const bool erasedFirst =
            std::count(lines.begin(), lines.end(),
                       "Erased the chip first: bytes of it needed a bit set.") != 0;
        const Unit* ranOn = nullptr;
        std::string programmedOn;
        bool otherUnit = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            otherUnit = Follow(line) || otherUnit;
            const Unit* named = at.count(named_) != 0 ? at[named_] : nullptr;
            const bool ran = line == kSeparator || line == "Erase Succeeded." ||
                             line == "ERROR: Erase Command returned failure." ||
                             line == kVerified || line == kNotMatched ||
                             line == "ERROR: Command Failed. Check connectivity, etc." ||
                             line == "Chip is blank." || line == "Chip NOT blank.";
            EXPECT_FALSE(ran && otherUnit) << "ran on a unit the work was not on: " << line;
            if (writes &&
                (line == kSeparator || line == "The chip holds part of the image." ||
                 line == "Erase Succeeded." || line == "ERROR: Erase Command returned failure.")) {
                ranOn = named;
            }
            const bool success = line == kSucceeded || line == kVerified ||
                                 line == "Erase Succeeded." || line == "Chip is blank.";
            if (!success) continue;
            ASSERT_NE(named, nullptr) << line << " of a unit on " << named_;
            if (line == kSucceeded && button == IDC_PROGRAM_CHIP) {
                // Programming a flash chip only clears bits: it holds the old bytes AND the new.
                Bytes written = bufferRange;
                for (std::size_t k = 0; chipType_ == 2 && !erasedFirst && k < length; ++k) {
                    written[k] &= named->chip[static_cast<std::size_t>(ranges_[2]) + k];
                }
                EXPECT_EQ(chipRange(named), written) << "the chip holds what was programmed";
                programmedOn = named_;
            } else if (line == kSucceeded) {
                const Bytes read = chipRange(named);
                std::copy(read.begin(), read.end(), buffer_.begin() + ranges_[0]);
                ASSERT_LT(i + 1, lines.size());
                EXPECT_EQ(lines[i + 1],
                          FormatChecksumLine(static_cast<std::uint32_t>(ranges_[0]),
                                             static_cast<std::uint32_t>(ranges_[1]), read.data()));
            } else if (line == kVerified) {
                EXPECT_EQ(chipRange(named), bufferRange) << "the chip holds the buffer";
                if (button == IDC_PROGRAM_CHIP) {
                    EXPECT_EQ(named_, programmedOn) << "verified on another unit";
                }
            } else {
                const Bytes& chip = now[named == &units_[0] ? 0 : 1];
                EXPECT_EQ(std::count(chip.begin(), chip.end(), 0xFF),
                          static_cast<std::ptrdiff_t>(chip.size()))
                    << line;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (&units_[i] != ranOn) {
                EXPECT_EQ(now[i], units_[i].chip) << "unit " << i << " changed";
            }
            units_[i].chip = now[i];
        }
    }

    void Step() {
        const unsigned roll = Pick(100);
        static constexpr int kOperations[] = {IDC_PROGRAM_CHIP, IDC_PROGRAM_CHIP, IDC_VERIFY_CHIP,
                                              IDC_READ_CHIP,    IDC_ERASE_CHIP,   IDC_BLANK_CHECK};
        if (roll < 6) return ChooseChip();
        if (roll < 16) return LoadFile(true);
        if (roll < 26) return LoadFile(false);
        if (roll < 31) return Restart(true);
        if (roll < 39) {
            Unit& u = units_[Pick(2)];
            if (u.com != 0) {
                if (Pick(2) == 0) Unplug(u);
                return;
            }
            int com = u.lastCom;
            if (!PortFree(com) || Pick(2) == 0) com = kPorts[Pick(4)];
            if (PortFree(com)) Plug(u, com);
            return;
        }
        Operate(kOperations[Pick(6)]);
    }

    std::mt19937 rng_;
    SimUnit second_;
    Unit units_[2];
    int chipType_ = 0;
    Bytes buffer_ = Bytes(0x80000, 0);  // what the window's image buffer holds
    std::int32_t ranges_[4] = {};       // buffer start and end, chip start and end
    std::string named_;                 // the port of the unit the log names; "" none
    std::string hw_;                    // its name
    std::string given_;                 // the unit the window works on: name and port
};

TEST_F(ProgrammerRandomTest, TheLogNamesTheUnitThatHoldsWhatItsSuccessLinesClaim) {
    const unsigned seed = EnvNumber("VORLAND_RANDOM_SEED", GetTickCount() ^ GetCurrentProcessId());
    const int steps = static_cast<int>(EnvNumber("VORLAND_RANDOM_STEPS", kShortWalk));
    std::printf("random walk: seed %u, %d steps (VORLAND_RANDOM_SEED=%u repeats it)\n", seed, steps,
                seed);
    std::fflush(stdout);
    rng_.seed(seed);
    const DWORD start = GetTickCount();
    StartWalk();
    for (int step = 0; step < steps && !HasFailure(); ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
        Step();
    }
    std::printf("random walk: %d steps in %lu ms\n", steps, GetTickCount() - start);
}

}  // namespace
