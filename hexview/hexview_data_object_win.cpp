// HexView32's selection data object (HexDataObject) and its format enumerator (HexFormatEnum),
// the registered clipboard formats, the snapshot readers and the count of live COM objects.
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "hexview/hexview_names.h"
#include "hexview/hexview_transfer.h"
#include "hexview/hexview_transfer_win.h"

HexClipboardFormats gHexFormats;
IDataObject* gHexClipboardObject = nullptr;

namespace {

LONG gLiveComObjects = 0;
HexSnapshotReader* gReaders = nullptr;  // every reader alive, most recent first

constexpr ULONG kTableCapacity = 10;
constexpr SIZE_T kFileGroupBlockSize = 668;  // a file group descriptor with room for two files
constexpr DWORD kDescriptorFlags = FD_ATTRIBUTES | FD_FILESIZE;

// The entries every data object starts with, in this order; only the snapshot's medium holds
// data, the others are rendered when asked for.
enum OwnEntry : ULONG {
    kEntryByteCount,
    kEntryTextGlobal,
    kEntryFileGroup,
    kEntryFileContents,
    kEntrySnapshot,
    kEntryTextStream,
    kEntrySourceWindow,
    kOwnEntryCount
};

// Blocks handed out are fixed shared memory; the receiver frees them (ReleaseStgMedium).
UniqueGlobal NewBlock(SIZE_T size) {
    return UniqueGlobal(GlobalAlloc(GMEM_DDESHARE | GMEM_ZEROINIT, size));
}

// Hands the block over to the caller's medium.
HRESULT GlobalMedium(UniqueGlobal block, STGMEDIUM* medium) {
    if (!block) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block.release();
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

UniqueGlobal CopyBlock(HGLOBAL source) {
    GlobalLockScope from(source);
    UniqueGlobal block = NewBlock(from.size());
    GlobalLockScope to(block.get());
    if (from.data() == nullptr || to.data() == nullptr) return UniqueGlobal();
    std::memcpy(to.data(), from.data(), from.size());
    return block;
}

class HexFormatEnum final : public HexComObject<IEnumFORMATETC, HexFormatEnum> {
  public:
    HexFormatEnum(const FORMATETC* formats, ULONG count, ULONG index)
        : count_(std::min(count, kTableCapacity)), index_(index) {
        std::copy(formats, formats + count_, formats_);
    }

    static bool Answers(REFIID iid) { return iid == IID_IEnumFORMATETC; }

    STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override {
        if (count == 0 || formats == nullptr || index_ >= count_ ||
            (fetched == nullptr && count != 1)) {
            if (fetched != nullptr) *fetched = 0;
            return S_FALSE;
        }
        const ULONG n = std::min(count, count_ - index_);
        std::copy(formats_ + index_, formats_ + index_ + n, formats);
        index_ += n;
        if (fetched != nullptr) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG n = std::min(count, count_ - std::min(index_, count_));
        index_ += n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        index_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumFORMATETC** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = new (std::nothrow) HexFormatEnum(formats_, count_, index_);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

  private:
    friend class HexComObject<IEnumFORMATETC, HexFormatEnum>;
    ~HexFormatEnum() = default;

    FORMATETC formats_[kTableCapacity]{};  // own copies; no target devices
    ULONG count_;
    ULONG index_;
};

class HexDataObject final : public HexComObject<IDataObject, HexDataObject> {
  public:
    HexDataObject(HWND source, DWORD start, DWORD length)
        : reader_(source), window_(source), start_(start), length_(length) {}

    // Takes the snapshot of the selection and fills the table; false when memory runs out.
    bool Init(HexViewInstance& inst);

    static bool Answers(REFIID iid) { return iid == IID_IDataObject; }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        *out = new (std::nothrow) HexFormatEnum(formats_, count_, 0);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    friend class HexComObject<IDataObject, HexDataObject>;
    ~HexDataObject() {
        if (gHexClipboardObject == this) gHexClipboardObject = nullptr;
    }

    // Takes the medium over.
    void Append(const FORMATETC& format, const STGMEDIUM& medium) {
        formats_[count_] = format;
        formats_[count_].ptd = nullptr;
        *media_[count_].put() = medium;
        ++count_;
    }
    // The first entry with the format, an overlapping medium type and the same aspect; -1.
    int Find(const FORMATETC& format) const {
        for (ULONG i = 0; i < count_; ++i) {
            if (formats_[i].cfFormat == format.cfFormat &&
                (formats_[i].tymed & format.tymed) != 0 &&
                formats_[i].dwAspect == format.dwAspect) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    const HexExtent* Extents() const { return reinterpret_cast<const HexExtent*>(snapshot_ + 1); }
    DWORD ExtentCount() const { return snapshot_->extentCount; }

    HRESULT RenderText(STGMEDIUM* medium) const;
    HRESULT RenderStream(STGMEDIUM* medium) const;
    HRESULT RenderFileGroup(STGMEDIUM* medium) const;
    HRESULT Render(int entry, DWORD tymed, STGMEDIUM* medium) const;
    HRESULT WriteBytesTo(IStream* stream) const;

    HexSnapshotReader reader_;
    HWND window_;  // the source control, as "HexHWND" tells it
    DWORD start_;
    DWORD length_;
    ULONG count_ = 0;
    FORMATETC formats_[kTableCapacity]{};
    UniqueMedium media_[kTableCapacity];
    // The "HexSnapShot!" block of the snapshot entry: fixed memory, so its address stays.
    const HexSnapshotHeader* snapshot_ = nullptr;
    // The virtual file's name, taken with the snapshot: the selection may change before a
    // consumer asks.
    char exportName_[MAX_PATH] = {};
};

bool HexDataObject::Init(HexViewInstance& inst) {
    const std::uint32_t n = HexDocCountExtents(inst.document, start_, length_);
    UniqueGlobal snapshot = NewBlock(sizeof(HexSnapshotHeader) + sizeof(HexExtent) * SIZE_T{n});
    if (!snapshot || n == 0) return false;
    // Fixed memory: the address stays valid after the lock for as long as the block lives.
    auto* header = static_cast<HexSnapshotHeader*>(GlobalLockScope(snapshot.get()).data());
    header->sourceWindow = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window_));
    header->extentCount = n;
    if (!HexDocListExtents(inst.document, reinterpret_cast<HexExtent*>(header + 1), n, start_,
                           length_)) {
        return false;
    }
    snapshot_ = header;

    STGMEDIUM rendered{};  // a medium rendered on request: nothing held
    STGMEDIUM held{};
    held.tymed = TYMED_HGLOBAL;
    held.hGlobal = snapshot.release();
    Append(HexFormat(gHexFormats.byteCount, TYMED_HGLOBAL), rendered);
    Append(HexFormat(CF_TEXT, TYMED_HGLOBAL), rendered);
    Append(HexFormat(gHexFormats.fileGroupDescriptor, TYMED_HGLOBAL), rendered);
    Append(HexFormat(gHexFormats.fileContents, TYMED_ISTREAM), rendered);
    Append(HexFormat(gHexFormats.snapshot, TYMED_HGLOBAL), held);
    Append(HexFormat(CF_TEXT, TYMED_ISTREAM), rendered);
    Append(HexFormat(gHexFormats.sourceWindow, TYMED_HGLOBAL), rendered);

    HexViewSnapshotName(window_, exportName_);
    if (exportName_[0] == '\0') {
        HexViewFormatSnapshotName(kHexUnnamedExport, inst.selAnchor, inst.selEnd, exportName_,
                                  sizeof exportName_);
    }
    return true;
}

HRESULT HexDataObject::RenderText(STGMEDIUM* medium) const {
    if (length_ == 0xFFFFFFFF) return E_OUTOFMEMORY;  // no room for the terminating zero
    UniqueGlobal block = NewBlock(SIZE_T{length_} + 1);
    if (!block) return E_OUTOFMEMORY;
    std::uint32_t copied = 0;
    {
        GlobalLockScope bytes(block.get());
        copied = reader_.Read(Extents(), ExtentCount(), bytes.data(), 0, length_);
    }
    // The document is gone: no bytes rather than wrong ones.
    if (copied != length_) return E_FAIL;
    return GlobalMedium(std::move(block), medium);
}

HRESULT HexDataObject::RenderStream(STGMEDIUM* medium) const {
    if (reader_.source() == nullptr) return E_FAIL;
    UniqueCom<IStream> stream =
        HexCreateSelectionStream(reader_.source(), Extents(), ExtentCount(), length_);
    if (!stream) return E_OUTOFMEMORY;
    medium->tymed = TYMED_ISTREAM;
    medium->pstm = stream.release();
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT HexDataObject::RenderFileGroup(STGMEDIUM* medium) const {
    UniqueGlobal block = NewBlock(kFileGroupBlockSize);
    if (!block) return E_OUTOFMEMORY;
    {
        GlobalLockScope locked(block.get());
        auto* group = static_cast<FILEGROUPDESCRIPTORA*>(locked.data());
        group->cItems = 1;
        FILEDESCRIPTORA& file = group->fgd[0];
        file.dwFlags = kDescriptorFlags;
        file.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        file.nFileSizeHigh = 0;
        file.nFileSizeLow = length_;
        std::memcpy(file.cFileName, exportName_, sizeof file.cFileName);
    }
    return GlobalMedium(std::move(block), medium);
}

HRESULT HexDataObject::Render(int entry, DWORD tymed, STGMEDIUM* medium) const {
    const UINT format = formats_[entry].cfFormat;
    if (format == gHexFormats.byteCount) return GlobalMedium(HexDwordBlock(length_), medium);
    if (format == CF_TEXT) {
        if ((tymed & TYMED_ISTREAM) != 0) return RenderStream(medium);
        if ((tymed & TYMED_HGLOBAL) != 0) return RenderText(medium);
        return DV_E_FORMATETC;
    }
    if (format == gHexFormats.fileGroupDescriptor) return RenderFileGroup(medium);
    if (format == gHexFormats.fileContents) return RenderStream(medium);
    if (format == gHexFormats.sourceWindow) {
        return GlobalMedium(HexDwordBlock(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window_))),
                            medium);
    }
    // The snapshot, and blocks that a consumer stored with SetData: a copy of what is held.
    const STGMEDIUM& held = media_[entry].get();
    if (held.tymed == TYMED_HGLOBAL && held.hGlobal != nullptr) {
        return GlobalMedium(CopyBlock(held.hGlobal), medium);
    }
    return DV_E_FORMATETC;
}

STDMETHODIMP HexDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    const int entry = Find(*format);
    if (entry < 0) return DV_E_FORMATETC;
    return Render(entry, format->tymed, medium);
}

HRESULT HexDataObject::WriteBytesTo(IStream* stream) const {
    if (reader_.source() == nullptr) return E_FAIL;
    constexpr std::uint32_t kStep = 0x10000;
    auto* buffer = new (std::nothrow) std::uint8_t[kStep];
    if (buffer == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    for (std::uint32_t done = 0; done < length_ && SUCCEEDED(hr);) {
        const std::uint32_t got = reader_.Read(Extents(), ExtentCount(), buffer, done,
                                               std::min<std::uint32_t>(kStep, length_ - done));
        if (got == 0) {
            hr = E_FAIL;
            break;
        }
        ULONG written = 0;
        hr = stream->Write(buffer, got, &written);
        if (SUCCEEDED(hr) && written != got) hr = STG_E_MEDIUMFULL;
        done += got;
    }
    delete[] buffer;
    return hr;
}

// Renders into the caller's medium: a global block big enough for the rendering, or, for the
// formats offered as streams, a stream the bytes are written to.
STDMETHODIMP HexDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const UINT cf = format->cfFormat;
    if (medium->tymed == TYMED_ISTREAM && medium->pstm != nullptr &&
        (cf == CF_TEXT || cf == gHexFormats.fileContents)) {
        return WriteBytesTo(medium->pstm);
    }
    if (medium->tymed != TYMED_HGLOBAL || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    GlobalLockScope target(medium->hGlobal);
    if (target.data() == nullptr) return E_OUTOFMEMORY;
    const SIZE_T room = target.size();
    if (cf == CF_TEXT) {  // the bytes straight into the block, without a copy on the way
        if (room < length_) return STG_E_MEDIUMFULL;
        if (reader_.Read(Extents(), ExtentCount(), target.data(), 0, length_) != length_) {
            return E_FAIL;
        }
        if (room > length_) static_cast<char*>(target.data())[length_] = '\0';
        return S_OK;
    }
    UniqueMedium rendered;
    FORMATETC global = *format;
    global.tymed = TYMED_HGLOBAL;
    const HRESULT hr = GetData(&global, rendered.put());
    if (FAILED(hr)) return hr;
    GlobalLockScope source(rendered.get().hGlobal);
    if (room < source.size()) return STG_E_MEDIUMFULL;
    std::memcpy(target.data(), source.data(), source.size());
    return S_OK;
}

STDMETHODIMP HexDataObject::QueryGetData(FORMATETC* format) {
    if (format == nullptr) return E_INVALIDARG;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return Find(*format) >= 0 ? S_OK : DV_E_TYMED;
}

// Stores a consumer's block (the shell records effects this way). A stored format replaces an
// earlier one of the same format and medium type, so repeated calls do not fill the table.
STDMETHODIMP HexDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (!release) return E_FAIL;
    for (ULONG i = kOwnEntryCount; i < count_; ++i) {
        if (formats_[i].cfFormat == format->cfFormat && formats_[i].tymed == format->tymed) {
            *media_[i].put() = *medium;
            return S_OK;
        }
    }
    if (count_ == kTableCapacity) return E_FAIL;
    Append(*format, *medium);
    return S_OK;
}

}  // namespace

void RegisterHexViewClipboardFormats() {
    gHexFormats.fileName = RegisterClipboardFormatA("FileName");
    gHexFormats.fileGroupDescriptor = RegisterClipboardFormatA("FileGroupDescriptor");
    gHexFormats.fileContents = RegisterClipboardFormatA("FileContents");
    gHexFormats.byteCount = RegisterClipboardFormatA("RLE32HexBinary");
    gHexFormats.snapshot = RegisterClipboardFormatA("HexSnapShot!");
    gHexFormats.sourceWindow = RegisterClipboardFormatA("HexHWND");
}

long HexViewLiveComObjects() {
    return gLiveComObjects;
}

HexComLife::HexComLife() {
    InterlockedIncrement(&gLiveComObjects);
}
HexComLife::~HexComLife() {
    InterlockedDecrement(&gLiveComObjects);
}

HexSnapshotReader::HexSnapshotReader(HWND source) : source_(source), next_(gReaders) {
    if (gReaders != nullptr) gReaders->prev_ = this;
    gReaders = this;
}

HexSnapshotReader::~HexSnapshotReader() {
    if (prev_ != nullptr) prev_->next_ = next_;
    if (next_ != nullptr) next_->prev_ = prev_;
    if (gReaders == this) gReaders = next_;
}

std::uint32_t HexSnapshotReader::Read(const HexExtent* extents, std::uint32_t extentCount,
                                      void* destination, std::uint32_t skip,
                                      std::uint32_t count) const {
    if (source_ == nullptr) return 0;
    return HexViewReadExtents(source_, extents, extentCount, destination, skip, count);
}

void HexSnapshotReader::DetachAll(HWND source) {
    for (HexSnapshotReader* reader = gReaders; reader != nullptr; reader = reader->next_) {
        if (reader->source_ == source) reader->source_ = nullptr;
    }
}

UniqueCom<IDataObject> HexViewCreateDataObject(HexViewInstance& inst) {
    auto* made =
        new (std::nothrow) HexDataObject(inst.hwnd, SelectionMin(inst), SelectionLength(inst));
    UniqueCom<IDataObject> data(made);
    if (made != nullptr && !made->Init(inst)) data.reset();
    return data;
}

bool HexOffers(IDataObject* data, UINT format) {
    FORMATETC query = HexFormat(format, TYMED_HGLOBAL);
    return data->QueryGetData(&query) == S_OK;
}

HexFetchedBlock::HexFetchedBlock(IDataObject* data, UINT format) {
    FORMATETC query = HexFormat(format, TYMED_HGLOBAL);
    if (SUCCEEDED(data->GetData(&query, medium_.put())) && medium_.get().tymed == TYMED_HGLOBAL) {
        lock_.emplace(medium_.get().hGlobal);
        if (lock_->data() == nullptr) lock_.reset();
    }
}

UniqueGlobal HexDwordBlock(DWORD value) {
    UniqueGlobal block = NewBlock(sizeof value);
    GlobalLockScope locked(block.get());
    if (locked.data() == nullptr) return UniqueGlobal();
    std::memcpy(locked.data(), &value, sizeof value);
    return block;
}
