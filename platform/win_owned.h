// Owners for Win32 handles, device contexts and COM objects. Included only by platform sources
// (and the test programs).
#pragma once

#include "owned.h"

#include <windows.h>
#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace platform {

// The "none" of the handles that CreateFileW and CreateToolhelp32Snapshot return.
inline HANDLE InvalidHandleValue() noexcept {
    return INVALID_HANDLE_VALUE;
}

// One line per kind: the handle, the function that releases it, and its "none" where that is
// not null.
using OwnedKey = Owned<HKEY, &::RegCloseKey>;
using OwnedHandle = Owned<HANDLE, &::CloseHandle>; // processes, threads, events
using OwnedFileHandle = Owned<HANDLE, &::CloseHandle, &InvalidHandleValue>; // files, snapshots
using OwnedModule = Owned<HMODULE, &::FreeLibrary>;
using OwnedFont = Owned<HFONT, &::DeleteObject>;
using OwnedBitmap = Owned<HBITMAP, &::DeleteObject>;
using OwnedIcon = Owned<HICON, &::DestroyIcon>;
using OwnedHook = Owned<HHOOK, &::UnhookWindowsHookEx>;
using OwnedDc = Owned<HDC, &::DeleteDC>; // from CreateCompatibleDC
using OwnedBstr = Owned<BSTR, &::SysFreeString>;
template <typename T> using OwnedLocal = Owned<T, &::LocalFree>; // LocalAlloc'd for the caller

// A device context from GetDC: of the window's client area, of the screen for a null window.
// ReleaseDC needs the window as well as the context.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context while the owner lives; then the object it replaced
// is selected again, so that the object can be deleted and the context released. Nothing is
// selected into a null context or for a null object.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc),
          previous_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer that releases its reference.
template <typename I> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    I* get() const noexcept { return ptr_; }
    I* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    I** put() noexcept {
        reset();
        return &ptr_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (ptr_ != nullptr) {
            std::exchange(ptr_, nullptr)->Release();
        }
    }

private:
    I* ptr_ = nullptr;
};

// A VARIANT that is cleared when it goes out of scope.
class OwnedVariant {
public:
    OwnedVariant() noexcept { ::VariantInit(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { ::VariantClear(&value_); }

    VARIANT* get() noexcept { return &value_; }
    const VARIANT& value() const noexcept { return value_; }

private:
    VARIANT value_;
};

// COM for the calling thread, apartment-threaded, undone when the owner goes.
class ComApartment {
public:
    ComApartment() noexcept
        : ok_(SUCCEEDED(
              ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (ok_) {
            ::CoUninitialize();
        }
    }

private:
    bool ok_;
};

} // namespace platform
