// Arbitrary unit replies, port failures and arguments for every KVTandrel operation: no crash,
// no access outside the buffers, no wait beyond the timeouts (virtual time), and only result
// codes the operations are documented to return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <vector>

#include "device/kvtandrel.h"
#include "sim/simulated_port.h"

namespace {

// The fuzzer's bytes, taken from the front; zeros once they run out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool empty() const { return pos_ >= size_; }
    std::int32_t Int(std::int32_t low, std::int32_t high) {
        std::uint32_t raw = Byte() | Byte() << 8;
        return low + static_cast<std::int32_t>(raw % static_cast<std::uint32_t>(high - low + 1));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Every read and write of the port is decided by the input. Reads advance the virtual clock by
// at most the time the timeouts allow, as a real port would wait.
class FuzzLink final : public SerialLink {
public:
    FuzzLink(Input& in, VirtualClock& clock, std::uint32_t& reads) : in_(in), clock_(clock), reads_(reads) {}
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return in_.Byte() != 1; }
    bool GetLineSettings(SerialLineSettings& line) override {
        line = SerialLineSettings{};
        return in_.Byte() != 2;
    }
    bool SetLineSettings(const SerialLineSettings&) override { return in_.Byte() != 3; }
    bool GetTimeouts(SerialTimeouts& t) override {
        t = timeouts_;
        return in_.Byte() != 4;
    }
    bool SetTimeouts(const SerialTimeouts& t) override {
        if (in_.Byte() == 5) return false;
        timeouts_ = t;
        return true;
    }
    bool Purge() override { return true; }
    bool Write(const std::uint8_t*, std::uint32_t size, std::uint32_t* written) override {
        std::uint8_t c = in_.Byte();
        *written = c == 6 ? size / 2 : size;
        return c != 7;
    }
    bool Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) override {
        ++reads_;
        *received = 0;
        std::uint8_t c = in_.Byte();
        if (c == 8) return false;
        // Silence, or a reply cut short: the read ends at its total limit (or the gap after the
        // last byte, which is shorter).
        std::uint32_t count = in_.empty() || c == 9 ? 0 : c == 10 ? in_.Byte() % (size + 1) : size;
        for (std::uint32_t i = 0; i < count; ++i) data[i] = in_.Byte();
        *received = count;
        if (count < size) clock_.Sleep(timeouts_.readTotalConstant + timeouts_.readTotalMultiplier * size);
        return true;
    }

private:
    Input& in_;
    VirtualClock& clock_;
    std::uint32_t& reads_;
    SerialTimeouts timeouts_{};
};

class FuzzPorts final : public SerialPorts {
public:
    FuzzPorts(Input& in, VirtualClock& clock) : in_(in), clock_(clock) {}
    std::unique_ptr<SerialLink> Open(const char*) override {
        ++opens;
        if (in_.Byte() == 11) return nullptr;
        return std::make_unique<FuzzLink>(in_, clock_, reads);
    }
    // Rarely, so that a spent input does not make the scan try every port up to COM256.
    bool Exists(const char*) override { return in_.Byte() == 7; }
    std::uint32_t opens = 0;
    std::uint32_t reads = 0;

private:
    Input& in_;
    VirtualClock& clock_;
};

// Presses "Cancel Operation" at a step chosen by the input.
class FuzzProgress final : public ProgressSink {
public:
    FuzzProgress(KVTandrel& device, int cancelAt) : device_(device), cancelAt_(cancelAt) {}
    void SetRange(std::int32_t, std::int32_t) override {}
    void SetStep(std::int32_t) override {}
    void SetPos(std::int32_t) override {}
    void StepIt() override {
        if (++steps_ == cancelAt_) device_.RequestCancel();
    }
    void SetText(const char* text) override {
        while (*text != '\0') ++text;  // must be terminated
    }

private:
    KVTandrel& device_;
    int cancelAt_;
    int steps_ = 0;
};

void Expect(bool condition) {
    if (!condition) std::abort();
}

void ExpectOneOf(std::int32_t result, std::initializer_list<std::int32_t> allowed) {
    for (std::int32_t a : allowed) {
        if (result == a) return;
    }
    std::abort();
}

// A buffer of exactly the length asked for, or a null one: ASan guards both ends.
std::unique_ptr<std::uint8_t[]> Buffer(std::int32_t length, Input& in) {
    if (length <= 0 || in.Byte() == 12) return nullptr;
    auto buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) buffer[static_cast<std::size_t>(i)] = in.Byte();
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    VirtualClock clock(static_cast<std::uint32_t>(in.Int(0, 0xFFFF)) * 0x10000u);
    FuzzPorts ports(in, clock);
    KVTandrel device(ports, clock);

    FirmwareVersion version{};
    char name[kHardwareNameSize];
    std::uint32_t flags = device.DetectHardware(name, sizeof name, &version);
    ExpectOneOf(static_cast<std::int32_t>(flags), {0, 0x01, 0x41, 0x81, 0x02, 0x04, 0x08});
    if (in.Byte() & 1) {  // operations refuse without a programmer; test both ways
        device.deviceFamily = kFamilyProgrammer;
        device.capabilities = kCapabilityProgrammer;
    }

    for (int round = 0; round < 24 && !in.empty(); ++round) {
        const std::uint64_t before = clock.NowNs();
        const std::uint32_t readsBefore = ports.reads;
        const std::uint32_t opensBefore = ports.opens;
        const std::int32_t type = in.Int(-2, 8);
        const std::int32_t length = in.Int(-300, 2000);
        const auto address = static_cast<std::uint32_t>(in.Int(0, 0xFFFF)) << in.Int(0, 16);
        const std::int32_t sector = in.Int(-2, 9);
        FuzzProgress progress(device, in.Int(0, 8));
        ProgressSink* sink = in.Byte() & 1 ? &progress : nullptr;
        auto buffer = Buffer(length, in);

        switch (in.Byte() % 14) {
            case 0: ExpectOneOf(device.InitPort("COM2", 115200), {0, -2}); break;
            case 1: ExpectOneOf(device.SetLinkSpeed(in.Int(-1, 8)), {0, -1, -4, -5, -18}); break;
            case 2: ExpectOneOf(device.GetFirmwareVersion(&version), {0, -2, -4, -5, -7}); break;
            case 3: {
                std::int32_t count = in.Int(-1, 257);
                std::vector<std::uint8_t> dest(count > 0 ? static_cast<std::size_t>(count) : 0);
                ExpectOneOf(device.ReadEEPROM(dest.empty() ? nullptr : dest.data(),
                                              static_cast<std::uint16_t>(address), count),
                            {0, -2, -4, -5, -8, -11, -17, -18});
                break;
            }
            case 4:
                ExpectOneOf(device.WriteChip(type, buffer.get(), address, length, sink),
                            {0, -1, -2, -3, -18, -19});
                break;
            case 5:
                ExpectOneOf(device.ReadChip(type, buffer.get(), address, length, sink),
                            {0, -1, -2, -3, -11, -17, -18, -19});
                break;
            case 6: ExpectOneOf(device.EraseSector(sector), {0, -1, -2, -3}); break;
            case 7: ExpectOneOf(device.BulkErase(), {0, -1, -3}); break;
            case 8: ExpectOneOf(device.EraseChip(type, sink), {1, 0, -1}); break;
            case 9: ExpectOneOf(device.BlankCheckSector(sector, sink), {1, 0, -1}); break;
            case 10: ExpectOneOf(device.BlankCheckChip(type, sink), {1, 0, -1}); break;
            case 11:
            case 12: {
                VerifyRequest request{type, address, buffer.get(), length, in.Byte() & 1, sink};
                ExpectOneOf(device.VerifyChip(request), {1, 0, -1});
                break;
            }
            default: device.ClosePort(); break;
        }
        Expect(device.idle == 1);
        // No wait beyond what the reads' timeouts and the ports' settle time allow.
        const std::uint64_t waited = clock.NowNs() - before;
        const std::uint64_t reads = ports.reads - readsBefore;
        const std::uint64_t opens = ports.opens - opensBefore;
        Expect(waited <= (reads * 6000 + opens * 40) * 1000000ull);
    }
    return 0;
}
