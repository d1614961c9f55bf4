// Times the programs and their floors from outside, for scripts/bench.sh. Each round runs every
// program once, in an order that rotates from round to round, so that a program and its floor
// see the same machine load. Writes one line per measurement to standard output:
//   ms <TAB> name <TAB> round <TAB> milliseconds
//   peak <TAB> name <TAB> round <TAB> peak working set in bytes
//
//   bench_driver starter GAME_FOLDER EMPTY_GAME_FOLDER ROUNDS
//     whole runs, from the start of the process to its end, of do_nothing.exe, spawn_floor.exe
//     and Ironvale.exe in GAME_FOLDER (beside the stand-in hl2.exe) and of Ironvale.exe in
//     EMPTY_GAME_FOLDER (beside an empty hl2.exe); then, in untimed runs, their peak working
//     set, read without pause until the process ends.
//   bench_driver tool TOOL_FOLDER ROUNDS
//     greeting_floor.exe and tamsel.exe, from the start of the process to the greeting box on
//     screen; then the tool's whole first start: greeting, OK, two languages checked, "Save!",
//     main window on screen. TOOL_FOLDER holds no config.ini, and none is left behind.
//   bench_driver greeting TOOL_FOLDER ROUNDS
//     only the first part of "tool": start to greeting, tool and floor.
#include "language_tool/control_ids.h"
#include "tests/e2e/ui_driver.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kMemoryRounds = 5;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / frequency;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now;
}

// Polls every millisecond until the condition holds; false after 15 s.
bool PollUntil(const std::function<bool()>& condition) {
    const ULONGLONG end = ::GetTickCount64() + 15000;
    while (!condition()) {
        if (::GetTickCount64() > end) {
            return false;
        }
        ::Sleep(1);
    }
    return true;
}

// A program started for one measured run, with the time it was started at.
struct Run {
    platform::OwnedHandle process;
    DWORD id = 0;
    LARGE_INTEGER started{};

    Run(const std::wstring& exe, const std::wstring& folder) {
        std::wstring line = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        started = Now();
        if (::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &info)) {
            platform::OwnedHandle thread(info.hThread);
            process.reset(info.hProcess);
            id = info.dwProcessId;
        }
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run() {
        if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), 5000);
        }
    }

    bool WaitForEnd() const {
        return process && ::WaitForSingleObject(process.get(), 15000) == WAIT_OBJECT_0;
    }
    // The most memory the process has had in use so far.
    unsigned long long PeakWorkingSet() const {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        return ::GetProcessMemoryInfo(process.get(), &counters, sizeof counters)
                   ? counters.PeakWorkingSetSize
                   : 0;
    }
};

void ReportTime(const wchar_t* name, int round, double ms) {
    std::printf("ms\t%ls\t%d\t%.3f\n", name, round, ms);
    std::fflush(stdout);
}

void ReportPeak(const wchar_t* name, int round, unsigned long long bytes) {
    std::printf("peak\t%ls\t%d\t%llu\n", name, round, bytes);
    std::fflush(stdout);
}

void Fail(const wchar_t* name, int round, const char* what) {
    std::fprintf(stderr, "%ls, round %d: %s\n", name, round, what);
}

bool GameRunning() {
    const platform::OwnedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, L"hl2.exe") == 0) {
            return true;
        }
    }
    return false;
}

std::size_t LinesOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

int Starter(const std::filesystem::path& game, const std::filesystem::path& empty, int rounds) {
    struct Program {
        const wchar_t* name;
        std::filesystem::path exe;
        bool startsGame;
    };
    const std::vector<Program> programs{
        {L"do_nothing.exe", game / L"do_nothing.exe", false},
        {L"spawn_floor.exe", game / L"spawn_floor.exe", true},
        {L"Ironvale.exe", game / L"Ironvale.exe", true},
        {L"Ironvale.exe, empty hl2.exe", empty / L"Ironvale.exe", false},
    };
    const std::filesystem::path calls = game / L"hl2-calls.txt";
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < programs.size(); ++i) {
            const Program& program = programs[(i + static_cast<std::size_t>(round)) % 4];
            const std::size_t gameStarts = LinesOf(calls);
            double ms = 0;
            {
                Run run(program.exe.wstring(), program.exe.parent_path().wstring());
                if (!run.WaitForEnd()) {
                    Fail(program.name, round, "did not end");
                    ++failures;
                    continue;
                }
                ms = Milliseconds(run.started, Now());
            }
            // The game it started must be gone before the next run, or it would share its time.
            if (program.startsGame && !(PollUntil([&] { return LinesOf(calls) > gameStarts; }) &&
                                        PollUntil([] { return !GameRunning(); }))) {
                Fail(program.name, round, "the game did not start and end");
                ++failures;
                continue;
            }
            ReportTime(program.name, round, ms);
        }
    }
    // Memory, in runs of their own: reading the counters all the time would slow the program.
    // The process is gone when it ends, so this is the last reading before its end.
    for (int round = 0; round < kMemoryRounds; ++round) {
        for (const Program& program : programs) {
            const std::size_t gameStarts = LinesOf(calls);
            unsigned long long peak = 0;
            {
                Run run(program.exe.wstring(), program.exe.parent_path().wstring());
                while (run.process && ::WaitForSingleObject(run.process.get(), 0) == WAIT_TIMEOUT) {
                    peak = std::max(peak, run.PeakWorkingSet());
                }
            }
            if (program.startsGame) {
                PollUntil([&] { return LinesOf(calls) > gameStarts; });
                PollUntil([] { return !GameRunning(); });
            }
            ReportPeak(program.name, round, peak);
        }
    }
    return failures == 0 ? 0 : 1;
}

void PressOk(HWND box) {
    driver::MessageBoxView view;
    view.hwnd = box;
    driver::AnswerMessageBox(view, IDOK);
}

HWND VisibleWindow(DWORD processId, const wchar_t* className, const wchar_t* caption) {
    return driver::FindTopWindow(processId, className, caption);
}

// Waits for the run to end, then reports its time and peak working set.
bool ReportAtTheEnd(Run& run, const wchar_t* name, int round, double ms, unsigned long long peak) {
    if (!run.WaitForEnd()) {
        Fail(name, round, "did not end");
        return false;
    }
    ReportTime(name, round, ms);
    ReportPeak(name, round, peak);
    return true;
}

// One start of the tool or its floor up to the greeting on screen; OK ends the floor, and
// closing the selection window ends the tool without writing anything.
bool Greeting(const wchar_t* name, const std::filesystem::path& exe, bool tool, int round) {
    Run run(exe.wstring(), exe.parent_path().wstring());
    HWND box = nullptr;
    if (!PollUntil(
            [&] { return (box = VisibleWindow(run.id, L"#32770", L"Mirelak")) != nullptr; })) {
        Fail(name, round, "no greeting");
        return false;
    }
    const double ms = Milliseconds(run.started, Now());
    const unsigned long long peak = run.PeakWorkingSet();
    PressOk(box);
    if (tool) {
        HWND selection = nullptr;
        if (!PollUntil([&] {
                return (selection = VisibleWindow(run.id, tamsel::ids::kForm2Class,
                                                  L"Properties")) != nullptr;
            })) {
            Fail(name, round, "no selection window");
            return false;
        }
        driver::Close(selection);
    }
    return ReportAtTheEnd(run, name, round, ms, peak);
}

// The tool's whole first start, up to its main window on screen; the peak working set is taken
// there, and closing the main window ends the run.
bool FirstStart(const std::filesystem::path& exe, int round) {
    const wchar_t* name = L"tamsel.exe, first start";
    Run run(exe.wstring(), exe.parent_path().wstring());
    HWND box = nullptr;
    HWND selection = nullptr;
    HWND mainWindow = nullptr;
    if (!PollUntil(
            [&] { return (box = VisibleWindow(run.id, L"#32770", L"Mirelak")) != nullptr; })) {
        Fail(name, round, "no greeting");
        return false;
    }
    PressOk(box);
    if (!PollUntil([&] {
            return (selection = VisibleWindow(run.id, tamsel::ids::kForm2Class, L"Properties")) !=
                   nullptr;
        })) {
        Fail(name, round, "no selection window");
        return false;
    }
    driver::SetChecked(::GetDlgItem(selection, tamsel::ids::kForm2FirstCheckBox), true);
    driver::SetChecked(::GetDlgItem(selection, tamsel::ids::kForm2FirstCheckBox + 14), true);
    driver::Press(::GetDlgItem(selection, tamsel::ids::kForm2Command1));
    if (!PollUntil([&] {
            return (mainWindow = VisibleWindow(run.id, tamsel::ids::kForm1Class,
                                               L"Vantoline by Tarquist")) != nullptr;
        })) {
        Fail(name, round, "no main window");
        return false;
    }
    const double ms = Milliseconds(run.started, Now());
    const unsigned long long peak = run.PeakWorkingSet();
    driver::Close(mainWindow);
    return ReportAtTheEnd(run, name, round, ms, peak);
}

int Tool(const std::filesystem::path& folder, int rounds, bool firstStarts) {
    const std::filesystem::path settings = folder / L"config.ini";
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < 2; ++i) {
            const bool tool = (i + round) % 2 == 1;
            failures +=
                Greeting(tool ? L"tamsel.exe" : L"greeting_floor.exe",
                         folder / (tool ? L"tamsel.exe" : L"greeting_floor.exe"), tool, round)
                    ? 0
                    : 1;
        }
    }
    for (int round = 0; firstStarts && round < rounds; ++round) {
        failures += FirstStart(folder / L"tamsel.exe", round) ? 0 : 1;
        std::error_code ignored;
        std::filesystem::remove(settings, ignored);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == L"starter") {
        return Starter(args[1], args[2], std::stoi(args[3]));
    }
    if (args.size() == 3 && (args[0] == L"tool" || args[0] == L"greeting")) {
        return Tool(args[1], std::stoi(args[2]), args[0] == L"tool");
    }
    std::fprintf(stderr, "usage: bench_driver starter GAME_FOLDER EMPTY_GAME_FOLDER ROUNDS\n"
                         "       bench_driver tool|greeting TOOL_FOLDER ROUNDS\n");
    return 2;
}
