// The progress display of a long operation on stderr: a bar redrawn in place on a terminal;
// otherwise (a log file, a pipe) a plain line when another tenth is done, at most one every two
// seconds, so that quick operations leave only their summary. It counts bytes (a transfer: rate
// and time left) or steps (the sectors of an erase). The meter only composes text; the caller
// writes it. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/text_format.h"  // FormatBytes

// text with blanks after it up to width characters; longer text as it is.
std::string PadRight(const std::string& text, std::size_t width);

// 320 B/s, 86.1 KiB/s, 1.1 MiB/s.
std::string FormatRate(double bytesPerSecond);
// 45 ms below a second, else 6.1 s.
std::string FormatElapsed(std::uint32_t milliseconds);
// m:ss below an hour, h:mm:ss above.
std::string FormatDuration(std::uint32_t seconds);

struct ProgressFigures {
    std::uint64_t done;
    std::uint64_t total;      // at least 1
    std::uint32_t elapsedMs;  // since the start
    bool bytes;               // done and total count bytes; else steps
    const char* stepName;     // for steps: "sectors" (may be null)
};

// The whole-number percentage, 0 to 100.
int ProgressPercent(const ProgressFigures& figures);
// "label [#####.....]  45%  232 KiB/512 KiB  86.1 KiB/s  0:03 left", at most width - 1
// characters (the bar shrinks, then goes); steps show "3/8" instead of sizes, rate and time.
std::string ProgressBarLine(const std::string& label, const ProgressFigures& figures, int width);
// "label: 40% (208 KiB of 512 KiB, 86.1 KiB/s, 0:03 left)" or "label: 3 of 8 sectors".
std::string ProgressPlainLine(const std::string& label, const ProgressFigures& figures);

class ProgressMeter {
public:
    // terminal: redraw one line in place (at most every 100 ms), width columns wide; otherwise
    // plain lines.
    ProgressMeter(bool terminal, int width) : terminal_(terminal), width_(width) {}

    // Starts counting towards total bytes, or total steps named stepName ("sectors") when
    // stepName is not null; returns the text to show now.
    [[nodiscard]] std::string Start(const std::string& label, std::uint64_t total,
                                    const char* stepName, std::uint32_t nowMs);
    // done so far (at most total); returns the text to show, often none.
    [[nodiscard]] std::string Update(std::uint64_t done, std::uint32_t nowMs);
    // Ends the display; on a terminal the text wipes the bar, so the next line starts clean.
    [[nodiscard]] std::string Finish();

    bool active() const { return active_; }
    std::uint64_t done() const { return done_; }
    std::uint32_t ElapsedMs(std::uint32_t nowMs) const { return nowMs - startMs_; }

private:
    ProgressFigures Figures(std::uint32_t nowMs) const;
    std::string Draw(std::uint32_t nowMs);

    bool terminal_;
    int width_;
    bool active_ = false;
    std::string label_;
    std::uint64_t total_ = 1;
    std::uint64_t done_ = 0;
    const char* stepName_ = nullptr;  // null: counting bytes
    std::uint32_t startMs_ = 0;
    std::uint32_t lastDrawMs_ = 0;  // terminal: the last redraw; plain: the last line
    std::size_t drawnLength_ = 0;   // of the bar on screen
    int lastTenth_ = 0;             // plain lines: the tenths already reported
};
