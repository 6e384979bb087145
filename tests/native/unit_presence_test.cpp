// Keeping the window's link to its unit across operations: the check before each one, and the
// search again when the unit went away, was power-cycled or moved.
#include <gtest/gtest.h>

#include "device/unit_presence.h"
#include "tests/native/support/tandrel_fixture.h"

namespace {

class UnitPresenceTest : public TandrelTest {
  protected:
    void SetUp() override {
        ports_.AddPort("COM2", nullptr);
        ports_.AddPort("COM12", &unit_);
        known_ = FindUnit(tandrel_, {});
        ASSERT_TRUE(known_.ready());
        ASSERT_EQ(unit_.baudRate(), 921600u) << "a Vorland's link is raised";
        ClearEvents();
    }
    void Command(const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr), "ok") << line;
    }
    std::vector<std::string> PortsOpened() const {
        std::vector<std::string> names;
        for (const LinkEvent& e : EventsOf(LinkEvent::Kind::kOpen)) names.push_back(e.port);
        return names;
    }
    UnitPresence known_;
};

TEST_F(UnitPresenceTest, AUnitStillThereIsAskedOnceAndNotLookedFor) {
    const UnitPresence now = EnsureUnit(tandrel_, known_, "COM12");
    EXPECT_FALSE(now.searched);
    EXPECT_TRUE(now.ready());
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"56 56"});
    EXPECT_STREQ(now.name, "Vorland v1.0.F");
}

TEST_F(UnitPresenceTest, APowerCycledUnitIsFoundAgainOnItsPortFirst) {
    Command("reset");  // back at 115200 baud, while the host speaks 921600
    const UnitPresence now = EnsureUnit(tandrel_, known_, "COM12");
    EXPECT_TRUE(now.searched);
    EXPECT_TRUE(now.ready());
    EXPECT_STREQ(now.port, "COM12");
    EXPECT_EQ(PortsOpened().front(), "COM12") << "its last port is tried first";
    EXPECT_EQ(unit_.baudRate(), 921600u) << "and its link raised again";
    EXPECT_EQ(tandrel_.portOpen, 1);
}

TEST_F(UnitPresenceTest, AnotherUnitOrNoneIsWhatTheSearchSays) {
    ProgrammerUnit other;
    other.SetModel(UnitModel::kTandrelSerial);
    ports_.AddPort("COM3", &other);
    Command("fault silent");
    UnitPresence now = EnsureUnit(tandrel_, known_, "COM12");
    EXPECT_TRUE(now.searched);
    EXPECT_STREQ(now.name, "Tandrel Serial v2.5.A");
    EXPECT_STREQ(now.port, "COM3");

    other.SetFaults({.silent = true});
    now = EnsureUnit(tandrel_, now, "COM3");
    EXPECT_TRUE(now.searched);
    EXPECT_FALSE(now.ready());
    EXPECT_EQ(now.flags, 0u);
    EXPECT_EQ(tandrel_.portOpen, 0) << "a failed search holds no port";

    tandrel_.stopScan = 1;
    now = EnsureUnit(tandrel_, now, "COM3");
    EXPECT_TRUE(now.stopped);
}

}  // namespace
