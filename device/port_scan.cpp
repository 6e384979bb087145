#include "device/port_scan.h"

#include <cstdio>
#include <cstring>

int ComPortNumber(const char* name) {
    if (name == nullptr || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' ||
        (name[2] | 0x20) != 'm') {
        return 0;
    }
    const char* digits = name + 3;
    const std::size_t count = std::strlen(digits);
    if (count == 0 || count > 3 || digits[0] == '0' || std::strspn(digits, "0123456789") != count) {
        return 0;
    }
    int number = 0;
    for (const char* d = digits; *d != '\0'; ++d) number = number * 10 + (*d - '0');
    return number <= kLastComPort ? number : 0;
}

std::string ScanPorts(SerialPorts& ports, const char* lastPort,
                      const std::function<bool(const char* name)>& tryPort, ScanStart start) {
    const int last = ComPortNumber(lastPort);
    const bool lastFirst = start == ScanStart::kLastPortFirst && lastPort != nullptr &&
                           *lastPort != '\0' && ports.Exists(lastPort);
    if (lastFirst && tryPort(lastPort)) return lastPort;
    // A port tried first is not tried again in its usual place.
    auto triedFirst = [&](const char* name) {
        return lastFirst &&
               (last != 0 ? ComPortNumber(name) == last : std::strcmp(name, lastPort) == 0);
    };
    for (const std::string& name : ports.PreferredPorts()) {
        if (!triedFirst(name.c_str()) && tryPort(name.c_str())) return name;
    }
    char name[16];
    auto attempt = [&](int number, bool mustExist) {
        std::snprintf(name, sizeof name, "COM%d", number);
        return !triedFirst(name) && (!mustExist || ports.Exists(name)) && tryPort(name);
    };
    for (int n = 1; n <= kAlwaysScannedPorts; ++n) {
        if (attempt(n, false)) return name;
    }
    if (last > kAlwaysScannedPorts && attempt(last, true)) return name;
    for (int n = kAlwaysScannedPorts + 1; n <= kLastComPort; ++n) {
        if (n != last && attempt(n, true)) return name;
    }
    return "";
}
