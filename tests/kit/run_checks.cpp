// The kit's runner, started by run-checks.cmd on a tester's Windows: saves what the checks may
// change in the registry, runs every check of the kit's plan (checks\plan.txt) in a work folder
// of its own below %TEMP%, puts the saved values back exactly, also after Ctrl+C or a closed
// console window, and writes report.txt beside the kit.
//   run_checks [LAYER[:FILTER]]   one layer only (win32_tests, e2e_tests, faults, ...), its
//                                 GoogleTest cases or fault scenarios narrowed to FILTER
// A run killed harder leaves its saved copy, run-checks-USER.saved, in the kit's folder; the next
// run of that user on that computer puts it back first, and a copy it can't trust stops it.
#include "platform/win_owned.h"
#include "tests/win32/test_support.h"

#include <windows.h>
#include <lmcons.h>
#include <sddl.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// The version Windows has, whatever this program's manifest names.
extern "C" NTSYSAPI LONG NTAPI RtlGetVersion(RTL_OSVERSIONINFOW* version);

namespace {

using test::RegistryTree;
using test::Utf8;
using test::Wide;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How long the processes of the checks may take to end once they are stopped.
constexpr std::chrono::seconds kEndLimit = 10s;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// ---- What the checks may change, read, written back and kept in a file ----

// Whether a key exists (KeyOnly: removed again where a check made it and left it empty), one
// value of a key (OneValue), or a key with all below it (Tree).
struct Item {
    enum Kind { KeyOnly, OneValue, Tree } kind;
    HKEY root;
    const wchar_t* path;
    const wchar_t* valueName = nullptr;

    std::string Root() const { return root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\"; }
    std::string Name() const {
        return Root() + Utf8(path) + (valueName ? "\\" + Utf8(valueName) : "");
    }
};

const Item kItems[] = {
    {Item::KeyOnly, HKEY_CURRENT_USER, L"Software\\Valve"},
    {Item::KeyOnly, HKEY_CURRENT_USER, L"Software\\Valve\\Steam"},
    {Item::OneValue, HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"Language"},
    {Item::Tree, HKEY_CURRENT_USER, L"Software\\Classes\\ivl"},
    {Item::Tree, HKEY_LOCAL_MACHINE, L"Software\\Classes\\ivl"},
};

// An item as it is: a KeyOnly's tree is empty, a OneValue's holds that value only; nothing
// where it is absent. Throws test::RegistryReadError where anything of it can't be read.
using State = std::optional<RegistryTree>;

State Read(const Item& item) {
    if (item.kind == Item::Tree) {
        return test::ReadRegistryTree(item.root, item.path);
    }
    if (item.kind == Item::OneValue) {
        // The value itself: a write to another value of its key meanwhile can't hide it.
        const auto value = test::ReadRegistryValue(item.root, item.path, item.valueName);
        return value ? State(RegistryTree{{*value}, {}}) : std::nullopt;
    }
    platform::OwnedKey key;
    const LSTATUS status = ::RegOpenKeyExW(item.root, item.path, 0, KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw test::RegistryReadError(item.path, status);
    }
    return status == ERROR_SUCCESS ? State(RegistryTree{}) : std::nullopt;
}

// Whether the item is in that state; where it can't be read, false, and why.
bool Holds(const Item& item, const State& state, std::string& why) {
    try {
        return Read(item) == state;
    } catch (const test::RegistryReadError& error) {
        why = "can't read " + item.Root() + error.what();
        return false;
    }
}

// Makes the registry hold the state again; untouched when it does. An error's line, or empty.
std::string Write(const Item& item, const State& saved) {
    if (item.kind == Item::KeyOnly) {
        // Only a key that a check left empty goes: anything in it is not ours to remove.
        platform::OwnedKey key;
        DWORD keys = 1, values = 1;
        if (!saved &&
            ::RegOpenKeyExW(item.root, item.path, 0, KEY_READ, key.put()) == ERROR_SUCCESS &&
            ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            keys == 0 && values == 0) {
            key.reset();
            ::RegDeleteKeyW(item.root, item.path);
        }
        return "";
    }
    std::string why;
    if (Holds(item, saved, why)) {
        return "";
    }
    const LSTATUS status =
        item.kind == Item::Tree ? test::WriteRegistryTree(item.root, item.path, saved)
        : saved ? test::SetRegistryValue(item.root, item.path, saved->values.front())
                : ::RegDeleteKeyValueW(item.root, item.path, item.valueName);
    why.clear();
    if (Holds(item, saved, why)) {
        return "";
    }
    return item.Name() + ": not " + (saved ? "put back" : "removed") + " (" +
           (why.empty() ? "error " + std::to_string(status) : why) + ")\n";
}

// What a run saved, per item: its state, or nothing where it is back already (a copy that a
// partial restore wrote again holds only what is still missing).
using Saved = std::vector<std::optional<State>>;

// Puts the items back, the last first (a key's value before the key). Per item an error's
// line, or empty.
std::vector<std::string> PutBack(const Saved& items) {
    std::vector<std::string> errors(items.size());
    for (std::size_t i = items.size(); i-- > 0;) {
        if (items[i]) {
            errors[i] = Write(kItems[i], *items[i]);
        }
    }
    return errors;
}

// Of the items, those that the errors say are not back.
Saved StillMissing(const Saved& items, const std::vector<std::string>& errors) {
    Saved missing(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!errors[i].empty()) {
            missing[i] = items[i];
        }
    }
    return missing;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) {
        all += line;
    }
    return all;
}

void Count(const RegistryTree& tree, std::size_t& keys, std::size_t& values) {
    keys += 1;
    values += tree.values.size();
    for (const auto& below : tree.keys) {
        Count(below.second, keys, values);
    }
}

std::string Describe(const Item& item, const State& state) {
    if (!state || item.kind == Item::KeyOnly) {
        return state ? "present" : "absent";
    }
    if (item.kind == Item::OneValue) {
        return "present (type " + std::to_string(state->values[0].type) + ", " +
               std::to_string(state->values[0].data.size()) + " bytes)";
    }
    std::size_t keys = 0, values = 0;
    Count(*state, keys, values);
    return "present (" + std::to_string(keys) + " keys, " + std::to_string(values) + " values)";
}

// Who saved a copy, on which computer, and the work folder of that run.
struct Origin {
    std::string user, computer; // the user's SID, the computer's name
    std::wstring folder;
    bool operator==(const Origin&) const = default;
};

struct Copy {
    Origin origin;
    Saved items;
    bool operator==(const Copy&) const = default;
};

// The saved copy: its first line, lines "user SID", "computer NAME" and "folder PATH" (UTF-8),
// then per item "present" and its tree, "absent", or "back" (nothing to put back); "end" last
// (a copy without it is cut short). A tree: its number of values, each value's type, name and
// data, its number of keys, each key's name and tree. A name or data is its byte count, a blank
// and the bytes, then a line end.
const char kSavedCopy[] = "vantoline-checks saved 3";

template <typename Bytes> void PutBytes(std::ostream& out, const Bytes& bytes) {
    const std::size_t size = bytes.size() * sizeof bytes[0];
    out << size << " ";
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    out << "\n";
}

// Fails the stream where the byte count is more than it has left.
template <typename Bytes> Bytes GetBytes(std::istream& in) {
    std::size_t size = 0;
    in >> size;
    in.get();
    if (!in ||
        size > static_cast<std::size_t>(std::max<std::streamsize>(in.rdbuf()->in_avail(), 0))) {
        in.setstate(std::ios::failbit);
        return {};
    }
    Bytes bytes(size / sizeof(typename Bytes::value_type), {});
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
}

void Put(std::ostream& out, const RegistryTree& tree) {
    out << tree.values.size() << "\n";
    for (const RegistryTree::Value& value : tree.values) {
        out << value.type << " ";
        PutBytes(out, value.name);
        PutBytes(out, value.data);
    }
    out << tree.keys.size() << "\n";
    for (const auto& [name, below] : tree.keys) {
        PutBytes(out, name);
        Put(out, below);
    }
}

void Get(std::istream& in, RegistryTree& tree) {
    std::size_t count = 0;
    for (in >> count; count-- > 0 && in;) {
        RegistryTree::Value& value = tree.values.emplace_back();
        in >> value.type;
        value.name = GetBytes<std::wstring>(in);
        value.data = GetBytes<std::vector<BYTE>>(in);
    }
    for (in >> count; count-- > 0 && in;) {
        const std::wstring name = GetBytes<std::wstring>(in);
        Get(in, tree.keys.emplace_back(name, RegistryTree{}).second);
    }
}

std::string Serialize(const Copy& copy) {
    std::ostringstream out;
    out << kSavedCopy << "\nuser " << copy.origin.user << "\ncomputer " << copy.origin.computer
        << "\nfolder " << Utf8(copy.origin.folder) << "\n";
    for (const std::optional<State>& item : copy.items) {
        out << (!item ? "back\n" : *item ? "present\n" : "absent\n");
        if (item && *item) {
            Put(out, **item);
        }
    }
    out << "end\n";
    return out.str();
}

// Nothing where the text is not a whole copy.
std::optional<Copy> Parse(const std::string& text) {
    std::istringstream in(text);
    std::string first, user, computer, folder, word;
    std::getline(in, first);
    std::getline(in, user);
    std::getline(in, computer);
    std::getline(in, folder);
    if (first != kSavedCopy || !user.starts_with("user ") || !computer.starts_with("computer ") ||
        !folder.starts_with("folder ")) {
        return std::nullopt;
    }
    Copy copy{{user.substr(5), computer.substr(9), Wide(folder.substr(7))},
              Saved(std::size(kItems))};
    try {
        for (std::optional<State>& item : copy.items) {
            in >> word;
            if (word == "present") {
                Get(in, item.emplace().emplace());
            } else if (word == "absent") {
                item.emplace();
            } else if (word != "back") {
                return std::nullopt;
            }
        }
    } catch (const std::exception&) { // no memory for what it names
        return std::nullopt;
    }
    if (!in || !(in >> word) || word != "end") {
        return std::nullopt;
    }
    return copy;
}

// The whole file, read with checked calls: 0, or the error.
DWORD ReadWhole(const fs::path& file, std::string& bytes) {
    const platform::OwnedFileHandle handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!handle || !::GetFileSizeEx(handle.get(), &size)) {
        return ::GetLastError();
    }
    if (size.QuadPart > (std::int64_t{1} << 26)) {
        return ERROR_FILE_TOO_LARGE; // far beyond what a copy of those keys holds
    }
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    for (DWORD at = 0, read = 0; at < bytes.size(); at += read) {
        if (!::ReadFile(handle.get(), bytes.data() + at, static_cast<DWORD>(bytes.size()) - at,
                        &read, nullptr)) {
            return ::GetLastError();
        }
        if (read == 0) {
            return ERROR_HANDLE_EOF;
        }
    }
    return 0;
}

// Writes the copy to the file with checked calls, flushed to the disk, reads it back and
// compares, and only then puts it in place of the last one. An error's text, or empty.
std::string WriteCopy(const fs::path& file, const Copy& copy) {
    const std::string text = Serialize(copy);
    const fs::path fresh = file.wstring() + L".new";
    DWORD error = 0;
    {
        const platform::OwnedFileHandle out(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr,
                                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                          nullptr));
        DWORD written = 0;
        if (!out ||
            !::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) ||
            written != text.size() || !::FlushFileBuffers(out.get())) {
            error = ::GetLastError();
            error = error != 0 ? error : ERROR_WRITE_FAULT;
        }
    }
    std::string back;
    if (error == 0 && (error = ReadWhole(fresh, back)) == 0 && Parse(back) != copy) {
        error = ERROR_FILE_CORRUPT;
    }
    if (error == 0 && !::MoveFileExW(fresh.c_str(), file.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
    }
    if (error != 0) {
        ::DeleteFileW(fresh.c_str());
        return Utf8(file.wstring()) + ": not written (error " + std::to_string(error) + ")";
    }
    return "";
}

// ---- The checks ----

struct Check {
    std::string layer, name;
    std::string text; // why it failed or was skipped
    int passed = 0, failed = 0, skipped = 0;
};

// One run of the kit, shared with the console's Ctrl+C and close handler.
struct Session {
    std::mutex lock;
    bool finished = false; // no check starts any more
    fs::path kit, checks, savedCopy;
    Origin origin; // this user, this computer and the work folder
    std::optional<test::TempFolder> work;
    std::vector<State> saved;
    bool copyWritten = false; // the saved copy holds `saved`
    platform::OwnedHandle job;
    std::vector<Check> results;
    std::string facts, kitName;

    void Add(const Check& check) {
        std::lock_guard guard(lock);
        results.push_back(check);
    }
    // The checks of a layer added up, or of all where the layer is empty.
    Check Total(const std::string& layer) {
        Check total{layer, "", "", 0, 0, 0};
        for (const Check& check : results) {
            if (layer.empty() || check.layer == layer) {
                total.passed += check.passed;
                total.failed += check.failed;
                total.skipped += check.skipped;
            }
        }
        return total;
    }
} session;

std::string Counts(const Check& total) {
    return std::to_string(total.passed) + " passed, " + std::to_string(total.failed) + " failed, " +
           std::to_string(total.skipped) + " skipped";
}

struct ChildRun {
    std::string output;
    std::optional<DWORD> exitCode; // none: not started, or stopped at its time limit
};

// Runs one of the kit's programs in the session's job, its output (out and error) to a file of
// the work folder, read when it ends: a process it started may hold the file longer.
ChildRun RunChild(const std::wstring& program, const std::wstring& arguments,
                  std::chrono::milliseconds limit) {
    static int runs = 0;
    const std::wstring file = session.work->File((std::to_wstring(++runs) + L".out").c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    platform::OwnedFileHandle output(::CreateFileW(file.c_str(), GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                   CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = output.get();
    PROCESS_INFORMATION started{};
    std::wstring commandLine = L"\"" + (session.checks / program).wstring() + L"\" " + arguments;
    {
        std::lock_guard guard(session.lock);
        if (session.finished || !output ||
            !::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                              nullptr, session.checks.c_str(), &startup, &started)) {
            return {"not started (error " + std::to_string(::GetLastError()) + ")", std::nullopt};
        }
        ::AssignProcessToJobObject(session.job.get(), started.hProcess);
        ::ResumeThread(started.hThread);
    }
    const platform::OwnedHandle process(started.hProcess), thread(started.hThread);
    output.reset();
    ChildRun run;
    DWORD code = 0;
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.get(), &code)) {
        run.exitCode = code;
    } else {
        ::TerminateJobObject(session.job.get(), 1);
    }
    run.output = test::ReadBytes(file);
    std::erase(run.output, '\r');
    if (!run.exitCode) {
        run.output += "\n(stopped after " + std::to_string(limit.count() / 1000) + " s)";
    }
    return run;
}

// A GoogleTest program's cases, each in a process of its own as ctest runs them: some read
// what a process keeps from its first look (the message font, Wine's Root store).
void RunGoogleTests(const std::string& program, const std::string& filter) {
    const std::wstring exe = Wide(program) + L".exe";
    const std::wstring narrowing = filter.empty() ? L"" : L" --gtest_filter=" + Wide(filter);
    const ChildRun list = RunChild(exe, L"--gtest_list_tests" + narrowing, 60s);
    std::vector<std::string> names;
    std::string suite;
    for (const std::string& line : Lines(list.output)) {
        const std::string word = line.substr(0, line.find_first_of(" #", 2));
        if (!line.empty() && line[0] != ' ') {
            suite = word;
        } else if (line.starts_with("  ") && !word.empty()) {
            names.push_back(suite + word.substr(2));
        }
    }
    if (list.exitCode != 0u || names.empty()) {
        session.Add({program, "(list of cases)", list.output, 0, 1, 0});
        return;
    }
    for (const std::string& name : names) {
        const ChildRun run = RunChild(exe, L"--gtest_filter=" + Wide(name), 120s);
        const std::string& out = run.output;
        const std::string start = "[ RUN      ] " + name + "\n";
        const std::size_t begin = out.find(start);
        // The case's own lines end where its result line starts.
        std::size_t end = std::string::npos;
        int Check::*result = &Check::failed;
        for (auto [mark, count] : {std::pair{"\n[       OK ] ", &Check::passed},
                                   {"\n[  FAILED  ] ", &Check::failed},
                                   {"\n[  SKIPPED ] ", &Check::skipped}}) {
            const std::size_t at =
                begin == std::string::npos ? begin : out.find(mark + name, begin);
            if (at < end) {
                end = at;
                result = count;
            }
        }
        Check check{program, name, "", 0, 0, 0};
        check.*result = 1;
        if (end == std::string::npos) {
            check.text = "ended without a result (" +
                         (run.exitCode ? "exit code " + std::to_string(*run.exitCode)
                                       : std::string("stopped")) +
                         "):\n" + out;
        } else if (result != &Check::passed) {
            check.text = out.substr(begin + start.size(), end + 1 - begin - start.size());
        }
        session.Add(check);
    }
}

// The fault runs of one scenario and mode, as fault_driver judges them: its last line counts
// the runs and the failed ones, each failed run has a line "FAILED ...".
void RunFaults(const std::string& scenario, const std::string& modeAndSample) {
    const ChildRun run = RunChild(L"fault_driver.exe", Wide(scenario + " " + modeAndSample), 900s);
    const std::string mode = modeAndSample.substr(0, modeAndSample.find(' '));
    Check check{"faults", scenario + " " + mode, "", 0, 1, 0};
    int runs = 0, bad = 0;
    for (const std::string& line : Lines(run.output)) {
        if (line.starts_with("FAILED ")) {
            check.text += line + "\n";
        } else if (std::sscanf(line.c_str(), "%*s %*s %d runs, %d failed", &runs, &bad) == 2 &&
                   line.starts_with(check.name + ":")) {
            check.passed = runs - bad;
            check.failed = bad;
        }
    }
    if (check.passed + check.failed == 0 || !run.exitCode) {
        check.text += "no summary:\n" + run.output;
    }
    session.Add(check);
}

// ---- The machine, as report.txt tells it ----

// A line for each monitor: its size, place and DPI.
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, RECT* area, LPARAM facts) {
    static int count = 0;
    UINT x = 0, y = 0;
    const bool known = SUCCEEDED(::GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y));
    *reinterpret_cast<std::ostringstream*>(facts)
        << "Monitor " << ++count << ": " << area->right - area->left << "x"
        << area->bottom - area->top << " at " << area->left << "," << area->top << ", "
        << (known ? std::to_string(x) + " DPI (" + std::to_string(x * 100 / 96) + " %)"
                  : std::string("DPI unknown"))
        << "\n";
    return TRUE;
}

std::string MachineFacts() {
    std::ostringstream out;
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    RtlGetVersion(&version);
    out << "Windows: " << version.dwMajorVersion << "." << version.dwMinorVersion << " build "
        << version.dwBuildNumber << "\n";
    using WineVersionFunction = const char*(__cdecl*)();
    const auto wine = reinterpret_cast<WineVersionFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    out << "Wine: " << (wine ? wine() : "no") << "\n";

    platform::OwnedHandle token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    ::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size);
    ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size);
    out << "Elevated: " << (elevation.TokenIsElevated ? "yes" : "no") << " (token: "
        << (type == TokenElevationTypeFull      ? "full"
            : type == TokenElevationTypeLimited ? "limited"
                                                : "default, no split")
        << ")\n";
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&out));

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const platform::WindowDc screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    const LOGFONTW& font = metrics.lfMessageFont;
    out << "Message font: " << Utf8(font.lfFaceName) << ", " << font.lfHeight << " px at " << dpi
        << " DPI (" << (dpi > 0 ? std::abs(font.lfHeight) * 72.0 / dpi : 0) << " pt)\n";
    out << "ANSI code page: " << ::GetACP() << " (OEM " << ::GetOEMCP() << ")\n";

    const fs::path longName = session.work->path() / L"a long file name.check";
    test::WriteBytes(longName.wstring(), "8.3");
    wchar_t shortName[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(longName.c_str(), shortName, MAX_PATH);
    const std::wstring shortLeaf =
        length > 0 && length < MAX_PATH ? fs::path(shortName).filename().wstring() : L"";
    out << "8.3 names in " << Utf8(session.work->path().root_name().wstring()) << ": "
        << (shortLeaf.empty() || shortLeaf == longName.filename().wstring()
                ? std::string("no")
                : "yes (\"a long file name.check\" is " + Utf8(shortLeaf) + ")")
        << "\n";
    return out.str();
}

// ---- The run ----

// Ends every process of the checks; true once the job has none left. A process stopped in the
// middle of a registration could otherwise write a key after the restore.
bool EndChecks() {
    if (!session.job) {
        return true;
    }
    ::TerminateJobObject(session.job.get(), 1);
    const auto end = std::chrono::steady_clock::now() + kEndLimit;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job{};
        if (::QueryInformationJobObject(session.job.get(), JobObjectBasicAccountingInformation,
                                        &job, sizeof job, nullptr) &&
            job.ActiveProcesses == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        ::Sleep(20);
    }
}

// Once no check runs any more, puts the saved values back, removes the work folder, then, once
// all is back, the saved copy; after a partial restore the copy keeps only what is still
// missing. Writes the report. Returns the lines to print and whether nothing failed.
std::pair<std::string, bool> Finish(const std::string& how) {
    std::string told = how, errors;
    const bool ended = EndChecks();
    if (session.copyWritten) {
        const Saved saved(session.saved.begin(), session.saved.end());
        if (!ended) {
            errors = "Processes of the checks still run after " +
                     std::to_string(kEndLimit.count()) + " s: nothing is put back while they do.\n";
        } else {
            const std::vector<std::string> failed = PutBack(saved);
            errors = Joined(failed);
            const std::string rewritten =
                errors.empty()
                    ? ""
                    : WriteCopy(session.savedCopy, {session.origin, StillMissing(saved, failed)});
            errors += rewritten.empty() ? "" : rewritten + ": it keeps all it held.\n";
        }
        told += errors.empty()
                    ? "The registry values are as they were before the checks.\n"
                    : errors + "Their saved copy stays in " + Utf8(session.savedCopy.wstring()) +
                          ": the next run puts it back first.\n";
    }
    // The processes the job ended may hold files in the folder for a moment. The saved copy
    // names the folder and goes last: the next run removes a folder that a stopped one left.
    for (int i = 0; i < 20 && session.work && fs::exists(session.work->path()); ++i) {
        std::error_code failed;
        fs::remove_all(session.work->path(), failed);
        ::Sleep(failed ? 100 : 0);
    }
    if (session.copyWritten && errors.empty()) {
        ::DeleteFileW(session.savedCopy.c_str());
    }
    Check total = session.Total("");
    total.failed += errors.empty() ? 0 : 1;
    const std::string summary = Counts(total) + "\n";

    std::ofstream report(session.kit / L"report.txt"); // text: Windows' line ends
    report << session.kitName << "\n\n" << session.facts << "\n";
    for (std::size_t i = 0; i < session.saved.size(); ++i) {
        report << kItems[i].Name() << ": " << Describe(kItems[i], session.saved[i]) << "\n";
    }
    report << "\n";
    for (const Check& check : session.results) {
        report << (check.failed > 0    ? "FAILED  "
                   : check.skipped > 0 ? "SKIPPED "
                                       : "PASSED  ")
               << check.layer << " " << check.name;
        if (check.passed + check.failed > 1) {
            report << " (" << check.passed + check.failed << " runs, " << check.failed
                   << " failed)";
        }
        report << "\n";
        for (const std::string& line : Lines(check.text)) {
            report << "    " << line << "\n";
        }
    }
    report << "\n" << told << summary;
    return {told + "Report: " + Utf8((session.kit / L"report.txt").wstring()) + "\n" + summary,
            total.failed == 0};
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    // Waits for a restore or a save under way: nothing stops between reading the registry or
    // a copy and having it safe.
    std::unique_lock guard(session.lock);
    if (session.finished) {
        return TRUE; // the run ends by itself
    }
    session.finished = true;
    std::printf("\n%s", Finish(session.copyWritten ? "Stopped before the end of the checks.\n"
                                                   : "Stopped before the checks started.\n")
                            .first.c_str());
    std::fflush(stdout);
    ::ExitProcess(3);
}

// Whether the folder is one of the kit's own work folders: "vantoline-test-..." right below
// this user's temporary folder, and no link to elsewhere.
bool IsOwnWorkFolder(const fs::path& folder) {
    wchar_t temp[MAX_PATH + 1] = {}, longTemp[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    const DWORD longLength = ::GetLongPathNameW(temp, longTemp, MAX_PATH);
    const fs::path base = longLength > 0 && longLength < MAX_PATH ? longTemp : temp;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    return length > 0 && length <= MAX_PATH && folder.is_absolute() &&
           folder == folder.lexically_normal() &&
           _wcsicmp(folder.parent_path().c_str(), base.parent_path().c_str()) == 0 &&
           folder.filename().wstring().starts_with(L"vantoline-test-") &&
           (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
}

// Puts back what a run stopped before its end left in the saved copy, under the session's lock:
// nothing stops it between reading the copy and having put it back. The copy goes only once
// all it holds is back; a copy that can't be trusted stays as it is. False, said why, where no
// check may run.
bool RestoreLeftCopy() {
    std::lock_guard guard(session.lock);
    const std::string name = Utf8(session.savedCopy.wstring());
    if (::GetFileAttributesW(session.savedCopy.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    std::string text;
    const DWORD error = ReadWhole(session.savedCopy, text);
    const std::optional<Copy> copy = Parse(text);
    const char* const keep =
        "It may hold the registry values that a run stopped before its end saved (README.txt "
        "names them), and stays as it is. No check runs while it is there: put back what it "
        "holds, or make sure those values are as they should be, then move it away.\n";
    if (error != 0 || !copy) {
        std::printf("%s %s.\n%s", name.c_str(),
                    error != 0     ? ("can't be read (error " + std::to_string(error) + ")").c_str()
                    : text.empty() ? "is empty"
                                   : "is not a whole copy of the kit's",
                    keep);
        return false;
    }
    if (copy->origin.user != session.origin.user ||
        copy->origin.computer != session.origin.computer) {
        std::printf("%s was saved by another user or on another computer (user %s, computer %s; "
                    "this is user %s, computer %s): it is not put back here.\n%s",
                    name.c_str(), copy->origin.user.c_str(), copy->origin.computer.c_str(),
                    session.origin.user.c_str(), session.origin.computer.c_str(), keep);
        return false;
    }
    const std::vector<std::string> failed = PutBack(copy->items);
    if (const std::string errors = Joined(failed); !errors.empty()) {
        const std::string rewritten =
            WriteCopy(session.savedCopy, {copy->origin, StillMissing(copy->items, failed)});
        std::printf("A run stopped before its end left %s, which can't be put back whole:\n%s%s",
                    name.c_str(), errors.c_str(),
                    rewritten.empty() ? "It stays, with only what is still missing.\n"
                                      : (rewritten + ": it stays as it was.\n").c_str());
        return false;
    }
    if (IsOwnWorkFolder(copy->origin.folder)) {
        std::error_code ignored;
        fs::remove_all(copy->origin.folder, ignored);
    }
    ::DeleteFileW(session.savedCopy.c_str());
    std::printf("Put back the registry values that a run stopped before its end had saved.\n");
    return true;
}

// A line of plan.txt: "kit NAME", "gtest PROGRAM", "fault SCENARIO MODE SAMPLE" or "skip NAME
// REASON" (a check that needs a tool of the build machine), in the order they run.
struct Step {
    std::string kind, layer, name, rest;
};

std::vector<Step> ReadPlan() {
    std::vector<Step> steps;
    std::ifstream file(session.checks / L"plan.txt");
    for (std::string line; std::getline(file, line);) {
        line.erase(line.find_last_not_of("\r\n ") + 1);
        std::istringstream fields(line);
        Step step;
        fields >> step.kind >> step.name;
        std::getline(fields >> std::ws, step.rest);
        step.layer = step.kind == "fault"  ? "faults"
                     : step.kind == "skip" ? "build-machine"
                                           : step.name;
        if (step.kind == "kit") {
            session.kitName = step.name + (step.rest.empty() ? "" : " " + step.rest);
        } else if (!step.kind.empty()) {
            steps.push_back(step);
        }
    }
    return steps;
}

// Saves the values to the saved copy, then removes them, so that the checks start without them.
// Nothing is removed unless every item was read whole and the copy on the disk holds exactly
// that. An error's text, or empty.
std::string SaveAndClear() {
    std::lock_guard guard(session.lock);
    // The test programs and what they started end with the runner, however it ends.
    session.job.reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(session.job.get(), JobObjectExtendedLimitInformation, &limits,
                              sizeof limits);
    session.work.emplace();
    session.origin.folder = session.work->path().wstring();
    std::vector<State> states;
    std::string error;
    for (const Item& item : kItems) {
        try {
            states.push_back(Read(item));
        } catch (const test::RegistryReadError& failed) {
            error = "can't read " + item.Root() + failed.what();
            break;
        }
    }
    if (error.empty()) {
        error = WriteCopy(session.savedCopy, {session.origin, Saved(states.begin(), states.end())});
    }
    if (!error.empty()) {
        session.work.reset();
        return error;
    }
    session.saved = states;
    session.copyWritten = true;
    // What can't be removed (HKLM without elevation) stays as it was: a removal that fails
    // part-way puts back what was saved.
    for (std::size_t i = 0; i < states.size(); ++i) {
        if (kItems[i].kind != Item::KeyOnly && !Write(kItems[i], std::nullopt).empty()) {
            Write(kItems[i], states[i]);
        }
    }
    return "";
}

// This user's SID, and the computer's name; empty where the system can't tell.
Origin ThisUserHere() {
    Origin here;
    platform::OwnedHandle token;
    DWORD size = 0;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(std::max<DWORD>(size, sizeof(TOKEN_USER)));
    wchar_t* sid = nullptr;
    if (::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        const platform::OwnedLocal<wchar_t*> owned(sid);
        here.user = Utf8(sid);
    }
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(computer, &length)) {
        here.computer = Utf8(computer);
    }
    return here;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    session.checks = fs::path(exe).parent_path();
    session.kit = session.checks.parent_path();
    session.origin = ThisUserHere();
    wchar_t user[UNLEN + 1] = {};
    DWORD userLength = UNLEN + 1;
    if (session.origin.user.empty() || session.origin.computer.empty() ||
        !::GetUserNameW(user, &userLength)) {
        std::printf("Can't tell this user or this computer (error %lu): no check runs.\n",
                    ::GetLastError());
        return 2;
    }
    // Each user's own: two users of one kit folder never share it.
    session.savedCopy = session.kit / (L"run-checks-" + std::wstring(user) + L".saved");
    const std::string only = argc > 1 ? Utf8(argv[1]) : "";
    const std::size_t colon = only.find(':');
    const std::string onlyLayer = only.substr(0, colon);
    const std::string filter = colon == std::string::npos ? "" : only.substr(colon + 1);

    // One run at a time for each user, in all sessions of the machine: a second would take the
    // first one's saved copy for a stopped run's.
    const platform::OwnedHandle oneRun(::CreateMutexW(
        nullptr, TRUE, (L"Global\\vantoline-checks-" + Wide(session.origin.user)).c_str()));
    if (!oneRun) {
        std::printf("Can't tell whether another run of the checks is going on (error %lu).\n",
                    ::GetLastError());
        return 2;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        std::printf("Another run of the checks is going on.\n");
        return 2;
    }
    using AwarenessFunction = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    if (auto aware = reinterpret_cast<AwarenessFunction>(reinterpret_cast<void*>(::GetProcAddress(
            ::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")))) {
        aware(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2); // each monitor's own DPI
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    const std::vector<Step> steps = ReadPlan();
    if (steps.empty()) {
        std::printf("No plan.txt beside %s\n", Utf8(exe).c_str());
        return 2;
    }
    if (!RestoreLeftCopy()) {
        return 2;
    }
    if (const std::string error = SaveAndClear(); !error.empty()) {
        std::printf("Can't save the registry values that the checks change (%s): no check runs, "
                    "nothing was changed.\n",
                    error.c_str());
        return 2;
    }
    std::printf("Saved the registry values that the checks change to %s.\n",
                Utf8(session.savedCopy.wstring()).c_str());
    const std::wstring work = session.work->path().wstring();
    const std::wstring screenshots = (session.kit / L"screenshots").wstring();
    ::CreateDirectoryW(screenshots.c_str(), nullptr);
    for (auto [name, value] : {std::pair{L"TEMP", work},
                               {L"TMP", work},
                               {L"VANTOLINE_PROGRAMS", session.kit.wstring()},
                               {L"VANTOLINE_KIT", std::wstring(L"1")},
                               {L"VANTOLINE_SCREENSHOTS", screenshots}}) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    session.facts = MachineFacts();

    auto layerStart = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const bool chosen =
            only.empty() || (onlyLayer == step.layer && step.kind != "skip" &&
                             (step.kind != "fault" || filter.empty() || filter == step.name));
        if (chosen && step.kind == "gtest") {
            RunGoogleTests(step.name, filter);
        } else if (chosen && step.kind == "fault") {
            RunFaults(step.name, step.rest);
        } else if (chosen && step.kind == "skip") {
            session.Add({step.layer, step.name, step.rest, 0, 0, 1});
        }
        if (i + 1 < steps.size() && steps[i + 1].layer == step.layer) {
            continue;
        }
        const Check total = session.Total(step.layer);
        const auto now = std::chrono::steady_clock::now();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - layerStart);
        layerStart = now;
        if (total.passed + total.failed + total.skipped > 0) {
            std::printf("%s: %s (%lld s)\n", step.layer.c_str(), Counts(total).c_str(),
                        static_cast<long long>(seconds.count()));
            std::fflush(stdout);
        }
    }

    std::lock_guard guard(session.lock);
    session.finished = true;
    const bool none = session.results.empty();
    const auto [told, passed] = Finish("");
    std::printf("%s%s", none ? ("No check is named " + only + ".\n").c_str() : "", told.c_str());
    return passed && !none ? 0 : 1;
}
