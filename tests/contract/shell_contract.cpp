#include "contract/shell_contract.h"

namespace Arvek::Testing {

namespace {

constexpr wchar_t kAppId[] = L"Arvek Notifications";
constexpr std::intptr_t kFileNotFound = 2;

}  // namespace

TEST_P(ShellContract, AShortcutIsWrittenWhereItsFolderExists) {
    const std::wstring program = In(L"help.exe");
    backend->PutProgram(program);
    const std::wstring link = In(L"Toaster Message.lnk");

    EXPECT_EQ(backend->Shell().CreateShortcut(link, program, L"", kAppId), kS_OK);
    EXPECT_TRUE(backend->Files().GetFileInfo(link).has_value());

    const std::wstring nowhere = In(L"missing\\Toaster Message.lnk");
    EXPECT_TRUE(Failed(backend->Shell().CreateShortcut(nowhere, program, L"", kAppId)));
    EXPECT_FALSE(backend->Files().GetFileInfo(nowhere).has_value());
}

TEST_P(ShellContract, OpeningAProgramStartsItOrSaysTheFileIsMissing) {
    const std::wstring program = In(L"help.exe");
    backend->PutProgram(program);

    EXPECT_GT(backend->Shell().Execute(L"open", program, L"", L"", Ports::kSW_SHOW), 32);
    EXPECT_EQ(backend->Shell().Execute(L"open", In(L"absent.exe"), L"", L"", Ports::kSW_SHOW), kFileNotFound);
}

TEST_P(ShellContract, TheThirtyTwoBitProgramsFolderIsOnDriveC) {
    EXPECT_EQ(backend->Shell().ProgramFilesX86Folder(), std::optional<std::wstring>(L"C:\\Program Files (x86)"));
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ShellContract);

}  // namespace Arvek::Testing
