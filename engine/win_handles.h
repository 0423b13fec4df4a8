// Move-only owners for Windows handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

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
