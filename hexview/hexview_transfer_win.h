// HexView32 clipboard and drag and drop: the registered formats, the selection data object
// (HexDataObject) with its format enumerator (HexFormatEnum) and read-only stream
// (HexSelectionStream), the drop source and drop target. Internal to the control
// (hexview/*_win.cpp) and its tests.
//
// A data object holds a snapshot of the selection as extents of the source control's document
// and renders bytes only when asked. Data objects and streams read through their source control
// while its document lives; the control cuts them off (HexSnapshotReader::DetachAll) before the
// document closes, after which they render nothing.
//
// COM objects are created with a reference count of 1 that belongs to the creator; every
// object is freed by the Release that takes its count to 0. Window thread only (single-threaded
// apartment): OLE calls them on the thread that created them.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <optional>

#include "document/hex_document.h"
#include "hexview/hexview_instance_win.h"
#include "platform/win32_handles.h"

// Clipboard formats registered for the control ("FileName" ... "HexHWND"); CF_TEXT is standard.
struct HexClipboardFormats {
    UINT fileName = 0;             // a dropped file's path (ANSI)
    UINT fileGroupDescriptor = 0;  // the selection as a virtual file: its name and size
    UINT fileContents = 0;         // ... and its bytes, as a stream
    UINT byteCount = 0;            // "RLE32HexBinary": the selection's exact length, 32 bits
    UINT snapshot = 0;             // "HexSnapShot!": source window, extent count, extents
    UINT sourceWindow = 0;         // "HexHWND": the source control's window
};
extern HexClipboardFormats gHexFormats;

// The COM objects of the control alive in the process (for tests of their reference counts).
long HexViewLiveComObjects();

// Counts one COM object among the live ones for as long as it exists.
class HexComLife {
  public:
    HexComLife();
    ~HexComLife();
    HexComLife(const HexComLife&) = delete;
    HexComLife& operator=(const HexComLife&) = delete;
};

// IUnknown of a hand-written COM object that implements Interface: an interlocked reference
// count that starts at 1, freed by the Release that takes it to 0. QueryInterface answers
// IUnknown and whatever Derived::Answers (iid) accepts.
template <typename Interface, typename Derived>
class HexComObject : public Interface {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || Derived::Answers(iid)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

  protected:
    HexComObject() = default;
    ~HexComObject() = default;
    HexComObject(const HexComObject&) = delete;
    HexComObject& operator=(const HexComObject&) = delete;

  private:
    LONG refs_ = 1;
    HexComLife life_;
};

// The "HexSnapShot!" block: the source window, the number of extents, then the extents.
struct HexSnapshotHeader {
    DWORD sourceWindow;
    DWORD extentCount;
};
static_assert(sizeof(HexSnapshotHeader) == 8);

// Something that reads a control's document through extents (a data object, a stream). It is
// linked into a process-wide list while it lives, so that the control can cut every reader of
// its document off before the document closes and the extents lose their meaning.
class HexSnapshotReader {
  public:
    explicit HexSnapshotReader(HWND source);
    ~HexSnapshotReader();
    HexSnapshotReader(const HexSnapshotReader&) = delete;
    HexSnapshotReader& operator=(const HexSnapshotReader&) = delete;

    // The control whose document the extents name; null once it was cut off.
    HWND source() const { return source_; }
    // Copies count bytes after skip from the extents; the bytes copied (0 once cut off).
    std::uint32_t Read(const HexExtent* extents, std::uint32_t extentCount, void* destination,
                       std::uint32_t skip, std::uint32_t count) const;

    // Cuts off every reader of source's document.
    static void DetachAll(HWND source);

  private:
    HWND source_;
    HexSnapshotReader* prev_ = nullptr;
    HexSnapshotReader* next_ = nullptr;
};

// A new data object for the control's current selection (not empty); empty when it cannot be
// made.
UniqueCom<IDataObject> HexViewCreateDataObject(HexViewInstance& inst);

// A new stream over a copy of the snapshot's extents; empty when it cannot be made.
UniqueCom<IStream> HexCreateSelectionStream(HWND source, const HexExtent* extents,
                                            std::uint32_t extentCount, std::uint32_t size);

// The data object most recently put on the clipboard by any HexView32 control, null when there
// is none. Borrowed: it holds no reference, and is cleared when that object goes.
extern IDataObject* gHexClipboardObject;

// A request for a format on a medium: content aspect, any index, no target device.
inline FORMATETC HexFormat(UINT format, DWORD tymed) {
    return FORMATETC{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, tymed};
}

// Whether the data object offers the format as a global block.
bool HexOffers(IDataObject* data, UINT format);

// A global block of a format that a data object renders, locked while this lives; bytes() is
// null when the object gave no such block.
class HexFetchedBlock {
  public:
    HexFetchedBlock(IDataObject* data, UINT format);
    const std::uint8_t* bytes() const {
        return lock_ ? static_cast<const std::uint8_t*>(lock_->data()) : nullptr;
    }
    SIZE_T size() const { return lock_ ? lock_->size() : 0; }

  private:
    UniqueMedium medium_;
    std::optional<GlobalLockScope> lock_;  // goes before the medium it locks
};

// A new global block of 4 bytes holding value, as the count and window formats carry it; empty
// when it cannot be made.
UniqueGlobal HexDwordBlock(DWORD value);
