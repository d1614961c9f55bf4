// Owners for Win32 handles and COM objects. Included only by platform sources.
#pragma once

#include "owned.h"

#include <windows.h>
#include <oaidl.h>

#include <utility>

namespace platform {

struct CloseKey {
    void operator()(HKEY key) const noexcept { ::RegCloseKey(key); }
};
using OwnedKey = Owned<HKEY, CloseKey, NullValue<HKEY>>;

struct CloseHandleFn {
    void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using OwnedHandle = Owned<HANDLE, CloseHandleFn, NullValue<HANDLE>>;

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const noexcept { ::DeleteObject(object); }
};
using OwnedFont = Owned<HFONT, DeleteGdiObject, NullValue<HFONT>>;
using OwnedBitmap = Owned<HBITMAP, DeleteGdiObject, NullValue<HBITMAP>>;

struct DestroyIconFn {
    void operator()(HICON icon) const noexcept { ::DestroyIcon(icon); }
};
using OwnedIcon = Owned<HICON, DestroyIconFn, NullValue<HICON>>;

struct FreeBstr {
    void operator()(BSTR text) const noexcept { ::SysFreeString(text); }
};
using OwnedBstr = Owned<BSTR, FreeBstr, NullValue<BSTR>>;

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
