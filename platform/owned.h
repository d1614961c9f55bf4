// One owner for every kind of operating-system handle, in the spirit of WIL's unique_any: a
// kind is one line that names the handle's type, the function that releases it and, where that
// is not a null value, the value that means "none" (win_owned.h has the kinds we use).
// Portable: no Win32 type shows here, so native tests cover it.
#pragma once

#include <utility>

namespace platform {

template <typename T> constexpr T NullValue() noexcept {
    return T{};
}

// Owns one value of type T and releases it with Close(value) when it is reset, replaced or goes
// out of scope; what Close returns is ignored. None() is "nothing owned" and is never released.
template <typename T, auto Close, T (*None)() = &NullValue<T>> class Owned {
public:
    Owned() noexcept = default;
    explicit Owned(T value) noexcept : value_(value) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : value_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Owned() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != None(); }

    // For out-parameters: releases what is owned and hands out the slot to fill.
    T* put() noexcept {
        reset();
        return &value_;
    }

    // Gives the value up without releasing it.
    T release() noexcept { return std::exchange(value_, None()); }

    void reset(T value = None()) noexcept {
        const T old = std::exchange(value_, value);
        if (old != None()) {
            static_cast<void>(Close(old));
        }
    }

private:
    T value_ = None();
};

} // namespace platform
