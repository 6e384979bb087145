#include "cli/progress_line.h"

#include <algorithm>

#include "formats/text_format.h"

namespace {

constexpr std::uint32_t kRedrawMs = 100;
constexpr std::uint32_t kPlainLineMs = 2000;
constexpr std::size_t kLabelWidth = 11;  // "Programming"
constexpr int kMinBar = 10;

// Bytes per second so far; 0 until there is something to measure.
double RateOf(const ProgressFigures& f) {
    return f.elapsedMs == 0 ? 0.0 : static_cast<double>(f.done) * 1000.0 / f.elapsedMs;
}

// "0:03 left", or "" while the rate is unknown.
std::string TimeLeft(const ProgressFigures& f) {
    const double rate = RateOf(f);
    if (rate <= 0.0 || f.elapsedMs < 200) return "";
    const double seconds = static_cast<double>(f.total - std::min(f.done, f.total)) / rate;
    return FormatDuration(static_cast<std::uint32_t>(seconds + 0.5)) + " left";
}

}  // namespace

std::string PadRight(const std::string& text, std::size_t width) {
    std::string padded = text;
    if (padded.size() < width) padded.append(width - padded.size(), ' ');
    return padded;
}

std::string FormatRate(double bytesPerSecond) {
    if (bytesPerSecond < 1000.0) return Printf("%.0f B/s", bytesPerSecond);
    if (bytesPerSecond < 1000.0 * 1024.0) return Printf("%.1f KiB/s", bytesPerSecond / 1024.0);
    return Printf("%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
}

std::string FormatElapsed(std::uint32_t milliseconds) {
    if (milliseconds < 1000) return Printf("%u ms", milliseconds);
    return Printf("%.1f s", milliseconds / 1000.0);
}

std::string FormatDuration(std::uint32_t seconds) {
    if (seconds < 3600) return Printf("%u:%02u", seconds / 60, seconds % 60);
    return Printf("%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

int ProgressPercent(const ProgressFigures& f) {
    if (f.total == 0) return 100;
    return static_cast<int>(std::min(f.done, f.total) * 100 / f.total);
}

std::string ProgressBarLine(const std::string& label, const ProgressFigures& f, int width) {
    std::string tail = Printf("  %3d%%", ProgressPercent(f));
    if (f.bytes) {
        tail += "  " + FormatBytes(std::min(f.done, f.total)) + "/" + FormatBytes(f.total);
        const double rate = RateOf(f);
        if (rate > 0.0) tail += "  " + FormatRate(rate);
        const std::string left = TimeLeft(f);
        if (!left.empty()) tail += "  " + left;
    } else {
        tail += Printf("  %llu/%llu %s", static_cast<unsigned long long>(std::min(f.done, f.total)),
                       static_cast<unsigned long long>(f.total),
                       f.stepName != nullptr ? f.stepName : "");
    }
    const std::string head = PadRight(label, kLabelWidth);
    const int room = width - 1;
    const int bar = room - static_cast<int>(head.size() + tail.size()) - 3;  // " [" and "]"
    std::string line;
    if (bar >= kMinBar) {
        const auto filled =
            static_cast<int>(static_cast<std::uint64_t>(bar) * std::min(f.done, f.total) /
                             std::max<std::uint64_t>(f.total, 1));
        line = head + " [" + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(bar - filled), '.') + "]" + tail;
    } else {
        line = label + tail;
    }
    // Still too wide: leave out whole figures from the end.
    while (room > 0 && line.size() > static_cast<std::size_t>(room)) {
        const std::size_t cut = line.rfind("  ", static_cast<std::size_t>(room));
        line.resize(cut != std::string::npos && cut > 0 ? cut : static_cast<std::size_t>(room));
        while (!line.empty() && line.back() == ' ') line.pop_back();
    }
    return line;
}

std::string ProgressPlainLine(const std::string& label, const ProgressFigures& f) {
    if (!f.bytes) {
        return Printf("%s: %llu of %llu %s", label.c_str(),
                      static_cast<unsigned long long>(std::min(f.done, f.total)),
                      static_cast<unsigned long long>(f.total),
                      f.stepName != nullptr ? f.stepName : "");
    }
    std::string line =
        Printf("%s: %d%% (%s of %s", label.c_str(), ProgressPercent(f),
               FormatBytes(std::min(f.done, f.total)).c_str(), FormatBytes(f.total).c_str());
    const double rate = RateOf(f);
    if (rate > 0.0) line += ", " + FormatRate(rate);
    const std::string left = TimeLeft(f);
    if (!left.empty()) line += ", " + left;
    return line + ")";
}

std::string ProgressMeter::Start(const std::string& label, std::uint64_t total,
                                 const char* stepName, std::uint32_t nowMs) {
    std::string wipe = Finish();
    active_ = true;
    label_ = label;
    total_ = std::max<std::uint64_t>(total, 1);
    stepName_ = stepName;
    done_ = 0;
    startMs_ = nowMs;
    lastDrawMs_ = nowMs;
    lastTenth_ = 0;
    if (!terminal_) return wipe;
    return wipe + Draw(nowMs);
}

std::string ProgressMeter::Update(std::uint64_t done, std::uint32_t nowMs) {
    if (!active_) return "";
    done_ = std::min(done, total_);
    if (terminal_) {
        if (done_ < total_ && nowMs - lastDrawMs_ < kRedrawMs) return "";
        return Draw(nowMs);
    }
    const int tenth = static_cast<int>(done_ * 10 / total_);
    if (tenth <= lastTenth_ || tenth >= 10 || nowMs - lastDrawMs_ < kPlainLineMs) return "";
    lastTenth_ = tenth;
    lastDrawMs_ = nowMs;
    return ProgressPlainLine(label_, Figures(nowMs)) + "\n";
}

std::string ProgressMeter::Finish() {
    if (!active_) return "";
    active_ = false;
    if (!terminal_ || drawnLength_ == 0) return "";
    std::string wipe(drawnLength_ + 2, ' ');  // "\r", blanks over the bar, "\r"
    wipe.front() = '\r';
    wipe.back() = '\r';
    drawnLength_ = 0;
    return wipe;
}

ProgressFigures ProgressMeter::Figures(std::uint32_t nowMs) const {
    return {done_, total_, nowMs - startMs_, stepName_ == nullptr, stepName_};
}

std::string ProgressMeter::Draw(std::uint32_t nowMs) {
    lastDrawMs_ = nowMs;
    std::string line = ProgressBarLine(label_, Figures(nowMs), width_);
    const std::size_t length = line.size();
    // Blanks over what a longer earlier line left.
    if (length < drawnLength_) line.append(drawnLength_ - length, ' ');
    drawnLength_ = std::max(drawnLength_, length);
    return "\r" + line;
}
