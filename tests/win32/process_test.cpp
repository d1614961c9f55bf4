// The process unit against the real Windows API.
#include "platform/process.h"
#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Process, FolderAndNameOfTheRunningProgram) {
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_EQ(ProgramPath(), folder + L"\\" + ProgramBaseName() + L".exe");
    EXPECT_EQ(ProgramBaseName(), L"win32_tests");
}

TEST(Process, FileLengthOfFilesOnly) {
    test::TempFolder folder;
    test::WriteBytes(folder.File(L"five.bin"), "12345");
    test::WriteBytes(folder.File(L"empty.bin"), "");
    EXPECT_EQ(FileLength(folder.File(L"five.bin")), 5u);
    EXPECT_EQ(FileLength(folder.File(L"empty.bin")), 0u);
    EXPECT_FALSE(FileLength(folder.File(L"missing.bin")).has_value());
    EXPECT_FALSE(FileLength(folder.path().wstring()).has_value());
}

// The reasons the game starter passes on to the player.
TEST(Process, StartProgramReportsWhyItFailed) {
    test::TempFolder folder;
    const std::wstring missing = L"\"" + folder.File(L"hl2.exe") + L"\" -game ivale";
    EXPECT_EQ(StartProgram(missing, SW_SHOWMINIMIZED, folder.path().wstring()),
              static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    // Longer than the 32767 characters the system allows; the program itself would do nothing.
    const std::wstring tooLong = L"cmd.exe /c rem " + std::wstring(40000, L'a');
    EXPECT_EQ(StartProgram(tooLong, SW_HIDE, folder.path().wstring()),
              static_cast<std::uint32_t>(ERROR_FILENAME_EXCED_RANGE));
}

} // namespace
} // namespace platform
