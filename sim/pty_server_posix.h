// Serves a simulated unit on a pseudo-terminal: a host that opens the slave side (Vorland.exe
// under Wine through a dosdevices/comN symlink, or a native tool) talks to the unit as to a
// serial port. A second pseudo-terminal, the control port, takes the command lines of
// unit_commands.h and answers each with one line.
//
// The server keeps a slave descriptor of the data port open itself, so that a host may close
// and reopen its port (as a speed change does) without the master side seeing a hang-up.
// Replies keep the unit's pauses in real time; with pacing on, every byte in both directions
// also takes its wire time at the line rate the host set on the slave (10 bits per byte), and
// replies leave in chunks of up to 64 bytes, each once its last byte is due. With a USB latency
// set, replies leave as a USB-serial adapter with FTDI's latency timer passes them on
// (usb_adapter.h): in packets of 62 bytes once full, anything less at the timer's next tick.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/programmer_unit.h"

struct PtyServerOptions {
    std::string link;         // a symlink to create to the data port's slave ("" none)
    std::string controlLink;  // likewise for the control port ("" no control port)
    bool pace = false;
    std::uint32_t usbLatencyMs = 0;  // the adapter's latency timer (0: no adapter)
    // End once the control port, after its first command, is closed by every other opener:
    // the test process that drove the simulator is gone.
    bool exitOnControlClose = false;
    std::uint32_t lifetimeSeconds = 0;   // end after this long (0: no limit)
    // A file created once the ports are ready and removed after the links are gone, so that
    // a client who cannot see the links (Wine maps dosdevices paths to devices) can wait.
    std::string readyFile;
    std::vector<std::string> commands;  // run before serving
};

class PtyServer {
public:
    explicit PtyServer(PtyServerOptions options);
    ~PtyServer();  // closes the terminals and removes the links it made
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the terminals and links; false (with a message in error()) on failure.
    [[nodiscard]] bool Start();
    const std::string& dataPath() const { return dataPath_; }
    const std::string& controlPath() const { return controlPath_; }
    const std::string& error() const { return error_; }

    // Serves until quit, a signal (SIGINT, SIGTERM, SIGHUP), the control port closing (see
    // options) or the lifetime ends.
    void Run();

    ProgrammerUnit& unit() { return unit_; }

private:
    struct Pending {
        std::int64_t dueNs;
        std::uint8_t value;
    };
    // Bytes of output_ that leave together.
    struct Chunk {
        std::int64_t releaseNs;
        std::size_t count;
    };
    [[nodiscard]] bool OpenTerminal(int* master, int* slave, std::string* path);
    [[nodiscard]] bool MakeLink(const std::string& link, const std::string& target);
    void RemoveLink(std::size_t index);
    void RemoveDataLink();
    void OnDataInput();
    void OnControlInput();
    void FlushDue();
    // The chunk from output_[first] on (first < output_.size()), the adapter having sent its
    // last packet at lastSentNs.
    Chunk ChunkAt(std::size_t first, std::int64_t lastSentNs) const;
    // When to look at the output next (output_ not empty), and what a timed wake taught.
    std::int64_t WakeForOutput(std::int64_t now) const;
    void NoteWakeLateness(std::int64_t lateNs);
    void AwaitQuitReply();
    std::uint32_t HostBaud() const;

    PtyServerOptions options_;
    ProgrammerUnit unit_;
    int dataMaster_ = -1;
    int dataSlave_ = -1;
    int controlMaster_ = -1;
    int controlSlave_ = -1;
    std::string dataPath_;
    std::string controlPath_;
    std::vector<std::pair<std::string, std::string>> madeLinks_;  // link, its target
    std::string error_;
    std::vector<Pending> output_;   // unit -> host, in due order
    std::size_t outputHead_ = 0;
    std::int64_t hostFreeNs_ = 0;   // when the host's last byte has fully arrived (pacing)
    std::int64_t unitFreeNs_ = 0;   // when the unit's last byte will have left
    std::int64_t wakeLateNs_ = 50000;  // how late a timed wake comes, of late
    std::int64_t adapterSentNs_ = 0;   // when the simulated USB adapter last sent a packet
    std::string controlLine_;
    bool controlUsed_ = false;
    bool quit_ = false;
    bool readyMade_ = false;
};
