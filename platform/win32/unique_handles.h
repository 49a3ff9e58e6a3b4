#pragma once

#include <windows.h>
#include <oleauto.h>
#include <winsvc.h>

#include <utility>

namespace velkora::win32 {

// Owns one handle and closes it when it goes; Traits says what "no handle" is and how to
// close one.
template <typename Traits> class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    pointer get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

    // For functions that hand a new handle back through a pointer.
    pointer* put() noexcept {
        reset();
        return &handle_;
    }

    pointer release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    void reset(pointer handle = Traits::invalid()) noexcept {
        pointer old = std::exchange(handle_, handle);
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }

private:
    pointer handle_ = Traits::invalid();
};

struct RegistryKeyTraits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer key) noexcept { RegCloseKey(key); }
};

// Process and thread handles: "none" is null.
struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { CloseHandle(handle); }
};

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer handle) noexcept { CloseHandle(handle); }
};

struct HookTraits {
    using pointer = HHOOK;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer hook) noexcept { UnhookWindowsHookEx(hook); }
};

struct ServiceHandleTraits {
    using pointer = SC_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { CloseServiceHandle(handle); }
};

struct LocalMemoryTraits {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer memory) noexcept { LocalFree(memory); }
};

template <typename Object> struct GdiObjectTraits {
    using pointer = Object;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer object) noexcept { DeleteObject(object); }
};

struct BstrTraits {
    using pointer = BSTR;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer text) noexcept { SysFreeString(text); }
};

struct LibraryTraits {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer module) noexcept { FreeLibrary(module); }
};

struct WindowTraits {
    using pointer = HWND;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer window) noexcept { DestroyWindow(window); }
};

struct GlobalMemoryTraits {
    using pointer = HGLOBAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer memory) noexcept { GlobalFree(memory); }
};

using UniqueHkey = UniqueHandle<RegistryKeyTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueHook = UniqueHandle<HookTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueBstr = UniqueHandle<BstrTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueGlobalMemory = UniqueHandle<GlobalMemoryTraits>;

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
