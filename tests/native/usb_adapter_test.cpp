// The simulated USB adapter's latency timer on made-up times: which bytes leave together, when.
#include "sim/usb_adapter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t kMs = 1000000;

// The packets that carry bytes due at `dues`, the adapter's last packet having left at 0.
std::vector<UsbPacket> Packets(const std::vector<std::int64_t>& dues, std::int64_t latency) {
    std::vector<UsbPacket> packets;
    std::int64_t sent = 0;
    for (std::size_t at = 0; at < dues.size();) {
        const UsbPacket p = NextUsbPacket(
            dues.size() - at, [&](std::size_t i) { return dues[at + i]; }, sent, latency);
        packets.push_back(p);
        at += p.count;
        sent = p.releaseNs;
    }
    return packets;
}

// n bytes from `start` on, one every `step`.
std::vector<std::int64_t> Bytes(std::size_t n, std::int64_t start, std::int64_t step) {
    std::vector<std::int64_t> dues;
    for (std::size_t i = 0; i < n; ++i) dues.push_back(start + static_cast<std::int64_t>(i) * step);
    return dues;
}

TEST(UsbAdapter, FullPacketsLeaveAtOnceAndTheRestAtTheTimersNextTick) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> dues;
        std::int64_t latency;
        std::vector<std::pair<std::int64_t, std::size_t>> packets;  // release, count
    };
    const Case cases[] = {
        {"one byte waits for the tick", {5 * kMs}, 16 * kMs, {{16 * kMs, 1}}},
        {"one byte on the tick", {16 * kMs}, 16 * kMs, {{16 * kMs, 1}}},
        {"the status bytes at 16 started the timer again", {20 * kMs}, 16 * kMs, {{32 * kMs, 1}}},
        {"a read block's reply at 921600 baud: four full packets, then the tail one latency "
         "after the fourth",
         Bytes(257, kMs, 10851),
         16 * kMs,
         {{kMs + 61 * 10851, 62},
          {kMs + 123 * 10851, 62},
          {kMs + 185 * 10851, 62},
          {kMs + 247 * 10851, 62},
          {kMs + 247 * 10851 + 16 * kMs, 9}}},
        {"the same behind a 1 ms timer: its tick cuts the first packet short",
         Bytes(257, 1500000, 10851),
         kMs,
         {{2 * kMs, 47},
          {1500000 + 108 * 10851, 62},
          {1500000 + 170 * 10851, 62},
          {1500000 + 232 * 10851, 62},
          {1500000 + 232 * 10851 + kMs, 24}}},
        {"a slow line: what came by the tick",
         Bytes(20, 0, kMs),
         16 * kMs,
         {{16 * kMs, 17}, {32 * kMs, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<UsbPacket> packets = Packets(c.dues, c.latency);
        ASSERT_EQ(packets.size(), c.packets.size());
        for (std::size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].releaseNs, c.packets[i].first) << i;
            EXPECT_EQ(packets[i].count, c.packets[i].second) << i;
        }
    }
}

}  // namespace
