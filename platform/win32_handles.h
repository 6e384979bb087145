// Move-only owners for Win32 handles, one per release function, so that members and locals
// that own a handle free it exactly once with the right call. Win32 code only.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <utility>

template <typename Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    // Gives the handle up without releasing it; the caller owns it then.
    Handle release() { return std::exchange(handle_, Traits::Invalid()); }

    // Releases what it holds and gives the place an out parameter fills with a new handle.
    Handle* put() {
        reset();
        return &handle_;
    }

    void reset(Handle handle = Traits::Invalid()) {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Invalid();
};

template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteObject(handle); }
};

struct KernelHandleTraits {  // threads, mutexes, mappings: null when absent
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct FileHandleTraits {  // CreateFile results: INVALID_HANDLE_VALUE when absent
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DeleteDC(handle); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { DestroyMenu(handle); }
};

struct GlobalMemoryTraits {  // GlobalAlloc blocks
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle handle) { GlobalFree(handle); }
};

template <typename Interface>
struct ComTraits {  // one reference to a COM object
    using Handle = Interface*;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle object) { object->Release(); }
};

template <typename T>
using UniqueGdi = UniqueResource<GdiObjectTraits<T>>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;
using UniqueGlobal = UniqueResource<GlobalMemoryTraits>;

// Holds one reference to a COM object, taken over from whoever made or handed it out.
template <typename Interface>
class UniqueCom : public UniqueResource<ComTraits<Interface>> {
  public:
    using UniqueResource<ComTraits<Interface>>::UniqueResource;
    Interface* operator->() const { return this->get(); }
};

// A storage medium that GetData filled, released with ReleaseStgMedium when it goes.
class UniqueMedium {
  public:
    UniqueMedium() = default;
    ~UniqueMedium() { reset(); }
    UniqueMedium(const UniqueMedium&) = delete;
    UniqueMedium& operator=(const UniqueMedium&) = delete;

    const STGMEDIUM& get() const { return medium_; }
    // Releases what it holds and gives the place GetData fills.
    STGMEDIUM* put() {
        reset();
        return &medium_;
    }
    void reset() {
        if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
        medium_ = STGMEDIUM{};
    }
    // Gives the medium up without releasing it; the caller owns what it holds then.
    STGMEDIUM release() { return std::exchange(medium_, STGMEDIUM{}); }

  private:
    STGMEDIUM medium_{};
};

// Locks a global memory block and unlocks it when it goes; data() is null when the lock failed.
class GlobalLockScope {
  public:
    explicit GlobalLockScope(HGLOBAL block)
        : block_(block), data_(block != nullptr ? GlobalLock(block) : nullptr) {}
    ~GlobalLockScope() {
        if (data_ != nullptr) GlobalUnlock(block_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* data() const { return data_; }
    SIZE_T size() const { return data_ != nullptr ? GlobalSize(block_) : 0; }

  private:
    HGLOBAL block_;
    void* data_;
};

// A DC from GetDC, released to its window with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }
    const RECT& area() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back when it goes.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves the DC state (mapping mode, clip region, colours ...) and restores it when it goes.
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDcState() {
        if (saved_ != 0) RestoreDC(dc_, saved_);
    }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC dc_;
    int saved_;
};
