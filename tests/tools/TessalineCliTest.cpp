#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <string>

#ifdef TESSALINE_CLI_PATH

namespace {

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Temp(const std::string& name) { return testing::TempDir() + "cli_" + name; }

ProgramRun Tessaline(const std::string& arguments) {
    // Test programs run side by side: each run gets files of its own.
    static int runs = 0;
    const std::string tag = std::to_string(getpid()) + "_" + std::to_string(++runs);
    const std::string out = Temp("stdout_" + tag + ".txt"), err = Temp("stderr_" + tag + ".txt");
    const std::string command = std::string(TESSALINE_CLI_PATH) + " " + arguments + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    ProgramRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

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

TEST(TessalineCli, DamagedRigFileIsRefused) {
    const std::string damaged = Temp("damaged.tsl");
    std::ofstream(damaged, std::ios::binary) << "version 1\r\nnumBones 5000\r\n";
    const ProgramRun run = Tessaline("convert " + damaged + " " + Temp("never.tsl"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("WARNING: Can't handle file \"" + damaged + "\". Some data is missing or corrupt."),
              std::string::npos)
        << run.err;
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
    for (const char* model : {"glTF2/simple_skin/simple_skin.gltf", "MD5/SimpleCube.md5mesh", "FBX/huesitos.fbx",
                              "X/anim_test.x"}) {
        const ProgramRun run = Tessaline("roundtrip " + models + model);
        EXPECT_EQ(run.status, 0) << model << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find("weights"), std::string::npos) << model;
        EXPECT_EQ(run.out.find("MISMATCH"), std::string::npos) << model << "\n" << run.out;
    }
}

#endif

#ifdef TESSALINE_CLI_PATH
TEST(TessalineCli, WritesOtherSceneFormatsThatReadBack) {
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
#endif
