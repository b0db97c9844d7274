// Paths as people type them: relative to the folder they stand in, with spaces, and paths
// that name something other than a file.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/CliRun.h"

namespace {

using testsupport::ProgramRun;
using testsupport::Tessaline;

std::string Golden(const std::string& name) { return std::string(TESSALINE_TEST_DATA) + "/rig/" + name + ".tsl"; }

// The names in a folder, sorted, to see what a command left there.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A rig converted to every scene format by relative names, in the folder itself and in a
// folder below it: each target is written, side files land beside it, and nothing of the
// writing (temporary files, the exporter's private folder) is left behind.
TEST(TessalinePaths, RelativeTargetsOfEveryFormatAreWritten) {
    const std::string folder = testsupport::NewFolder("paths", "relative");
    std::filesystem::copy_file(Golden("skinned"), folder + "/my rig.tsl");
    std::filesystem::create_directory(folder + "/sub");
    const std::vector<std::string> extensions = {"obj", "dae", "fbx", "glb", "gltf", "x",  "stl",
                                                 "ply", "3ds", "x3d", "3mf", "stp",  "tsl"};
    for (const std::string& extension : extensions)
        for (const std::string& target : {"out put." + extension, "sub/out put." + extension}) {
            SCOPED_TRACE(target);
            const ProgramRun run = Tessaline("convert 'my rig.tsl' '" + target + "'", "cd '" + folder + "' && ");
            EXPECT_EQ(run.status, 0) << run.err;
            struct stat written;
            ASSERT_EQ(stat((folder + "/" + target).c_str(), &written), 0) << run.err;
            EXPECT_GT(written.st_size, 0);
        }
    // Back from a relative source too: the FBX carries the whole rig.
    const ProgramRun back = Tessaline("convert 'out put.fbx' back.tsl", "cd '" + folder + "' && ");
    EXPECT_EQ(back.status, 0) << back.err;
    for (const std::string& where : {folder, folder + "/sub"})
        for (const std::string& name : Names(where)) {
            EXPECT_EQ(name.find(".tessaline-"), std::string::npos) << where << ": " << name;
            EXPECT_EQ(name.find('~'), std::string::npos) << where << ": " << name;
        }
    std::filesystem::remove_all(folder);
}

// A source that is not a plain file is refused at once with the reason: a pipe with no
// writer would otherwise keep the program waiting for ever, a device would be read
// without end, and a folder would read as an empty scene.
TEST(TessalinePaths, SourcesThatAreNotFilesAreRefused) {
    const std::string folder = testsupport::NewFolder("paths", "not_files");
    const std::string fifo = folder + "/fifo.obj", zero = folder + "/zero.obj", directory = folder + "/folder.dae";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    const std::string device = "it is a pipe or a device, not a file; only files are read.";
    struct Case {
        std::string command, expected;
    } cases[] = {
        {"convert " + fifo + " " + folder + "/out.tsl", "Can't read \"" + fifo + "\": " + device},
        {"convert " + zero + " " + folder + "/out.tsl", "Can't read \"" + zero + "\": " + device},
        {"convert " + directory + " " + folder + "/out.tsl",
         "Can't read \"" + directory + "\": it is a directory, not a file."},
        {"check " + fifo + " " + Golden("skinned"), "Can't read \"" + fifo + "\": " + device},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const ProgramRun run = Tessaline(c.command, "timeout 60 ");
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/out.tsl"));
    std::filesystem::remove_all(folder);
}

}  // namespace
