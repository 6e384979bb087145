// The progress relay between the worker and the window thread: whatever moments the window
// drains at, the bar shows what the calls one by one would have; and the window is asked
// to drain at most once a pace, never twice for one unanswered request.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/progress_relay.h"
#include "sim/simulated_port.h"

namespace {

// What a text progress bar holds, with its step rule: past the maximum it wraps to the minimum.
struct BarModel final : ProgressSink {
    void SetRange(std::int32_t minimum, std::int32_t maximum) override {
        low = minimum;
        high = maximum;
    }
    void SetStep(std::int32_t value) override { step = value; }
    void SetPos(std::int32_t value) override { position = value; }
    void StepIt() override {
        position += step;
        if (position > high) position = low;
    }
    void SetText(const char* value) override { text = value; }
    bool operator==(const BarModel& other) const {
        return low == other.low && high == other.high && step == other.step &&
               position == other.position && text == other.text;
    }

    std::int32_t low = 0, high = 255, step = 1, position = 0;
    std::string text;
};

// Every call to both: the relay, and a bar that takes the calls one by one.
struct Tee final : ProgressSink {
    Tee(ProgressSink& a, ProgressSink& b) : first(a), second(b) {}
    void SetRange(std::int32_t minimum, std::int32_t maximum) override {
        first.SetRange(minimum, maximum);
        second.SetRange(minimum, maximum);
    }
    void SetStep(std::int32_t value) override {
        first.SetStep(value);
        second.SetStep(value);
    }
    void SetPos(std::int32_t value) override {
        first.SetPos(value);
        second.SetPos(value);
    }
    void StepIt() override {
        first.StepIt();
        second.StepIt();
    }
    void SetText(const char* value) override {
        first.SetText(value);
        second.SetText(value);
    }
    ProgressSink& first;
    ProgressSink& second;
};

// A transfer's calls, as the device makes them, with a range, step or position change now and
// then where the device makes none, so that the order rules are tried too; the window drains
// at random moments and then shows what the calls one by one would show.
TEST(ProgressRelayTest, WheneverTheWindowDrainsTheBarShowsWhatTheCallsWouldHave) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        VirtualClock clock;
        ProgressRelay relay(clock);
        BarModel shown;
        relay.SetNotify([&](bool now) {
            if (now) relay.Drain(shown);
            return true;
        });
        BarModel direct;
        Tee sink(relay, direct);
        std::mt19937 random(seed);
        auto maybeDrain = [&] {
            if (random() % 3 != 0) return;
            relay.Drain(shown);
            ASSERT_EQ(shown, direct) << "seed " << seed;
        };

        const int blocks = 40 + static_cast<int>(random() % 40);
        sink.SetRange(0, blocks / 2);
        sink.SetStep(1);
        sink.SetPos(0);
        maybeDrain();
        for (int i = 0; i < blocks; ++i) {
            sink.SetText(("Reading Address " + std::to_string(i * 256)).c_str());
            sink.StepIt();
            switch (random() % 16) {
                case 0: sink.SetStep(1 + static_cast<int>(random() % 3)); break;
                case 1: sink.SetRange(0, 10 + static_cast<int>(random() % 20)); break;
                case 2: sink.SetPos(static_cast<int>(random() % 5)); break;
                default: break;
            }
            clock.Sleep(random() % 7);
            maybeDrain();
        }
        sink.SetPos(0);
        sink.SetText("");
        relay.Drain(shown);
        ASSERT_EQ(shown, direct) << "seed " << seed;
    }
}

TEST(ProgressRelayTest, TheWindowIsAskedAtMostOncePerPaceAndNotAgainUntilItDrains) {
    VirtualClock clock;
    ProgressRelay relay(clock);
    std::vector<std::uint32_t> asked;  // virtual milliseconds of each request
    relay.SetNotify([&](bool now) {
        EXPECT_FALSE(now);
        asked.push_back(clock.TickCount());
        return true;
    });
    BarModel bar;
    relay.SetText("first");  // the first change is shown at once
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{0}));
    for (int i = 0; i < 100; ++i) {
        clock.Sleep(3);
        relay.StepIt();
    }
    EXPECT_EQ(asked.size(), 1u) << "unanswered: not asked again";
    relay.Drain(bar);
    EXPECT_EQ(bar.position, 100 % 256);
    EXPECT_EQ(bar.text, "first");

    relay.StepIt();  // answered, and the pace has passed
    ASSERT_EQ(asked.size(), 2u);
    relay.Drain(bar);
    clock.Sleep(kProgressPaceMs - 1);
    relay.StepIt();
    EXPECT_EQ(asked.size(), 2u) << "within the pace";
    clock.Sleep(1);
    relay.StepIt();
    EXPECT_EQ(asked.size(), 3u);
}

TEST(ProgressRelayTest, ARequestThatCannotBeQueuedIsMadeAgainLater) {
    VirtualClock clock;
    ProgressRelay relay(clock);
    int asked = 0;
    relay.SetNotify([&](bool) { return ++asked > 1; });  // the first post fails
    relay.SetText("a");
    clock.Sleep(kProgressPaceMs);
    relay.SetText("b");
    EXPECT_EQ(asked, 2);
}

}  // namespace
