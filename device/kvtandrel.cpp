// The object, the port and the link speed.
#include "device/kvtandrel.h"

#include <cstring>
#include <optional>
#include <string>

#include "device/protocol.h"
#include "formats/checksums.h"

namespace {

// Port set-up: queues, the 25 ms gap that ends a reply, the write limit, and the pause the
// unit's line needs after the port opens.
constexpr std::uint32_t kQueueSize = 1024;
constexpr std::uint32_t kReadIntervalMs = 25;
constexpr std::uint32_t kWriteTotalMs = 110;
constexpr std::uint32_t kSettleMs = 40;

}  // namespace

std::int32_t BaudRateOfSpeedCode(std::int32_t speedCode) {
    switch (speedCode) {
        case kSpeedCode921600:
        case kSpeedCode460800:
        case kSpeedCode230400:
        case kSpeedCode115200: return 921600 / (speedCode + 1);
        default: return 0;
    }
}

std::uint8_t Checksum8(const std::uint8_t* data, std::int32_t length) {
    if (data == nullptr || length <= 0) return 0;
    return static_cast<std::uint8_t>(ByteSumUpdate(0, data, static_cast<std::size_t>(length)));
}

KVTandrel::KVTandrel() : KVTandrel(SystemSerialPorts(), SystemClock()) {}

KVTandrel::KVTandrel(SerialPorts& ports, Clock& clock) : ports_(ports), clock_(clock) {}

KVTandrel::~KVTandrel() = default;

void KVTandrel::Log(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    LogVPrintf(logSink, format, args);
    va_end(args);
}

std::int32_t KVTandrel::Failed(TandrelFailure failure) {
    if (failure.port[0] == '\0') std::memcpy(failure.port, portName, sizeof failure.port);
    const std::string line = FailureLogLine(failure);
    if (!line.empty()) Log("%s", line.c_str());
    if (!failure_.failed()) failure_ = failure;
    return failure.code;
}

bool KVTandrel::IsProgrammerFamily() const {
    return deviceFamily == kFamilyProgrammer || deviceFamily == kFamilyProgrammerAlt;
}

bool KVTandrel::HasProgrammerCapability() const {
    return (capabilities & kCapabilityProgrammer) != 0;
}

void KVTandrel::Purge() {
    if (hPort) hPort->Purge();
}

bool KVTandrel::Send(const std::uint8_t* frame, std::uint32_t size) {
    if (!hPort) return false;
    std::uint32_t written = 0;
    // A frame that went out only in part is as lost as one that did not go out.
    return hPort->Write(frame, size, &written) && written == size;
}

bool KVTandrel::Receive(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) {
    *received = 0;
    if (!hPort) return false;
    if (!hPort->Read(data, size, received)) return false;
    if (*received > size) *received = size;  // a link never reports more than it was given
    return true;
}

void KVTandrel::RequestCancel() {
    // Under the lock, so that the exchange cannot end between the test and the store and
    // leave the flag set for the next operation.
    std::lock_guard<std::mutex> lock(cancelLock_);
    if (idle.load() == 0) cancelRequested.store(1);
}

void KVTandrel::EndExchange() {
    // A cancel never outlives the exchange it was pressed during: one that came during an
    // erase, or too late for a transfer's last block test, must not stop the next operation.
    std::lock_guard<std::mutex> lock(cancelLock_);
    idle.store(1);
    cancelRequested.store(0);
}

std::int32_t KVTandrel::InitPort(const char* portName, std::int32_t baudRate) {
    Operation operation(*this);
    return OpenPort(portName, baudRate, true);
}

std::int32_t KVTandrel::OpenPort(const char* name, std::int32_t baudRate, bool restoreSpeed) {
    // name may be this->portName (the reopen of SetLinkSpeed): copy it before anything changes.
    char wanted[sizeof portName] = {};
    bool nameFits = name != nullptr && std::strlen(name) < sizeof wanted;
    if (nameFits) std::memcpy(wanted, name, std::strlen(name));

    if (hPort) {
        if (restoreSpeed && speedCode != kSpeedCode115200) {
            PassOver passOver(*this);  // the port is given up either way
            static_cast<void>(SetLinkSpeed(kSpeedCode115200));
        }
        hPort.reset();
        portOpen = 0;
        Log("KVTandrel: COM Port closed.");
    }

    TandrelFailure failure{.step = TandrelStep::kOpenPort, .code = kTandrelNoPort};
    std::memcpy(failure.port, wanted, sizeof failure.port);
    if (nameFits) hPort = ports_.Open(wanted);
    if (!hPort) {
        portOpen = 0;
        failure.problem = TandrelProblem::kPortMissing;
        Failed(failure);
        Log("KVTandrel: Port init failed with error %i.", kTandrelNoPort);
        return kTandrelNoPort;
    }

    bool configured = false;
    if (hPort->SetupQueues(kQueueSize, kQueueSize)) {
        SerialLineSettings line;
        if (hPort->GetLineSettings(line)) {
            line.baudRate = static_cast<std::uint32_t>(baudRate);
            line.byteSize = 8;
            line.parity = kNoParity;
            line.outxCtsFlow = false;
            line.outxDsrFlow = false;
            line.dtrControl = kDtrControlEnable;
            line.dsrSensitivity = false;
            line.rtsControl = kRtsControlEnable;
            configured = hPort->SetLineSettings(line);
        }
    }
    if (configured) {
        Log("KVTandrel: %s baud rate set to %i", wanted, baudRate);
        SerialTimeouts timeouts{kReadIntervalMs, 0, kStandingTimeoutMs, 0, kWriteTotalMs};
        configured = hPort->SetTimeouts(timeouts);
    }
    if (!configured) {
        // The handle stays held: the next InitPort or ClosePort closes it.
        portOpen = 0;
        failure.problem = TandrelProblem::kPortSetup;
        Failed(failure);
        Log("KVTandrel: Port init failed with error %i.", kTandrelNoPort);
        return kTandrelNoPort;
    }

    clock_.Sleep(kSettleMs);
    std::memcpy(portName, wanted, sizeof portName);
    portOpen = 1;
    // A port opened afresh runs at the rate it was opened at, whatever a port before it left.
    if (restoreSpeed) {
        for (std::int32_t code :
             {kSpeedCode921600, kSpeedCode460800, kSpeedCode230400, kSpeedCode115200}) {
            if (BaudRateOfSpeedCode(code) == baudRate) speedCode = code;
        }
    }
    Log("KVTandrel: Port opened and initialized successfully.");
    return kTandrelDone;
}

void KVTandrel::ClosePort() {
    Operation operation(*this);
    // A unit that does not go back keeps speedCode raised: the caller sees it there.
    if (speedCode != kSpeedCode115200) static_cast<void>(SetLinkSpeed(kSpeedCode115200));
    if (hPort) {
        hPort.reset();
        portOpen = 0;
    }
    Log("KVTandrel: COM Port closed.");
}

void KVTandrel::ReleasePort() {
    portOpen = 0;
    if (!hPort) return;
    hPort.reset();
    Log("KVTandrel: COM Port closed.");
}

void KVTandrel::DropLostLink() {
    if (!hPort || !LinkLost(failure_)) return;
    PassOver keep(*this);
    ClosePort();
}

std::int32_t KVTandrel::SetCommReadTimeout(std::int32_t milliseconds) {
    // Inside another operation a failed change does not change that operation's result, so
    // there it is not the operation's failure.
    std::optional<PassOver> passOver;
    if (depth_ > 0) passOver.emplace(*this);
    Operation operation(*this);
    TandrelFailure failure{.step = TandrelStep::kReadTimeout};
    if (!hPort) {
        failure.problem = TandrelProblem::kNoPort;
        failure.code = kTandrelNoPort;
        return Failed(failure);
    }
    SerialTimeouts timeouts;
    bool changed = hPort->GetTimeouts(timeouts);
    if (changed) {
        timeouts.readTotalConstant = static_cast<std::uint32_t>(milliseconds);
        changed = hPort->SetTimeouts(timeouts);
    }
    if (!changed) {
        failure.problem = TandrelProblem::kPortSetup;
        failure.code = kTandrelRefused;
        return Failed(failure);
    }
    Log("KVTandrel: Comm Read Timeout Set To %i ms", milliseconds);
    return kTandrelDone;
}

std::int32_t KVTandrel::SetLinkSpeed(std::int32_t code) {
    Operation operation(*this, Operation::kClosesLostLink);
    TandrelFailure failure{.step = TandrelStep::kLinkSpeed,
                           .address = static_cast<std::uint32_t>(code)};
    std::int32_t baudRate = BaudRateOfSpeedCode(code);
    if (baudRate == 0) {
        EndExchange();
        failure.problem = TandrelProblem::kBadArgument;
        failure.code = kTandrelBadArgument;
        return Failed(failure);
    }
    idle = 0;
    Purge();
    const std::uint8_t frame[3] = {'S', static_cast<std::uint8_t>(code),
                                   static_cast<std::uint8_t>('S' + code)};
    std::uint8_t reply = 0;
    std::uint32_t received = 0;
    failure.code = kTandrelRefused;
    if (!Send(frame, sizeof frame)) {
        failure.problem = TandrelProblem::kWriteFailed;
        failure.code = kTandrelWriteFailed;
    } else if (!Receive(&reply, 1, &received)) {
        failure.problem = TandrelProblem::kReadFailed;
        failure.code = kTandrelReadFailed;
    } else if (received != 1) {
        failure.problem = TandrelProblem::kNoReply;
    } else if (reply != kAccepted) {
        failure.problem = TandrelProblem::kRefused;
        failure.expected = kAccepted;
        failure.found = reply;
    } else {
        // The unit now listens at the new rate: follow it. When the port does not reopen, the
        // link is lost (and closed on the way out) rather than every later exchange failing.
        speedCode = code;
        std::int32_t reopened;
        {
            PassOver passOver(*this);  // recorded below, as this change's failure
            reopened = OpenPort(portName, baudRate, false);
        }
        if (reopened == kTandrelDone) {
            EndExchange();
            return kTandrelDone;
        }
        failure.problem = hPort ? TandrelProblem::kPortSetup : TandrelProblem::kPortMissing;
        failure.code = kTandrelNoPort;
        if (hPort) ReleasePort();  // a handle that refused its settings is of no use
    }
    EndExchange();
    return Failed(failure);
}
