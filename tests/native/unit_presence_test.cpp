// Keeping the window's link to the unit it was given across operations: the check before each
// one, the search again when the unit went away or was power-cycled, and what happens when
// another unit answers instead.
#include <gtest/gtest.h>

#include "device/unit_presence.h"
#include "tests/native/support/tandrel_fixture.h"

namespace {

class UnitPresenceTest : public TandrelTest {
  protected:
    void SetUp() override {
        ports_.AddPort("COM2", nullptr);
        ports_.AddPort("COM12", &unit_);
        ASSERT_TRUE(hold_);
        const UnitPresence first = FindUnit(hold_, {});
        ASSERT_TRUE(first.ready());
        EXPECT_FALSE(first.otherUnit) << "no unit was given before";
        ASSERT_EQ(unit_.baudRate(), 921600u) << "a Vorland's link is raised";
        ClearEvents();
    }
    void Command(ProgrammerUnit& unit, const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit, line, nullptr), "ok") << line;
    }
    std::vector<std::string> PortsOpened() const {
        std::vector<std::string> names;
        for (const LinkEvent& e : EventsOf(LinkEvent::Kind::kOpen)) names.push_back(e.port);
        return names;
    }
    UnitLink link_{ports_, clock_};
    LinkHold hold_ = link_.Take();
};

TEST_F(UnitPresenceTest, AUnitStillThereIsAskedOnceAndNotLookedFor) {
    EXPECT_FALSE(link_.Take()) << "one hold only";
    const UnitPresence now = EnsureUnit(hold_);
    EXPECT_FALSE(now.searched);
    EXPECT_TRUE(now.ready());
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"56 56"});
    EXPECT_STREQ(now.found.name, "Vorland v1.0.F");
}

TEST_F(UnitPresenceTest, APowerCycledUnitIsFoundAgainOnItsPortFirst) {
    Command(unit_, "reset");  // back at 115200 baud, while the host speaks 921600
    const UnitPresence now = EnsureUnit(hold_);
    EXPECT_TRUE(now.searched);
    EXPECT_TRUE(now.ready());
    EXPECT_STREQ(now.found.port, "COM12");
    EXPECT_EQ(PortsOpened().front(), "COM12") << "its last port is tried first";
    EXPECT_EQ(unit_.baudRate(), 921600u) << "and its link raised again";
    EXPECT_EQ(hold_->portOpen, 1);
}

// Whatever answers in the unit's place is reported and becomes the unit of the next check; it
// is not worked on now. When nothing answers, the unit given stays the one looked for.
TEST_F(UnitPresenceTest, AnotherUnitIsReportedNotWorkedOn) {
    struct Case {
        const char* change;
        const char* port;  // where something answers then; null: nowhere
    };
    const Case cases[] = {
        {"elsewhere", "COM3"}, {"version", "COM12"}, {"adapter", "COM12"}, {"nothing", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        SetUp();
        ProgrammerUnit other;
        const std::string change = c.change;
        if (change == "elsewhere") {
            ports_.AddPort("COM3", &other);
            Command(unit_, "fault silent");
        } else if (change == "version") {
            Command(unit_, "reset");
            Command(unit_, "version 1 1 F");
        } else if (change == "adapter") {
            Command(unit_, "reset");
            ports_.SetAdapterId("COM12", "USB\\VID_0403&PID_6001\\B2");
        } else {
            Command(unit_, "fault silent");
        }
        UnitPresence now = EnsureUnit(hold_);
        EXPECT_TRUE(now.searched);
        EXPECT_FALSE(now.ready());
        EXPECT_EQ(now.otherUnit, c.port != nullptr);
        EXPECT_STREQ(now.given.port, "COM12");
        EXPECT_STREQ(hold_.unit().port, c.port != nullptr ? c.port : "COM12");
        if (c.port == nullptr) {
            EXPECT_EQ(hold_->portOpen, 0) << "a failed search holds no port";
            continue;
        }
        EXPECT_STREQ(now.found.port, c.port);
        now = EnsureUnit(hold_);
        EXPECT_TRUE(now.ready()) << "the next operation runs on it";
        EXPECT_FALSE(now.searched);
        Command(unit_, "fault clear");
        Command(unit_, "version 1 0 F");
        ports_.SetAdapterId("COM12", "");
        hold_->ClosePort();
        hold_.unit() = {};
        ports_.AddPort("COM3", nullptr);
    }
}

TEST_F(UnitPresenceTest, AStopEndsTheSearchAndHoldsNoPort) {
    Command(unit_, "reset");
    link_.Stop();
    UnitPresence now = EnsureUnit(hold_);
    EXPECT_TRUE(now.stopped);
    EXPECT_FALSE(now.ready());
    EXPECT_EQ(hold_->portOpen, 0);
    hold_.StartWork();
    EXPECT_TRUE(EnsureUnit(hold_).ready()) << "new work is not stopped";
}

}  // namespace
