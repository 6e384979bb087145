#include "cli/cli_environment.h"

#include <atomic>

namespace {

std::atomic<int> gInterrupt{0};

}  // namespace

int CommandFailed(CliConsole& console, int code, const std::string& text) {
    console.Err("vorland-cli: " + text + "\n");
    return code;
}

void RequestInterrupt() {
    gInterrupt.store(1);
}
bool InterruptRequested() {
    return gInterrupt.load() != 0;
}
void ResetInterrupt() {
    gInterrupt.store(0);
}
