#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

// An owning wrapper for a Win32 handle-like value: closes it once, can be moved,
// never copied. Traits give the invalid value and the close call.
template <typename Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Value value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Value get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    Value release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(Value value = Traits::invalid()) noexcept {
        Value old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    Value value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::CloseHandle(v); }
};
// CreateFile and CreateNamedPipe report failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Value = HANDLE;
    static Value invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Value v) noexcept { ::CloseHandle(v); }
};
struct RegKeyTraits {
    using Value = HKEY;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::RegCloseKey(v); }
};
struct GdiObjectTraits {
    using Value = HGDIOBJ;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::DeleteObject(v); }
};
struct ModuleTraits {
    using Value = HMODULE;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::FreeLibrary(v); }
};
struct WindowTraits {
    using Value = HWND;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::DestroyWindow(v); }
};
struct MenuTraits {
    using Value = HMENU;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::DestroyMenu(v); }
};
// A DC made by CreateCompatibleDC (one from GetDC is a WindowDC).
struct MemoryDCTraits {
    using Value = HDC;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::DeleteDC(v); }
};
struct IconTraits {
    using Value = HICON;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept { ::DestroyIcon(v); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueMemoryDC = UniqueHandle<MemoryDCTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;

// Releases a DC obtained with GetDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() { if (dc_) ::ReleaseDC(window_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a DC and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectedObject() { ::SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Joins COM on this thread for the object's lifetime.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : result_(::CoInitializeEx(nullptr, model)) {}
    ~ComApartment() { if (SUCCEEDED(result_)) ::CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT result() const noexcept { return result_; }

private:
    HRESULT result_;
};
