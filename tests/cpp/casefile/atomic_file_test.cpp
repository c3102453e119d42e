// Replacing a file atomically: the new file keeps the access of the one it
// replaces, and a symbolic link is written through to its target.
#include "casefile/atomic_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "casefile/case_file.hpp"
#include "casefile/child_process.hpp"
#include "casefile/test_folder.hpp"

namespace velquin::sim {
namespace {

namespace fs = std::filesystem;
using casefile::write_file_atomically;

class AtomicFile : public testing::TestFolder {
protected:
    static struct stat status_of(const fs::path& p) {
        struct stat s {};
        EXPECT_EQ(::lstat(p.c_str(), &s), 0) << p;
        return s;
    }

    static mode_t mode_of(const fs::path& p) { return status_of(p).st_mode & 07777; }
};

TEST_F(AtomicFile, ReplacedFileKeepsItsPermissionBits) {
    const fs::path target = dir_ / "case.sav";
    for (const mode_t mode : {0600, 0640, 0604, 0444, 0755}) {
        write_file_atomically(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        write_file_atomically(target, "new " + std::to_string(mode));
        EXPECT_EQ(contents(target), "new " + std::to_string(mode));
        EXPECT_EQ(mode_of(target), mode) << std::oct << mode;
    }
    EXPECT_EQ(folder_entries(dir_), std::vector<std::string>{"case.sav"});
}

TEST_F(AtomicFile, NewFileTakesTheModeTheUmaskGives) {
    const mode_t old_umask = ::umask(027);
    write_file_atomically(dir_ / "fresh.sav", "x");
    ::umask(old_umask);
    EXPECT_EQ(mode_of(dir_ / "fresh.sav"), 0640);
}

// Root saving over another user's file leaves it that user's file.
TEST_F(AtomicFile, RootKeepsTheOwnerAndGroupOfTheReplacedFile) {
    const fs::path target = dir_ / "theirs.sav";
    write_file_atomically(target, "old");
    if (::geteuid() != 0) GTEST_SKIP() << "only root can hand a file to another user";
    ASSERT_EQ(::chown(target.c_str(), testing::kUnprivilegedUser, testing::kUnprivilegedGroup), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    write_file_atomically(target, "new");
    const struct stat after = status_of(target);
    EXPECT_EQ(after.st_uid, testing::kUnprivilegedUser);
    EXPECT_EQ(after.st_gid, testing::kUnprivilegedGroup);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

// A user who cannot give the new file the old file's group must not grant
// its own group what the old group had: the group bits go.
TEST_F(AtomicFile, GroupBitsAreDroppedWhereTheGroupCannotBeKept) {
    const fs::path target = dir_ / "shared.sav";
    write_file_atomically(target, "old");
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder and file to separate users";
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    ASSERT_EQ(::chown(target.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0664), 0);
    const int result = testing::run_in_child(
        [&] {
            try {
                write_file_atomically(target, "new");
            } catch (const CaseFileError&) {
                return 1;
            }
            return 0;
        },
        /*unprivileged=*/true);
    ASSERT_EQ(result, 0);
    const struct stat after = status_of(target);
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(after.st_uid, testing::kUnprivilegedUser);
    EXPECT_EQ(after.st_mode & 07777, 0604u);
}

TEST_F(AtomicFile, SaveThroughARelativeLinkWritesItsTarget) {
    fs::create_directory(dir_ / "store");
    const fs::path real = dir_ / "store" / "real.sav";
    write_file_atomically(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(fs::path("store") / "real.sav", dir_ / "link.sav");
    fs::create_symlink("link.sav", dir_ / "link-to-link.sav");

    write_file_atomically(dir_ / "link-to-link.sav", "new");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "link.sav")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "link-to-link.sav")));
    EXPECT_EQ(fs::read_symlink(dir_ / "link.sav"), fs::path("store") / "real.sav");
    EXPECT_EQ(contents(real), "new");
    EXPECT_EQ(mode_of(real), 0640u);
    EXPECT_EQ(folder_entries(dir_ / "store"), std::vector<std::string>{"real.sav"});
}

TEST_F(AtomicFile, LinkToAMissingFileCreatesThatFile) {
    fs::create_directory(dir_ / "store");
    fs::create_symlink(dir_ / "store" / "later.sav", dir_ / "link.sav");  // absolute
    write_file_atomically(dir_ / "link.sav", "first");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "link.sav")));
    EXPECT_EQ(contents(dir_ / "store" / "later.sav"), "first");
}

TEST_F(AtomicFile, LoopOfLinksIsAnErrorAndLeavesNoLitter) {
    fs::create_symlink("b.sav", dir_ / "a.sav");
    fs::create_symlink("a.sav", dir_ / "b.sav");
    try {
        write_file_atomically(dir_ / "a.sav", "x");
        FAIL() << "no error";
    } catch (const CaseFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  (dir_ / "a.sav").string() +
                      ": cannot save (following its links: Too many levels of symbolic links)");
    }
    EXPECT_EQ(folder_entries(dir_), (std::vector<std::string>{"a.sav", "b.sav"}));
}

}  // namespace
}  // namespace velquin::sim
