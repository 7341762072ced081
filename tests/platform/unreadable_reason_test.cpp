// Telling a file that cannot be read from one that is not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/folder_files.h"
#include "support/processes.h"
#include "support/temp_dir.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

TEST(UnreadableReason, MissingAndReadableFilesHaveNoneAFolderOrAForbiddenFileHaveOne) {
    test::TempDir dir;
    FolderFiles files(dir.path());
    EXPECT_EQ(files.unreadableReason("config.dat"), "");

    std::ofstream(dir.path() / "config.dat") << "Ada\r\nnun\r\nGB\r\n";
    EXPECT_EQ(files.unreadableReason("config.dat"), "");

    fs::create_directory(dir.path() / "keys.dat");
    EXPECT_EQ(files.unreadableReason("keys.dat"), "it is a folder, not a file");
    EXPECT_FALSE(files.read("keys.dat"));

    if (!test::permissionsStopUs()) GTEST_SKIP() << "a file without read permission does not stop this process";
    fs::permissions(dir.path() / "config.dat", fs::perms::none);
    EXPECT_EQ(files.unreadableReason("config.dat"), "Permission denied");
    EXPECT_FALSE(files.read("config.dat"));
    fs::permissions(dir.path() / "config.dat", fs::perms::owner_all);
}

}  // namespace
}  // namespace zorvan
