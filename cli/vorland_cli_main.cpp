// vorland-cli: the programmer from the command line (see --help and the README).
#include <cstdio>
#include <string>

#include "cli/cli_runner.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/options.h"

int main(int argc, char** argv) {
    CliOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, options, error) || !ExpandPortPatterns(options.ports, error)) {
        std::fprintf(stderr, "vorland-cli: %s\nTry 'vorland-cli --help'.\n", error.c_str());
        return kExitBadInput;
    }
    InstallInterruptHandlers();
    StdConsole console;
    CliEnvironment env{SystemSerialPorts(), SystemClock(), console, &PortDeviceName};
    return RunCli(options, env);
}
