// Owners for Windows handles: each closes or gives back its handle exactly once.
// Kernel objects, listings and registry keys have move-only holders; GDI objects
// and device contexts have scoped ones for the window code; COM has holders for
// its apartment, its interfaces and its strings.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

template <typename Traits>
class UniqueWinHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueWinHandle() = default;
    explicit UniqueWinHandle(Handle handle) : handle_(handle) {}
    ~UniqueWinHandle() { reset(); }

    UniqueWinHandle(const UniqueWinHandle&) = delete;
    UniqueWinHandle& operator=(const UniqueWinHandle&) = delete;
    UniqueWinHandle(UniqueWinHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Empty())) {}
    UniqueWinHandle& operator=(UniqueWinHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::Empty());
        }
        return *this;
    }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::Empty() && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }

    void reset(Handle handle = Traits::Empty()) {
        if (valid())
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { FindClose(h); }
};

// CloseHandle: processes, threads, snapshots, files, events.
using UniqueHandle = UniqueWinHandle<KernelHandleTraits>;
// FindClose: directory listings from FindFirstFileW.
using UniqueFindHandle = UniqueWinHandle<FindHandleTraits>;

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

// RegCloseKey: keys from RegOpenKeyExW and RegCreateKeyExW.
using UniqueRegistryKey = UniqueWinHandle<RegistryKeyTraits>;

// ---- GDI objects and device contexts ------------------------------------------

// Deletes a brush, pen or other GDI object it created.
template <typename Object>
class ScopedGdiObject {
public:
    explicit ScopedGdiObject(Object object) : object_(object) {}
    ~ScopedGdiObject() {
        if (object_)
            DeleteObject(object_);
    }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    Object get() const { return object_; }

private:
    Object object_;
};

using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedPen = ScopedGdiObject<HPEN>;

// Selects an object into a device context and puts the previous one back, so the
// object can be deleted while the device context lives on.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// GetDC/ReleaseDC for a window, or for the screen with a null window.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedWindowDC() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint around one WM_PAINT.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_ = nullptr;
};

// ---- COM ---------------------------------------------------------------------------

// Initialises COM on the calling thread (single-threaded apartment) and undoes
// it on destruction, only when this holder's call succeeded. A thread already in
// the other apartment kind (RPC_E_CHANGED_MODE) can still use COM: ready() is true
// and nothing is undone. Create and destroy it on the same thread.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool ready() const { return ready_; }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
    bool ready_;
};

// Owns one reference to a COM interface and releases it once.
template <typename Interface>
class ComHolder {
public:
    ComHolder() = default;
    ~ComHolder() { reset(); }
    ComHolder(const ComHolder&) = delete;
    ComHolder& operator=(const ComHolder&) = delete;
    ComHolder(ComHolder&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComHolder& operator=(ComHolder&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For a call that hands out a new reference: releases the old one first.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// Owns a BSTR and frees it once.
class BstrHolder {
public:
    BstrHolder() = default;
    explicit BstrHolder(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~BstrHolder() { SysFreeString(text_); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;

    BSTR get() const { return text_; }
    BSTR* put() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    // The text ("" for a null BSTR, which COM treats as empty).
    std::wstring text() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }

private:
    BSTR text_ = nullptr;
};

// "0x80070005" and the like, for lines that name a failed call.
std::wstring HresultText(HRESULT result);
