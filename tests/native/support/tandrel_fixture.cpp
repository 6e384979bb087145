#include "tests/native/support/tandrel_fixture.h"

#include <algorithm>
#include <cstdio>

#include "device/log_sink.h"

void RecordingProgress::SetRange(std::int32_t minimum, std::int32_t maximum) {
    calls.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
}
void RecordingProgress::SetStep(std::int32_t step) { calls.push_back("step " + std::to_string(step)); }
void RecordingProgress::SetPos(std::int32_t position) {
    calls.push_back("pos " + std::to_string(position));
}
void RecordingProgress::StepIt() { calls.push_back("stepit"); }
void RecordingProgress::SetText(const char* text) { calls.push_back(std::string("text ") + text); }
int RecordingProgress::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

void InstallVectorLogWriter() {
    SetLogLineWriter([](void* edit, const char* line) {
        static_cast<std::vector<std::string>*>(edit)->push_back(line);
    });
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", b);
        text += digits;
    }
    return text;
}

TandrelTest::TandrelTest() {
    InstallVectorLogWriter();
    tandrel_.logSink = &sink_;
}

TandrelTest::~TandrelTest() { SetLogLineWriter(nullptr); }

void TandrelTest::Detect(const std::string& port) {
    ports_.AddPort(port, &unit_);
    FirmwareVersion version{};
    char name[kHardwareNameSize];
    std::uint32_t flags = tandrel_.DetectHardware(name, sizeof name, &version);
    ASSERT_NE(flags & kHardwareSupportedMask, 0u) << "no programmer found";
    ClearLog();
    ClearEvents();
}

std::vector<std::string> TandrelTest::HexFrames() const {
    std::vector<std::string> frames;
    for (const auto& frame : ports_.Frames()) frames.push_back(Hex(frame));
    return frames;
}

std::vector<LinkEvent> TandrelTest::EventsOf(LinkEvent::Kind kind) const {
    std::vector<LinkEvent> events;
    for (const LinkEvent& event : ports_.events()) {
        if (event.kind == kind) events.push_back(event);
    }
    return events;
}

std::vector<std::uint32_t> TandrelTest::ReadTimeoutsSet() const {
    std::vector<std::uint32_t> values;
    for (const LinkEvent& event : EventsOf(LinkEvent::Kind::kSetTimeouts)) {
        values.push_back(event.timeouts.readTotalConstant);
    }
    return values;
}
