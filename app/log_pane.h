// The log pane's portable rules: how long its text may grow and where to trim it. Appending to
// the real edit control is log_win.cpp.
#pragma once

#include <cstddef>
#include <string_view>

// The log pane holds at most this many characters. Past it the oldest whole lines go, down to
// three quarters of it, so that the pane is trimmed once in a long while, not at every line.
constexpr std::size_t kLogPaneBound = 256 * 1024;

// Where to cut the pane's text so that `incoming` more characters keep it within `bound`: the
// start of the first line kept (just after a line feed). 0 when everything fits; text.size()
// when no line can stay.
[[nodiscard]] std::size_t LogTrimPoint(std::string_view text, std::size_t incoming,
                                       std::size_t bound);
