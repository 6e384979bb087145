#include "sim/pty_server_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "sim/unit_commands.h"
#include "sim/usb_adapter.h"

namespace {

volatile sig_atomic_t gStopSignal = 0;

void OnStopSignal(int) { gStopSignal = 1; }

std::int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Bytes a USB-serial adapter's packet carries to the host, and so the most that leave at once.
constexpr std::size_t kPacketSize = 64;

std::int64_t ByteNs(std::uint32_t baud) { return baud == 0 ? 0 : 10'000'000'000LL / baud; }

std::uint32_t RateOf(speed_t speed) {
    switch (speed) {
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B230400: return 230400;
        case B460800: return 460800;
        case B921600: return 921600;
        default: return 0;
    }
}

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

PtyServer::PtyServer(PtyServerOptions options) : options_(std::move(options)) {}

PtyServer::~PtyServer() {
    while (!madeLinks_.empty()) RemoveLink(madeLinks_.size() - 1);
    if (readyMade_) unlink(options_.readyFile.c_str());
    for (int fd : {dataMaster_, dataSlave_, controlMaster_, controlSlave_}) {
        if (fd >= 0) close(fd);
    }
}

void PtyServer::RemoveLink(std::size_t index) {
    const auto& [link, target] = madeLinks_[index];
    // A simulator started after us may have taken the name over: leave its link alone.
    char current[512];
    ssize_t n = readlink(link.c_str(), current, sizeof current - 1);
    if (n > 0 && std::string(current, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
    madeLinks_.erase(madeLinks_.begin() + static_cast<std::ptrdiff_t>(index));
}

void PtyServer::RemoveDataLink() {
    for (std::size_t i = 0; i < madeLinks_.size(); ++i) {
        if (madeLinks_[i].second == dataPath_) {
            RemoveLink(i);
            return;
        }
    }
}

bool PtyServer::OpenTerminal(int* master, int* slave, std::string* path) {
    *master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0) {
        error_ = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (ptsname_r(*master, name, sizeof name) != 0) {
        error_ = "ptsname failed";
        return false;
    }
    *path = name;
    *slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*slave < 0) {
        error_ = "cannot open " + *path;
        return false;
    }
    // Raw at 115200 until the host says otherwise: no echo, no CR/LF changes, no flow control.
    termios t{};
    tcgetattr(*slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(*slave, TCSANOW, &t);
    fcntl(*master, F_SETFL, fcntl(*master, F_GETFL) | O_NONBLOCK);
    return true;
}

bool PtyServer::MakeLink(const std::string& link, const std::string& target) {
    struct stat info{};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            error_ = link + " exists and is not a symlink";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error_ = "cannot create " + link + ": " + std::strerror(errno);
        return false;
    }
    madeLinks_.emplace_back(link, target);
    return true;
}

bool PtyServer::Start() {
    for (const std::string& command : options_.commands) {
        UnitCommandEffects effects;
        std::string reply = ExecuteUnitCommand(unit_, command, &effects);
        if (reply.compare(0, 2, "ok") != 0) {
            error_ = "'" + command + "': " + reply;
            return false;
        }
        if (effects.pacing >= 0) options_.pace = effects.pacing == 1;
    }
    if (!OpenTerminal(&dataMaster_, &dataSlave_, &dataPath_)) return false;
    if (!options_.controlLink.empty() &&
        !OpenTerminal(&controlMaster_, &controlSlave_, &controlPath_)) {
        return false;
    }
    // The control link goes last: a client that waits for it finds the data port ready.
    if (!options_.link.empty() && !MakeLink(options_.link, dataPath_)) return false;
    if (!options_.controlLink.empty() && !MakeLink(options_.controlLink, controlPath_)) {
        return false;
    }
    if (!options_.readyFile.empty()) {
        FILE* ready = std::fopen(options_.readyFile.c_str(), "w");
        if (ready == nullptr) {
            error_ = "cannot create " + options_.readyFile;
            return false;
        }
        std::fprintf(ready, "%d\n", static_cast<int>(getpid()));
        std::fclose(ready);
        readyMade_ = true;
    }
    return true;
}

std::uint32_t PtyServer::HostBaud() const {
    termios t{};
    if (tcgetattr(dataSlave_, &t) != 0) return 0;
    return RateOf(cfgetospeed(&t));
}

void PtyServer::OnDataInput() {
    std::uint8_t buffer[4096];
    ssize_t n = read(dataMaster_, buffer, sizeof buffer);
    if (n <= 0) return;
    const std::int64_t now = NowNs();
    const std::uint32_t hostBaud = HostBaud();
    const std::int64_t hostByte = options_.pace ? ByteNs(hostBaud) : 0;
    for (ssize_t i = 0; i < n; ++i) {
        // With pacing a byte has arrived only once its wire time is over.
        const std::int64_t arrival = std::max(now, hostFreeNs_) + hostByte;
        hostFreeNs_ = arrival;
        const std::int64_t unitByte = options_.pace ? ByteNs(unit_.baudRate()) : 0;
        unit_.Receive(buffer[i], static_cast<std::uint64_t>(arrival / 1000), hostBaud);
        for (const UnitByte& out : unit_.TakeOutput()) {
            const std::int64_t due = std::max(arrival, unitFreeNs_) +
                                     static_cast<std::int64_t>(out.pauseUs) * 1000 + unitByte;
            unitFreeNs_ = due;
            output_.push_back({due, out.value});
        }
    }
}

// Paced bytes leave in chunks of up to a packet, each when its last byte is due, as the packets
// of a USB serial adapter deliver them: no byte arrives early, and neither side wakes per byte.
// A chunk never spans a pause, so that the host sees every gap the unit makes. Behind an
// adapter's latency timer they leave as usb_adapter.h says.
PtyServer::Chunk PtyServer::ChunkAt(std::size_t first, std::int64_t lastSentNs) const {
    const Pending* bytes = output_.data() + first;
    const std::size_t waiting = output_.size() - first;
    if (options_.usbLatencyMs > 0) {
        const UsbPacket packet = NextUsbPacket(
            waiting, [bytes](std::size_t i) { return bytes[i].dueNs; }, lastSentNs,
            static_cast<std::int64_t>(options_.usbLatencyMs) * 1000000);
        return {packet.releaseNs, packet.count};
    }
    const std::size_t available = std::min(waiting, kPacketSize);
    const std::int64_t step = (options_.pace ? ByteNs(unit_.baudRate()) : 0) + 1000;
    std::size_t count = 1;
    while (count < available && bytes[count].dueNs - bytes[count - 1].dueNs <= step) ++count;
    return {bytes[count - 1].dueNs, count};
}

// The host waits for the last bytes of a reply; they are to be there when due, not when the
// system wakes us, which comes tens of microseconds late and is the larger part of a paced
// block's time beyond the wire. So the last chunk is waited for by a sleep that ends as much
// before it as wakes have come late of late, and then by polling until it is due.
std::int64_t PtyServer::WakeForOutput(std::int64_t now) const {
    const std::int64_t next = ChunkAt(outputHead_, adapterSentNs_).releaseNs;
    if (!options_.pace) return next;
    std::int64_t last = adapterSentNs_;
    for (std::size_t at = outputHead_; at < output_.size();) {
        const Chunk chunk = ChunkAt(at, last);
        at += chunk.count;
        last = chunk.releaseNs;
    }
    constexpr std::int64_t kMarginNs = 20000;
    return std::min(next, std::max(now, last - wakeLateNs_ - kMarginNs));
}

void PtyServer::NoteWakeLateness(std::int64_t lateNs) {
    // A running average over about the last eight sleeps. A wake of milliseconds (the machine
    // was busy) counts as 200 us: polling that long before every reply would keep a busy
    // machine busier still.
    const std::int64_t late = std::clamp<std::int64_t>(lateNs, 0, 200000);
    wakeLateNs_ += (late - wakeLateNs_) / 8;
}

void PtyServer::FlushDue() {
    const std::int64_t now = NowNs();
    std::uint8_t ready[4096];
    std::size_t size = 0;
    // Every chunk released by now, in one write.
    std::int64_t sent = adapterSentNs_;
    for (std::size_t at = outputHead_; at < output_.size() && size + kPacketSize <= sizeof ready;) {
        const Chunk chunk = ChunkAt(at, sent);
        if (chunk.releaseNs > now) break;
        for (std::size_t i = 0; i < chunk.count; ++i) ready[size++] = output_[at++].value;
        sent = chunk.releaseNs;
    }
    if (size == 0) return;
    adapterSentNs_ = sent;
    ssize_t n = write(dataMaster_, ready, size);
    if (n > 0) outputHead_ += static_cast<std::size_t>(n);
    if (outputHead_ == output_.size()) {
        output_.clear();
        outputHead_ = 0;
    }
}

void PtyServer::OnControlInput() {
    char buffer[1024];
    ssize_t n = read(controlMaster_, buffer, sizeof buffer);
    if (n < 0 && errno == EIO) {
        // Every opener of the control port has gone.
        if (options_.exitOnControlClose && controlUsed_) quit_ = true;
        return;
    }
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) {
        char c = buffer[i];
        if (c != '\n' && c != '\r') {
            if (controlLine_.size() < 4096) controlLine_ += c;
            continue;
        }
        if (controlLine_.empty()) continue;
        UnitCommandEffects effects;
        std::string reply = ExecuteUnitCommand(unit_, controlLine_, &effects) + "\n";
        controlLine_.clear();
        if (effects.pacing >= 0) options_.pace = effects.pacing == 1;
        if (effects.quit) quit_ = true;
        if (effects.unlink || !effects.link.empty()) RemoveDataLink();
        if (!effects.link.empty() && !MakeLink(effects.link, dataPath_)) {
            reply = "error " + error_ + "\n";
        }
        WriteAll(controlMaster_, reply.data(), reply.size());
        if (!controlUsed_) {
            controlUsed_ = true;
            // From now on the client's own descriptor keeps the port open; when it closes,
            // the master reads EIO and the server knows the client is gone.
            if (options_.exitOnControlClose) {
                close(controlSlave_);
                controlSlave_ = -1;
            }
        }
    }
}

void PtyServer::Run() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, s);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action{};
        action.sa_handler = OnStopSignal;
        sigaction(s, &action, nullptr);
    }
    // The host's terminal belongs to us; a closing host must not stop us with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    // Paced bytes are due every few microseconds; the default 50 us of timer slack would add
    // to every reply.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    const std::int64_t end =
        options_.lifetimeSeconds == 0
            ? LLONG_MAX
            : NowNs() + static_cast<std::int64_t>(options_.lifetimeSeconds) * 1000000000;
    while (!quit_ && gStopSignal == 0) {
        std::int64_t now = NowNs();
        if (now >= end) break;
        std::int64_t wake = std::min<std::int64_t>(end, now + 1000000000);
        if (outputHead_ < output_.size()) wake = std::min(wake, WakeForOutput(now));
        std::int64_t wait = std::max<std::int64_t>(0, wake - now);
        timespec timeout{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
        pollfd fds[2] = {{dataMaster_, POLLIN, 0}, {controlMaster_, POLLIN, 0}};
        nfds_t count = controlMaster_ >= 0 ? 2 : 1;
        int ready = ppoll(fds, count, &timeout, &waitMask);
        if (ready < 0 && errno != EINTR) break;
        if (ready == 0 && wait > 0) NoteWakeLateness(NowNs() - wake);
        if (ready > 0) {
            if ((fds[0].revents & POLLIN) != 0) OnDataInput();
            if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) OnControlInput();
        }
        FlushDue();
    }
    if (quit_) AwaitQuitReply();
}

// Closing the master hangs the terminal up, which discards what the client has not read yet:
// give it the reply to "quit" first.
void PtyServer::AwaitQuitReply() {
    const std::int64_t end = NowNs() + 2000000000LL;
    while (controlMaster_ >= 0 && NowNs() < end) {
        if (controlSlave_ >= 0) {
            int unread = 0;
            if (ioctl(controlSlave_, FIONREAD, &unread) != 0 || unread == 0) return;
        } else {
            // Our own descriptor is closed: the client closing its port hangs the master up.
            pollfd p{controlMaster_, POLLIN, 0};
            if (poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0) return;
        }
        timespec pause{0, 5000000};
        nanosleep(&pause, nullptr);
    }
}
