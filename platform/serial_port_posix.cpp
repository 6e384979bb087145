#include "platform/serial_port_posix.h"

#include <fcntl.h>
#include <glob.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <set>

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(std::uint32_t rate, speed_t* code) {
    for (const BaudEntry& entry : kBauds) {
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

std::uint32_t RateOf(speed_t code) {
    for (const BaudEntry& entry : kBauds) {
        if (entry.code == code) return entry.rate;
    }
    return 0;
}

// Waits until fd is ready for events or deadline (absolute, NowMs) passes; a negative deadline
// waits for ever. Returns 1 ready, 0 timed out, -1 error.
int WaitFor(int fd, short events, std::int64_t deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline >= 0) {
            std::int64_t left = deadline - NowMs();
            if (left < 0) left = 0;
            timeout = static_cast<int>(std::min<std::int64_t>(left, 1 << 30));
        }
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, timeout);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return 0;
        if ((p.revents & (POLLERR | POLLNVAL)) != 0) return -1;
        // A hung-up peer with nothing left to read: waiting would spin.
        if ((p.revents & POLLHUP) != 0 && (p.revents & events) == 0) return -1;
        return 1;
    }
}

// Asks the driver to pass received bytes on at once. A USB-serial adapter otherwise holds a
// reply shorter than its packet until its latency timer runs out (16 ms by default), which
// would be paid on every block of a transfer.
SerialLowLatency AskForLowLatency(int fd) {
#if defined(__linux__)
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return SerialLowLatency::kNotOffered;
    if ((info.flags & ASYNC_LOW_LATENCY) != 0) return SerialLowLatency::kAlreadyOn;
    info.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(fd, TIOCSSERIAL, &info) != 0 || ioctl(fd, TIOCGSERIAL, &info) != 0 ||
        (info.flags & ASYNC_LOW_LATENCY) == 0) {
        return SerialLowLatency::kRefused;
    }
    return SerialLowLatency::kSwitchedOn;
#else
    (void)fd;
    return SerialLowLatency::kNotOffered;
#endif
}

class PosixSerialLink final : public SerialLink {
public:
    PosixSerialLink(int fd, SerialLowLatency lowLatency) : fd_(fd), lowLatency_(lowLatency) {}
    ~PosixSerialLink() override { close(fd_); }
    PosixSerialLink(const PosixSerialLink&) = delete;
    PosixSerialLink& operator=(const PosixSerialLink&) = delete;

    // Linux keeps fixed queues; there is nothing to size.
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return true; }

    bool GetLineSettings(SerialLineSettings& settings) override {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        settings.baudRate = RateOf(cfgetospeed(&t));
        switch (t.c_cflag & CSIZE) {
            case CS5: settings.byteSize = 5; break;
            case CS6: settings.byteSize = 6; break;
            case CS7: settings.byteSize = 7; break;
            default: settings.byteSize = 8; break;
        }
        settings.parity = (t.c_cflag & PARENB) == 0 ? 0 : (t.c_cflag & PARODD) != 0 ? 1 : 2;
        settings.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 0;
        settings.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
        settings.outxDsrFlow = false;
        settings.dsrSensitivity = false;
        settings.outX = (t.c_iflag & IXON) != 0;
        settings.inX = (t.c_iflag & IXOFF) != 0;
        int lines = 0;
        // Pseudo-terminals have no modem lines; report them as raised.
        if (ioctl(fd_, TIOCMGET, &lines) != 0) lines = TIOCM_DTR | TIOCM_RTS;
        settings.dtrControl = (lines & TIOCM_DTR) != 0 ? 1 : 0;
        settings.rtsControl = (t.c_cflag & CRTSCTS) != 0 ? 2 : (lines & TIOCM_RTS) != 0 ? 1 : 0;
        return true;
    }

    bool SetLineSettings(const SerialLineSettings& settings) override {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        speed_t speed;
        if (!SpeedOf(settings.baudRate, &speed)) return false;
        cfmakeraw(&t);  // a binary link: no echo, no line editing, no CR/LF translation
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        switch (settings.byteSize) {
            case 5: t.c_cflag |= CS5; break;
            case 6: t.c_cflag |= CS6; break;
            case 7: t.c_cflag |= CS7; break;
            case 8: t.c_cflag |= CS8; break;
            default: return false;
        }
        if (settings.parity == 1) t.c_cflag |= PARENB | PARODD;
        if (settings.parity == 2) t.c_cflag |= PARENB;
        if (settings.parity > 2) return false;  // mark and space parity: not in termios
        if (settings.stopBits != 0) t.c_cflag |= CSTOPB;
        if (settings.outxCtsFlow || settings.rtsControl == 2) t.c_cflag |= CRTSCTS;
        if (settings.outX) t.c_iflag |= IXON;
        if (settings.inX) t.c_iflag |= IXOFF;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
        if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
        SetModemLine(TIOCM_DTR, settings.dtrControl != 0);
        if (settings.rtsControl != 2) SetModemLine(TIOCM_RTS, settings.rtsControl != 0);
        return true;
    }

    bool GetTimeouts(SerialTimeouts& timeouts) override {
        timeouts = timeouts_;
        return true;
    }

    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }

    bool Purge() override { return tcflush(fd_, TCIOFLUSH) == 0; }

    bool Write(const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
        *written = 0;
        std::int64_t limit = static_cast<std::int64_t>(timeouts_.writeTotalMultiplier) * size +
                             timeouts_.writeTotalConstant;
        std::int64_t deadline = limit == 0 ? -1 : NowMs() + limit;
        while (*written < size) {
            ssize_t n = write(fd_, data + *written, size - *written);
            if (n > 0) {
                *written += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return false;
            int ready = WaitFor(fd_, POLLOUT, deadline);
            if (ready < 0) return false;
            if (ready == 0) return true;  // timed out: a short count, as WriteFile reports it
        }
        return true;
    }

    bool Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) override {
        *received = 0;
        const SerialTimeouts& t = timeouts_;
        bool returnAtOnce = t.readInterval == kMaxDword && t.readTotalMultiplier == 0 &&
                            t.readTotalConstant == 0;
        // Interval MAXDWORD with a total limit: wait for the first bytes only.
        bool firstBytesEnd = t.readInterval == kMaxDword && !returnAtOnce;
        std::int64_t total =
            static_cast<std::int64_t>(t.readTotalMultiplier) * size + t.readTotalConstant;
        std::int64_t totalDeadline = total == 0 ? -1 : NowMs() + total;
        std::int64_t lastByte = 0;
        while (*received < size) {
            ssize_t n = read(fd_, data + *received, size - *received);
            if (n > 0) {
                *received += static_cast<std::uint32_t>(n);
                lastByte = NowMs();
                if (firstBytesEnd) break;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // Nothing there yet reads 0 (raw mode, VMIN 0) or EAGAIN; EIO means the other
            // side of a pseudo-terminal has gone.
            if (n < 0 && errno != EAGAIN) return false;
            if (returnAtOnce) break;
            std::int64_t deadline = totalDeadline;
            if (*received > 0 && t.readInterval != 0 && !firstBytesEnd) {
                std::int64_t gapEnd = lastByte + t.readInterval;
                deadline = deadline < 0 ? gapEnd : std::min(deadline, gapEnd);
            }
            int ready = WaitFor(fd_, POLLIN, deadline);
            if (ready < 0) return false;
            if (ready == 0) break;
        }
        return true;
    }

    SerialLowLatency LowLatency() const override { return lowLatency_; }

private:
    void SetModemLine(int line, bool on) {
        // Fails on pseudo-terminals, which have no modem lines: nothing to do there.
        (void)ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
    }

    int fd_;
    SerialLowLatency lowLatency_;
    SerialTimeouts timeouts_{};
};

std::string Upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// Compares names with runs of digits taken as numbers: ttyUSB2 < ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b) {
    const char* x = a.c_str();
    const char* y = b.c_str();
    while (*x != '\0' && *y != '\0') {
        if (std::isdigit(static_cast<unsigned char>(*x)) != 0 &&
            std::isdigit(static_cast<unsigned char>(*y)) != 0) {
            char* xEnd = nullptr;
            char* yEnd = nullptr;
            const unsigned long long m = std::strtoull(x, &xEnd, 10);
            const unsigned long long n = std::strtoull(y, &yEnd, 10);
            if (m != n) return m < n;
            x = xEnd;
            y = yEnd;
        } else if (*x != *y) {
            return static_cast<unsigned char>(*x) < static_cast<unsigned char>(*y);
        } else {
            ++x;
            ++y;
        }
    }
    return *x == '\0' && *y != '\0';
}

}  // namespace

std::vector<std::string> ExpandPosixPortPattern(const std::string& pattern) {
    std::vector<std::string> paths;
    glob_t found{};
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
    }
    globfree(&found);
    std::sort(paths.begin(), paths.end(), NaturalLess);
    return paths;
}

std::unique_ptr<SerialLink> OpenPosixSerialPath(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // COM ports are not shared: the lock keeps a second cooperating program out.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    // A terminal opens cooked (echo, CR/LF translation, XON/XOFF), a COM port as a plain byte
    // channel. Start from the latter, so that settings a caller reads and keeps are those of a
    // serial port and binary data passes unchanged; the rate stays what it was.
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    return std::make_unique<PosixSerialLink>(fd, AskForLowLatency(fd));
}

void PosixSerialPorts::Map(const std::string& name, const std::string& path) {
    std::lock_guard lock(mutex_);
    if (path.empty()) {
        paths_.erase(Upper(name));
    } else {
        paths_[Upper(name)] = path;
    }
}

std::string PosixSerialPorts::PathOf(const char* name) const {
    if (name == nullptr || *name == '\0') return {};
    std::string text = name;
    if (text.find('/') != std::string::npos) return text;
    std::string key = Upper(text);
    {
        std::lock_guard lock(mutex_);
        auto found = paths_.find(key);
        if (found != paths_.end()) return found->second;
    }
    if (key.size() > 3 && key.compare(0, 3, "COM") == 0 &&
        key.find_first_not_of("0123456789", 3) == std::string::npos) {
        long number = std::strtol(key.c_str() + 3, nullptr, 10);
        if (number >= 1 && number <= 256) {
            return deviceFolder_ + "/ttyS" + std::to_string(number - 1);
        }
    }
    return {};
}

std::unique_ptr<SerialLink> PosixSerialPorts::Open(const char* name) {
    std::string path = PathOf(name);
    if (path.empty()) return nullptr;
    return OpenPosixSerialPath(path);
}

bool PosixSerialPorts::Exists(const char* name) {
    std::string path = PathOf(name);
    if (path.empty()) return false;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool terminal = isatty(fd) != 0;
    close(fd);
    return terminal;
}

std::vector<std::string> PosixSerialPorts::PreferredPorts() {
    std::vector<std::string> names;
    std::set<std::pair<dev_t, ino_t>> devices;  // a device is known by its node, not its name
    for (const char* pattern : {"/serial/by-id/*", "/ttyUSB*", "/ttyACM*"}) {
        const bool links = pattern[1] == 's';
        for (const std::string& path : ExpandPosixPortPattern(deviceFolder_ + pattern)) {
            struct stat node {};
            if (stat(path.c_str(), &node) != 0 ||
                !devices.insert({node.st_dev, node.st_ino}).second) {
                continue;
            }
            std::string name = path;
            if (links) {
                char* target = realpath(path.c_str(), nullptr);
                if (target != nullptr) name = target;
                std::free(target);
            }
            names.push_back(name);
        }
    }
    return names;
}

std::string PosixSerialPorts::AdapterId(const char* name) {
    struct stat port {};
    const std::string path = PathOf(name);
    if (path.empty() || stat(path.c_str(), &port) != 0) return {};
    for (const std::string& link : ExpandPosixPortPattern(deviceFolder_ + "/serial/by-id/*")) {
        struct stat node {};
        if (stat(link.c_str(), &node) == 0 && node.st_dev == port.st_dev &&
            node.st_ino == port.st_ino) {
            return link.substr(link.find_last_of('/') + 1);
        }
    }
    return {};
}

PosixSerialPorts& SystemPosixSerialPorts() {
    static PosixSerialPorts ports([] {
        const char* folder = std::getenv("VORLAND_DEVICE_FOLDER");
        return std::string(folder != nullptr && *folder != '\0' ? folder : "/dev");
    }());
    return ports;
}

SerialPorts& SystemSerialPorts() { return SystemPosixSerialPorts(); }
