// Files and folders a user may not read or write. CI and these machines run as root, who may
// write anything, so every row runs the program as the unprivileged user `nobody`; where that
// user is missing the rows fail rather than pass unseen.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "harness.h"
#include "text_util.h"

namespace zeltrim::e2e {
namespace {

const std::string kOriginal = written_plain({"@ECHO OFF", "PATH=C:\\DOS"});
const std::string kChanged = written_plain({"@ECHO OFF", "PATH=C:\\DOS", "X"});
const std::string kBottomX = "  BOTTOM line reads          : X\n";

std::string read_only(const std::string& path) {
  return "Error opening " + path + "\n" + path +
         " is read-only: the changes were not written, file left unchanged\n";
}

std::string no_temporary_file(const std::string& path) {
  return "Error opening " + path + "\nNo temporary file can be made beside " + path +
         ": the changes were not written, file left unchanged\n";
}

struct PermissionCase {
  const char* name;
  // Makes the files and folders, after the instruction file; runs as the test's own user.
  std::function<void(const Scratch&)> prepare;
  std::string instructions;
  std::string report;  // after the banner, up to the closing message
  int exit_code;
  std::string target;  // the file to look at afterwards
  std::string expected;
  std::vector<std::string> names;    // what the target's folder holds afterwards
  bool needs_another_owner = false;  // the files belong to root, not to the user who runs
  bool windows_too = false;          // the case holds for a Windows program too (under wine)
};
void PrintTo(const PermissionCase& row, std::ostream* out) { *out << row.name; }

// Makes `path` in the folder with `mode`, holding the original target.
std::function<void(const Scratch&)> target_with_mode(std::string path, mode_t mode) {
  return [path, mode](const Scratch& folder) {
    folder.write(path, kOriginal);
    chmod(folder.file(path).c_str(), mode);
  };
}

// A folder with `mode` holding a target T with `target_mode`.
std::function<void(const Scratch&)> folder_with_mode(std::string name, mode_t mode,
                                                     mode_t target_mode = 0666) {
  return [name, mode, target_mode](const Scratch& folder) {
    mkdir(folder.file(name).c_str(), 0755);
    folder.write(name + "/T", kOriginal);
    chmod(folder.file(name + "/T").c_str(), target_mode);
    chmod(folder.file(name).c_str(), mode);
  };
}

// The folder a path in the scratch folder lies in ("" for the scratch folder itself).
std::string folder_of(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

class Permissions : public testing::TestWithParam<PermissionCase> {};

TEST_P(Permissions, RunAsAnUnprivilegedUser) {
  const PermissionCase& row = GetParam();
  bool windows = program_is_windows();
  if (windows && !row.windows_too) GTEST_SKIP() << "POSIX permissions for another user";
  // On Windows the read-only attribute (which wine shows for a file without write permission)
  // holds for every user; on POSIX root may write anyway, so the run drops its privileges.
  bool as_root = geteuid() == 0 && !windows;
  if (as_root) {
    ASSERT_TRUE(can_drop_privileges()) << "no user nobody to run the permission cases as";
  }
  if (row.needs_another_owner && !as_root) {
    GTEST_SKIP() << "only root can give the files another owner for this case";
  }
  Scratch folder;
  folder.write("i.zt", row.instructions);
  row.prepare(folder);
  Outcome outcome = run_zeltrim(folder, {"i.zt"}, {.as_nobody = as_root});
  ASSERT_NE(outcome.exit_code, kCannotDropPrivileges) << "could not become nobody";

  std::string closing = row.exit_code == 0   ? closing_success()
                        : row.exit_code == 2 ? closing_errors()
                                             : "";
  EXPECT_EQ(outcome.out, banner() + row.report + closing);
  EXPECT_EQ(outcome.exit_code, row.exit_code);
  std::string target_folder = folder_of(row.target);
  if (!target_folder.empty()) chmod(folder.file(target_folder).c_str(), 0755);  // to look in
  EXPECT_EQ(folder.read(row.target), row.expected);
  EXPECT_EQ(folder.names(target_folder), row.names);
}

// A writable file of root in a folder where everyone may make files: the edit is made, and the
// new file belongs to the user who ran the program (only root may give a file away).
void writable_file_of_root(const Scratch& folder) {
  mkdir(folder.file("open").c_str(), 0777);
  chmod(folder.file("open").c_str(), 0777);
  folder.write("open/T", kOriginal);
  chmod(folder.file("open/T").c_str(), 0666);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Permissions,
    testing::Values(
        PermissionCase{"read_only_target", target_with_mode("T", 0444),
                       crlf_lines({".F T", ".I X"}),
                       "Making changes to T\n\n" + kBottomX + read_only("T"), 2, "T", kOriginal,
                       {"T", "i.zt"}, false, true},
        PermissionCase{"folder_not_writable", folder_with_mode("locked", 0555),
                       crlf_lines({".F locked/T", ".I X"}),
                       "Making changes to locked/T\n\n" + kBottomX + no_temporary_file("locked/T"),
                       2, "locked/T", kOriginal, {"T"}},
        PermissionCase{"unreadable_target", target_with_mode("T", 0200),
                       crlf_lines({".F T", ".I X"}),
                       "Making changes to T\n\nError opening file T in ZELTRIM.EXE\n", 2, "T",
                       kOriginal, {"T", "i.zt"}},
        PermissionCase{"folder_not_searchable", folder_with_mode("hidden", 0),
                       crlf_lines({".F hidden/T", ".I X"}),
                       "Making changes to hidden/T\n\n"
                       "Error opening file hidden/T in ZELTRIM.EXE\n",
                       2, "hidden/T", kOriginal, {"T"}},
        // .G must not empty a file it may not write.
        PermissionCase{"g_on_read_only_target", target_with_mode("T", 0444),
                       crlf_lines({".G T", ".I X"}),
                       "Making changes to T\nError opening file T in ZELTRIM.EXE\n", 2, "T",
                       kOriginal, {"T", "i.zt"}},
        PermissionCase{"g_in_folder_not_writable", folder_with_mode("locked", 0555),
                       crlf_lines({".G locked/N", ".I X"}),
                       "Making changes to locked/N\nError opening file locked/N in ZELTRIM.EXE\n",
                       2, "locked/T", kOriginal, {"T"}},
        PermissionCase{"unreadable_instruction_file",
                       [](const Scratch& folder) {
                         folder.write("T", kOriginal);
                         chmod(folder.file("i.zt").c_str(), 0200);
                       },
                       crlf_lines({".F T", ".I X"}), "Could not open file i.zt\n", 1, "T",
                       kOriginal, {"T", "i.zt"}},
        // In a folder where everyone may make files but only the owner may replace them (the
        // sticky bit), a writable file of another user cannot be replaced.
        PermissionCase{"sticky_folder_file_of_another_user", folder_with_mode("shared", 01777),
                       crlf_lines({".F shared/T", ".I X"}),
                       "Making changes to shared/T\n\n" + kBottomX +
                           "Error writing shared/T, file left unchanged\n",
                       2, "shared/T", kOriginal, {"T"}, true},
        PermissionCase{"writable_file_of_another_user", writable_file_of_root,
                       crlf_lines({".F open/T", ".I X"}),
                       "Making changes to open/T\n\n" + kBottomX, 0, "open/T", kChanged, {"T"},
                       true}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(Permissions, EditByAnotherUserGivesTheFileToThatUser) {
  // The other half of writable_file_of_another_user: who owns the file afterwards, and its mode.
  if (program_is_windows()) GTEST_SKIP() << "POSIX owners";
  if (geteuid() != 0) GTEST_SKIP() << "only root can give the file another owner";
  ASSERT_TRUE(can_drop_privileges()) << "no user nobody to run as";
  Scratch folder;
  writable_file_of_root(folder);
  folder.write("i.zt", crlf_lines({".F open/T", ".I X"}));
  ASSERT_EQ(run_zeltrim(folder, {"i.zt"}, {.as_nobody = true}).exit_code, 0);
  struct stat info {};
  ASSERT_EQ(stat(folder.file("open/T").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, getpwnam("nobody")->pw_uid);
  EXPECT_EQ(info.st_mode & 07777, 0666u);
}

}  // namespace
}  // namespace zeltrim::e2e
