// Small owners for operating-system resources: one generic template in the spirit of
// unique_ptr, for handles whose "none" value and release function differ by kind.
#pragma once

#include <utility>

namespace platform {

// Owns one resource of type T; Close is a function object that releases it. A value equal to
// Invalid() is "nothing owned".
template <typename T, typename Close, T (*Invalid)()> class Owned {
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
    explicit operator bool() const noexcept { return value_ != Invalid(); }

    // For out-parameters: releases what is owned and hands out the slot to fill.
    T* put() noexcept {
        reset();
        return &value_;
    }

    T release() noexcept { return std::exchange(value_, Invalid()); }

    void reset(T value = Invalid()) noexcept {
        T old = std::exchange(value_, value);
        if (old != Invalid()) {
            Close{}(old);
        }
    }

private:
    T value_ = Invalid();
};

template <typename T> constexpr T NullValue() {
    return T{};
}

} // namespace platform
