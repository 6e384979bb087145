#include "app/unit_search_win.h"

#include <dbt.h>

#include "device/port_scan.h"
#include "platform/text.h"

namespace {

struct Search {
    KVTandrel* device = nullptr;
    HWND window = nullptr;
    UnitSearchWhen when = UnitSearchWhen::kAtStart;
    char lastPort[25] = {};
    char onlyPort[25] = {};
    bool one = false;
    UnitPresence result;
};

// The search of its own thread, and its thread; window thread only, but for the thread's own
// use of the record while it runs.
Search gSearch;
HANDLE gThread = nullptr;

// What the window knows, for the check before an operation.
UnitPresence gKnown;
char gKnownPort[25] = {};

DWORD WINAPI SearchThread(LPVOID) {
    Search& s = gSearch;
    s.result = FindUnit(*s.device, {s.lastPort[0] != '\0' ? s.lastPort : nullptr,
                                    ScanStart::kUsualOrder, s.one ? s.onlyPort : nullptr});
    PostMessageA(s.window, MSG_UNIT_SEARCH_DONE, static_cast<WPARAM>(s.when),
                 reinterpret_cast<LPARAM>(&s.result));
    return 0;
}

void ForgetThread() {
    if (gThread == nullptr) return;
    CloseHandle(gThread);
    gThread = nullptr;
}

}  // namespace

bool StartUnitSearch(KVTandrel& device, HWND window, UnitSearchWhen when, const char* lastPort,
                     const char* onlyPort) {
    ForgetThread();
    gSearch.device = &device;
    gSearch.window = window;
    gSearch.when = when;
    CopyText(gSearch.lastPort, sizeof gSearch.lastPort, lastPort != nullptr ? lastPort : "");
    gSearch.one = onlyPort != nullptr;
    CopyText(gSearch.onlyPort, sizeof gSearch.onlyPort, gSearch.one ? onlyPort : "");
    device.stopScan = 0;
    DWORD id = 0;
    gThread = CreateThread(nullptr, 0, &SearchThread, nullptr, 0, &id);
    return gThread != nullptr;
}

bool UnitSearchRunning() {
    return gThread != nullptr && WaitForSingleObject(gThread, 0) == WAIT_TIMEOUT;
}

bool EndUnitSearch(KVTandrel& device, DWORD milliseconds) {
    if (gThread == nullptr) return true;
    device.stopScan = 1;
    if (WaitForSingleObject(gThread, milliseconds) != WAIT_OBJECT_0) return false;
    ForgetThread();
    return true;
}

void SetKnownUnit(const UnitPresence& known, const char* lastPort) {
    gKnown = known;
    CopyText(gKnownPort, sizeof gKnownPort, lastPort != nullptr ? lastPort : "");
}

bool CheckUnitBeforeOperation(KVTandrel& device, HWND window) {
    const UnitPresence now =
        EnsureUnit(device, gKnown, gKnownPort[0] != '\0' ? gKnownPort : nullptr);
    if (now.searched) {
        SendMessageA(window, MSG_UNIT_SEARCH_DONE,
                     static_cast<WPARAM>(UnitSearchWhen::kBeforeOperation),
                     reinterpret_cast<LPARAM>(&now));
    }
    return now.ready();
}

bool ArrivedComPort(WPARAM event, LPARAM data, char* name, std::size_t size) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (event != DBT_DEVICEARRIVAL || header == nullptr ||
        header->dbch_devicetype != DBT_DEVTYP_PORT || size == 0) {
        return false;
    }
    // The name comes in the window's character set; a wide one is taken letter by letter.
    const char* text = reinterpret_cast<const DEV_BROADCAST_PORT_A*>(header)->dbcp_name;
    const bool wide = text[0] != '\0' && text[1] == '\0';
    std::size_t i = 0;
    for (; i + 1 < size; ++i) {
        const char c =
            wide ? static_cast<char>(reinterpret_cast<const wchar_t*>(text)[i]) : text[i];
        if (c == '\0') break;
        name[i] = c;
    }
    name[i] = '\0';
    return ComPortNumber(name) != 0;  // not a printer port, say
}
