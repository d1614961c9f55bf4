// Ironvale.exe as a player and a web page meet it: started by hand, with a link as the shell
// passes it, through the shell itself, from folders with names of every script, and with the
// game file missing or empty. A stand-in hl2.exe beside it records every start in
// hl2-calls.txt.
#include "ui_driver.h"

#include "../win32/test_support.h"
#include "platform/error_text.h"
#include "platform/running_program.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <winsafer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using test::Utf8;

std::wstring KeyValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t data[2048] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return data;
}

std::wstring ClassesValue(const wchar_t* key, const wchar_t* name) {
    return KeyValue(HKEY_CLASSES_ROOT, key, name);
}

using namespace std::chrono_literals;

// The registration below HKEY_CURRENT_USER (the user's) or HKEY_LOCAL_MACHINE (the machine's).
constexpr wchar_t kIvlClasses[] = L"Software\\Classes\\ivl";

// Whether this process runs elevated (with the Administrators group and its privileges).
bool Elevated() {
    platform::OwnedHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
           ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation,
                                 &size) &&
           elevation.TokenIsElevated != 0;
}

// A normal user's token made from this process's own, as an unelevated start gets it: without
// the Administrators group and its privileges, at medium integrity. Empty where it can't be had.
platform::OwnedHandle StandardUserToken() {
    SAFER_LEVEL_HANDLE level = nullptr;
    if (!::SaferCreateLevel(SAFER_SCOPEID_USER, SAFER_LEVELID_NORMALUSER, SAFER_LEVEL_OPEN, &level,
                            nullptr)) {
        return {};
    }
    platform::OwnedHandle token;
    const BOOL made = ::SaferComputeTokenFromLevel(level, nullptr, token.put(), 0, nullptr);
    ::SaferCloseLevel(level);
    if (!made) {
        return {};
    }
    PSID medium = nullptr;
    if (::ConvertStringSidToSidW(L"S-1-16-8192", &medium)) {
        TOKEN_MANDATORY_LABEL label{};
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        label.Label.Sid = medium;
        ::SetTokenInformation(token.get(), TokenIntegrityLevel, &label,
                              sizeof label + ::GetLengthSid(medium));
        ::LocalFree(medium);
    }
    return token;
}

// Under Wine every process runs elevated and may write every key, and HKEY_CLASSES_ROOT shows
// the machine's classes only: a standard user's registration can't happen there.
constexpr char kNoStandardUserUnderWine[] =
    "Wine runs every process with a full, elevated token (a SAFER token it makes can't start a "
    "process), enforces no registry rights and doesn't merge HKCU\\Software\\Classes into "
    "HKEY_CLASSES_ROOT";

// Whether a game that this process started is still running. The name counts too: process
// numbers are reused, so long-running system processes may name a parent that has this
// number now.
bool HasRunningGame(DWORD parentId) {
    const platform::OwnedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        ADD_FAILURE() << "no process snapshot";
        return true;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && _wcsicmp(entry.szExeFile, L"hl2.exe") == 0) {
            return true;
        }
    }
    return false;
}

const std::wstring kConfirmation =
    L"Ironvale has been started by an external program.\r\nParameter: -game ivale -console "
    L"+connect ";
const std::wstring kRefusal = L"The link does not name a valid server address:\r\n";
// The question while the game runs: the start hands the server over to it.
const std::wstring kConfirmationWhileItRuns =
    L"Ironvale has been started by an external program.\r\nParameter: -hijack -game ivale "
    L"-console +connect ";

class Ironvale : public ::testing::Test {
protected:
    // The registrations that were there before, put back after the test (which removes them).
    test::SavedRegistryTree userRegistration_{HKEY_CURRENT_USER, kIvlClasses};
    test::SavedRegistryTree machineRegistration_{HKEY_LOCAL_MACHINE, kIvlClasses};

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Install(L"Iron Vale"));
        DeleteRegistration();
    }

    // Puts the starter and the stand-in game into a new folder of this name; the test goes on
    // with that copy.
    void Install(const std::wstring& folderName) {
        folder_ = temp_.path() / folderName;
        exe_ = (folder_ / L"Ironvale.exe").wstring();
        ASSERT_TRUE(std::filesystem::create_directories(folder_));
        ASSERT_TRUE(
            ::CopyFileW((driver::ProgramFolder() / L"Ironvale.exe").c_str(), exe_.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((driver::BuildFolder() / L"hl2_standin.exe").c_str(),
                                Game().c_str(), FALSE));
    }
    void TearDown() override { DeleteRegistration(); }

    static void DeleteRegistration() {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ivl");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kIvlClasses);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kIvlClasses); // where this process may
    }

    std::wstring Game() const { return (folder_ / L"hl2.exe").wstring(); }

    // The line the stand-in writes for a start with the server (or text) behind "+connect ":
    // minimized, in the game's own folder (never the test's, which the starter inherits).
    std::string Call(const std::wstring& connectTo, const char* hijack = "") const {
        return "2\t" + Utf8(folder_.wstring()) + "\t\"" + Utf8(Game()) + "\" " + hijack +
               "-game ivale -console +connect " + Utf8(connectTo);
    }

    // The game at exe running, as the engine runs: the stand-in holds the engine's mutex and
    // shows its window, which keeps each command it is sent as a line of hl2-console.txt beside
    // it. Started by its path in capitals: the starter has to know its file by more than a name.
    struct RunningGame {
        std::unique_ptr<driver::Program> program;
        HWND window = nullptr;
    };
    static RunningGame RunGame(const std::filesystem::path& exe) {
        const std::wstring path = OtherSpelling(exe);
        RunningGame game{
            std::make_unique<driver::Program>(path, L"\"" + path + L"\" -keep-running")};
        driver::WaitUntil([&] {
            return (game.window = driver::FindAnyTopWindow(game.program->Id(), L"Valve001")) !=
                   nullptr;
        });
        return game;
    }
    static std::wstring OtherSpelling(const std::filesystem::path& path) {
        std::wstring other = path.wstring();
        ::CharUpperBuffW(other.data(), static_cast<DWORD>(other.size()));
        return other;
    }
    static std::string Console(const std::filesystem::path& folder) {
        return test::ReadBytes((folder / L"hl2-console.txt").wstring());
    }

    std::vector<std::string> Calls() const {
        std::istringstream log(test::ReadBytes((folder_ / L"hl2-calls.txt").wstring()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<std::string> WaitForCalls(std::size_t count) const {
        driver::WaitUntil([&] { return Calls().size() >= count; });
        return Calls();
    }

    // Starts the starter with exactly this text behind its quoted path.
    std::unique_ptr<driver::Program> Start(const std::wstring& arguments) const {
        std::wstring line = L"\"" + exe_ + L"\"";
        if (!arguments.empty()) {
            line += L" " + arguments;
        }
        auto program = std::make_unique<driver::Program>(exe_, line);
        EXPECT_TRUE(program->Started());
        return program;
    }

    // No start of the game shows up within the grace period: beyond the count there already.
    void ExpectNoFurtherCall(std::size_t count) const {
        // Without a game file there is nothing that could record a start: no need to wait.
        if (std::filesystem::exists(Game())) {
            EXPECT_FALSE(driver::WaitUntil([&] { return Calls().size() > count; }, driver::kGrace));
        }
        EXPECT_EQ(Calls().size(), count);
    }

    // The starter has ended without starting the game: no game of it runs, and none ran.
    void ExpectEndedWithoutGame(driver::Program& starter) const {
        ASSERT_EQ(starter.WaitForExit(), 0u);
        EXPECT_FALSE(HasRunningGame(starter.Id()));
        ExpectNoFurtherCall(0);
    }

    void ExpectRegisteredHere() const {
        EXPECT_EQ(ClassesValue(L"ivl\\shell\\open\\command", nullptr), L"\"" + exe_ + L"\" \"%1\"");
    }

    // A start without arguments: registers this copy for links and starts the game once.
    void RegisterWithAFirstStart() const {
        auto first = Start(L"");
        ASSERT_EQ(first->WaitForExit(), 0u);
        ASSERT_EQ(WaitForCalls(1).size(), 1u);
    }

    // The command the shell runs for an ivl link, as it finds it (a user's own choice of a
    // program first), or "<none>".
    static std::wstring LinkCommand() {
        wchar_t command[2048] = {};
        DWORD length = 2048;
        return SUCCEEDED(::AssocQueryStringW(ASSOCF_IS_PROTOCOL, ASSOCSTR_COMMAND, L"ivl", L"open",
                                             command, &length))
                   ? command
                   : L"<none>";
    }

    // Whether ivl links reach this test's copy; a failure that names the program they reach
    // where they don't: then no link may be opened.
    bool LinksReachThisCopy() const {
        const std::wstring command = LinkCommand();
        if (command == L"\"" + exe_ + L"\" \"%1\"") {
            return true;
        }
        ADD_FAILURE() << "ivl links reach " << Utf8(command)
                      << ", not this test's copy: no link is opened";
        return false;
    }

    // The starter's box, where it is this test's copy's. A box of that title in another program
    // is not the test's to answer: a failure that names the program, and nothing is pressed.
    std::optional<driver::MessageBoxView>
    BoxOfThisCopy(std::chrono::milliseconds timeout = driver::kTimeout) const {
        const auto box = driver::WaitForMessageBoxTitled(L"Ironvale", timeout);
        if (box && !platform::SameFile(platform::ProgramOfWindow(box->hwnd), exe_)) {
            ADD_FAILURE() << "a link reached " << Utf8(platform::ProgramOfWindow(box->hwnd))
                          << ", not this test's copy: its box is left unanswered";
            return std::nullopt;
        }
        return box;
    }

    // Opens the link as a browser would, once links reach this test's copy; the box then shows
    // in the starter the shell ran. Nothing where the link reached another program.
    std::optional<driver::MessageBoxView> OpenThroughTheShell(const wchar_t* link) const {
        if (!LinksReachThisCopy()) {
            return std::nullopt;
        }
        SHELLEXECUTEINFOW open{};
        open.cbSize = sizeof open;
        open.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        open.lpVerb = L"open";
        open.lpFile = link;
        open.nShow = SW_SHOWNORMAL;
        if (!::ShellExecuteExW(&open)) {
            ADD_FAILURE() << "the shell opens no link: error " << ::GetLastError();
            return std::nullopt;
        }
        const platform::OwnedHandle started(open.hProcess);
        const std::wstring program = started ? platform::ProgramOf(started.get()) : exe_;
        if (!platform::SameFile(program, exe_)) {
            ADD_FAILURE() << "the link started " << Utf8(program) << ", not this test's copy";
            return std::nullopt;
        }
        return BoxOfThisCopy();
    }

    // A first start as a standard user (from an elevated run, with a normal user's token made
    // from its own): registers and starts the game once.
    void RegisterAsStandardUser() const {
        platform::OwnedHandle token;
        if (Elevated()) {
            token = StandardUserToken();
            ASSERT_TRUE(token) << "no standard user's token: error " << ::GetLastError();
        }
        driver::Program first(exe_, L"\"" + exe_ + L"\"", token.get());
        ASSERT_TRUE(first.Started()) << "error " << ::GetLastError();
        ASSERT_EQ(first.WaitForExit(), 0u);
        ASSERT_EQ(WaitForCalls(1).size(), 1u);
    }

    // A link opened as a browser opens it reaches this starter, which asks; Cancel starts
    // nothing.
    void ExpectALinkAsksAndCancelStartsNothing() const {
        const auto box = OpenThroughTheShell(L"ivl://host:27015/");
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, kConfirmation + L"host:27015/");
        AnswerAndWaitForTheEnd(*box, IDCANCEL);
        ExpectNoFurtherCall(1);
    }

    // Answers a box of a starter this test did not start itself, and waits for that starter.
    static void AnswerAndWaitForTheEnd(const driver::MessageBoxView& box, int answer) {
        DWORD starterId = 0;
        ::GetWindowThreadProcessId(box.hwnd, &starterId);
        platform::OwnedHandle starter(::OpenProcess(SYNCHRONIZE, FALSE, starterId));
        driver::AnswerMessageBox(box, answer);
        EXPECT_EQ(::WaitForSingleObject(starter.get(), 15000), WAIT_OBJECT_0);
    }

    void Screenshot(const driver::MessageBoxView& box, const wchar_t* name) const {
        driver::SaveScreenshot(box.hwnd, driver::ScreenshotFolder() / name);
    }

    test::TempFolder temp_;
    std::filesystem::path folder_;
    std::wstring exe_;
};

TEST_F(Ironvale, WithoutArgumentStartsTheGameAtOnceMinimized) {
    auto starter = Start(L"");
    EXPECT_EQ(starter->WaitForExit(), 0u);
    EXPECT_EQ(WaitForCalls(1), std::vector<std::string>{Call(L"")});
}

TEST_F(Ironvale, RegistersItselfForIvlLinks) {
    auto starter = Start(L"");
    ASSERT_EQ(starter->WaitForExit(), 0u);
    const std::wstring sourceFilter = ClassesValue(L"http", L"Source Filter");
    EXPECT_EQ(ClassesValue(L"ivl", L"Source Filter"),
              sourceFilter == L"<none>" || sourceFilter.empty() ? L" " : sourceFilter);
    EXPECT_EQ(ClassesValue(L"ivl", L"Url Protocol"), L" ");
    EXPECT_EQ(ClassesValue(L"ivl\\DefaultIcon", nullptr), exe_ + L",0");
    ExpectRegisteredHere();
    EXPECT_EQ(ClassesValue(L"ivl", nullptr), L"<none>"); // no description of its own
}

TEST_F(Ironvale, LinkAsTheShellPassesItAsksAndOkStartsTheGame) {
    auto starter = Start(L"\"ivl://host:27015/\"");
    const auto box = driver::WaitForMessageBox(starter->Id());
    ASSERT_TRUE(box);
    ASSERT_TRUE(driver::WaitForOkAfterItsWait(box->hwnd)); // as the player reads it
    Screenshot(*box, L"ironvale-confirmation.bmp");
    EXPECT_EQ(box->title, L"Ironvale");
    EXPECT_EQ(box->text, kConfirmation + L"host:27015/");
    EXPECT_EQ(box->buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    EXPECT_FALSE(box->hasIcon);
    EXPECT_TRUE(Calls().empty()); // nothing before the answer

    driver::AnswerMessageBox(*box, IDOK);
    EXPECT_EQ(starter->WaitForExit(), 0u);
    EXPECT_EQ(WaitForCalls(1), std::vector<std::string>{Call(L"host:27015/")});
}

TEST_F(Ironvale, CancelStartsNothingButTheRegistrationStands) {
    auto starter = Start(L"\"ivl://host:27015/\"");
    const auto box = driver::WaitForMessageBox(starter->Id());
    ASSERT_TRUE(box);
    driver::AnswerMessageBox(*box, IDCANCEL);
    ExpectEndedWithoutGame(*starter);
    ExpectRegisteredHere();
}

TEST_F(Ironvale, LinkOpenedThroughTheShellReachesTheStarter) {
    ASSERT_NO_FATAL_FAILURE(RegisterWithAFirstStart());
    const auto box = OpenThroughTheShell(L"ivl://shell-host:27015/");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, kConfirmation + L"shell-host:27015/");
    AnswerAndWaitForTheEnd(*box, IDOK);
    EXPECT_EQ(WaitForCalls(2), (std::vector<std::string>{Call(L""), Call(L"shell-host:27015/")}));
}

TEST_F(Ironvale, SchemeInCapitalsThroughTheShellIsCheckedToo) {
    ASSERT_NO_FATAL_FAILURE(RegisterWithAFirstStart());
    const auto box = OpenThroughTheShell(L"IVL://host;quit");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"The link does not name a valid server address:\r\nhost;quit");
    EXPECT_TRUE(box->hasIcon);
    AnswerAndWaitForTheEnd(*box, IDOK);
    ExpectNoFurtherCall(1); // only the first, local start reached the game
}

// The shell hands the starter a link without slashes as a web page wrote it: asked about like
// any link, and on OK the whole text goes behind "+connect ".
TEST_F(Ironvale, SchemeWithoutSlashesThroughTheShellAsksFirst) {
    ASSERT_NO_FATAL_FAILURE(RegisterWithAFirstStart());
    const auto box = OpenThroughTheShell(L"ivl:27015");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, kConfirmation + L"ivl:27015");
    EXPECT_EQ(box->buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    ExpectNoFurtherCall(1); // nothing before the answer
    AnswerAndWaitForTheEnd(*box, IDOK);
    EXPECT_EQ(WaitForCalls(2), (std::vector<std::string>{Call(L""), Call(L"ivl:27015")}));
}

// A dotless ı spells no "ivl" link, but a shell may fold it into one: whatever the shell does
// with it, no game starts without an OK.
TEST_F(Ironvale, DotlessILinkStartsNoGameUnasked) {
    ASSERT_NO_FATAL_FAILURE(RegisterWithAFirstStart());
    ASSERT_TRUE(LinksReachThisCopy());
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof open;
    open.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    open.lpVerb = L"open";
    open.lpFile = L"\u0131vl://x -novid";
    open.nShow = SW_SHOWNORMAL;
    const BOOL opened = ::ShellExecuteExW(&open);
    const platform::OwnedHandle started(opened ? open.hProcess : nullptr);
    std::printf("The shell: %s (error %lu)\n", opened ? "opened it" : "refused it",
                opened ? 0ul : ::GetLastError());
    // Within the grace period, and as long as a program the shell started runs: every question
    // of this test's copy answered with Cancel; a box of another program ends the wait.
    const auto end = std::chrono::steady_clock::now() + driver::kGrace;
    HWND answered = nullptr;
    driver::WaitUntil([&] {
        const auto box = BoxOfThisCopy(0ms);
        if (box && box->hwnd != answered) {
            std::printf("Asked: %s\n", Utf8(box->text).c_str());
            driver::AnswerMessageBox(*box, IDCANCEL);
            answered = box->hwnd;
        }
        return HasFailure() ||
               (std::chrono::steady_clock::now() >= end &&
                (!started || ::WaitForSingleObject(started.get(), 0) == WAIT_OBJECT_0));
    });
    ExpectNoFurtherCall(1); // only the first, local start reached the game
}

// Where the user has a key "ivl" of their own that registers nothing, the shell looks no
// further than it: a machine-wide registration of another program behind it goes unused once
// the starter has completed the user's key.
TEST_F(Ironvale, PartialUserKeyInFrontOfAnotherProgramIsCompleted) {
    if (test::RunningOnWine()) {
        GTEST_SKIP() << kNoStandardUserUnderWine;
    }
    const std::filesystem::path other = temp_.path() / L"Other";
    ASSERT_TRUE(std::filesystem::create_directories(other));
    const std::wstring otherExe = (other / L"Other.exe").wstring();
    ASSERT_TRUE(
        ::CopyFileW((driver::BuildFolder() / L"hl2_standin.exe").c_str(), otherExe.c_str(), FALSE));
    const std::wstring otherCommand = L"\"" + otherExe + L"\" \"%1\"";
    const std::wstring machineCommand = std::wstring(kIvlClasses) + L"\\shell\\open\\command";
    const LSTATUS machine = ::RegSetKeyValueW(
        HKEY_LOCAL_MACHINE, machineCommand.c_str(), nullptr, REG_SZ, otherCommand.c_str(),
        static_cast<DWORD>((otherCommand.size() + 1) * sizeof(wchar_t)));
    if (machine == ERROR_ACCESS_DENIED) {
        GTEST_SKIP() << "registers another program below HKLM\\Software\\Classes, which only "
                        "an elevated run may";
    }
    ASSERT_EQ(machine, ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kIvlClasses, L"URL Protocol", REG_SZ, L"",
                                sizeof(wchar_t)),
              ERROR_SUCCESS);
    platform::OwnedKey partial; // the user's key, and nothing below it
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kIvlClasses, 0, nullptr, 0, KEY_WRITE, nullptr,
                                partial.put(), nullptr),
              ERROR_SUCCESS);

    ASSERT_NO_FATAL_FAILURE(RegisterAsStandardUser());
    const std::wstring userCommand = std::wstring(kIvlClasses) + L"\\shell\\open\\command";
    EXPECT_EQ(KeyValue(HKEY_CURRENT_USER, userCommand.c_str(), nullptr),
              L"\"" + exe_ + L"\" \"%1\"");
    ASSERT_NO_FATAL_FAILURE(ExpectALinkAsksAndCancelStartsNothing());
    EXPECT_FALSE(std::filesystem::exists(other / L"hl2-calls.txt")) << "the other program ran";
}

// A standard user may not write the machine's classes: the starter registers for its user
// alone, and the shell, which shows the user's classes in front of the machine's, brings a link
// to it.
TEST_F(Ironvale, StandardUserRegistersForThemselvesAndLinksReachIt) {
    if (test::RunningOnWine()) {
        GTEST_SKIP() << kNoStandardUserUnderWine;
    }
    ASSERT_NO_FATAL_FAILURE(RegisterAsStandardUser());
    const std::wstring command = std::wstring(kIvlClasses) + L"\\shell\\open\\command";
    EXPECT_EQ(KeyValue(HKEY_CURRENT_USER, command.c_str(), nullptr), L"\"" + exe_ + L"\" \"%1\"");
    EXPECT_NE(KeyValue(HKEY_LOCAL_MACHINE, command.c_str(), nullptr), L"\"" + exe_ + L"\" \"%1\"");
    ExpectRegisteredHere(); // as every program sees it
    ExpectALinkAsksAndCancelStartsNothing();
}

TEST_F(Ironvale, LinkThatWouldAddCommandsIsRejected) {
    auto starter = Start(L"\"ivl://host:27015/ +exec evil.cfg\"");
    const auto box = driver::WaitForMessageBox(starter->Id());
    ASSERT_TRUE(box);
    Screenshot(*box, L"ironvale-rejected-link.bmp");
    EXPECT_EQ(box->title, L"Ironvale");
    EXPECT_EQ(box->text,
              L"The link does not name a valid server address:\r\nhost:27015/ +exec evil.cfg");
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_TRUE(box->hasIcon);
    driver::AnswerMessageBox(*box, IDOK);
    ExpectEndedWithoutGame(*starter);
}

// A web page chooses the text: a refused one is shown cut and without line breaks or
// reordering marks of its own, and a long run without blanks in lines of 64, so that every box
// lies within its screen's work area, the question for the longest server included.
TEST_F(Ironvale, LongAndHostileTextsAreShownWholeWithinTheScreen) {
    const std::wstring longServer = L"host;" + std::wstring(495, L'a');
    const std::wstring text619 = L"1.2.3.4 " + std::wstring(600, L'x') + L" +exec evil";
    const std::wstring m(63, L'm'), w(63, L'w');
    const std::wstring server = L"play." + m + L"." + w + L"." + m + L".evil.example:27015";
    const struct {
        std::wstring link, text;
        const wchar_t* screenshot;
    } cases[] = {
        {L"\"ivl://" + longServer + L"\"",
         kRefusal + longServer.substr(0, 64) + L"\r\n" + longServer.substr(64, 36) + L"\u2026",
         L"ironvale-long-refusal.bmp"},
        {L"\"ivl://host\r\n\u202eexe.evil\"", kRefusal + L"host???exe.evil", nullptr},
        {text619,
         kRefusal + L"1.2.3.4 " + std::wstring(64, L'x') + L"\r\n" + std::wstring(28, L'x') +
             L"\u2026",
         L"ironvale-long-text.bmp"},
        {L"\"ivl://" + server + L"\"",
         kConfirmation + server.substr(0, 64) + L"\r\n" + server.substr(64, 64) + L"\r\n" +
             server.substr(128, 64) + L"\r\n" + server.substr(192),
         L"ironvale-long-question.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.link));
        auto starter = Start(c.link);
        const auto box = driver::WaitForMessageBox(starter->Id());
        ASSERT_TRUE(box);
        if (c.screenshot != nullptr) {
            Screenshot(*box, c.screenshot);
        }
        EXPECT_EQ(box->text, c.text);
        RECT frame{};
        ::GetWindowRect(box->hwnd, &frame);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoW(::MonitorFromWindow(box->hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& work = monitor.rcWork;
        EXPECT_TRUE(frame.left >= work.left && frame.top >= work.top && frame.right <= work.right &&
                    frame.bottom <= work.bottom)
            << "box " << frame.left << "," << frame.top << "-" << frame.right << "," << frame.bottom
            << " in work area " << work.right << "x" << work.bottom;
        driver::AnswerMessageBox(*box, box->buttons.size() == 2 ? IDCANCEL : IDOK);
        ExpectEndedWithoutGame(*starter);
    }
}

// The registered command names the starter exactly, in a folder named outside the old 8-bit
// code pages and in one whose full-width letter has a plain look-alike ("Games").
TEST_F(Ironvale, RegistersTheExactPathWhateverTheFolderIsNamed) {
    for (const std::wstring name : {L"\u0141\u00f3d\u017a \u6e38\u620f", L"\uff27ames"}) {
        SCOPED_TRACE(Utf8(name));
        ASSERT_NO_FATAL_FAILURE(Install(name));
        auto starter = Start(L"");
        ASSERT_EQ(starter->WaitForExit(), 0u);
        ExpectRegisteredHere();
        EXPECT_EQ(ClassesValue(L"ivl\\DefaultIcon", nullptr), exe_ + L",0");
        EXPECT_EQ(WaitForCalls(1), std::vector<std::string>{Call(L"")});
    }
}

TEST_F(Ironvale, EmptyGameFileEndsSilentlyAfterTheRegistration) {
    test::WriteBytes(Game(), "");
    for (const wchar_t* arguments : {L"", L"\"ivl://host:27015/\""}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        auto starter = Start(arguments);
        ExpectEndedWithoutGame(*starter); // no question: it would still be waiting
        ExpectRegisteredHere();
    }
}

// Cancel on the question ends silently; OK on it, or a start without a link, tells the player
// why nothing happens.
TEST_F(Ironvale, MissingGameIsReportedUnlessCancelled) {
    ASSERT_TRUE(::DeleteFileW(Game().c_str()));
    for (const int answer : {IDCANCEL, IDOK, 0}) { // 0: no link, no question
        SCOPED_TRACE(answer);
        auto starter = Start(answer != 0 ? L"\"ivl://host:27015/\"" : L"");
        std::optional<driver::MessageBoxView> box = driver::WaitForMessageBox(starter->Id());
        ASSERT_TRUE(box);
        if (answer != 0) {
            EXPECT_EQ(box->text, kConfirmation + L"host:27015/");
            driver::AnswerMessageBox(*box, answer);
            const HWND question = box->hwnd;
            // After Cancel no box may follow: ExpectEndedWithoutGame would find it still open.
            if (answer == IDOK) {
                EXPECT_TRUE(driver::WaitUntil([&] {
                    box = driver::WaitForMessageBox(starter->Id());
                    return box && box->hwnd != question;
                }));
            }
        }
        if (answer != IDCANCEL) {
            Screenshot(*box, L"ironvale-game-missing.bmp");
            EXPECT_EQ(box->title, L"Ironvale");
            EXPECT_EQ(box->text, L"The game could not be started:\r\n" + Game() + L"\r\n\r\n" +
                                     platform::ErrorText(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
            EXPECT_TRUE(box->hasIcon);
            driver::AnswerMessageBox(*box, IDOK);
        }
        ExpectEndedWithoutGame(*starter);
    }
}

// A web page decides when the question appears, so a key meant for the browser may reach it:
// an Enter as it appears does nothing, then or later; OK takes a press after its first second,
// and again a second after the box comes back to the front. Escape cancels at once.
TEST_F(Ironvale, QuestionTakesNoOkInItsFirstSecond) {
    const auto start = std::chrono::steady_clock::now();
    const auto at = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    auto starter = Start(L"\"ivl://1.2.3.4:27015\"");
    const auto box = driver::WaitForMessageBox(starter->Id());
    ASSERT_TRUE(box);
    const HWND ok = ::GetDlgItem(box->hwnd, IDOK);
    // Enter while OK is greyed: the box stays, and OK has the focus once it takes a press.
    const auto enterOnceOkWaits = [&] {
        ASSERT_TRUE(driver::PressKey(box->hwnd, VK_RETURN));
        std::printf("Enter at %lld ms, OK %s\n", at(),
                    driver::OkTakesPress(box->hwnd) ? "ready" : "greyed");
        ASSERT_TRUE(driver::WaitUntil([&] { return driver::OkTakesPress(box->hwnd); }));
        std::printf("OK takes a press from %lld ms\n", at());
        EXPECT_TRUE(::IsWindow(box->hwnd)) << "the early Enter answered the question";
        EXPECT_EQ(driver::FocusOf(box->hwnd), ok);
        EXPECT_TRUE(Calls().empty());
    };
    std::printf("Question shown at %lld ms\n", at());
    ASSERT_TRUE(
        driver::WaitUntil([&] { return !driver::OkTakesPress(box->hwnd); }, driver::kGrace));
    Screenshot(*box, L"ironvale-question-waits.bmp");
    ASSERT_NO_FATAL_FAILURE(enterOnceOkWaits());

    // Back to the front after another window, as Windows tells the box. (Another process can't
    // bring it to the front reliably under Wine without a window manager.)
    ::PostMessageW(box->hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    ::PostMessageW(box->hwnd, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    ASSERT_TRUE(driver::WaitUntil([&] { return !driver::OkTakesPress(box->hwnd); }))
        << "OK did not wait again";
    std::printf("Back in front at %lld ms\n", at());
    ASSERT_NO_FATAL_FAILURE(enterOnceOkWaits());

    ASSERT_TRUE(driver::PressKey(box->hwnd, VK_RETURN));
    std::printf("Enter at %lld ms\n", at());
    EXPECT_EQ(starter->WaitForExit(), 0u);
    EXPECT_EQ(WaitForCalls(1), std::vector<std::string>{Call(L"1.2.3.4:27015")});

    auto cancelled = Start(L"\"ivl://1.2.3.4:27015\"");
    const auto second = driver::WaitForMessageBox(cancelled->Id());
    ASSERT_TRUE(second);
    // While OK waits: Escape is neither kept nor dropped.
    ASSERT_TRUE(
        driver::WaitUntil([&] { return !driver::OkTakesPress(second->hwnd); }, driver::kGrace));
    ASSERT_TRUE(driver::PressKey(second->hwnd, VK_ESCAPE));
    EXPECT_EQ(cancelled->WaitForExit(), 0u);
    ExpectNoFurtherCall(1);
}

// The starter while a game runs: the test's own stand-in, or another program's, runs as the
// engine does. Where a game on the engine runs already on this machine (a tester's), the engine
// would take no second one.
class IronvaleWhileAGameRuns : public Ironvale {
protected:
    void SetUp() override {
        if (platform::OwnedHandle(::OpenMutexW(SYNCHRONIZE, FALSE, L"hl2_singleton_mutex"))) {
            GTEST_SKIP() << "a game on the Source engine runs on this machine: close it first";
        }
        Ironvale::SetUp();
    }
};

// While this game runs, a link answered OK or a server started by hand connects it: the start
// with -hijack hands "connect S;" to it and ends, and no second game runs.
TEST_F(IronvaleWhileAGameRuns, ALinkOrAServerConnectsThisGame) {
    const RunningGame game = RunGame(Game());
    ASSERT_TRUE(game.window);
    std::string sent;
    for (const std::wstring arguments : {L"\"ivl://1.2.3.4:27015\"", L"1.2.3.4:27015"}) {
        SCOPED_TRACE(Utf8(arguments));
        auto starter = Start(arguments);
        if (arguments.starts_with(L'"')) {
            const auto box = driver::WaitForMessageBox(starter->Id());
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, kConfirmationWhileItRuns + L"1.2.3.4:27015");
            ASSERT_TRUE(driver::WaitForOkAfterItsWait(box->hwnd));
            Screenshot(*box, L"ironvale-running-game.bmp");
            driver::AnswerMessageBox(*box, IDOK);
        }
        ASSERT_EQ(starter->WaitForExit(), 0u);
        EXPECT_TRUE(driver::WaitUntil([&] { return !HasRunningGame(starter->Id()); }))
            << "a second game runs";
        sent += "connect 1.2.3.4:27015;\n";
        std::printf("The running game received: %s", Console(folder_).c_str());
        EXPECT_EQ(Console(folder_), sent);
    }
    const std::vector<std::string> calls = Calls(); // the running game's own start first
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()),
              std::vector<std::string>(2, Call(L"1.2.3.4:27015", "-hijack ")));
    EXPECT_FALSE(game.program->WaitForExit(0ms)) << "the running game ended";
}

// While this game runs, a start with nothing to connect, or the link "ivl://" alone after OK,
// starts nothing: the running game comes to the front, restored where it was minimized.
TEST_F(IronvaleWhileAGameRuns, NothingToConnectBringsThisGameToTheFront) {
    const RunningGame game = RunGame(Game());
    ASSERT_TRUE(game.window);
    for (const std::wstring arguments : {L"", L"\"ivl://\""}) {
        SCOPED_TRACE(Utf8(arguments));
        ::ShowWindow(game.window, SW_MINIMIZE);
        ASSERT_TRUE(driver::WaitUntil([&] { return ::IsIconic(game.window) != FALSE; }));
        auto starter = Start(arguments);
        if (!arguments.empty()) {
            const auto box = driver::WaitForMessageBox(starter->Id());
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, kConfirmation);
            driver::AnswerMessageBox(*box, IDOK);
        }
        ASSERT_EQ(starter->WaitForExit(), 0u);
        EXPECT_TRUE(driver::WaitUntil(
            [&] { return !::IsIconic(game.window) && ::GetForegroundWindow() == game.window; }));
    }
    ExpectNoFurtherCall(1); // the running game's own start only
    EXPECT_EQ(Console(folder_), "");
}

// Another program's window of the engine's class (another game on the same engine, from
// another folder) is not this game: the starter starts the game as ever, and that window gets
// nothing.
TEST_F(IronvaleWhileAGameRuns, AnotherProgramsEngineWindowIsLeftAlone) {
    const std::filesystem::path other = temp_.path() / L"Other Game";
    ASSERT_TRUE(std::filesystem::create_directories(other));
    ASSERT_TRUE(::CopyFileW((driver::BuildFolder() / L"hl2_standin.exe").c_str(),
                            (other / L"hl2.exe").c_str(), FALSE));
    const RunningGame otherGame = RunGame(other / L"hl2.exe");
    ASSERT_TRUE(otherGame.window);
    auto starter = Start(L"1.2.3.4:27015");
    ASSERT_EQ(starter->WaitForExit(), 0u);
    EXPECT_EQ(WaitForCalls(1), std::vector<std::string>{Call(L"1.2.3.4:27015")});
    EXPECT_TRUE(driver::WaitUntil([&] { return !HasRunningGame(starter->Id()); }));
    EXPECT_EQ(Console(other), "");
}

BOOL CALLBACK CollectResourceId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(ids)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

// The program file itself: its first icon resource is the game's icon (what "DefaultIcon"
// points at with ",0"), with the four images of ironvale.ico; a manifest and a version.
TEST(IronvaleFile, CarriesItsIconFirstAManifestAndAVersion) {
    const platform::OwnedModule file(
        ::LoadLibraryExW((driver::ProgramFolder() / L"Ironvale.exe").c_str(), nullptr,
                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(file);

    std::vector<ULONG_PTR> icons;
    ::EnumResourceNamesW(file.get(), RT_GROUP_ICON, CollectResourceId,
                         reinterpret_cast<LONG_PTR>(&icons));
    ASSERT_FALSE(icons.empty());
    EXPECT_EQ(icons.front(), 1u);

    // The group's directory: a 6-byte header, then 14 bytes per image.
    HRSRC group = ::FindResourceW(file.get(), MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* directory =
        static_cast<const BYTE*>(::LockResource(::LoadResource(file.get(), group)));
    ASSERT_NE(directory, nullptr);
    std::vector<std::pair<int, int>> images; // size in pixels, bits per pixel
    for (int i = 0; i < directory[4]; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;
        images.emplace_back(entry[0], entry[6] | entry[7] << 8);
    }
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{16, 8}, {16, 24}, {32, 8}, {32, 24}}));

    HRSRC manifest = ::FindResourceW(file.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const std::string text(
        static_cast<const char*>(::LockResource(::LoadResource(file.get(), manifest))),
        ::SizeofResource(file.get(), manifest));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(::FindResourceW(file.get(), MAKEINTRESOURCEW(1), RT_VERSION), nullptr);

    // Only Known DLLs are imported at start-up; user32 comes with the first message box.
    EXPECT_EQ(driver::ImportedDlls(file.get()),
              (std::vector<std::string>{"ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll"}));
}

} // namespace
