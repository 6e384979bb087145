// Finding and naming the unit: firmware version, the unit's EEPROM, the COM port scan.
#include <cstdio>
#include <cstring>
#include <string>

#include "device/kvtandrel.h"
#include "device/port_scan.h"
#include "device/protocol.h"
#include "platform/text.h"

namespace {

constexpr std::int32_t kScanBaudRate = 115200;

// The version letters of the programmers: a Tandrel or a Vorland.
bool IsProgrammerLetter(char letter) {
    return letter == 'A' || letter == 'F';
}

}  // namespace

void FormatHardwareName(std::uint32_t flags, const FirmwareVersion* version, char* nameOut,
                        std::size_t nameSize) {
    if (nameOut == nullptr || nameSize == 0) return;
    const char* model = nullptr;
    bool tandrel = false;
    if ((flags & kHardwareCalyxor1) != 0) {
        model = "Calyxor I";
    } else if ((flags & kHardwareCalyxor2) != 0) {
        model = "Calyxor II";
    } else if ((flags & kHardwareTandrel) != 0) {
        model = "Tandrel";
        tandrel = true;
    } else if ((flags & kHardwareVorland) != 0) {
        model = "Vorland";
    }
    if (model != nullptr) {
        std::snprintf(nameOut, nameSize, "%s%s%s", model,
                      tandrel && (flags & kHardwareUsb) != 0 ? " USB" : "",
                      tandrel && (flags & kHardwareSerial) != 0 ? " Serial" : "");
    } else {
        nameOut[nameSize - 1] = '\0';  // keep the caller's text, but never read past the buffer
    }
    if (version != nullptr) {
        std::size_t used = std::strlen(nameOut);
        std::snprintf(nameOut + used, nameSize - used, " v%i.%i.%c", version->major,
                      version->minor, version->modelLetter);
    }
}

std::int32_t KVTandrel::GetFirmwareVersion(FirmwareVersion* versionOut) {
    Operation operation(*this);
    return AskVersion(versionOut, kVersionTimeoutMs);
}

std::int32_t KVTandrel::AskVersion(FirmwareVersion* versionOut, std::int32_t timeoutMs) {
    TandrelFailure failure{.step = TandrelStep::kVersion};
    if (portOpen == 0) {
        failure.problem = TandrelProblem::kNoPort;
        failure.code = kTandrelNoPort;
    } else {
        Log("KVTandrel: Firmware Version string requested");
        idle = 0;
        static_cast<void>(SetCommReadTimeout(timeoutMs));
        Purge();
        const std::uint8_t frame[2] = {'V', 'V'};
        std::uint8_t reply[3] = {};
        std::uint32_t received = 0;
        if (!Send(frame, sizeof frame)) {
            failure.problem = TandrelProblem::kWriteFailed;
            failure.code = kTandrelWriteFailed;
        } else if (!Receive(reply, sizeof reply, &received)) {
            failure.problem = TandrelProblem::kReadFailed;
            failure.code = kTandrelReadFailed;
        } else if (received < sizeof reply) {
            failure.problem = TandrelProblem::kShortReply;
            failure.code = kTandrelShortVersion;
            failure.expected = sizeof reply;
            failure.found = received;
        } else if (versionOut != nullptr) {
            versionOut->major = reply[0];
            versionOut->minor = reply[1];
            versionOut->modelLetter = static_cast<char>(reply[2]);
        }
    }
    static_cast<void>(SetCommReadTimeout(kStandingTimeoutMs));
    EndExchange();
    return failure.problem == TandrelProblem::kNone ? kTandrelDone : Failed(failure);
}

bool KVTandrel::FindRaisedUnit(FirmwareVersion* versionOut) {
    // A version reply takes well under a millisecond at these rates; the short wait keeps a
    // silent port's cost near that of the one probe at 115200.
    constexpr std::int32_t kRaisedProbeMs = 40;
    for (std::int32_t code : {kSpeedCode921600, kSpeedCode460800, kSpeedCode230400}) {
        if (stopRequested.load() != 0) return false;
        const std::int32_t rate = BaudRateOfSpeedCode(code);
        SerialLineSettings line;
        if (!hPort || !hPort->GetLineSettings(line)) return false;
        line.baudRate = static_cast<std::uint32_t>(rate);
        if (!hPort->SetLineSettings(line)) return false;
        Log("KVTandrel: %s baud rate set to %i", portName, rate);
        PassOver passOver(*this);  // silence at a rate is no failure of the scan
        if (AskVersion(versionOut, kRaisedProbeMs) == kTandrelDone) {
            speedCode = code;
            return true;
        }
    }
    return false;
}

std::int32_t KVTandrel::ReadEEPROM(std::uint8_t* dest, std::uint16_t address,
                                   std::int32_t count) {
    Operation operation(*this);
    TandrelFailure failure{.step = TandrelStep::kEeprom, .address = address};
    if (portOpen == 0 || dest == nullptr || count < 1 || count > 256) {
        EndExchange();
        failure.problem = portOpen == 0 ? TandrelProblem::kNoPort : TandrelProblem::kBadArgument;
        failure.code = portOpen == 0 ? kTandrelNoPort : kTandrelBadArgument;
        return Failed(failure);
    }
    idle = 0;
    Purge();
    const std::uint8_t header[5] = {'H', 'R', static_cast<std::uint8_t>(count == 256 ? 0 : count),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address)};
    std::uint8_t frame[6];
    std::memcpy(frame, header, sizeof header);
    frame[5] = Checksum8(header, sizeof header);

    // Received into a buffer of our own: the caller's bytes change only on success, so that a
    // refused read ('?') leaves no '?' behind in the hardware information block.
    std::uint8_t data[256] = {};
    const auto size = static_cast<std::uint32_t>(count);
    std::uint32_t received = 0;
    if (!Send(frame, sizeof frame)) {
        failure.problem = TandrelProblem::kWriteFailed;
        failure.code = kTandrelWriteFailed;
    } else if (!Receive(data, size, &received)) {
        failure.problem = TandrelProblem::kReadFailed;
        failure.code = kTandrelReadFailed;
    } else if (received < size) {
        failure.problem = TandrelProblem::kShortReply;
        failure.code = kTandrelShortData;
        failure.expected = size;
        failure.found = received;
    } else if (data[0] == '?') {
        failure.problem = TandrelProblem::kRefused;
        failure.code = kTandrelEepromRefused;
        failure.found = '?';
    } else {
        std::uint8_t unitSum = 0;
        std::uint8_t localSum = Checksum8(data, count);
        if (!Receive(&unitSum, 1, &received)) {
            failure.problem = TandrelProblem::kReadFailed;
            failure.code = kTandrelReadFailed;
        } else if (received != 1 || unitSum != localSum) {
            failure.problem = TandrelProblem::kChecksum;
            failure.code = kTandrelChecksumMismatch;
            failure.expected = localSum;
            failure.found = unitSum;
        } else {
            std::memcpy(dest, data, size);
        }
    }
    if (failure.problem == TandrelProblem::kNone) {
        EndExchange();
        return kTandrelDone;
    }
    const std::int32_t result = Failed(failure);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::GetHardwareVersion(std::uint8_t* infoOut) {
    Operation operation(*this);
    if (infoOut == nullptr) {
        return Failed({.step = TandrelStep::kEeprom,
                       .problem = TandrelProblem::kBadArgument,
                       .code = kTandrelBadArgument});
    }
    Log("KVTandrel: Hardware Version Information requested");
    // Failures are passed over: a byte that could not be read keeps its value.
    PassOver passOver(*this);
    for (std::uint16_t i = 0; i < 7 && stopRequested.load() == 0; ++i) {
        static_cast<void>(ReadEEPROM(infoOut + i, static_cast<std::uint16_t>(i + 1), 1));
    }
    return kTandrelDone;
}

bool KVTandrel::TryScanPort(const char* name, FirmwareVersion* versionOut, ScanNotes& notes) {
    // A port that opened but refused its settings is let go at once: held after the scan, it
    // would keep every other program out of it.
    if (InitPort(name, kScanBaudRate) != kTandrelDone || stopRequested.load() != 0) {
        ReleasePort();
        return false;
    }
    // Only silence is worth asking again at another rate; a port that fails would fail there.
    const std::int32_t asked = GetFirmwareVersion(versionOut);
    const bool answered = asked == kTandrelDone ||
                          (asked == kTandrelShortVersion && FindRaisedUnit(versionOut));
    if (answered && IsProgrammerLetter(versionOut->modelLetter)) {
        // A unit left at a faster rate goes back to 115200 baud before anything else.
        if (speedCode == kSpeedCode115200) return true;
        {
            PassOver passOver(*this);
            failure_ = {};
            if (SetLinkSpeed(kSpeedCode115200) == kTandrelDone) return true;
            if (!notes.setBack.failed()) notes.setBack = failure_;
        }
        // The unit stays at its rate, as speedCode says: a close would only ask it again.
        ReleasePort();
        return false;
    }
    if (answered && notes.other.empty()) {
        notes.other = name;
        notes.otherVersion = *versionOut;
    }
    // Nothing to set back: a unit that is no programmer does not take the speed command.
    speedCode = kSpeedCode115200;
    ReleasePort();
    return false;
}

std::uint32_t KVTandrel::DetectHardware(char* nameOut, std::size_t nameSize,
                                        FirmwareVersion* versionOut, const char* lastPort,
                                        ScanStart start) {
    Operation operation(*this);
    if (versionOut == nullptr) {
        Failed({.step = TandrelStep::kVersion,
                .problem = TandrelProblem::kBadArgument,
                .code = kTandrelBadArgument});
        return 0;
    }
    // A port whose reply names no programmer (an emulator, or any device that echoes or
    // streams) is released and the scan goes on, as is a silent one: a failed scan holds no
    // port. The first such reply tells what was found when no programmer answers anywhere.
    // When no port answers, the record tells what happened on the first one tried.
    ScanNotes notes;
    bool stopped = false;
    std::string found = ScanPorts(
        ports_, lastPort,
        [&](const char* name) {
            stopped = stopRequested.load() != 0;
            return stopped || TryScanPort(name, versionOut, notes);
        },
        start);
    if (stopped) found.clear();
    return ConcludeScan(found, notes, nameOut, nameSize, versionOut);
}

std::uint32_t KVTandrel::DetectHardwareAt(const char* port, char* nameOut, std::size_t nameSize,
                                          FirmwareVersion* versionOut) {
    Operation operation(*this);
    if (versionOut == nullptr || port == nullptr) {
        Failed({.step = TandrelStep::kVersion,
                .problem = TandrelProblem::kBadArgument,
                .code = kTandrelBadArgument});
        return 0;
    }
    ScanNotes notes;
    const bool found = TryScanPort(port, versionOut, notes);
    return ConcludeScan(found ? port : "", notes, nameOut, nameSize, versionOut);
}

std::uint32_t KVTandrel::ConcludeScan(const std::string& found, const ScanNotes& notes,
                                      char* nameOut, std::size_t nameSize,
                                      FirmwareVersion* versionOut) {
    const bool stopped = stopRequested.load() != 0;
    if (!found.empty() && !stopped) {
        failure_ = {};  // the ports before this one are not the scan's failure
    } else if (!notes.other.empty() && !stopped) {
        *versionOut = notes.otherVersion;
        CopyText(portName, sizeof portName, notes.other.c_str());
    } else {
        // A unit that answered at a faster rate but did not come back tells more than the
        // silence elsewhere.
        if (notes.setBack.failed()) failure_ = notes.setBack;
        return ScanFoundNothing(nameOut, nameSize, versionOut);
    }
    std::uint32_t flags = 0;
    char letter = versionOut->modelLetter;
    if (letter == '1') {
        deviceFamily = kFamilyCalyxor1;
        capabilities |= kCapabilityEmulator;
        flags = kHardwareCalyxor1;
    } else if (letter == '2') {
        deviceFamily = kFamilyCalyxor2;
        capabilities |= kCapabilityEmulator;
        flags = kHardwareCalyxor2;
    } else if (IsProgrammerLetter(letter)) {
        deviceFamily = kFamilyProgrammer;
        capabilities = kCapabilityProgrammer;
        std::uint8_t info[kHardwareInfoSize] = {};
        static_cast<void>(GetHardwareVersion(info));  // fails only for a null buffer
        // The information block knows the unit better than the version letter does.
        if (info[0] == 'A') {
            flags = info[3] == 'S'   ? kHardwareTandrel | kHardwareSerial
                    : info[3] == 'U' ? kHardwareTandrel | kHardwareUsb
                                     : kHardwareTandrel;
        } else if (info[0] == 'F') {
            flags = kHardwareVorland;
        } else {
            flags = letter == 'A' ? kHardwareTandrel : kHardwareVorland;
        }
    }
    // A stop between the exchanges that identify the unit: it is at 115200 baud (a unit found
    // at a faster rate was set back first), and the port goes.
    if (stopRequested.load() != 0) return ScanFoundNothing(nameOut, nameSize, versionOut);
    FormatHardwareName(flags, versionOut, nameOut, nameSize);
    return flags;
}

std::uint32_t KVTandrel::ScanFoundNothing(char* nameOut, std::size_t nameSize,
                                          FirmwareVersion* versionOut) {
    ReleasePort();
    if (nameOut != nullptr && nameSize > 0) nameOut[0] = '\0';
    *versionOut = FirmwareVersion{0, 0, 0};
    return 0;
}
