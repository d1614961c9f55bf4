// Runs one scenario of a fault variant (tests/faults/fault_shim.cpp) with call N refused, once
// or onward, and judges the run: no crash, no hang, nothing lost or half-told, nothing unasked.
// fault_driver SCENARIO MODE N      one run; MODE once, onward
// fault_driver SCENARIO MODE all    N = 1, 2, ... until a run does not reach N
// fault_driver SCENARIO MODE sample:K every K-th N and the last one
// Prints "FAILED SCENARIO N MODE: reason" per failed run, then "SCENARIO MODE: R runs, F failed,
// C calls".
#include "language_tool/control_ids.h"
#include "language_tool/language_catalogue.h"
#include "tests/e2e/ui_driver.h"

#include "tests/win32/test_support.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using namespace tamsel::ids;
constexpr auto kStep = 5s; // for the next window or box, or the end, after each step
const std::wstring kSteam = L"Software\\Valve\\Steam";
const std::wstring kConfirmation = L"Ironvale has been started by an external program.\r\n"
                                   L"Parameter: -game ivale -console +connect ";
const std::wstring kKeys[] = {L"German", L"English",  L"KoreanA",    L"Korean",   L"Spanish",
                              L"French", L"Italian",  L"ChineseS",   L"Chinese",  L"Russian",
                              L"Thai",   L"Japanese", L"Portuguese", L"Albanian", L"Turkish"};

struct Run {
    std::wstring scenario, mode;
    long n = 0;
    test::TempFolder folder;
    std::wstring exe, log;
    std::set<std::string> refused; // names of the refused calls
    bool reached = false;
    long calls = 0;
    std::vector<std::string> starts;
    std::vector<std::wstring> boxes, errorBoxes; // texts seen, and those with an error icon
    bool answeredOk = false;
    std::string failure;

    void Fail(const std::string& why) {
        if (failure.empty()) {
            failure = why;
        }
    }
    bool Refused(const char* name) const { return refused.count(name) != 0; }
    std::wstring Path(const wchar_t* name) const { return (folder.path() / name).wstring(); }
};

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return out;
}

std::wstring RegText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    return ::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) ==
                   ERROR_SUCCESS
               ? data
               : L"<none>";
}

std::wstring Ini(const Run& run) {
    std::wstring all;
    for (const std::wstring& key : kKeys) {
        wchar_t value[16] = {};
        ::GetPrivateProfileStringW(L"Languages", key.c_str(), L"-", value, 16,
                                   run.Path(L"config.ini").c_str());
        all += value;
    }
    wchar_t first[16] = {};
    ::GetPrivateProfileStringW(L"Settings", L"FirstStart", L"-", first, 16,
                               run.Path(L"config.ini").c_str());
    return all + L"/" + first;
}

void ReadLog(Run& run) {
    std::istringstream log(test::ReadBytes(run.log));
    for (std::string what, line; log >> what && std::getline(log, line);) {
        const long number = std::strtol(line.c_str(), nullptr, 10);
        const std::string rest = line.substr(std::min(line.size(), line.find(' ', 1) + 1));
        if (what == "refused") {
            run.refused.insert(rest);
            run.reached = run.reached || number == run.n;
        } else if (what == "start") {
            run.starts.push_back(rest);
        } else if (what == "calls") {
            run.calls = number;
        }
    }
}

bool BoxShown(const driver::Program& program) {
    HWND box = driver::FindAnyTopWindow(program.Id(), L"#32770");
    return box != nullptr && ::IsWindowVisible(box);
}

// Waits until the condition holds, a box comes up or the program ends; false after kStep.
bool Settle(driver::Program& program, const std::function<bool()>& condition) {
    return driver::WaitUntil(
        [&] { return condition() || BoxShown(program) || program.WaitForExit(0ms); }, kStep);
}

// Reads the box that is up and answers it: a question with the given answer, any other with OK.
void Answer(Run& run, driver::Program& program, const std::wstring& question, int answer) {
    const std::optional<driver::MessageBoxView> box = driver::WaitForMessageBox(program.Id(), 0ms);
    if (!box) {
        return; // gone already
    }
    run.boxes.push_back(box->text);
    if (box->hasIcon) {
        run.errorBoxes.push_back(box->text);
    }
    const bool asks = box->buttons.size() == 2;
    if (asks && box->text != question) {
        run.Fail("an unexpected question: " + Narrow(box->text));
    }
    run.answeredOk = run.answeredOk || (asks && answer == IDOK);
    driver::AnswerMessageBox(*box, asks ? answer : IDOK);
    if (!driver::WaitUntil([&] { return !::IsWindow(box->hwnd) || program.WaitForExit(0ms); },
                           kStep)) {
        run.Fail("hang: the box stays after its answer");
    }
}

bool Told(const Run& run, const wchar_t* start) {
    for (const std::wstring& text : run.errorBoxes) {
        if (text.starts_with(start)) {
            return true;
        }
    }
    return run.Refused("MessageBoxW") || run.Refused("malloc"); // nothing could say it
}

void JudgeEnd(Run& run, driver::Program& program, bool hung) {
    const std::optional<DWORD> code = program.WaitForExit(kStep);
    if (hung || !code) {
        run.Fail("hang: still running after its last step");
    } else if (*code == 1 && run.errorBoxes.empty() && !run.Refused("MessageBoxW")) {
        run.Fail("ended with exit code 1 but no box said why");
    } else if (*code != 0 && *code != 1) {
        run.Fail("crash: exit code " + std::to_string(*code));
    }
}

void RunTamsel(Run& run) {
    const bool firstStart = run.scenario != L"later-set";
    std::wstring before = L"---------------/-";
    if (!firstStart) {
        test::WriteBytes(run.Path(L"config.ini"),
                         "[Settings]\r\nFirstStart=0\r\n[Languages]\r\nGerman=1\r\nKorean=1\r\n");
        before = Ini(run);
    }
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kSteam.c_str(), L"Language", REG_SZ, L"english", 16);
    driver::Program program(run.exe, L"\"" + run.exe + L"\"");
    bool saved = false, set = false, hung = false;
    std::wstring code = L"english", line = L"<none>";
    for (int step = 0; step < 12; ++step) {
        HWND form1 = nullptr, form2 = nullptr;
        const auto forms = [&] {
            form2 = driver::FindTopWindow(program.Id(), kForm2Class, L"Properties");
            form1 = driver::FindTopWindow(program.Id(), kForm1Class, L"Vantoline by Tarquist");
            return form1 != nullptr || form2 != nullptr;
        };
        if (!Settle(program, forms)) {
            hung = true;
            break;
        }
        if (program.WaitForExit(0ms)) {
            break;
        }
        if (BoxShown(program)) {
            Answer(run, program, L"", IDOK);
        } else if (form2 != nullptr && run.scenario == L"first-save" && !saved) {
            driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox), true);
            driver::SetChecked(::GetDlgItem(form2, kForm2FirstCheckBox + 14), true);
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
            HWND label = ::GetDlgItem(form1, kForm1Label1);
            Settle(program, [&] { return !driver::TextOf(label).empty(); });
        } else {
            HWND form = form2 != nullptr ? form2 : form1;
            if (form == form1) {
                line = driver::TextOf(::GetDlgItem(form1, kForm1Label1));
            }
            driver::Close(form);
            Settle(program, [&] { return !::IsWindowVisible(form); });
        }
    }
    JudgeEnd(run, program, hung);
    const std::wstring ini = Ini(run);
    const std::wstring steam = RegText(HKEY_CURRENT_USER, kSteam, L"Language");
    if (saved ? ini != L"100000000000001/0" && !Told(run, L"The settings could not be saved")
              : ini != before) {
        run.Fail("config.ini holds " + Narrow(ini) + " and nobody was told");
    }
    if (steam != L"english" && steam != code) {
        run.Fail("Steam's value is " + Narrow(steam));
    }
    const std::wstring told = L"Steam-Language set to ";
    if (line != L"<none>" && line != told + steam && (line != told || run.refused.empty())) {
        run.Fail("the result line says " + Narrow(line) + " where " + Narrow(steam) + " is stored");
    }
}

// The registration names the starter's own file, by its name or its short (8.3) name, or nothing.
void CheckRegistration(Run& run, HKEY root, const std::wstring& key, bool complete) {
    std::wstring command = RegText(root, key + L"\\shell\\open\\command", nullptr);
    std::wstring icon = RegText(root, key + L"\\DefaultIcon", nullptr);
    wchar_t shortName[MAX_PATH] = {};
    ::GetShortPathNameW(run.exe.c_str(), shortName, MAX_PATH);
    for (const std::wstring& exe : {run.exe, std::wstring(shortName)}) {
        if (command == L"\"" + exe + L"\" \"%1\"" || (!complete && command == L"<none>")) {
            command.clear();
        }
        if (icon == exe + L",0" || (!complete && icon == L"<none>")) {
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

void RunIronvale(Run& run) {
    const std::wstring game = run.Path(L"hl2.exe");
    if (run.scenario == L"empty-game") {
        test::WriteBytes(game, "");
    } else {
        ::CopyFileW((driver::BuildFolder() / L"hl2_standin.exe").c_str(), game.c_str(), FALSE);
    }
    const std::wstring userClasses = L"Software\\Classes\\ivl";
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ivl");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, userClasses.c_str());
    const bool link = run.scenario != L"no-argument";
    const std::wstring server = run.scenario == L"refused-link" ? L"host;quit" : L"host:27015/";
    const std::wstring arguments = link ? L" \"ivl://" + server + L"\"" : L"";
    driver::Program program(run.exe, L"\"" + run.exe + L"\"" + arguments);
    const int answer = run.scenario == L"link-cancel" ? IDCANCEL : IDOK;
    bool hung = true;
    for (int step = 0; step < 6 && Settle(program, [] { return false; }); ++step) {
        if (program.WaitForExit(0ms)) {
            hung = false;
            break;
        }
        Answer(run, program, kConfirmation + server, answer);
    }
    JudgeEnd(run, program, hung);
    ReadLog(run);

    const std::string call =
        "\"" + Narrow(game) + "\" -game ivale -console +connect " + Narrow(link ? server : L"");
    for (const std::string& start : run.starts) {
        if (start != call) {
            run.Fail("started " + start);
        } else if (link && !run.answeredOk) {
            run.Fail("started the game without an OK");
        }
    }
    const bool expected = run.scenario != L"refused-link" && (!link || run.answeredOk);
    std::istringstream calls(test::ReadBytes(run.Path(L"hl2-calls.txt")));
    if (!run.starts.empty() && calls.str().empty()) {
        driver::WaitUntil([&] { return !test::ReadBytes(run.Path(L"hl2-calls.txt")).empty(); },
                          driver::kGrace);
    }
    const bool started = !test::ReadBytes(run.Path(L"hl2-calls.txt")).empty();
    if (expected && !started && !Told(run, L"The game could not be started")) {
        run.Fail("the game did not start and nobody was told");
    }
    const bool standardUser = run.scenario == L"standard-user";
    CheckRegistration(run, HKEY_CLASSES_ROOT, L"ivl", !standardUser && run.refused.empty());
    CheckRegistration(run, HKEY_CURRENT_USER, userClasses, standardUser && run.refused.empty());
    HKEY machine = nullptr;
    if (standardUser && ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"ivl", 0, KEY_READ, &machine) == 0) {
        ::RegCloseKey(machine);
        run.Fail("a standard user's registration went below HKEY_CLASSES_ROOT");
    }
}

struct Outcome {
    bool reached, failed;
    long calls;
};

// One run: the program's fault variant in a folder of its own, call N refused.
Outcome Once(const std::wstring& scenario, const std::wstring& mode, long n) {
    Run run;
    run.scenario = scenario;
    run.mode = mode;
    run.n = n;
    const bool tamsel =
        scenario == L"first-save" || scenario == L"later-set" || scenario == L"first-close";
    run.exe = run.Path(tamsel ? L"tamsel.exe" : L"Ironvale.exe");
    run.log = run.Path(L"faults.log");
    ::CopyFileW(
        (driver::BuildFolder() / (tamsel ? L"tamsel_faults.exe" : L"Ironvale_faults.exe")).c_str(),
        run.exe.c_str(), FALSE);
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_AT", std::to_wstring(n).c_str());
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_MODE", mode.c_str());
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_STANDARD_USER",
                              scenario == L"standard-user" ? L"1" : L"0");
    ::SetEnvironmentVariableW(L"VANTOLINE_FAULT_LOG", run.log.c_str());
    if (tamsel) {
        RunTamsel(run);
        ReadLog(run);
    } else {
        RunIronvale(run);
    }
    if (!run.failure.empty()) {
        std::printf("FAILED %ls %ld %ls: %s\n", scenario.c_str(), n, mode.c_str(),
                    run.failure.c_str());
        std::fflush(stdout);
    }
    return {run.reached, !run.failure.empty(), run.calls};
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fault_driver SCENARIO once|onward N|all|sample:K\n");
        return 2;
    }
    const std::wstring scenario = argv[1], mode = argv[2], which = argv[3];
    int runs = 0, failed = 0;
    auto count = [&](const Outcome& run) {
        ++runs;
        failed += run.failed ? 1 : 0;
        return run.reached;
    };
    long calls = 0;
    const bool sample = which.starts_with(L"sample:");
    if (which == L"all" || sample) {
        const Outcome baseline = Once(scenario, mode, 0);
        count(baseline);
        calls = baseline.calls;
    }
    if (which == L"all") {
        // Far more calls than a run without faults makes: a failed call that is tried forever.
        const long limit = 2 * calls + 20;
        long n = 1;
        while (n <= limit && count(Once(scenario, mode, n))) {
            ++n;
        }
        if (n > limit) {
            std::printf("FAILED %ls %ld %ls: still reaches N, a failed call tried forever\n",
                        scenario.c_str(), n - 1, mode.c_str());
            ++failed;
        }
    } else if (sample) {
        const long stride = std::max(1L, std::wcstol(which.c_str() + 7, nullptr, 10));
        for (long n = stride; n < calls; n += stride) {
            count(Once(scenario, mode, n));
        }
        count(Once(scenario, mode, calls));
    } else {
        const Outcome run = Once(scenario, mode, std::wcstol(which.c_str(), nullptr, 10));
        count(run);
        calls = run.calls;
    }
    std::printf("%ls %ls: %d runs, %d failed, %ld calls\n", scenario.c_str(), mode.c_str(), runs,
                failed, calls);
    return failed == 0 ? 0 : 1;
}
