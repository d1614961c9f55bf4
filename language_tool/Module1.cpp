// Module1: the account name of the user who runs the tool.
#include "Module1.h"

#include "greeting.h"

#include "../platform/ansi.h"
#include "../platform/user_name.h"

namespace tamsel {

std::wstring GetLogonUserName() {
    std::string buffer(256, ' ');
    platform::FillUserName(buffer);
    return NameFromBuffer(platform::FromAnsi(buffer));
}

} // namespace tamsel
