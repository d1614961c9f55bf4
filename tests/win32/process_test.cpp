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

// Windows refuses a command line of 32767 characters or more; Wine would start this one.
TEST(Process, StartProgramRefusesACommandLineTooLong) {
    const std::wstring tooLong = L"cmd.exe /c rem " + std::wstring(40000, L'a');
    EXPECT_EQ(StartProgram(tooLong, ShowStyle::Hidden, L""),
              static_cast<std::uint32_t>(ERROR_FILENAME_EXCED_RANGE));
}

} // namespace
} // namespace platform
