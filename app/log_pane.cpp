#include "app/log_pane.h"

std::size_t LogTrimPoint(std::string_view text, std::size_t incoming, std::size_t bound) {
    if (text.size() + incoming <= bound) return 0;
    std::size_t keep = bound / 4 * 3;
    if (incoming >= keep) return text.size();
    std::size_t excess = text.size() - (keep - incoming);  // at least 1: text.size() > keep
    std::size_t lineEnd = text.find('\n', excess - 1);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
}
