// A KVTandrel wired to simulated units on virtual time, with its log lines and progress
// messages recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/kvtandrel.h"
#include "device/progress_sink.h"
#include "sim/programmer_unit.h"
#include "sim/simulated_port.h"
#include "sim/unit_commands.h"

// Records every progress call as a line: "range 0 1", "step 1", "pos 0", "stepit",
// "text Reading Address 000100".
class RecordingProgress final : public ProgressSink {
public:
    void SetRange(std::int32_t minimum, std::int32_t maximum) override;
    void SetStep(std::int32_t step) override;
    void SetPos(std::int32_t position) override;
    void StepIt() override;
    void SetText(const char* text) override;
    int Count(const std::string& call) const;  // how many calls were exactly this line
    std::vector<std::string> calls;
};

// Makes LogPrintf deliver lines to the vector a sink's edit field points at.
void InstallVectorLogWriter();

class TandrelTest : public ::testing::Test {
protected:
    TandrelTest();
    ~TandrelTest() override;

    // Puts unit_ on COM1 (or the given port) and runs DetectHardware; asserts a programmer.
    void Detect(const std::string& port = "COM1");
    // The frames written since the last ClearEvents, as hex strings ("34 45 03 7C").
    std::vector<std::string> HexFrames() const;
    // The lines logged since the last ClearLog.
    void ClearLog() { log_.clear(); }
    void ClearEvents() { ports_.ClearEvents(); }
    // The events of one kind, in order.
    std::vector<LinkEvent> EventsOf(LinkEvent::Kind kind) const;
    // Read-total constants set on the port, in order.
    std::vector<std::uint32_t> ReadTimeoutsSet() const;

    VirtualClock clock_;
    SimulatedPorts ports_{clock_};
    ProgrammerUnit unit_;
    std::vector<std::string> log_;
    LogSink sink_{0, nullptr, &log_};
    KVTandrel tandrel_{ports_, clock_};
    RecordingProgress progress_;
};

std::string Hex(const std::vector<std::uint8_t>& bytes);
