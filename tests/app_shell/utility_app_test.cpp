// Start-up as the user sees it: copies of the program started as separate processes, one
// refused while another runs; and the name the program goes by.
#include "app/utility_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

using test::ChildProcess;

TEST(UtilityApp, ApplicationNameIsTheFileNameWithoutDirectoryAndExtension) {
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("B6409_Utility"), "B6409_Utility");
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("./B6409_Utility"), "B6409_Utility");
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("/usr/local/bin/B6409_Utility"), "B6409_Utility");
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("B6409_Utility.EXE"), "B6409_Utility");
    // Only the last extension goes, and a dot in a directory's name is no extension.
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("/opt/b6409.d/B6409_Utility"), "B6409_Utility");
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("/opt/my.tool.bin"), "my.tool");
    EXPECT_EQ(UtilityApp::ApplicationNameFromPath("/opt/.hidden"), ".hidden");
}

// Runs copies of a program the way a user starts them from one desktop session: the same
// runtime directory for all, no display.
class Copies {
  public:
    explicit Copies(std::string program) : program_(std::move(program)) {}

    // `name` is what the copy is started as, its argv[0]. Nothing of the test's own
    // environment reaches the copies.
    std::unique_ptr<ChildProcess> Start(const std::string& name) const {
        return std::make_unique<ChildProcess>(
            program_, std::vector<std::string>{name},
            std::vector<std::string>{"XDG_RUNTIME_DIR=" + runtime_.path(),
                                     "QT_QPA_PLATFORM=offscreen", "HOME=" + runtime_.path(),
                                     "PATH=/usr/bin:/bin"});
    }
    std::string LockPath(const std::string& name) const { return runtime_ / (name + ".lock"); }

  private:
    std::string program_;
    test::TempDir runtime_;
};

std::string Probe() {
    return std::string(B6409_BIN_DIR) + "/b6409_app_shell_probe";
}

TEST(UtilityAppProcess, SecondCopyIsRefusedInSystemColoursWhileTheFirstRunsOn) {
    Copies copies(Probe());
    const std::string name = "b6409_app_shell_probe";

    std::unique_ptr<ChildProcess> first = copies.Start(name);
    ASSERT_TRUE(first->started());
    const std::string firstMain = first->WaitForLine("main ");
    ASSERT_FALSE(firstMain.empty()) << first->ReadAll();
    // The running copy has the dialog look; its edit fields keep their white.
    EXPECT_NE(firstMain.find("window=250,230,190 text=0,0,0 edit=255,255,255"), std::string::npos)
        << firstMain;

    std::unique_ptr<ChildProcess> second = copies.Start(name);
    const std::string output = second->ReadAll();
    EXPECT_EQ(second->Wait(), UtilityApp::kRefusedExitStatus) << output;
    // The box, captioned with the application name, OK only, before the dialog look is set.
    EXPECT_NE(output.find("box title=" + name + " text=" + name + " is Running !! window="),
              std::string::npos)
        << output;
    EXPECT_NE(output.find(" buttons=1\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("window=250,230,190"), std::string::npos) << output;
    // The refusal is also said where a terminal or a launcher's log shows it.
    EXPECT_NE(("\n" + output).find("\n" + name + " is Running !!\n"), std::string::npos) << output;
    // No main window was made.
    EXPECT_EQ(output.find("main "), std::string::npos) << output;

    // The first copy got nothing and runs on until its main dialog ends.
    EXPECT_TRUE(first->Running());
    first->CloseInput();
    EXPECT_EQ(first->Wait(), UtilityApp::kNormalExitStatus);
    EXPECT_EQ(first->ReadAll().find("box "), std::string::npos);

    // After the first copy has ended, a new one runs normally.
    std::unique_ptr<ChildProcess> third = copies.Start(name);
    EXPECT_FALSE(third->WaitForLine("main ").empty()) << third->ReadAll();
    third->CloseInput();
    EXPECT_EQ(third->Wait(), UtilityApp::kNormalExitStatus);
}

TEST(UtilityAppProcess, CopiesUnderDifferentFileNamesRunSideBySide) {
    Copies copies(Probe());
    std::unique_ptr<ChildProcess> first = copies.Start("/opt/b6409/b6409_app_shell_probe");
    ASSERT_FALSE(first->WaitForLine("main ").empty()) << first->ReadAll();
    std::unique_ptr<ChildProcess> renamed = copies.Start("/opt/b6409/renamed_probe");
    EXPECT_FALSE(renamed->WaitForLine("main ").empty()) << renamed->ReadAll();
    EXPECT_TRUE(first->Running());
    // The directory is not part of the name: the same file name elsewhere is the same program.
    std::unique_ptr<ChildProcess> elsewhere = copies.Start("./b6409_app_shell_probe");
    EXPECT_EQ(elsewhere->Wait(), UtilityApp::kRefusedExitStatus) << elsewhere->ReadAll();
}

// The lock of a copy shows in /proc/locks as soon as the copy holds it; looking there, unlike
// trying the lock, cannot take it from under a copy that is just starting.
bool HoldsLock(pid_t pid, const std::string& lockPath) {
    struct stat file = {};
    if (stat(lockPath.c_str(), &file) != 0) return false;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, mode, device;
        long owner = 0;
        fields >> number >> kind >> advisory >> mode >> owner >> device;
        const std::string inode = ":" + std::to_string(file.st_ino);
        if (kind == "FLOCK" && owner == pid && device.size() > inode.size() &&
            device.compare(device.size() - inode.size(), inode.size(), inode) == 0) {
            return true;
        }
    }
    return false;
}

TEST(UtilityAppProcess, TheDesktopProgramRefusesASecondCopy) {
    const std::string program = std::string(B6409_BIN_DIR) + "/B6409_Utility";
    if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";

    Copies copies(program);
    std::unique_ptr<ChildProcess> first = copies.Start(program);
    ASSERT_TRUE(test::WaitUntil([&] {
        return HoldsLock(first->pid(), copies.LockPath("B6409_Utility")) || !first->Running();
    }));
    ASSERT_TRUE(first->Running()) << first->ReadAll();

    // The refused copy waits for its box to be dismissed, which nobody can do here; that it
    // said its refusal and made no lock of its own is what can be seen.
    std::unique_ptr<ChildProcess> second = copies.Start(program);
    EXPECT_EQ(second->WaitForLine("B6409_Utility is Running !!"), "B6409_Utility is Running !!");
    EXPECT_FALSE(HoldsLock(second->pid(), copies.LockPath("B6409_Utility")));
    EXPECT_TRUE(first->Running());
}

}  // namespace
}  // namespace b6409
