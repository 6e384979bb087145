// HexView32 Find, checksums and compares: a HexSearch, HexChecksumRun or HexCompare driven in
// slices from the control's own message queue, so that the window keeps painting and answers
// Escape while a long run goes on; the match selected, or the differences shown, at the end.
#include "hexview/hexview_instance_win.h"

namespace {

constexpr std::uint32_t kStepBytes = 8u << 20;  // read between two looks at the clock
constexpr DWORD kSliceMs = 25;                  // work between two looks at the queue
constexpr DWORD kProgressMs = 100;              // between two HVN_SCANPROGRESS

// Everything but posted messages: what must not wait behind a chain of slices.
constexpr DWORD kWaiting = QS_ALLINPUT & ~QS_POSTMESSAGE;

HexScanStatus Step(HexViewInstance& inst) {
    if (inst.search) return inst.search->Step(kStepBytes);
    if (inst.checksum) return inst.checksum->Step(kStepBytes);
    return inst.compare->Step(kStepBytes);
}

template <typename Run>
void TakeProgressOf(HexViewInstance& inst, const Run& run) {
    inst.scanInfo.done = run.Done();
    inst.scanInfo.total = run.Total();
}

void TakeProgress(HexViewInstance& inst) {
    if (inst.search) return TakeProgressOf(inst, *inst.search);
    if (inst.checksum) return TakeProgressOf(inst, *inst.checksum);
    TakeProgressOf(inst, *inst.compare);
}

// Posted messages are taken before input, painting and timers, and Wine reads the display's
// events only now and then while posted messages keep coming. So the window's own painting
// (the progress the parent shows) is done here, the system is given the chance to take in what
// waits (the wait with no time reads the display), and when anything does wait the next slice
// comes from a timer, which arrives after it.
void ScheduleSlice(HexViewInstance& inst) {
    RedrawWindow(GetAncestor(inst.hwnd, GA_ROOT), nullptr, nullptr,
                 RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (MsgWaitForMultipleObjectsEx(0, nullptr, 0, kWaiting, MWMO_INPUTAVAILABLE) ==
        WAIT_OBJECT_0) {
        SetTimer(inst.hwnd, kScanTimer, USER_TIMER_MINIMUM, nullptr);
    } else {
        PostMessageA(inst.hwnd, kScanSliceMessage, inst.scanSerial, 0);
    }
}

DWORD Outcome(HexScanStatus status) {
    switch (status) {
        case kHexScanFound: return HVSO_FOUND;
        case kHexScanNotFound: return HVSO_NOTFOUND;
        case kHexScanDone: return HVSO_DONE;
        case kHexScanUnreadable: return HVSO_UNREADABLE;
        default: return HVSO_CHANGED;  // a bad argument is refused before a run starts
    }
}

// The run is over: no edit is refused for it any more when the parent hears of the end.
void Finish(HexViewInstance& inst, DWORD outcome) {
    KillTimer(inst.hwnd, kScanTimer);
    inst.scanInfo.outcome = outcome;
    if (inst.search) {
        inst.scanInfo.wrapped = inst.search->Wrapped() ? 1 : 0;
        if (outcome == HVSO_FOUND) {
            inst.scanInfo.position = inst.search->MatchOffset();
            inst.scanInfo.length = inst.search->MatchLength();
        }
    } else if (inst.checksum) {
        if (outcome == HVSO_DONE) inst.scanInfo.checksums = inst.checksum->Results();
    } else if (outcome == HVSO_DONE) {
        inst.differences = inst.compare->TakeDifferences();
        inst.differencesChange = inst.document.changeCount;
        HexViewInvalidateAll(inst);
    }
    inst.search.reset();
    inst.checksum.reset();
    // The compare first: it borrows what it read.
    inst.compare.reset();
    inst.compareFile.reset();
    std::vector<std::uint8_t>().swap(inst.compareBytes);
    inst.compareImage = SparseImage();
    if (outcome == HVSO_FOUND) {
        // Selected from its end back to its start: the caret stands at the start.
        const std::uint32_t start = inst.scanInfo.position;
        HexViewMoveCaretTo(inst, start, start + inst.scanInfo.length);
    }
    HexViewNotifyParent(inst, HVN_SCANDONE);
}

int StartFind(HexViewInstance& inst, bool backward) {
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    if (inst.findPattern.values.empty()) return HexViewFail(inst, kHexNoPattern);
    std::uint32_t from = inst.caretPos;
    if (!backward && inst.selAnchor != inst.selEnd && inst.caretPos == SelectionMin(inst)) {
        from += 1;  // past the match the caret stands on
    }
    inst.search.emplace(inst.document, inst.findPattern, from, backward);
    HexViewScanInfo info{};
    info.kind = HVSCAN_FIND;
    info.backward = backward ? 1 : 0;
    HexViewStartScan(inst, info);
    return 1;
}

}  // namespace

bool HexViewScanning(const HexViewInstance& inst) {
    return inst.search.has_value() || inst.checksum.has_value() || inst.compare.has_value();
}

// Its first slice comes from the queue.
void HexViewStartScan(HexViewInstance& inst, const HexViewScanInfo& info) {
    inst.scanSerial += 1;
    inst.scanInfo = info;
    inst.scanInfo.outcome = HVSO_RUNNING;
    TakeProgress(inst);
    inst.scanNotifiedTick = GetTickCount();
    inst.lastError = kHexOk;
    PostMessageA(inst.hwnd, kScanSliceMessage, inst.scanSerial, 0);
    HexViewNotifyParent(inst, HVN_SCANPROGRESS);
}

void HexViewOnScanSlice(HexViewInstance& inst, UINT serial) {
    if (!HexViewScanning(inst) || serial != inst.scanSerial) return;  // a run that has ended
    KillTimer(inst.hwnd, kScanTimer);
    const DWORD start = GetTickCount();
    HexScanStatus status;
    do {
        status = Step(inst);
    } while (status == kHexScanMore && GetTickCount() - start < kSliceMs);
    TakeProgress(inst);
    if (status != kHexScanMore) return Finish(inst, Outcome(status));
    // The next slice is asked for first: the parent may end the run when it hears of it.
    ScheduleSlice(inst);
    if (GetTickCount() - inst.scanNotifiedTick >= kProgressMs) {
        inst.scanNotifiedTick = GetTickCount();
        HexViewNotifyParent(inst, HVN_SCANPROGRESS);
    }
}

bool HexViewCancelScan(HexViewInstance& inst) {
    if (!HexViewScanning(inst)) return false;
    Finish(inst, HVSO_CANCELLED);
    return true;
}

int HexViewFind(HWND control, const char* pattern, DWORD flags) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    if (HexViewScanning(*inst)) return HexViewFail(*inst, kHexBusy);
    HexPattern parsed;
    const std::string_view text = pattern != nullptr ? pattern : "";
    const HexPatternError error =
        (flags & HVF_TEXT) != 0 ? HexParseTextPattern(text, (flags & HVF_IGNORECASE) != 0, &parsed)
                                : HexParseHexPattern(text, &parsed);
    if (error != kHexPatternOk) return HexViewFail(*inst, kHexNoPattern);
    inst->findPattern = std::move(parsed);
    return StartFind(*inst, (flags & HVF_BACKWARD) != 0);
}

int HexViewFindNext(HWND control, BOOL backward) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? StartFind(*inst, backward != 0) : 0;
}

int HexViewChecksum(HWND control, DWORD kinds) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    if (HexViewScanning(*inst)) return HexViewFail(*inst, kHexBusy);
    const bool selection = inst->selAnchor != inst->selEnd;
    const std::uint32_t position = selection ? SelectionMin(*inst) : 0;
    const std::uint32_t count = selection ? SelectionLength(*inst) : inst->docSize;
    inst->checksum.emplace(inst->document, position, count, kinds);
    HexViewScanInfo info{};
    info.kind = HVSCAN_CHECKSUM;
    info.position = position;
    info.length = count;
    HexViewStartScan(*inst, info);
    return 1;
}

int HexViewCancelScan(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr && HexViewCancelScan(*inst) ? 1 : 0;
}

int HexViewGetScan(HWND control, HexViewScanInfo* info) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || info == nullptr) return 0;
    *info = inst->scanInfo;
    return 1;
}

int HexViewIsScanning(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr && HexViewScanning(*inst) ? 1 : 0;
}
