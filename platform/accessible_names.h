// Names for screen readers, given to controls through the system's annotation service (oleacc's
// IAccPropServices). Windows names a list after the label that precedes it; this names a
// control that has none. (Wine's service takes the names and does nothing with them.) Included
// only by platform sources.
#pragma once

#include "win_owned.h"

#include <oleacc.h>

#include <string>
#include <vector>

namespace platform {

class AccessibleNames {
public:
    AccessibleNames() = default;
    ~AccessibleNames() { Clear(); }
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;

    // Gives the control the name. The service comes through COM, which the thread must have
    // initialized, rather than from an import of oleacc.dll; where it can't be had, the control
    // keeps the name the system gives it.
    void Set(HWND control, const std::wstring& name);
    // Takes the names away again: before the controls' windows go, whose handles the system may
    // give to other windows afterwards.
    void Clear() noexcept;

private:
    ComPtr<IAccPropServices> service_;
    std::vector<HWND> named_;
};

} // namespace platform
