// When a USB-serial adapter with FTDI's latency timer passes the unit's bytes on to the host.
// The adapter collects what comes in from the line and sends it in USB packets of up to 62 data
// bytes (64 with its two status bytes): a full packet at once, anything less when the latency
// timer runs out. The timer counts from the last packet the adapter sent; when it runs out with
// nothing waiting, the adapter sends its status bytes alone and the timer starts again. So a
// reply shorter than a packet leaves at the next tick of the timer, and the tail of a long reply
// a whole latency after the last full packet.
//
// Times are nanoseconds on the caller's clock. Header-only: vorland-sim's pseudo-terminal
// server uses it, and tests check it on made-up times.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kUsbPacketData = 62;

struct UsbPacket {
    std::int64_t releaseNs;  // when the packet reaches the host
    std::size_t count;       // bytes in it
};

// The next packet of `waiting` bytes (at least 1) that reach the adapter at dueOf(0),
// dueOf(1), ... (ascending), the adapter having sent its last packet at lastSentNs.
template <typename DueOf>
UsbPacket NextUsbPacket(std::size_t waiting, DueOf dueOf, std::int64_t lastSentNs,
                        std::int64_t latencyNs) {
    const std::int64_t first = dueOf(0);
    // The first tick of the timer at or after the first byte.
    std::int64_t tick = lastSentNs + latencyNs;
    if (tick < first) tick += (first - tick + latencyNs - 1) / latencyNs * latencyNs;
    const std::size_t most = waiting < kUsbPacketData ? waiting : kUsbPacketData;
    std::size_t count = 1;
    while (count < most && dueOf(count) <= tick) ++count;
    if (count == kUsbPacketData) return {dueOf(count - 1), count};  // full before the tick
    return {tick, count};
}
