// vorland-sim: the simulated programmer unit on a pseudo-terminal.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/pty_server_posix.h"

namespace {

const char kUsage[] =
    "usage: vorland-sim [options]\n"
    "Serves a simulated programmer unit on a pseudo-terminal and prints its path.\n"
    "  --link PATH           create a symlink PATH to the unit's terminal (removed on exit)\n"
    "  --control-link PATH   also serve the control port, a second terminal taking one command\n"
    "                        per line (see sim/unit_commands.h), linked as PATH\n"
    "  --model NAME          tandrel-serial, tandrel-usb, vorland (default), calyxor1, calyxor2\n"
    "  --chip TYPE           chip in the socket: a chip type's number or name (default 1,\n"
    "                        AM29F040)\n"
    "  --load PATH           chip contents from a file\n"
    "  --do COMMAND          run a control command first (repeatable), e.g. --do 'fault silent'\n"
    "  --pace                send and receive at the wire rate of the line\n"
    "  --usb-latency-ms N    reply as through a USB-serial adapter whose latency timer is N ms\n"
    "                        (1 to 255): bytes leave in packets of 62, fewer only when N ms\n"
    "                        have passed since the adapter's last packet\n"
    "  --exit-on-control-close  end when the control port, once used, is closed again\n"
    "  --lifetime SECONDS    end after this long\n"
    "  --ready-file PATH     create PATH once the ports are ready; removed after the links\n"
    "  --quiet               print nothing; detach from the caller's output\n";

// Cuts every tie to the caller's output: a test runner waits until every holder of its pipe
// is gone, and this process may outlive the program that started it.
void Detach() {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
        if (null > 2) close(null);
    }
    long max = sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (max > 0 ? max : 1024) && fd < 65536; ++fd) close(static_cast<int>(fd));
}

}  // namespace

int main(int argc, char** argv) {
    PtyServerOptions options;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vorland-sim: %s needs %s\n%s", arg.c_str(), what, kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--link") {
            options.link = value("a path");
        } else if (arg == "--control-link") {
            options.controlLink = value("a path");
        } else if (arg == "--model") {
            options.commands.push_back("model " + value("a model name"));
        } else if (arg == "--chip") {
            options.commands.push_back("chip " + value("a chip type"));
        } else if (arg == "--load") {
            options.commands.push_back("load " + value("a path"));
        } else if (arg == "--do") {
            options.commands.push_back(value("a command"));
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--usb-latency-ms") {
            const std::string ms = value("milliseconds");
            char* end = nullptr;
            const unsigned long n = std::strtoul(ms.c_str(), &end, 10);
            if (ms.empty() || *end != '\0' || n < 1 || n > 255) {
                std::fprintf(stderr, "vorland-sim: --usb-latency-ms takes 1 to 255, not '%s'\n",
                             ms.c_str());
                return 2;
            }
            options.usbLatencyMs = static_cast<std::uint32_t>(n);
        } else if (arg == "--exit-on-control-close") {
            options.exitOnControlClose = true;
        } else if (arg == "--lifetime") {
            options.lifetimeSeconds = static_cast<std::uint32_t>(std::strtoul(value("seconds").c_str(), nullptr, 10));
        } else if (arg == "--ready-file") {
            options.readyFile = value("a path");
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vorland-sim: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (quiet) Detach();

    PtyServer server(options);
    if (!server.Start()) {
        std::fprintf(stderr, "vorland-sim: %s\n", server.error().c_str());
        return 1;
    }
    if (!quiet) {
        std::printf("%s\n", server.dataPath().c_str());
        if (!server.controlPath().empty()) std::printf("control %s\n", server.controlPath().c_str());
        std::fflush(stdout);
    }
    server.Run();
    return 0;
}
