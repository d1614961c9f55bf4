// The starter's registry module: one text value written or read per call, and the
// registration of a URL protocol. Every call goes through a RegistryStore, the system's own
// in the program.
#pragma once

#include "../platform/registry.h"

#include <cstdint>
#include <string>

namespace ironvale {

using platform::RegistryStore;
using platform::RootKey;

// Creates the key, or opens it, and writes the text as a REG_SZ value; an empty text is
// written as " ". True when the key was created or opened and the value written.
bool SetStringValue(RegistryStore& store, RootKey root, const std::wstring& subKey,
                    const std::wstring& valueName, std::wstring valueText);

// The value as text: REG_SZ and REG_EXPAND_SZ as they stand (unexpanded) up to the first NUL;
// REG_DWORD as its number in decimal; the empty text for any other type and for a key or
// value that can't be read.
std::wstring GetValueAsString(RegistryStore& store, RootKey root, const std::wstring& subKey,
                              const std::wstring& valueName);

// What a REG_DWORD value reads as: the number the text "&h" and its eight hex digits stand
// for, written as an unsigned decimal number.
std::wstring DwordText(std::uint32_t value);

// The program that runs: its folder (no separator at the end) and its file name without the
// extension.
struct RunningProgram {
    std::wstring folder;
    std::wstring baseName;
};

// Makes programPath (or, when it is empty, the running program) the handler of links of the
// scheme below HKEY_CLASSES_ROOT. Each key and value that can't be written there goes below
// HKEY_CURRENT_USER\Software\Classes instead, the user's own half of HKEY_CLASSES_ROOT. The path is
// written exactly or in its short form; where the store can hold neither, nothing at all is
// registered. Nothing is reported; a failed step doesn't stop the later ones.
void RegisterUrlProtocol(RegistryStore& store, const std::wstring& scheme,
                         const std::wstring& programPath, const RunningProgram& self);

} // namespace ironvale
