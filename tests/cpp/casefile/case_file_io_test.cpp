// Saving and opening files: atomic replacement, clean-up after failures and
// clear errors for paths that cannot be used.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "casefile/case_file.hpp"
#include "casefile/child_process.hpp"
#include "casefile/full_case.hpp"
#include "casefile/test_folder.hpp"

namespace velquin::sim {
namespace {

namespace fs = std::filesystem;

class CaseFileIo : public testing::TestFolder {
protected:
    static std::string error_of(const std::function<void()>& action) {
        try {
            action();
        } catch (const CaseFileError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

Case big_case() {
    Case c = testing::make_full_case();
    for (int k = 0; k < 20000; ++k)
        c.buses.push_back(Bus{.number = k + 10, .name = "BUS" + std::to_string(k)});
    return c;
}

TEST_F(CaseFileIo, SaveThenLoadAndReplace) {
    const fs::path target = dir_ / "main.sav";
    const Case first = testing::make_full_case();
    save_case_file(first, target);
    EXPECT_EQ(load_case_file(target), first);
    EXPECT_EQ(contents(target), encode_case(first));

    const Case second = big_case();
    save_case_file(second, target);
    EXPECT_EQ(load_case_file(target), second);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"main.sav"});  // no temporary file left
}

TEST_F(CaseFileIo, OpeningUnusablePathsGivesClearErrors) {
    const std::string missing = (dir_ / "absent.sav").string();
    EXPECT_EQ(error_of([&] { load_case_file(missing); }),
              missing + ": cannot open (No such file or directory)");
    EXPECT_EQ(error_of([&] { load_case_file(dir_); }), dir_.string() + ": is a folder, not a saved case");

    const fs::path text = dir_ / "case.raw";
    std::ofstream(text) << "0, 100.0, 33\n";
    EXPECT_EQ(error_of([&] { load_case_file(text); }), text.string() + ": not a Velquin saved case");
}

TEST_F(CaseFileIo, FailedSavesLeaveTheTargetAndNoLitter) {
    const Case c = testing::make_full_case();
    // Into a folder that does not exist.
    const fs::path nowhere = dir_ / "no-such-folder" / "x.sav";
    const std::string message = error_of([&] { save_case_file(c, nowhere); });
    EXPECT_EQ(message, nowhere.string() + ": cannot save (cannot create a temporary file in " +
                           nowhere.parent_path().string() + ": No such file or directory)");

    // Under a path whose folder is a plain file.
    const fs::path plain = dir_ / "plain";
    std::ofstream(plain) << "keep";
    EXPECT_EQ(error_of([&] { save_case_file(c, plain / "x.sav"); }),
              (plain / "x.sav").string() + ": cannot save (cannot create a temporary file in " +
                  plain.string() + ": Not a directory)");

    // Over an existing folder: the rename fails after the data was written,
    // and the temporary file must go.
    fs::create_directory(dir_ / "folder.sav");
    EXPECT_EQ(error_of([&] { save_case_file(c, dir_ / "folder.sav"); }),
              (dir_ / "folder.sav").string() + ": cannot save (replacing the file: Is a directory)");
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.sav"));
    EXPECT_EQ(folder_entries(), (std::vector<std::string>{"folder.sav", "plain"}));
    EXPECT_EQ(contents(plain), "keep");

    // A path with no file name.
    EXPECT_EQ(error_of([&] { save_case_file(c, dir_.string() + "/"); }),
              dir_.string() + "/: cannot save (not a file name)");
}

// Saves `c` in a child process, after `prepare` has set what must not touch
// the other tests (a file size limit, fewer rights), and returns the save's
// error message, "(no error)", or why `prepare` failed.
std::string save_error_in_child(const std::function<std::string()>& prepare, const Case& c,
                                const fs::path& target) {
    return testing::text_from_child([&] {
        std::string message = prepare();
        if (!message.empty()) return message;
        try {
            save_case_file(c, target);
        } catch (const CaseFileError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    });
}

// Root ignores folder permissions, so the save gives up root's rights
// first; the test means the same for every user.
TEST_F(CaseFileIo, ReadOnlyFolderKeepsTheOldFile) {
    const fs::path target = dir_ / "main.sav";
    const Case old_case = testing::make_full_case();
    save_case_file(old_case, target);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto without_root = []() -> std::string {
        return testing::become_unprivileged() ? "" : "(root's rights could not be given up)";
    };
    EXPECT_EQ(save_error_in_child(without_root, big_case(), target),
              target.string() + ": cannot save (cannot create a temporary file in " + dir_.string() +
                  ": Permission denied)");
    EXPECT_EQ(load_case_file(target), old_case);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"main.sav"});
}

// A write that fails part-way (here: the file size limit, as a full disk
// would) must leave the old file untouched and remove the partial one.
TEST_F(CaseFileIo, WriteFailingMidwayKeepsTheOldFile) {
    const fs::path target = dir_ / "main.sav";
    const Case old_case = testing::make_full_case();
    save_case_file(old_case, target);
    const Case bigger = big_case();
    ASSERT_GT(encode_case(bigger).size(), std::size_t{3} << 16);
    const auto size_limit = []() -> std::string {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "(no file size limit)";
    };
    const std::string message = save_error_in_child(size_limit, bigger, target);
    const std::string head = target.string() + ": cannot save (writing " + (dir_ / ".main.sav.tmp").string();
    EXPECT_EQ(message.substr(0, head.size()), head) << message;
    EXPECT_TRUE(message.ends_with(": File too large)")) << message;
    EXPECT_EQ(load_case_file(target), old_case);
    EXPECT_EQ(folder_entries(), std::vector<std::string>{"main.sav"});
}

}  // namespace
}  // namespace velquin::sim
