#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "common/TestProcess.h"
#include "support/CliRun.h"

#ifdef TESSALINE_CLI_PATH

namespace {

using testsupport::ProgramRun;
using testsupport::ReadFile;
using testsupport::Tessaline;

std::string Temp(const std::string& name) { return testsupport::TempPath("cli", name); }

std::string Golden(const std::string& name) { return std::string(TESSALINE_TEST_DATA) + "/rig/" + name + ".tsl"; }

}  // namespace

TEST(TessalineCli, DemoExportsImportsAndAgrees) {
    const ProgramRun run = Tessaline("demo");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Built the sample rig:"), std::string::npos);
    EXPECT_NE(run.out.find("Imported "), std::string::npos);
    EXPECT_NE(run.out.find("Demo finished: export and import agree."), std::string::npos) << run.out;
}

TEST(TessalineCli, UsageErrors) {
    EXPECT_EQ(Tessaline("--help").status, 0);
    EXPECT_EQ(Tessaline("").status, 2);
    EXPECT_EQ(Tessaline("fly").status, 2);
    EXPECT_EQ(Tessaline("convert only-one.tsl").status, 2);
    EXPECT_EQ(Tessaline("info x.tsl --up w").status, 2);
}

TEST(TessalineCli, ConvertingARigFileGivesTheSameBytes) {
    // Goldens whose every entry an import rebuilds (no materials, no parents or
    // influences outside the bones).
    for (const char* name : {"empty", "unskinned", "yup", "influence_order"}) {
        const std::string copy = Temp(std::string(name) + "_copy.tsl");
        const std::string up = std::string(name) == "yup" ? "y" : "z";
        const ProgramRun run = Tessaline("convert " + Golden(name) + " " + copy + " --up " + up);
        EXPECT_EQ(run.status, 0) << name << run.err;
        EXPECT_EQ(ReadFile(copy), ReadFile(Golden(name))) << name;
        std::remove(copy.c_str());
    }
}

// A damaged rig fails every command that reads it, and says why on standard error: the
// warning, the rule and where it is broken, and the error, each once; nothing goes to the
// output, which stays the command's product.
TEST(TessalineCli, DamagedRigFileIsRefused) {
    const std::string damaged = Temp("damaged.tsl");
    std::ofstream(damaged, std::ios::binary) << "version 1\r\nnumBones 5000\r\n";
    const std::string expected = "WARNING: Can't handle file \"" + damaged +
                                 "\". Some data is missing or corrupt.\n"
                                 "at byte 11, line 2: a count that is negative or not below 5000\n"
                                 "ERROR: Can't read \"" +
                                 damaged + "\".\n";
    for (const std::string& command : {"convert " + damaged + " " + Temp("never.tsl"), "info " + damaged,
                                       "diff " + Golden("bones") + " " + damaged}) {
        SCOPED_TRACE(command);
        const ProgramRun run = Tessaline(command);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, expected);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(Temp("never.tsl")));
    std::remove(damaged.c_str());
}

TEST(TessalineCli, InfoReadsRigsInsideZipArchives) {
    for (const char* method : {"ZIP_STORED", "ZIP_DEFLATED"}) {
        const std::string archive = Temp(std::string(method) + ".zip");
        const std::string make = "python3 -c \"import zipfile; z = zipfile.ZipFile('" + archive + "', 'w', zipfile." +
                                 method + "); z.write('" + Golden("skinned") + "', 'rigs/skinned.tsl'); z.close()\"";
        ASSERT_EQ(std::system(make.c_str()), 0);
        const ProgramRun run = Tessaline("info " + archive + "/rigs/skinned.tsl --json --up z");
        EXPECT_EQ(run.status, 0) << method << run.err;
        EXPECT_NE(run.out.find("{\"name\": \"spine\", \"parent\": \"hips\"}"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"name\": \"body\", \"vertices\": 8, \"polygons\": 6, \"uvSets\": 2"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("\"influences\": [\"hips\", \"spine\"], \"weights\": 11"), std::string::npos) << run.out;
        std::remove(archive.c_str());
    }
}

TEST(TessalineCli, RoundTripsRealSkinnedModels) {
    const std::string models = "/usr/share/assimp/models/";
    for (const char* model :
         {"glTF2/simple_skin/simple_skin.gltf", "MD5/SimpleCube.md5mesh", "FBX/huesitos.fbx", "X/anim_test.x"}) {
        const ProgramRun run = Tessaline("roundtrip " + models + model);
        EXPECT_EQ(run.status, 0) << model << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find("weights"), std::string::npos) << model;
        EXPECT_EQ(run.out.find("MISMATCH"), std::string::npos) << model << "\n" << run.out;
    }
}

namespace {

// A fresh folder for one test's files.
std::string NewFolder(const std::string& name) {
    std::string pattern = Temp(name + "_XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

using testsupport::Listing;

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const char kIdentity[] =
    "1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000";

// A rig file of bones without meshes: name, parent and inverse bind matrix of each.
std::string BonesRig(const std::vector<std::array<std::string, 3>>& bones) {
    std::string text = "version 1\r\n\r\nnumBones " + std::to_string(bones.size());
    for (size_t i = 0; i < bones.size(); ++i)
        text += "\r\nbone " + std::to_string(i) + " {\r\n\tname \"" + bones[i][0] + "\"\r\n\tparent \"" + bones[i][1] +
                "\"\r\n\tinvBaseMatrix " + bones[i][2] + "\r\n}\r\n";
    return text + "\r\nnumMeshes 0";
}

}  // namespace

TEST(TessalineCli, AWriteLimitFailsTheConversionAndKeepsTheTarget) {
    const std::string folder = NewFolder("limit");
    ASSERT_FALSE(folder.empty());
    const std::string rig = folder + "/rig.tsl";
    ASSERT_EQ(Tessaline("demo " + rig).status, 0);
    // Through the plug-in's exporter and through Assimp's; each output is larger than
    // the 1 KB the shell allows.
    std::vector<std::string> expected = {"rig.tsl"};
    for (const char* name : {"out.tsl", "out.obj"}) {
        SCOPED_TRACE(name);
        const std::string target = folder + "/" + name;
        WriteFile(target, "the file before");
        const ProgramRun run = Tessaline("convert " + rig + " " + target, "ulimit -f 1; ");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("ERROR: Can't write file \"" + target + "\".\n"), std::string::npos) << run.err;
        EXPECT_TRUE(run.err.find("The file size exceeds the limit allowed and cannot be saved.") != std::string::npos ||
                    run.err.find(strerror(EFBIG)) != std::string::npos)
            << run.err;
        EXPECT_EQ(ReadFile(target), "the file before");
        expected.push_back(name);  // and no temporary file
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Listing(folder), expected);
    }
    // The demo reports the failure too instead of a size.
    const ProgramRun demo = Tessaline("demo " + folder + "/demo.tsl", "ulimit -f 1; ");
    EXPECT_EQ(demo.status, 1);
    EXPECT_EQ(demo.out.find("Exported it"), std::string::npos) << demo.out;
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(TessalineCli, AFileSetReplacesItsTargetsAllOrNothing) {
    const std::string folder = NewFolder("set");
    ASSERT_FALSE(folder.empty());
    const std::string rig = folder + "/rig.tsl";
    ASSERT_EQ(Tessaline("demo " + rig).status, 0);
    // OBJ writes out.obj and out.mtl; out.mtl cannot be replaced (a folder with a file in
    // it stands there), so out.obj must not be replaced either.
    WriteFile(folder + "/out.obj", "the file before");
    ASSERT_EQ(mkdir((folder + "/out.mtl").c_str(), 0755), 0);
    WriteFile(folder + "/out.mtl/keep", "x");
    ProgramRun run = Tessaline("convert " + rig + " " + folder + "/out.obj");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("ERROR: Can't write file \"" + folder + "/out.mtl\""), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(folder + "/out.obj"), "the file before");
    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"out.mtl", "out.obj", "rig.tsl"}));

    // 3MF is written by its exporter itself, around the files handed to it: it still
    // replaces its target only once complete, keeps the target's permissions, and writes
    // through a link to the file the link names.
    const std::string target = folder + "/real.3mf";
    WriteFile(target, "the file before");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(symlink("real.3mf", (folder + "/link.3mf").c_str()), 0);
    run = Tessaline("convert " + rig + " " + folder + "/link.3mf");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(target).compare(0, 2, "PK"), 0);  // a ZIP archive
    struct stat status;
    ASSERT_EQ(lstat((folder + "/link.3mf").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(Listing(folder), (std::vector<std::string>{"link.3mf", "out.mtl", "out.obj", "real.3mf", "rig.tsl"}));
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(TessalineCli, AFailedConversionOntoItsInputKeepsIt) {
    // The rig reads, but its bone's bind matrix cannot be inverted, so writing it fails.
    const std::string folder = NewFolder("self");
    ASSERT_FALSE(folder.empty());
    const std::string rig = folder + "/flat.tsl";
    const std::string text = BonesRig({{"flat", "",
                                        "0.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 "
                                        "1.0000 0.0000 0.0000 0.0000 0.0000 1.0000"}});
    WriteFile(rig, text);
    const ProgramRun run = Tessaline("convert " + rig + " " + rig + " --up z");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ERROR: Can't export bone \"flat\": its bind matrix cannot be inverted"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("ERROR: The plugin throwed an exception:\n"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(rig), text);
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"flat.tsl"});
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(TessalineCli, InfoJsonIsOneDocumentEvenOnFailure) {
    const std::string folder = NewFolder("json");
    ASSERT_FALSE(folder.empty());
    const std::string damaged = folder + "/damaged.tsl", archive = folder + "/pack.zip";
    WriteFile(damaged, "version 2");
    WriteFile(archive, ReadFile(std::string(TESSALINE_TEST_DATA) + "/archives/stored.zip"));
    struct Case {
        std::string arguments;
        int status;
        std::string error;    // a part of the error text
        std::string message;  // a part of some console message, or empty
    };
    const std::vector<Case> cases = {
        {"info " + folder + "/missing.tsl --json", 1, "Can't open file", "cannot find the file"},
        {"info " + damaged + " --json", 1, "Can't read \"" + damaged + "\".", "Some data is missing or corrupt."},
        {"info " + archive + "/none.tsl --json", 1, "Can't open file", "can't be found inside the archive"},
        {"info " + folder + "/missing.gltf --json", 1, "Can't read", ""},
        {"info --json --up w " + damaged, 2, "--up takes y or z", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = Tessaline(c.arguments);
        EXPECT_EQ(run.status, c.status);
        const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << run.out;
        ASSERT_TRUE(document["error"].is_string()) << run.out;
        EXPECT_NE(document["error"].get<std::string>().find(c.error), std::string::npos) << run.out;
        ASSERT_TRUE(document["messages"].is_array());
        if (!c.message.empty()) {
            EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        }
    }
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(TessalineCli, AnExceptionDuringImportIsPrintedWithItsText) {
    // A sparse file of 2 GiB: the reader refuses the text before reading it.
    const std::string big = Temp("two_gib.tsl");
    { std::ofstream(big, std::ios::binary); }
    ASSERT_EQ(truncate(big.c_str(), off_t(1) << 31), 0);
    const ProgramRun run = Tessaline("info " + big);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ERROR: The plugin throwed an exception:\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("text too large to parse"), std::string::npos) << run.err;
    const ProgramRun json = Tessaline("info " + big + " --json");
    EXPECT_EQ(json.status, 1);
    const nlohmann::json document = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << json.out;
    EXPECT_NE(document["error"].get<std::string>().find("text too large to parse"), std::string::npos) << json.out;
    std::remove(big.c_str());
}

// What `info` makes of a rig path that is not a plain small file, or is in use.
TEST(TessalineCli, InfoRefusesWhatIsNotAFileAndSharesFilesWithReaders) {
    const std::string folder = NewFolder("not_a_file");
    const std::string huge = folder + "/huge.tsl", fifo = folder + "/fifo.tsl", piped = folder + "/piped.tsl",
                      zero = folder + "/zero.tsl", directory = folder + "/directory.tsl";
    // A rig followed by 4 GiB of zeros: not the rig its size modulo 2^32 would give.
    WriteFile(huge, ReadFile(Golden("skinned")));
    ASSERT_EQ(truncate(huge.c_str(), (off_t(1) << 32) + 1908), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/stdin", piped.c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    const std::string notAFile = "It is a pipe or a device, not a file; only files are read.";
    const std::string rig = Golden("skinned");
    struct Case {
        std::string path, shellPrefix;
        int status;
        std::string expected;  // in stderr when failing, in stdout when not
    };
    const std::vector<Case> cases = {
        {huge, "", 1, "text too large to parse"},
        {piped, "cat " + rig + " | ", 1, notAFile},
        {zero, "", 1, notAFile},
        {fifo, "timeout 60 ", 1, notAFile},
        {directory, "", 1, "ERROR: Can't open file \"" + directory + "\" for reading.\nIt is a directory, not a file."},
        // Another reader holding the file (flock -s) does not keep this one out.
        {rig, "flock -s " + rig + " ", 0, "body: 8 vertices, 6 polygons"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shellPrefix + c.path);
        const ProgramRun run = Tessaline("info " + c.path + " --up z", c.shellPrefix);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((c.status ? run.err : run.out).find(c.expected), std::string::npos) << run.out << run.err;
        if (c.status) {
            EXPECT_EQ(run.out, "");
        }
    }
    std::system(("rm -rf '" + folder + "'").c_str());
}

// Output that cannot be written fails the command, with a message on stderr.
TEST(TessalineCli, AnOutputThatCannotBeWrittenFailsTheCommand) {
    const std::string err = Temp("full.err");
    for (const std::string& arguments : {"info " + Golden("bones") + " --up z", std::string("--help")}) {
        SCOPED_TRACE(arguments);
        const int raw =
            std::system((std::string(TESSALINE_CLI_PATH) + " " + arguments + " >/dev/full 2>" + err).c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
        EXPECT_EQ(ReadFile(err), "ERROR: Can't write the output: " + std::string(strerror(ENOSPC)) + ".\n");
    }
    std::remove(err.c_str());
}

TEST(TessalineCli, InfoJsonEscapesBytesThatAreNotUtf8) {
    const std::string rig = Temp("odd_bytes.tsl");
    // Invalid bytes, a stray continuation byte and a valid two-byte character.
    WriteFile(rig, BonesRig({{"bad\xff\xfe", "", kIdentity}, {"x\x80y\xc3\xa9", "", kIdentity}}));
    const ProgramRun run = Tessaline("info " + rig + " --json --up z");
    EXPECT_EQ(run.status, 0) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << run.out;
    EXPECT_EQ(document["joints"][0]["name"], "bad\\xff\\xfe");
    EXPECT_EQ(document["joints"][1]["name"], "x\\x80y\xc3\xa9");
    std::remove(rig.c_str());
}

TEST(TessalineCli, SelectionMeansTheSameForEveryOutput) {
    // Three meshes (Body, Arms, Sword); --selected takes Sword alone, into a rig file or a
    // scene file alike, and a name that matches no node is a usage error for both.
    const std::string source = std::string(TESSALINE_TEST_DATA) + "/../dcc/rigs/prop_two_meshes.glb";
    for (const char* extension : {"tsl", "glb", "obj"}) {
        SCOPED_TRACE(extension);
        const std::string out = Temp(std::string("selected.") + extension);
        std::remove(out.c_str());
        const ProgramRun run = Tessaline("convert " + source + " " + out + " --selected Sword nosuch");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("ERROR: --selected: no node of the scene is named \"nosuch\"."), std::string::npos)
            << run.err;
        EXPECT_EQ(ReadFile(out), "");  // nothing written
        const ProgramRun known = Tessaline("convert " + source + " " + out + " --selected Sword");
        ASSERT_EQ(known.status, 0) << known.err;
        const ProgramRun info = Tessaline("info " + out + " --json");
        const nlohmann::json report = nlohmann::json::parse(info.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << info.out;
        ASSERT_EQ(report["meshes"].size(), 1u) << info.out;
        EXPECT_EQ(report["meshes"][0]["name"].get<std::string>().rfind("Sword", 0), 0u) << info.out;
        std::remove(out.c_str());
    }
}

TEST(TessalineCli, JointsThatPrintAlikeAreListedOnceEach) {
    // The host refuses "x|y" as a name, so the first joint becomes "joint1"; the second,
    // named "joint1" in the file, sits under it with the same printed name.
    const std::string rig = Temp("same_names.tsl");
    WriteFile(rig, BonesRig({{"x|y", "", kIdentity}, {"joint1", "x|y", kIdentity}}));
    const ProgramRun run = Tessaline("info " + rig + " --up z");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("joints: 2\n  joint1\n    joint1\nmeshes: 0\n"), std::string::npos) << run.out;
    std::remove(rig.c_str());
}

// Every number of the invBaseMatrix lines of a rig text, in order.
std::vector<double> BindNumbers(const std::string& rig) {
    std::vector<double> numbers;
    for (size_t at = rig.find("invBaseMatrix"); at != std::string::npos; at = rig.find("invBaseMatrix", at + 1)) {
        const char* text = rig.c_str() + at + 13;
        for (int k = 0; k < 16; ++k) numbers.push_back(std::strtod(text, const_cast<char**>(&text)));
    }
    return numbers;
}

TEST(TessalineCli, WritesOtherSceneFormatsThatReadBack) {
    // Each format read back gives the rig's bones where they were: FBX states its unit,
    // which must say what the numbers are (a rig once came back 100 times smaller).
    const std::vector<double> binds = BindNumbers(ReadFile(Golden("skinned")));
    for (const char* extension : {"gltf", "dae", "fbx"}) {
        const std::string back = Temp(std::string("skinned-back-") + extension + ".tsl");
        ASSERT_EQ(
            Tessaline("convert " + Golden("skinned") + " " + Temp(std::string("skinned.") + extension) + " --up z")
                .status,
            0);
        ASSERT_EQ(Tessaline("convert " + Temp(std::string("skinned.") + extension) + " " + back + " --up z").status, 0);
        const std::vector<double> read = BindNumbers(ReadFile(back));
        ASSERT_EQ(read.size(), binds.size()) << extension;
        for (size_t i = 0; i < binds.size(); ++i) EXPECT_NEAR(read[i], binds[i], 1e-4) << extension << " " << i;
        std::remove(back.c_str());
    }
    for (const char* extension : {"gltf", "dae"}) {
        const std::string scene = Temp(std::string("skinned.") + extension);
        ProgramRun run = Tessaline("convert " + Golden("skinned") + " " + scene + " --up z");
        ASSERT_EQ(run.status, 0) << extension << run.err;
        run = Tessaline("info " + scene + " --json --up z");
        EXPECT_EQ(run.status, 0) << extension << run.err;
        EXPECT_NE(run.out.find("{\"name\": \"spine\", \"parent\": \"hips\"}"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"influences\": [\"hips\", \"spine\"]"), std::string::npos) << run.out;
        run = Tessaline("roundtrip " + scene + " --up z");
        EXPECT_EQ(run.status, 0) << extension << run.out << run.err;
    }
    EXPECT_NE(Tessaline("convert " + Golden("skinned") + " " + Temp("scene.nothing")).status, 0);
}

// What a rig file read back from a scene file holds: bones, weights, UV sets with
// coordinates in its first mesh.
struct ReadBack {
    int bones = 0;
    bool weights = false;
    int uvSets = 0;
};
ReadBack ReadBackThroughRig(const std::string& scene) {
    const std::string rig = Temp("read-back.tsl");
    ReadBack back;
    if (Tessaline("convert " + scene + " " + rig).status != 0) return back;
    const std::string text = ReadFile(rig);
    back.bones = std::atoi(text.c_str() + text.find("numBones ") + 9);
    back.weights = text.find("vertexWeightCounts") != std::string::npos;
    const size_t sets = text.find("textureCoordinates {");
    const size_t end = text.find("materialNames", sets);
    for (size_t at = text.find("set ", sets); at < end; at = text.find("set ", at + 1)) {
        const size_t open = text.find('{', at), close = text.find('}', open);
        back.uvSets += text.find_first_not_of(" \t\r\n", open + 1) != close;
    }
    std::remove(rig.c_str());
    return back;
}

TEST(TessalineCli, EachSceneFormatSaysWhatItLeavesOutAndKeepsTheRest) {
    // The demo rig has 3 joints, a skin and two UV sets. What a format's warnings say it
    // leaves out must be exactly what is missing when Assimp reads the file back.
    const std::string rig = Temp("demo-formats.tsl");
    ASSERT_EQ(Tessaline("demo " + rig).status, 0);
    for (const char* extension : {"dae", "x", "obj", "stl", "ply", "3ds", "gltf", "glb", "assbin", "3mf"}) {
        const std::string scene = Temp(std::string("formats.") + extension);
        const ProgramRun run = Tessaline("convert " + rig + " " + scene);
        ASSERT_EQ(run.status, 0) << extension << run.err;
        const std::string said = run.out + run.err;
        const bool skinsLeftOut = said.find("cannot hold skins") != std::string::npos;
        const int uvSetsKept = said.find("holds no UV sets") != std::string::npos            ? 0
                               : said.find("holds one UV set per mesh") != std::string::npos ? 1
                                                                                             : 2;
        const ReadBack back = ReadBackThroughRig(scene);
        EXPECT_EQ(back.weights, !skinsLeftOut) << extension << said;
        EXPECT_EQ(back.bones > 0, !skinsLeftOut) << extension << said;
        EXPECT_EQ(back.uvSets, uvSetsKept) << extension << said;
        std::remove(scene.c_str());
    }
    // The formats Assimp does not read back still write a file, or fail with a reason,
    // and never crash.
    for (const char* extension : {"stp", "x3d", "assxml", "json", "pbrt"}) {
        const ProgramRun run = Tessaline("convert " + rig + " " + Temp(std::string("formats.") + extension));
        EXPECT_TRUE(run.status == 0 || (run.status == 1 && run.err.find("ERROR: ") != std::string::npos))
            << extension << " " << run.status << run.err;
    }
    std::remove(rig.c_str());
}

TEST(TessalineCli, TriangleMeshesWriteToFormatsThatTriangulate) {
    // A mesh of triangles only once aborted the glTF and 3DS writers, whose triangulation
    // step trusted the mesh's word that it held polygons.
    const std::string box = "/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf";
    if (!std::ifstream(box)) GTEST_SKIP() << "assimp-testmodels is not installed";
    for (const char* extension : {"gltf", "glb", "3ds"}) {
        const std::string scene = Temp(std::string("box.") + extension);
        const ProgramRun run = Tessaline("convert " + box + " " + scene);
        EXPECT_EQ(run.status, 0) << extension << run.err;
        const ProgramRun info = Tessaline("info " + scene + " --json");
        EXPECT_EQ(info.status, 0) << extension << info.err;
        EXPECT_NE(info.out.find("\"polygons\": 12"), std::string::npos) << extension << info.out;
        std::remove(scene.c_str());
    }
}
#endif

#ifdef TESSALINE_CLI_PATH
// --timings adds a table of stages on standard error and changes nothing else: the
// translators' timing lines are neither printed as messages nor counted among them.
TEST(TessalineCli, TimingsAreATableOnStandardErrorAndNothingElseChanges) {
    const ProgramRun plain = Tessaline("info " + Golden("skinned") + " --json");
    const ProgramRun timed = Tessaline("info " + Golden("skinned") + " --json --timings");
    ASSERT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out, plain.out);
    EXPECT_EQ(timed.out.find("Timing"), std::string::npos);
    for (const char* stage :
         {"Timings (seconds, wall clock):\n  start ", "\n  load ", "\n    read ", "\n    parse ", "\n    geometry ",
          "\n    normals ", "\n    UVs ", "\n    skin ", "\n  report ", "\n  total "})
        EXPECT_NE(timed.err.find(stage), std::string::npos) << stage << "\n" << timed.err;

    const std::string timedRig = Temp("timed.tsl"), plainRig = Temp("plain.tsl");
    ASSERT_EQ(Tessaline("convert " + Golden("skinned") + " " + plainRig).status, 0);
    const ProgramRun convert = Tessaline("convert " + Golden("skinned") + " " + timedRig + " --timings");
    ASSERT_EQ(convert.status, 0) << convert.err;
    for (const char* stage :
         {"\n  write ", "\n    scene ", "\n    bones ", "\n    polygons ", "\n    weights ", "\n    commit "})
        EXPECT_NE(convert.err.find(stage), std::string::npos) << stage << "\n" << convert.err;
    EXPECT_EQ(ReadFile(timedRig), ReadFile(plainRig));
    EXPECT_EQ(convert.out.find("Timing"), std::string::npos);

    for (const std::string& misplaced : {"diff " + Golden("skinned") + " " + Golden("skinned") + " --timings",
                                         "info " + Golden("skinned") + " " + Golden("bones") + " --timings"})
        EXPECT_EQ(Tessaline(misplaced).status, 2) << misplaced;
}
#endif
