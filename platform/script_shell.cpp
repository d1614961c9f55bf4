#include "script_shell.h"

#include "win_owned.h"

#include <array>
#include <span>

namespace platform {
namespace {

ComPtr<IDispatch> CreateObject(const std::wstring& progId) {
    ComPtr<IDispatch> object;
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(progId.c_str(), &clsid))) {
        return object;
    }
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IDispatch, object.put_void()))) {
        object.reset();
    }
    return object;
}

// Calls the named method with text arguments, given in their natural order.
HRESULT CallWithTexts(IDispatch* object, const wchar_t* method,
                      std::span<const std::wstring* const> texts, VARIANT* result) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(method);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    std::array<OwnedBstr, 3> strings;
    std::array<VARIANT, 3> args{};
    const std::size_t count = texts.size();
    for (std::size_t i = 0; i < count; ++i) {
        // IDispatch takes its arguments last first.
        OwnedBstr& text = strings[count - 1 - i];
        text.reset(::SysAllocStringLen(texts[i]->data(), static_cast<UINT>(texts[i]->size())));
        if (!text) {
            return E_OUTOFMEMORY;
        }
        VARIANT& arg = args[count - 1 - i];
        ::VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = text.get();
    }
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(count), 0};
    EXCEPINFO exception{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                        &exception, nullptr);
    // The exception record's texts are ours to free.
    OwnedBstr source(exception.bstrSource);
    OwnedBstr description(exception.bstrDescription);
    OwnedBstr help(exception.bstrHelpFile);
    return hr;
}

} // namespace

bool ScriptShellRegWrite(const std::wstring& progId, const std::wstring& path,
                         const std::wstring& value, const std::wstring& type) {
    ComApartment apartment;
    ComPtr<IDispatch> shell = CreateObject(progId);
    if (!shell) {
        return false;
    }
    const std::array<const std::wstring*, 3> texts{&path, &value, &type};
    OwnedVariant ignored;
    return SUCCEEDED(CallWithTexts(shell.get(), L"RegWrite", texts, ignored.get()));
}

std::optional<std::wstring> ScriptShellRegRead(const std::wstring& progId,
                                               const std::wstring& path) {
    ComApartment apartment;
    ComPtr<IDispatch> shell = CreateObject(progId);
    if (!shell) {
        return std::nullopt;
    }
    const std::array<const std::wstring*, 1> texts{&path};
    OwnedVariant data;
    if (FAILED(CallWithTexts(shell.get(), L"RegRead", texts, data.get()))) {
        return std::nullopt;
    }
    OwnedVariant text;
    if (FAILED(::VariantChangeType(text.get(), data.get(), 0, VT_BSTR))) {
        return std::nullopt;
    }
    const BSTR value = text.value().bstrVal;
    return std::wstring(value, ::SysStringLen(value));
}

} // namespace platform
