// Drives a scenario of a program's fault variant (tests/faults/fault_shim.cpp) with call N
// refused and judges the run: no crash, no hang, nothing lost or half-told, nothing unasked.
// The game's starts are those the stand-in recorded, whatever started it.
//   fault_driver SCENARIO once|onward N|all|sample:K
// all: N = 0 (nothing refused), then 1, 2, ... through the calls of N = 0 and on until a run no
// longer reaches N; sample:K: N = 0, then K values of N spread evenly up to the last. Prints
// "FAILED SCENARIO N MODE: why" per failed run, then "SCENARIO MODE: R runs, F failed, C calls"
// (C: the fallible calls of the run with none refused).
#include "language_tool/control_ids.h"
#include "language_tool/language_catalogue.h"
#include "tests/e2e/ui_driver.h"
#include "tests/win32/test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <utility>

namespace {

using namespace std::chrono_literals;
using namespace tamsel::ids;
constexpr auto kStep = 10s; // for the next window, box or end after each step of a scenario
const std::wstring kSteam = L"Software\\Valve\\Steam", kUserClasses = L"Software\\Classes\\ivl";
const std::wstring kQuestion = L"Ironvale has been started by an external program.\r\n"
                               L"Parameter: -game ivale -console +connect ";

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return out;
}

struct Run {
    std::wstring scenario, mode;
    long n = 0, calls = 0;
    bool reached = false, answeredOk = false, ended = false, outOfMemory = false, vanished = false;
    int processStarts = 0, refusedStarts = 0; // the shim's CreateProcessW calls, those refused
    test::TempFolder folder;
    std::set<std::string> refused;
    std::vector<std::string> unshown;     // the texts of boxes that a refused call kept away
    std::vector<std::wstring> errorBoxes; // the texts of the boxes with an error icon
    std::string failure, refusedAtN, lastLogLine;
    // The starter's: the game's starts, judged after the next run (JudgeStarts).
    bool starter = false, startWanted = false, startsJudged = false;
    std::string wantedCall;
    std::chrono::steady_clock::time_point endedAt;

    void Fail(const std::string& why) { failure = failure.empty() ? why : failure; }
    std::wstring Path(const wchar_t* name) const { return (folder.path() / name).wstring(); }
    // The player was told, or the refused call was the very box that would have told, or the
    // run took the program's out-of-memory end.
    bool Told(const std::string& start) const {
        const auto says = [&](const std::string& text) { return text.starts_with(start); };
        return outOfMemory || std::ranges::any_of(unshown, says) ||
               std::ranges::any_of(errorBoxes, [&](auto& text) { return says(Narrow(text)); });
    }
};

std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    const LSTATUS read =
        ::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size);
    return read == ERROR_SUCCESS ? data : L"<none>";
}

// The fifteen language flags and FirstStart, "-" where missing.
std::wstring Settings(const Run& run) {
    std::wstring all;
    auto read = [&](const wchar_t* section, std::wstring_view key) {
        wchar_t value[16] = {};
        ::GetPrivateProfileStringW(section, std::wstring(key).c_str(), L"-", value, 16,
                                   run.Path(L"config.ini").c_str());
        all += value;
    };
    for (const tamsel::Language& language : tamsel::kLanguages) {
        read(L"Languages", language.iniKey);
    }
    read(L"Settings", L"FirstStart");
    return all;
}

void ReadLog(Run& run) {
    std::istringstream log(test::ReadBytes(run.Path(L"faults.log")));
    long number = 0;
    for (std::string what, text; log >> what >> number && std::getline(log, text);) {
        run.lastLogLine = what + " " + std::to_string(number) + text;
        text = text.substr(std::min<std::size_t>(1, text.size()));
        if (what == "refused") {
            run.refusedStarts += text == "CreateProcessW" ? 1 : 0;
            run.refused.insert(text);
            run.refusedAtN = number == run.n ? text : run.refusedAtN;
            run.reached = run.reached || number == run.n;
        } else if (what == "calls") {
            run.calls = number;
            run.ended = true;
        } else if (what == "unshown") {
            run.unshown.push_back(text);
        } else if (what == "out-of-memory") {
            run.outOfMemory = true;
        } else if (what == "start") {
            ++run.processStarts;
        }
    }
}

// Starting the program is the harness's part, before any call of the program: under Wine it
// fails now and then (one start in a few thousand), and is tried again.
std::unique_ptr<driver::Program> Start(const std::wstring& exe, const std::wstring& line) {
    auto program = std::make_unique<driver::Program>(exe, line);
    for (int attempt = 1; attempt < 3 && !program->Started(); ++attempt) {
        program = std::make_unique<driver::Program>(exe, line);
    }
    return program;
}

bool BoxShown(driver::Program& program) {
    HWND box = driver::FindAnyTopWindow(program.Id(), L"#32770");
    return box != nullptr && ::IsWindowVisible(box);
}

// Waits until the condition holds, a box comes up or the program ends; false after kStep.
bool Settle(driver::Program& program, const std::function<bool()>& condition) {
    return driver::WaitUntil(
        [&] { return condition() || BoxShown(program) || program.WaitForExit(0ms); }, kStep);
}

// Reads the box that is up and answers it: the question with the given answer, others with OK.
void Answer(Run& run, driver::Program& program, int answer) {
    const std::optional<driver::MessageBoxView> box = driver::WaitForMessageBox(program.Id(), 0ms);
    if (!box) {
        return;
    }
    if (box->hasIcon) {
        run.errorBoxes.push_back(box->text);
    }
    const bool question = box->buttons.size() == 2;
    if (question && (run.scenario == L"refused-link" || box->text != kQuestion + L"host:27015/")) {
        run.Fail("an unexpected question: " + Narrow(box->text));
    }
    // OK counts where it was pressed: the box may go before OK takes a press (its program ended).
    const bool pressed = driver::AnswerMessageBox(*box, question ? answer : IDOK);
    run.answeredOk = run.answeredOk || (question && answer == IDOK && pressed);
    if (!driver::WaitUntil([&] { return !::IsWindow(box->hwnd) || program.WaitForExit(0ms); },
                           kStep)) {
        run.Fail("hang: the box stays after its answer");
    }
}

// The end: by the program's own exit (the shim then writes its count), with 0, or with 1 after
// a box that said why (the tool only).
void JudgeEnd(Run& run, driver::Program& program, bool hung, bool mayEndWithBox) {
    const std::optional<DWORD> code = program.WaitForExit(kStep);
    ReadLog(run);
    if (!program.Started()) {
        run.Fail("the program could not be started");
    } else if (hung || !code) {
        run.Fail("hang: still running after its last step");
    } else if (!run.ended || *code > (mayEndWithBox ? 1u : 0u)) {
        // The programs end only through the shim's count. Under load, Wine's X11 driver ends a
        // process now and then on an X error (BadWindow, as a box goes): exit code 0 without it.
        run.vanished = !run.ended && *code == 0;
        run.Fail("crash: exit code " + std::to_string(*code) + ", the log ends with \"" +
                 run.lastLogLine + "\"");
    } else if (*code == 1 && run.errorBoxes.empty() && run.unshown.empty()) {
        run.Fail("ended with exit code 1 but no box said why");
    }
}

void RunTamsel(Run& run, const std::wstring& exe) {
    const bool firstStart = run.scenario != L"later-set";
    if (!firstStart) {
        test::WriteBytes(run.Path(L"config.ini"),
                         "[Settings]\r\nFirstStart=0\r\n[Languages]\r\nGerman=1\r\nKorean=1\r\n");
    }
    const std::wstring before = Settings(run);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kSteam.c_str(), L"Language", REG_SZ, L"english", 16);
    const std::unique_ptr<driver::Program> started = Start(exe, L"\"" + exe + L"\"");
    driver::Program& program = *started;
    bool saved = false, set = false, hung = false;
    std::wstring code = L"english", line; // the result line, where one was shown
    for (int step = 0; step < 12 && !hung && !program.WaitForExit(0ms); ++step) {
        HWND form1 = nullptr, form2 = nullptr;
        hung = !Settle(program, [&] {
            form2 = driver::FindTopWindow(program.Id(), kForm2Class, L"Properties");
            form1 = driver::FindTopWindow(program.Id(), kForm1Class, L"Vantoline by Tarquist");
            return form1 != nullptr || form2 != nullptr;
        });
        if (hung || program.WaitForExit(0ms)) {
            continue;
        }
        if (BoxShown(program)) {
            Answer(run, program, IDOK);
        } else if (form2 != nullptr && run.scenario == L"first-save" && !saved) {
            driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox), true);      // German
            driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 14), true); // Turkish
            driver::Press(::GetDlgItem(form2, kForm2Command1));
            saved = true;
            Settle(program, [&] { return !::IsWindowVisible(form2); });
        } else if (form2 == nullptr && !set) {
            HWND list = ::GetDlgItem(form1, kForm1Combo1);
            const std::vector<std::wstring> items = driver::ComboItems(list);
            const std::wstring wanted = firstStart ? L"Turkish" : L"Korean";
            if (!items.empty()) {
                const std::wstring pick = std::ranges::count(items, wanted) ? wanted : items[0];
                driver::SelectComboItem(list, pick);
                code = std::wstring(tamsel::FindByListText(pick)->steamCode);
            }
            driver::Press(::GetDlgItem(form1, kForm1Command1));
            set = true;
            Settle(program,
                   [&] { return !driver::TextOf(::GetDlgItem(form1, kForm1Label1)).empty(); });
        } else {
            HWND form = form2 != nullptr ? form2 : form1;
            if (form == form1) {
                line = driver::TextOf(::GetDlgItem(form1, kForm1Label1));
            }
            driver::Close(form);
            Settle(program, [&] { return !::IsWindowVisible(form); });
        }
    }
    JudgeEnd(run, program, hung, true);
    const std::wstring settings = Settings(run),
                       steam = RegText(HKEY_CURRENT_USER, kSteam, L"Language");
    if (saved ? settings != L"1000000000000010" && !run.Told("The settings could not be saved")
              : settings != before) {
        run.Fail("config.ini holds " + Narrow(settings) + " and nobody was told");
    }
    if (steam != L"english" && steam != code) {
        run.Fail("Steam's value is " + Narrow(steam));
    }
    const std::wstring told = L"Steam-Language set to ";
    if (!line.empty() && line != told + steam && (line != told || run.refused.empty())) {
        run.Fail("the result line says " + Narrow(line) + " where " + Narrow(steam) + " is stored");
    }
}

// The registration names the starter's own file, by its name or its short (8.3) name, or nothing.
void CheckRegistration(Run& run, const std::wstring& exe, HKEY root, const std::wstring& key,
                       bool complete) {
    std::wstring command = RegText(root, key + L"\\shell\\open\\command", nullptr);
    std::wstring icon = RegText(root, key + L"\\DefaultIcon", nullptr);
    wchar_t shortName[MAX_PATH] = {};
    ::GetShortPathNameW(exe.c_str(), shortName, MAX_PATH);
    for (const std::wstring& name : {exe, std::wstring(shortName)}) {
        if (command == L"\"" + name + L"\" \"%1\"" || (!complete && command == L"<none>")) {
            command.clear();
        }
        if (icon == name + L",0" || (!complete && icon == L"<none>")) {
            icon.clear();
        }
    }
    if (!command.empty() || !icon.empty()) {
        run.Fail("the registration names " + Narrow(command + L" " + icon));
    }
    if (complete && (RegText(root, key, L"Url Protocol") != L" " ||
                     RegText(root, key, L"Source Filter") == L"<none>")) {
        run.Fail("the registration is incomplete");
    }
}

void RunIronvale(Run& run, const std::wstring& exe) {
    const std::wstring game = run.Path(L"hl2.exe");
    test::WriteBytes(game, "");
    if (run.scenario != L"empty-game") {
        ::CopyFileW((driver::BuildFolder() / L"hl2_standin.exe").c_str(), game.c_str(), FALSE);
    }
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ivl");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserClasses.c_str());
    const bool link = run.scenario != L"no-argument";
    const std::wstring server = run.scenario == L"refused-link" ? L"host;quit" : L"host:27015/";
    const std::unique_ptr<driver::Program> started =
        Start(exe, L"\"" + exe + L"\"" + (link ? L" \"ivl://" + server + L"\"" : L""));
    driver::Program& program = *started;
    bool hung = false;
    for (int step = 0; step < 6 && !hung && !program.WaitForExit(0ms); ++step) {
        hung = !Settle(program, [] { return false; });
        Answer(run, program, run.scenario == L"link-cancel" ? IDCANCEL : IDOK);
    }
    JudgeEnd(run, program, hung, false);
    run.starter = true, run.endedAt = std::chrono::steady_clock::now();
    run.wantedCall =
        "\"" + Narrow(game) + "\" -game ivale -console +connect " + (link ? Narrow(server) : "");
    run.startWanted = run.scenario != L"refused-link" && (!link || run.answeredOk);
    const bool standardUser = run.scenario == L"standard-user", whole = run.refused.empty();
    CheckRegistration(run, exe, HKEY_CLASSES_ROOT, L"ivl", !standardUser && whole);
    CheckRegistration(run, exe, HKEY_CURRENT_USER, kUserClasses, standardUser && whole);
    HKEY key = nullptr;
    if (standardUser && ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"ivl", 0, KEY_READ, &key) == 0) {
        ::RegCloseKey(key);
        run.Fail("a standard user's registration went below HKEY_CLASSES_ROOT");
    }
}

// The game's starts, as the stand-in recorded them, whatever started it. It writes one as soon
// as it runs: each start that the shim saw made is waited for within the general timeout; that
// no other came shows once a grace period after the starter's end is over (the next run takes
// most of it). Without a stand-in (an empty hl2.exe) nothing can record one. Of a run that is
// run again (whole: false), a start missing from what it was asked is no fault.
void JudgeStarts(Run& run, bool whole) {
    run.startsJudged = true;
    const std::wstring calls = run.Path(L"hl2-calls.txt");
    const auto recorded = [&] { return std::ranges::count(test::ReadBytes(calls), '\n'); };
    // A start that the system refused (not the shim) is one that the player was told of.
    const std::string failedStart = "The game could not be started";
    std::ptrdiff_t told = std::ranges::count_if(
        run.unshown, [&](const std::string& text) { return text.starts_with(failedStart); });
    for (const std::wstring& text : run.errorBoxes) {
        told += Narrow(text).starts_with(failedStart) ? 1 : 0;
    }
    const std::ptrdiff_t made = std::max<std::ptrdiff_t>(
        0, run.processStarts - std::max<std::ptrdiff_t>(run.refusedStarts, told));
    if (run.scenario != L"empty-game") {
        driver::WaitUntil([&] { return recorded() >= made; });
        const auto passed = std::chrono::steady_clock::now() - run.endedAt;
        driver::WaitUntil(
            [&] { return recorded() > made; },
            std::max(std::chrono::duration_cast<std::chrono::milliseconds>(driver::kGrace - passed),
                     0ms));
    }
    // One line per start: show request, folder and command line, separated by tabs.
    std::istringstream starts(test::ReadBytes(calls));
    int count = 0;
    for (std::string line; std::getline(starts, line); ++count) {
        const std::string command = line.substr(line.find('\t', line.find('\t') + 1) + 1);
        const std::string how = run.processStarts == 0 ? " (not by CreateProcessW)" : "";
        run.Fail(command != run.wantedCall ? "started " + command + how
                 : count > 0               ? "started the game twice" + how
                 : run.startWanted         ? ""
                 : run.scenario == L"refused-link"
                     ? "started the game where nothing may start" + how
                     : "started the game without an OK" + how);
    }
    if (count < made) {
        run.Fail("the stand-in recorded " + std::to_string(count) + " of the game's " +
                 std::to_string(made) + " starts that the shim saw");
    }
    if (whole && run.startWanted && count == 0 && !run.Told("The game could not be started")) {
        run.Fail("the game did not start and nobody was told");
    }
}

void Report(const Run& run) {
    if (!run.failure.empty()) {
        std::printf("FAILED %ls %ld %ls: %s (call %ld: %s)\n", run.scenario.c_str(), run.n,
                    run.mode.c_str(), run.failure.c_str(), run.n,
                    run.refusedAtN.empty() ? "not reached" : run.refusedAtN.c_str());
        std::fflush(stdout);
    }
}

// One run: the fault variant in a folder of its own, with call N refused.
void Once(Run& run, const std::wstring& scenario, const std::wstring& mode, long n) {
    run.scenario = scenario, run.mode = mode, run.n = n;
    const bool tamsel = scenario.starts_with(L"first-") || scenario == L"later-set";
    const std::wstring exe = run.Path(tamsel ? L"tamsel.exe" : L"Ironvale.exe");
    const std::wstring variant = tamsel ? L"tamsel_faults.exe" : L"Ironvale_faults.exe";
    ::CopyFileW((driver::BuildFolder() / variant).c_str(), exe.c_str(), FALSE);
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_AT", std::to_wstring(n).c_str());
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_MODE", mode.c_str());
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_STANDARD_USER",
                              scenario == L"standard-user" ? L"1" : L"0");
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_LOG", run.Path(L"faults.log").c_str());
    tamsel ? RunTamsel(run, exe) : RunIronvale(run, exe);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fault_driver SCENARIO once|onward N|all|sample:K\n");
        return 2;
    }
    const std::wstring scenario = argv[1], mode = argv[2], which = argv[3];
    int runs = 0, failed = 0;
    std::string refusedAtN;       // of the last run
    std::unique_ptr<Run> pending; // its starts are judged after the next run
    const auto finish = [&] {
        if (pending) {
            pending->starter && !pending->startsJudged ? JudgeStarts(*pending, true) : void();
            Report(*pending);
            failed += pending->failure.empty() ? 0 : 1;
            pending.reset();
        }
    };
    // Runs N; true when the run reached it.
    auto run = [&](long n) {
        auto one = std::make_unique<Run>();
        Once(*one, scenario, mode, n);
        if (one->vanished) { // run again, once, unless the game started where it must not
            const std::string vanished = std::exchange(one->failure, "");
            one->starter ? JudgeStarts(*one, false) : void();
            if (one->failure.empty()) {
                std::printf("RETRIED %ls %ld %ls: %s\n", scenario.c_str(), n, mode.c_str(),
                            vanished.c_str());
                one = std::make_unique<Run>();
                Once(*one, scenario, mode, n);
            } else {
                one->failure += "; and " + vanished;
            }
        }
        ++runs;
        finish();
        refusedAtN = one->refusedAtN;
        pending = std::move(one);
        return std::pair{pending->reached, pending->calls};
    };
    const bool single = !(which == L"all" || which.starts_with(L"sample:"));
    const long calls = run(single ? std::wcstol(which.c_str(), nullptr, 10) : 0).second;
    if (which == L"all") {
        // Every N of the run without faults (a run may take a shorter way), then on while runs
        // reach N, but not far beyond: that would be a refused call tried forever.
        long n = 1;
        while (n <= 2 * calls + 20 && (run(n).first || n <= calls)) {
            ++n;
        }
        if (n > 2 * calls + 20) {
            std::printf("FAILED %ls %ld %ls: a refused call is tried forever\n", scenario.c_str(),
                        n - 1, mode.c_str());
            ++failed;
        }
    } else if (!single) {
        const long count = std::max(1L, std::wcstol(which.c_str() + 7, nullptr, 10));
        for (long i = 1, last = 0; i <= count; ++i) {
            const long n = std::max(last + 1, calls * i / count);
            if (n <= calls) {
                run(last = n);
            }
        }
    }
    finish();
    if (single) {
        std::printf("call %ls: %s\n", which.c_str(),
                    refusedAtN.empty() ? "not reached" : refusedAtN.c_str());
    }
    std::printf("%ls %ls: %d runs, %d failed, %ld calls\n", scenario.c_str(), mode.c_str(), runs,
                failed, calls);
    return failed == 0 ? 0 : 1;
}
