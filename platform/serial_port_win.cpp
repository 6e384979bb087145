// COM ports through kernel32: synchronous (non-overlapped) handles.
#include <windows.h>
#include <setupapi.h>

#include <cstring>
#include <string>

#include "platform/serial_port.h"
#include "platform/win32_handles.h"

namespace {

class Win32SerialLink final : public SerialLink {
public:
    explicit Win32SerialLink(HANDLE handle) : handle_(handle) {}

    bool SetupQueues(std::uint32_t inputSize, std::uint32_t outputSize) override {
        return SetupComm(handle_.get(), inputSize, outputSize) != FALSE;
    }

    bool GetLineSettings(SerialLineSettings& settings) override {
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof dcb_;
        if (!GetCommState(handle_.get(), &dcb_)) return false;
        settings.baudRate = dcb_.BaudRate;
        settings.byteSize = dcb_.ByteSize;
        settings.parity = dcb_.Parity;
        settings.stopBits = dcb_.StopBits;
        settings.outxCtsFlow = dcb_.fOutxCtsFlow != 0;
        settings.outxDsrFlow = dcb_.fOutxDsrFlow != 0;
        settings.dtrControl = static_cast<std::uint8_t>(dcb_.fDtrControl);
        settings.dsrSensitivity = dcb_.fDsrSensitivity != 0;
        settings.rtsControl = static_cast<std::uint8_t>(dcb_.fRtsControl);
        settings.outX = dcb_.fOutX != 0;
        settings.inX = dcb_.fInX != 0;
        return true;
    }

    // Writes into the DCB last read, so that its other members keep what the port reported.
    bool SetLineSettings(const SerialLineSettings& settings) override {
        dcb_.DCBlength = sizeof dcb_;
        dcb_.BaudRate = settings.baudRate;
        dcb_.ByteSize = settings.byteSize;
        dcb_.Parity = settings.parity;
        dcb_.StopBits = settings.stopBits;
        dcb_.fOutxCtsFlow = settings.outxCtsFlow;
        dcb_.fOutxDsrFlow = settings.outxDsrFlow;
        dcb_.fDtrControl = settings.dtrControl;
        dcb_.fDsrSensitivity = settings.dsrSensitivity;
        dcb_.fRtsControl = settings.rtsControl;
        dcb_.fOutX = settings.outX;
        dcb_.fInX = settings.inX;
        return SetCommState(handle_.get(), &dcb_) != FALSE;
    }

    bool GetTimeouts(SerialTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        if (!GetCommTimeouts(handle_.get(), &t)) return false;
        timeouts.readInterval = t.ReadIntervalTimeout;
        timeouts.readTotalMultiplier = t.ReadTotalTimeoutMultiplier;
        timeouts.readTotalConstant = t.ReadTotalTimeoutConstant;
        timeouts.writeTotalMultiplier = t.WriteTotalTimeoutMultiplier;
        timeouts.writeTotalConstant = t.WriteTotalTimeoutConstant;
        return true;
    }

    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        COMMTIMEOUTS t{timeouts.readInterval, timeouts.readTotalMultiplier,
                       timeouts.readTotalConstant, timeouts.writeTotalMultiplier,
                       timeouts.writeTotalConstant};
        return SetCommTimeouts(handle_.get(), &t) != FALSE;
    }

    bool Purge() override {
        return PurgeComm(handle_.get(), PURGE_TXCLEAR | PURGE_RXCLEAR) != FALSE;
    }

    bool Write(const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
        DWORD done = 0;
        BOOL ok = WriteFile(handle_.get(), data, size, &done, nullptr);
        *written = done;
        return ok != FALSE;
    }

    bool Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* received) override {
        DWORD done = 0;
        BOOL ok = ReadFile(handle_.get(), data, size, &done, nullptr);
        *received = done;
        return ok != FALSE;
    }

private:
    UniqueFile handle_;
    DCB dcb_{};  // the state last read, written back with the caller's changes
};

// Only COM1 to COM9 are device names in every path form; COM10 and above are reached only
// as "\\.\COMn". That form works for every port, so every "COMn" is opened through it.
std::string DevicePath(const char* name) {
    const bool comPort = (name[0] | 0x20) == 'c' && (name[1] | 0x20) == 'o' &&
                         (name[2] | 0x20) == 'm' && name[3] >= '0' && name[3] <= '9' &&
                         std::strspn(name + 3, "0123456789") == std::strlen(name + 3);
    return comPort ? std::string("\\\\.\\") + name : std::string(name);
}

HANDLE OpenDevice(const char* name) {
    return CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The "Ports (COM & LPT)" device class.
constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The port name a device of the class goes by ("PortName" in its device key).
std::string PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    char name[32] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(name) : std::string();
}

// The device instance path of the port's device; "" when the system lists none for it.
std::string DeviceInstanceOf(const char* port) {
    HDEVINFO devices = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return {};
    std::string id;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; id.empty() && SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        if (lstrcmpiA(PortNameOf(devices, device).c_str(), port) != 0) continue;
        char path[MAX_PATH] = {};
        if (SetupDiGetDeviceInstanceIdA(devices, &device, path, sizeof path, nullptr)) id = path;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return id;
}

class Win32SerialPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialLink> Open(const char* name) override {
        if (name == nullptr) return nullptr;
        HANDLE handle = OpenDevice(name);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32SerialLink>(handle);
    }

    // A name that opens but has no line state is no serial port: under Wine, for one, a COM
    // name whose link was removed still opens and leads nowhere.
    bool Exists(const char* name) override {
        if (name == nullptr) return false;
        UniqueFile handle(OpenDevice(name));
        DCB state{};
        state.DCBlength = sizeof state;
        return handle && GetCommState(handle.get(), &state) != FALSE;
    }

    std::string AdapterId(const char* name) override {
        return name != nullptr ? DeviceInstanceOf(name) : std::string();
    }
};

}  // namespace

SerialPorts& SystemSerialPorts() {
    static Win32SerialPorts ports;
    return ports;
}
