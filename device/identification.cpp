// Finding and naming the unit: firmware version, the unit's EEPROM, the COM port scan.
#include <cstdio>
#include <cstring>

#include "device/kvtandrel.h"
#include "device/protocol.h"

namespace {

constexpr std::int32_t kScanBaudRate = 115200;
constexpr const char* kScannedPorts[] = {"COM1", "COM2", "COM3", "COM4", "COM5"};

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
    std::int32_t result;
    if (portOpen == 0) {
        result = kTandrelNoPort;
    } else {
        Log("KVTandrel: Firmware Version string requested");
        idle = 0;
        SetCommReadTimeout(kVersionTimeoutMs);
        Purge();
        const std::uint8_t frame[2] = {'V', 'V'};
        std::uint8_t reply[3] = {};
        std::uint32_t received = 0;
        if (!Send(frame, sizeof frame)) {
            result = kTandrelWriteFailed;
        } else if (!Receive(reply, sizeof reply, &received)) {
            result = kTandrelReadFailed;
        } else if (received < sizeof reply) {
            result = kTandrelShortVersion;
        } else {
            if (versionOut != nullptr) {
                versionOut->major = reply[0];
                versionOut->minor = reply[1];
                versionOut->modelLetter = static_cast<char>(reply[2]);
            }
            result = kTandrelDone;
        }
    }
    SetCommReadTimeout(kStandingTimeoutMs);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::ReadEEPROM(std::uint8_t* dest, std::uint16_t address,
                                   std::int32_t count) {
    if (portOpen == 0) {
        EndExchange();
        return kTandrelNoPort;
    }
    if (dest == nullptr || count < 1 || count > 256) {
        EndExchange();
        return kTandrelBadArgument;
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
    std::int32_t result;
    if (!Send(frame, sizeof frame)) {
        result = kTandrelWriteFailed;
    } else if (!Receive(data, size, &received)) {
        result = kTandrelReadFailed;
    } else if (received < size) {
        result = kTandrelShortData;
    } else if (data[0] == '?') {
        result = kTandrelEepromRefused;
    } else {
        std::uint8_t unitSum = 0;
        std::uint8_t localSum = Checksum8(data, count);
        if (!Receive(&unitSum, 1, &received)) {
            result = kTandrelReadFailed;
        } else if (received != 1 || unitSum != localSum) {
            Log("KVTandrel: ReadEEPROM: Invalid external data checksum\r\n\tCS of recvd data: "
                "%.2X\r\n\tCS from device: %.2x",
                localSum, unitSum);
            result = kTandrelChecksumMismatch;
        } else {
            std::memcpy(dest, data, size);
            result = kTandrelDone;
        }
    }
    EndExchange();
    return result;
}

std::int32_t KVTandrel::GetHardwareVersion(std::uint8_t* infoOut) {
    if (infoOut == nullptr) return kTandrelBadArgument;
    Log("KVTandrel: Hardware Version Information requested");
    // Failures are not looked at: a byte that could not be read keeps its value.
    for (std::uint16_t i = 0; i < 7; ++i) ReadEEPROM(infoOut + i, static_cast<std::uint16_t>(i + 1), 1);
    return kTandrelDone;
}

std::uint32_t KVTandrel::DetectHardware(char* nameOut, std::size_t nameSize,
                                        FirmwareVersion* versionOut) {
    if (versionOut == nullptr) return 0;
    for (const char* name : kScannedPorts) {
        if (InitPort(name, kScanBaudRate) != kTandrelDone) continue;
        // A silent port stays held until the next InitPort closes it.
        if (GetFirmwareVersion(versionOut) != kTandrelDone) continue;

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
            GetHardwareVersion(info);
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
    if (nameOut != nullptr && nameSize > 0) nameOut[0] = '\0';
    *versionOut = FirmwareVersion{0, 0, 0};
    return 0;
}
