#include "accessible_names.h"

namespace platform {
namespace {

// Microsoft's values, defined here so that nothing of oleacc's import library is linked.
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID kAccName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

constexpr DWORD kClient = static_cast<DWORD>(OBJID_CLIENT);

} // namespace

void AccessibleNames::Set(HWND control, const std::wstring& name) {
    if (!service_ && FAILED(::CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                               kIAccPropServices, service_.put_void()))) {
        service_.reset();
        return;
    }
    if (SUCCEEDED(
            service_->SetHwndPropStr(control, kClient, CHILDID_SELF, kAccName, name.c_str()))) {
        named_.push_back(control);
    }
}

void AccessibleNames::Clear() noexcept {
    for (HWND control : named_) {
        service_->ClearHwndProps(control, kClient, CHILDID_SELF, &kAccName, 1);
    }
    named_.clear();
}

} // namespace platform
