#pragma once

#include <windows.h>
#include <oleauto.h>
#include <winsvc.h>

#include <utility>

#include "platform/non_copyable.h"

namespace velkora::win32 {

// "No handle" is null for most handle types.
template <typename Handle> struct NullIsNone {
    static Handle none() noexcept { return nullptr; }
};

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not null.
struct InvalidHandleValueIsNone {
    static HANDLE none() noexcept { return INVALID_HANDLE_VALUE; }
};

// Owns one handle and hands it to Close when it goes.
template <typename Handle, auto Close, typename None = NullIsNone<Handle>> class Unique {
public:
    using pointer = Handle;

    Unique() noexcept = default;
    explicit Unique(Handle handle) noexcept : handle_(handle) {}
    ~Unique() { reset(); }

    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != None::none(); }

    // For functions that hand a new handle back through a pointer.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

    Handle release() noexcept { return std::exchange(handle_, None::none()); }

    void reset(Handle handle = None::none()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != None::none()) {
            Close(old);
        }
    }

private:
    Handle handle_ = None::none();
};

using UniqueHkey = Unique<HKEY, &::RegCloseKey>;
using UniqueKernelHandle = Unique<HANDLE, &::CloseHandle>; // processes, threads
using UniqueFile = Unique<HANDLE, &::CloseHandle, InvalidHandleValueIsNone>;
using UniqueHook = Unique<HHOOK, &::UnhookWindowsHookEx>;
using UniqueServiceHandle = Unique<SC_HANDLE, &::CloseServiceHandle>;
using UniqueLocalMemory = Unique<HLOCAL, &::LocalFree>;
using UniqueGlobalMemory = Unique<HGLOBAL, &::GlobalFree>;
using UniqueFont = Unique<HFONT, &::DeleteObject>;
using UniqueBitmap = Unique<HBITMAP, &::DeleteObject>;
using UniqueMemoryDc = Unique<HDC, &::DeleteDC>; // from CreateCompatibleDC
using UniqueBstr = Unique<BSTR, &::SysFreeString>;
using UniqueLibrary = Unique<HMODULE, &::FreeLibrary>;
using UniqueWindow = Unique<HWND, &::DestroyWindow>;

// A window's device context from GetDC, released to that window when it goes.
class WindowDc : NonCopyable {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context; the one it replaced goes back when it goes.
class SelectedObject : NonCopyable {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A function looked up at run time; GCC accepts the cast only through void (*)().
template <typename Function> Function loadProcedure(HMODULE module, const char* name) {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Holds one reference to a COM object and releases it when it goes.
template <typename Interface> class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }

    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const noexcept { return object_; }
    Interface* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    Interface** put() noexcept {
        reset();
        return &object_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (Interface* old = std::exchange(object_, nullptr)) {
            old->Release();
        }
    }

private:
    Interface* object_ = nullptr;
};

} // namespace velkora::win32
