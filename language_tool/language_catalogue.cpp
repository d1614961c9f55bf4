#include "language_catalogue.h"

namespace tamsel {

const Language* FindByListText(std::wstring_view listText) {
    for (const Language& language : kLanguages) {
        if (language.listText == listText) {
            return &language;
        }
    }
    return nullptr;
}

} // namespace tamsel
