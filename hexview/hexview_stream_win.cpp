// HexView32's read-only stream over a snapshot of a selection (HexSelectionStream): how a
// pasting control and the shell's "FileContents" reader get the bytes, in pieces, without a
// copy of the whole selection.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "hexview/hexview_transfer_win.h"

namespace {

constexpr wchar_t kStreamName[] = L"Bytes";  // what Stat reports as the stream's name
constexpr ULONG kCopyPiece = 65535;          // most bytes moved per step of CopyTo

FILETIME Now() {
    FILETIME now{};
    CoFileTimeNow(&now);
    return now;
}

class HexSelectionStream final : public HexComObject<IStream, HexSelectionStream> {
  public:
    HexSelectionStream(HWND source, std::unique_ptr<HexExtent[]> extents, std::uint32_t extentCount,
                       ULONGLONG size, ULONGLONG position)
        : reader_(source),
          extents_(std::move(extents)),
          extentCount_(extentCount),
          size_(size),
          position_(position) {
        stat_.type = STGTY_STREAM;
        stat_.cbSize.QuadPart = size;
        stat_.mtime = stat_.ctime = stat_.atime = Now();
    }

    static bool Answers(REFIID iid) { return iid == IID_IStream || iid == IID_ISequentialStream; }

    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override;
    // Nothing can be written into a snapshot; saying so is better than pretending it worked.
    STDMETHODIMP Write(const void* buffer, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        return STG_E_ACCESSDENIED;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override {
        size_ = size.QuadPart;
        stat_.cbSize = size;
        stat_.mtime = Now();
        return S_OK;
    }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                        ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP Stat(STATSTG* record, DWORD flag) override;
    STDMETHODIMP Clone(IStream** out) override {
        if (out == nullptr) return STG_E_INVALIDPOINTER;
        *out = Make(reader_.source(), extents_.get(), extentCount_, size_, position_);
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    static IStream* Make(HWND source, const HexExtent* extents, std::uint32_t extentCount,
                         ULONGLONG size, ULONGLONG position) {
        std::unique_ptr<HexExtent[]> copy(new (std::nothrow) HexExtent[extentCount]);
        if (copy == nullptr) return nullptr;
        std::copy(extents, extents + extentCount, copy.get());
        return new (std::nothrow)
            HexSelectionStream(source, std::move(copy), extentCount, size, position);
    }

  private:
    friend class HexComObject<IStream, HexSelectionStream>;
    ~HexSelectionStream() = default;

    HexSnapshotReader reader_;
    std::unique_ptr<HexExtent[]> extents_;  // own copy: the stream may outlive its data object
    std::uint32_t extentCount_;
    STATSTG stat_{};
    ULONGLONG size_;
    ULONGLONG position_;
};

STDMETHODIMP HexSelectionStream::Read(void* buffer, ULONG count, ULONG* read) {
    if (read != nullptr) *read = 0;
    if (buffer == nullptr) return STG_E_INVALIDPOINTER;
    if (position_ >= size_) return S_FALSE;
    if (reader_.source() == nullptr) return STG_E_REVERTED;  // the document has gone
    const auto want = static_cast<std::uint32_t>(std::min<ULONGLONG>(count, size_ - position_));
    const std::uint32_t got = reader_.Read(extents_.get(), extentCount_, buffer,
                                           static_cast<std::uint32_t>(position_), want);
    position_ += got;
    if (read != nullptr) *read = got;
    stat_.mtime = Now();
    return got > 0 ? S_OK : S_FALSE;
}

STDMETHODIMP HexSelectionStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    LONGLONG base;
    switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
        case STREAM_SEEK_END: base = static_cast<LONGLONG>(size_); break;
        default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<ULONGLONG>(target);
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
}

// Both totals are optional: OLE's own clipboard code passes neither.
STDMETHODIMP HexSelectionStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                        ULARGE_INTEGER* written) {
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    ULONGLONG left = count.QuadPart == ~0ULL ? size_ : count.QuadPart;
    ULONGLONG readTotal = 0;
    ULONGLONG writtenTotal = 0;
    std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[kCopyPiece]);
    if (piece == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    while (left > 0) {
        ULONG got = 0;
        hr = Read(piece.get(), static_cast<ULONG>(std::min<ULONGLONG>(left, kCopyPiece)), &got);
        if (FAILED(hr) || got == 0) break;
        ULONG put = 0;
        hr = target->Write(piece.get(), got, &put);
        readTotal += got;
        writtenTotal += put;
        if (FAILED(hr)) break;
        left -= got;
    }
    if (read != nullptr) read->QuadPart = readTotal;
    if (written != nullptr) written->QuadPart = writtenTotal;
    return FAILED(hr) ? hr : S_OK;
}

STDMETHODIMP HexSelectionStream::Stat(STATSTG* record, DWORD flag) {
    if (record == nullptr) return STG_E_INVALIDPOINTER;
    if (flag != STATFLAG_DEFAULT && flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    *record = stat_;
    record->pwcsName = nullptr;
    if (flag == STATFLAG_DEFAULT) {
        record->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kStreamName));
        if (record->pwcsName == nullptr) return STG_E_INSUFFICIENTMEMORY;
        std::memcpy(record->pwcsName, kStreamName, sizeof kStreamName);
    }
    return S_OK;
}

}  // namespace

UniqueCom<IStream> HexCreateSelectionStream(HWND source, const HexExtent* extents,
                                            std::uint32_t extentCount, std::uint32_t size) {
    return UniqueCom<IStream>(HexSelectionStream::Make(source, extents, extentCount, size, 0));
}
