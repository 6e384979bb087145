#include "app/unit_search_win.h"

#include <dbt.h>

#include <utility>

#include "device/port_scan.h"
#include "platform/text.h"

namespace {

struct Search {
    LinkHold link;
    HWND window = nullptr;
    UnitSearchWhen when = UnitSearchWhen::kAtStart;
    char onlyPort[25] = {};
    bool one = false;
    UnitPresence result;
};

// The search of its own thread, and its thread: the window thread's, but for the thread's own
// use of the record while it runs (from its start to its post).
Search gSearch;
HANDLE gThread = nullptr;

DWORD WINAPI SearchThread(LPVOID) {
    Search& s = gSearch;
    s.result = FindUnit(s.link, {ScanStart::kUsualOrder, s.one ? s.onlyPort : nullptr, false});
    PostMessageA(s.window, MSG_UNIT_SEARCH_DONE, static_cast<WPARAM>(s.when),
                 reinterpret_cast<LPARAM>(&s.result));
    return 0;
}

}  // namespace

LinkHold FinishUnitSearch() {
    // A thread that has posted its result ends in a moment; one told to stop, at its next step.
    if (gThread == nullptr) return {};
    WaitForSingleObject(gThread, INFINITE);
    CloseHandle(gThread);
    gThread = nullptr;
    return std::move(gSearch.link);
}

bool StartUnitSearch(LinkHold& link, HWND window, UnitSearchWhen when, const char* onlyPort) {
    gSearch.window = window;
    gSearch.when = when;
    gSearch.one = onlyPort != nullptr;
    CopyText(gSearch.onlyPort, sizeof gSearch.onlyPort, gSearch.one ? onlyPort : "");
    gSearch.link = std::move(link);
    DWORD id = 0;
    gThread = CreateThread(nullptr, 0, &SearchThread, nullptr, 0, &id);
    if (gThread == nullptr) link = std::move(gSearch.link);
    return gThread != nullptr;
}

LinkHold EndUnitSearch(UnitLink& link) {
    if (gThread != nullptr) link.Stop();
    return FinishUnitSearch();
}

UnitPresence CheckUnitBeforeOperation(const LinkHold& link, HWND window) {
    UnitPresence now = EnsureUnit(link);
    // A stop after the unit answered still comes before the operation.
    if (link->stopRequested.load() != 0) now.stopped = true;
    if (now.searched || now.stopped) {
        SendMessageA(window, MSG_UNIT_SEARCH_DONE,
                     static_cast<WPARAM>(UnitSearchWhen::kBeforeOperation),
                     reinterpret_cast<LPARAM>(&now));
    }
    return now;
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
