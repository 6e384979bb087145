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
    TandrelFailure failure{.step = TandrelStep::kVersion};
    if (portOpen == 0) {
        failure.problem = TandrelProblem::kNoPort;
        failure.code = kTandrelNoPort;
    } else {
        Log("KVTandrel: Firmware Version string requested");
        idle = 0;
        static_cast<void>(SetCommReadTimeout(kVersionTimeoutMs));
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
    for (std::uint16_t i = 0; i < 7; ++i) {
        static_cast<void>(ReadEEPROM(infoOut + i, static_cast<std::uint16_t>(i + 1), 1));
    }
    return kTandrelDone;
}

std::uint32_t KVTandrel::DetectHardware(char* nameOut, std::size_t nameSize,
                                        FirmwareVersion* versionOut, const char* lastPort) {
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
    std::string other;
    FirmwareVersion otherVersion{};
    const std::string found = ScanPorts(ports_, lastPort, [&](const char* name) {
        if (InitPort(name, kScanBaudRate) != kTandrelDone) return false;
        if (GetFirmwareVersion(versionOut) == kTandrelDone) {
            if (IsProgrammerLetter(versionOut->modelLetter)) return true;
            if (other.empty()) {
                other = name;
                otherVersion = *versionOut;
            }
        }
        ClosePort();
        return false;
    });
    if (!found.empty()) {
        failure_ = {};  // the ports before this one are not the scan's failure
    } else if (!other.empty()) {
        *versionOut = otherVersion;
        CopyText(portName, sizeof portName, other.c_str());
    } else {
        if (nameOut != nullptr && nameSize > 0) nameOut[0] = '\0';
        *versionOut = FirmwareVersion{0, 0, 0};
        return 0;
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
    } else if (letter == 'A' || letter == 'F') {
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
    FormatHardwareName(flags, versionOut, nameOut, nameSize);
    return flags;
}
