// The seam to a serial port: what the programmer link needs from one, in the terms of the Win32
// COM port calls (queue sizes, a DCB-like line state, COMMTIMEOUTS, purge, synchronous read and
// write). Backends: serial_port_win.cpp (Vorland.exe), serial_port_posix.cpp (termios, native
// tools and tests), and the simulated unit's in-process link (sim/).
//
// Threading: a port is used by one thread at a time; nothing here locks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The members of the Win32 DCB that a caller may want to see or change. Values use the DCB's
// numbering (parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half,
// 2 two; DTR 0 disable, 1 enable, 2 handshake; RTS 0 disable, 1 enable, 2 handshake, 3 toggle).
struct SerialLineSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = 0;
    std::uint8_t stopBits = 0;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    std::uint8_t dtrControl = 0;
    bool dsrSensitivity = false;
    std::uint8_t rtsControl = 0;
    bool outX = false;  // XON/XOFF on transmit
    bool inX = false;   // XON/XOFF on receive
};

inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kRtsControlEnable = 1;

// Milliseconds, with the meaning of the Win32 COMMTIMEOUTS: a read ends when all bytes arrived,
// when readTotalConstant + readTotalMultiplier * size has passed since it began, or when more
// than readInterval passes between two bytes (counted from the first byte on). Zero switches a
// limit off. A read that ends early returns the bytes it has and still succeeds.
struct SerialTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// What a port's driver answered when the port was opened and asked to pass received bytes on
// at once (Linux: the ASYNC_LOW_LATENCY flag, which USB-serial drivers such as ftdi_sio turn
// into a latency timer of 1 ms instead of the adapter's 16).
enum class SerialLowLatency {
    kNotAsked,    // this kind of port is not asked (Windows: the adapter's own settings; simulated)
    kNotOffered,  // the driver has no such mode (a pseudo-terminal)
    kAlreadyOn,
    kSwitchedOn,
    kRefused,  // the driver has the mode but would not switch it on
};

// One open port. Every call returns false when the system call failed; the out-parameters are
// then unspecified. Closing is destruction.
class SerialLink {
public:
    virtual ~SerialLink() = default;

    // Sizes of the device's receive and transmit queues (SetupComm).
    [[nodiscard]] virtual bool SetupQueues(std::uint32_t inputSize, std::uint32_t outputSize) = 0;
    [[nodiscard]] virtual bool GetLineSettings(SerialLineSettings& settings) = 0;
    // Applies settings read by GetLineSettings and then changed: members not listed in
    // SerialLineSettings keep the values the port had when they were read.
    [[nodiscard]] virtual bool SetLineSettings(const SerialLineSettings& settings) = 0;
    [[nodiscard]] virtual bool GetTimeouts(SerialTimeouts& timeouts) = 0;
    [[nodiscard]] virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
    // Discards both queues: bytes not yet sent and bytes received but not yet read.
    virtual bool Purge() = 0;
    // Blocks until every byte is handed to the device or the write timeout passed; *written
    // says how many were.
    [[nodiscard]] virtual bool Write(const std::uint8_t* data, std::uint32_t size,
                                     std::uint32_t* written) = 0;
    // Blocks under the timeouts above; *received may be less than size on success.
    [[nodiscard]] virtual bool Read(std::uint8_t* data, std::uint32_t size,
                                    std::uint32_t* received) = 0;
    // What the driver answered to the request for low latency made at opening.
    [[nodiscard]] virtual SerialLowLatency LowLatency() const {
        return SerialLowLatency::kNotAsked;
    }
};

// Opens ports by name ("COM1"; on Windows also "COM12", which the backend opens as "\\.\COM12").
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // Returns null when the port does not exist or is in use.
    virtual std::unique_ptr<SerialLink> Open(const char* name) = 0;
    // Whether a port of this name is there to be used: cheap, sends nothing and leaves the
    // port's settings as they were. A scan asks before it tries a port, so that the many names
    // that lead nowhere cost next to nothing. The default opens the port and closes it again;
    // a backend that can tell more cheaply, or without opening, says so by overriding.
    [[nodiscard]] virtual bool Exists(const char* name);
    // Ports that a scan tries before the COM names, in order, each device once: where a
    // programmer is most likely found and the COM names do not reach it (USB adapters on
    // Linux). The default: none.
    [[nodiscard]] virtual std::vector<std::string> PreferredPorts() { return {}; }
    // What the system names the hardware behind a port by, the same wherever and however often
    // it is plugged in: on Windows the port's device instance path (a USB adapter's holds its
    // serial number), on Linux its name in serial/by-id. "" when the system names none (a
    // pseudo-terminal, Wine's ports). The default: "".
    [[nodiscard]] virtual std::string AdapterId(const char* /*name*/) { return {}; }
};

// The operating system's ports: CreateFile on Windows; on POSIX see serial_port_posix.h for
// how names map to device paths. Lives for the whole process.
SerialPorts& SystemSerialPorts();
