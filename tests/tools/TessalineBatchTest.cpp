// convert, info and check over many files, run as the program: the batch survives files
// that are damaged, hang or crash the program, says what happened to each (a table, or a
// JSON line per file and a summary line), and writes nothing when targets collide.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/CliRun.h"

#ifdef TESSALINE_CLI_PATH

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ProgramRun;
using testsupport::ReadFile;
using testsupport::Tessaline;

namespace {

std::string Golden(const std::string& name) { return std::string(TESSALINE_TEST_DATA) + "/rig/" + name + ".tsl"; }

// A fresh folder of the test's own.
std::string Folder(const std::string& name) { return testsupport::NewFolder("batch", name); }

void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

const char kCube[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
    "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n";

// Every line of the output parsed on its own, as a script reading JSON Lines would.
std::vector<json> JsonLines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        json parsed = json::parse(line, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "not one JSON document: " << line;
        lines.push_back(parsed);
    }
    return lines;
}

// The folder a batch takes: two good files (a rig and an OBJ), a damaged rig, one the
// test hook makes hang, one it makes crash, and a text file that is no scene.
struct Mixed {
    std::string in = Folder("mixed_in");
    Mixed() {
        fs::copy_file(Golden("skinned"), in + "/good.tsl");
        Write(in + "/cube.obj", kCube);
        Write(in + "/damaged.tsl", std::string("numBones 2\n\0\0", 13));
        fs::copy_file(Golden("skinned"), in + "/stuck.tsl");
        fs::copy_file(Golden("skinned"), in + "/broken.tsl");
        Write(in + "/notes.txt", "not a scene");
    }
    static std::string Faults() { return "TESSALINE_TEST_FAULT=hang:stuck.tsl,crash:broken.tsl "; }
};

TEST(TessalineBatch, OneBadFileCostsThatFileAlone) {
    const Mixed mixed;
    const std::string out = Folder("mixed_out");
    fs::remove(out);  // the batch makes it
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun batch =
        Tessaline("convert " + mixed.in + " --out " + out + " --jobs 2 --timeout 2 --json --up z", Mixed::Faults());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(batch.status, 1) << batch.out << batch.err;
    EXPECT_LT(seconds, 60) << "the hanging file was not stopped";
    // The text file is left out with a note; progress is never drawn off a terminal.
    EXPECT_NE(batch.err.find("1 files that are not rig or scene files"), std::string::npos) << batch.err;
    EXPECT_EQ(batch.err.find('\r'), std::string::npos);

    const std::vector<json> lines = JsonLines(batch.out);
    ASSERT_EQ(lines.size(), 6u) << batch.out;
    std::map<std::string, json> byFile;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const json& line = lines[i];
        for (const char* key : {"source", "target", "status", "warnings", "counts", "seconds"})
            EXPECT_TRUE(line.contains(key)) << key << " missing in " << line;
        byFile[fs::path(line["source"].get<std::string>()).filename().string()] = line;
    }
    const std::map<std::string, std::string> expected{{"good.tsl", "converted"},
                                                      {"cube.obj", "converted"},
                                                      {"damaged.tsl", "unreadable"},
                                                      {"stuck.tsl", "timed out"},
                                                      {"broken.tsl", "crashed"}};
    for (const auto& [file, status] : expected) {
        ASSERT_TRUE(byFile.count(file)) << file << " has no line";
        const json& line = byFile[file];
        EXPECT_EQ(line["status"], status) << line;
        EXPECT_EQ(line["target"], out + "/" + fs::path(file).stem().string() + ".tsl");
        if (status == "converted") {
            EXPECT_FALSE(line.contains("error")) << line;
            EXPECT_TRUE(fs::exists(line["target"].get<std::string>())) << line;
        } else {
            EXPECT_FALSE(line["error"].get<std::string>().empty()) << line;
            EXPECT_FALSE(fs::exists(line["target"].get<std::string>())) << line;
        }
    }
    EXPECT_EQ(byFile["good.tsl"]["counts"], json({{"joints", 2}, {"meshes", 1}, {"vertices", 8}, {"polygons", 6}}));
    EXPECT_EQ(byFile["cube.obj"]["counts"]["polygons"], 6);
    EXPECT_NE(byFile["broken.tsl"]["error"].get<std::string>().find("SIGSEGV"), std::string::npos);
    EXPECT_NE(byFile["damaged.tsl"]["warnings"].dump().find("missing or corrupt"), std::string::npos);
    EXPECT_GE(byFile["stuck.tsl"]["seconds"].get<double>(), 2.0);

    const json& summary = lines.back()["summary"];
    EXPECT_EQ(summary["files"], 5);
    EXPECT_EQ(summary["converted"], 2);
    EXPECT_EQ(summary["unreadable"], 1);
    EXPECT_EQ(summary["timed out"], 1);
    EXPECT_EQ(summary["crashed"], 1);
    EXPECT_EQ(summary["failed"], 0);

    // A good file's target is exactly what a single conversion writes.
    const std::string single = out + "/single.tsl";
    ASSERT_EQ(Tessaline("convert " + mixed.in + "/good.tsl " + single + " --up z").status, 0);
    EXPECT_EQ(ReadFile(out + "/good.tsl"), ReadFile(single));
    ASSERT_EQ(Tessaline("convert " + mixed.in + "/cube.obj " + single + " --up z").status, 0);
    EXPECT_EQ(ReadFile(out + "/cube.tsl"), ReadFile(single));
    // No temporary file of the killed processes is left beside the targets.
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_EQ(entry.path().string().find('~'), std::string::npos) << entry.path();
}

TEST(TessalineBatch, TheTableSaysWhatHappenedToEachFile) {
    const Mixed mixed;
    const std::string out = Folder("table_out");
    const ProgramRun failing =
        Tessaline("convert " + mixed.in + " --out " + out + " --jobs 3 --timeout 2 --up z", Mixed::Faults());
    EXPECT_EQ(failing.status, 1) << failing.err;
    EXPECT_NE(failing.out.find("5 files in "), std::string::npos) << failing.out;
    EXPECT_NE(failing.out.find(": 2 converted, 1 unreadable, 1 timed out, 1 crashed\n"), std::string::npos)
        << failing.out;
    for (const char* row : {"converted", "unreadable", "timed out", "crashed"})
        EXPECT_NE(failing.out.find(std::string("\n") + row), std::string::npos) << row << "\n" << failing.out;
    EXPECT_NE(failing.out.find("no result within 2 s; the process was stopped"), std::string::npos);

    // Only good files: exit 0, and the sources may be files and folders mixed.
    const std::string good = Folder("table_good");
    fs::copy_file(Golden("skinned"), good + "/a.tsl");
    const ProgramRun passing =
        Tessaline("convert " + good + " " + mixed.in + "/cube.obj --out " + out + "/again --to obj --quiet");
    EXPECT_EQ(passing.status, 0) << passing.out << passing.err;
    EXPECT_NE(passing.out.find("2 files in "), std::string::npos);
    EXPECT_NE(passing.out.find(": 2 converted\n"), std::string::npos) << passing.out;
    EXPECT_TRUE(fs::exists(out + "/again/a.obj"));
    EXPECT_TRUE(fs::exists(out + "/again/cube.obj"));
}

TEST(TessalineBatch, CollidingTargetsAreRefusedBeforeAnythingIsWritten) {
    const std::string in = Folder("collide_in");
    fs::create_directories(in + "/one");
    fs::create_directories(in + "/two");
    fs::copy_file(Golden("skinned"), in + "/one/hero.tsl");
    fs::copy_file(Golden("bones"), in + "/two/hero.tsl");
    Write(in + "/one/Hero.obj", kCube);
    const std::string out = Folder("collide_out");
    Write(out + "/hero.tsl", "kept");
    // Two files named alike, and names that differ only in case and extension.
    for (const std::string& sources :
         {in + "/one/hero.tsl " + in + "/two/hero.tsl", in + "/one/hero.tsl " + in + "/one/Hero.obj"}) {
        const ProgramRun run = Tessaline("convert " + sources + " --out " + out);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("would both be written to \"" + out + "/"), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(out + "/hero.tsl"), "kept");
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    }
    // A folder keeps its subfolders, so files of one name in two of them do not collide;
    // --keep-ext tells apart names that differ only in extension.
    const ProgramRun folders = Tessaline("convert " + in + " --out " + out + " --keep-ext --up z");
    EXPECT_EQ(folders.status, 0) << folders.out << folders.err;
    EXPECT_EQ(ReadFile(out + "/one/hero.tsl.tsl").empty(), false);
    EXPECT_EQ(ReadFile(out + "/two/hero.tsl.tsl").empty(), false);
    EXPECT_EQ(ReadFile(out + "/one/Hero.obj.tsl").empty(), false);
}

TEST(TessalineBatch, UsageErrorsExitWithTwo) {
    const std::string out = Folder("usage_out");
    for (const std::string& arguments :
         {"convert --out " + out, "convert " + Golden("skinned") + " --out " + out + " --jobs 0",
          "convert " + Golden("skinned") + " --out " + out + " --jobs two",
          "convert " + Golden("skinned") + " --out " + out + " --timeout -1",
          "convert " + Golden("skinned") + " --out " + out + " --to nothing",
          "convert " + Golden("skinned") + " " + out + "/x.tsl --jobs 2", "convert " + out + " --out " + out}) {
        const ProgramRun run = Tessaline(arguments);
        EXPECT_EQ(run.status, 2) << arguments << "\n" << run.err;
        EXPECT_TRUE(run.err.rfind("ERROR: ", 0) == 0 || run.err.rfind("tessaline: ", 0) == 0) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(TessalineBatch, RigsInsideAnArchiveAreConverted) {
    const std::string work = Folder("archive");
    const std::string archive = work + "/pack.zip";
    const std::string make = "python3 -c \"import zipfile; z = zipfile.ZipFile('" + archive +
                             "', 'w', zipfile.ZIP_DEFLATED); z.write('" + Golden("skinned") +
                             "', 'rigs/hero.tsl'); z.write('" + Golden("bones") +
                             "', 'rigs/bones.tsl'); z.writestr('models/cube.obj', 'v 0 0 0'); z.close()\"";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const ProgramRun run = Tessaline("convert " + archive + " --out " + work + "/out --json --up z");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<json> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines.back()["summary"]["converted"], 2);
    EXPECT_TRUE(fs::exists(work + "/out/rigs/hero.tsl"));
    EXPECT_TRUE(fs::exists(work + "/out/rigs/bones.tsl"));
    EXPECT_NE(run.err.find("1 scene files inside the archive are left out"), std::string::npos) << run.err;
}

TEST(TessalineBatch, AStoppedConversionLeavesNoTemporaryFileBehind) {
    const std::string in = Folder("leftover_in"), out = Folder("leftover_out");
    fs::copy_file(Golden("skinned"), in + "/stuck.tsl");
    Write(out + "/stuck.tsl~1", "older, not the batch's");
    // While the conversion hangs, a partial file appears where its writer would leave one.
    const ProgramRun run =
        Tessaline("convert " + in + " --out " + out + " --timeout 3 --json",
                  "(sleep 1; echo partial > " + out + "/stuck.tsl~2) & " + "TESSALINE_TEST_FAULT=hang:stuck.tsl ");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("1 temporary files it left were removed"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(out + "/stuck.tsl~2"));
    EXPECT_EQ(ReadFile(out + "/stuck.tsl~1"), "older, not the batch's");
}

TEST(TessalineBatch, AnInterruptedBatchStopsItsChildrenAndSaysSo) {
    const std::string in = Folder("interrupt_in"), out = Folder("interrupt_out");
    for (const char* name : {"a.tsl", "b.tsl", "c.tsl"}) fs::copy_file(Golden("skinned"), in + "/" + name);
    // Every file hangs; the batch is ended with SIGTERM a second in.
    const std::string command = std::string("TESSALINE_TEST_FAULT=hang:.tsl ") + TESSALINE_CLI_PATH + " convert " + in +
                                " --out " + out + " --jobs 2 --json";
    const ProgramRun run = testsupport::RunTessaline(
        "", "", "sh -c '" + command + " & pid=$!; sleep 1; kill -TERM $pid; wait $pid; exit $?'");
    EXPECT_EQ(run.status, 128 + SIGTERM) << run.out << run.err;
    EXPECT_NE(run.err.find("ERROR: The batch was interrupted by SIGTERM."), std::string::npos) << run.err;
    const std::vector<json> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines.back()["summary"]["interrupted"], 3);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST(TessalineBatch, InfoOfManyFilesGivesALinePerFile) {
    const Mixed mixed;
    const ProgramRun run = Tessaline("info " + mixed.in + " --json --timeout 2 --up z", Mixed::Faults());
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<json> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    std::map<std::string, json> byFile;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        byFile[fs::path(lines[i]["source"].get<std::string>()).filename().string()] = lines[i];
    EXPECT_EQ(byFile["good.tsl"]["status"], "read");
    EXPECT_EQ(byFile["good.tsl"]["info"]["meshes"][0]["name"], "body");
    EXPECT_EQ(byFile["good.tsl"]["counts"]["joints"], 2);
    EXPECT_EQ(byFile["cube.obj"]["status"], "read");
    EXPECT_EQ(byFile["damaged.tsl"]["status"], "unreadable");
    EXPECT_EQ(byFile["stuck.tsl"]["status"], "timed out");
    EXPECT_EQ(byFile["broken.tsl"]["status"], "crashed");
    EXPECT_EQ(lines.back()["summary"]["read"], 2);

    // Two files named one by one, as a table.
    const ProgramRun table = Tessaline("info " + mixed.in + "/good.tsl " + mixed.in + "/cube.obj --up z");
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("2 files in "), std::string::npos) << table.out;
    EXPECT_NE(table.out.find(": 2 read\n"), std::string::npos) << table.out;
}

TEST(TessalineBatch, CheckOfManyFilesFindsTheRigThatDoesNotMatch) {
    const std::string in = Folder("check_in"), out = Folder("check_out");
    Write(in + "/cube.obj", kCube);
    Write(in + "/moved.obj", std::string(kCube).replace(0, 7, "v 0 0 -3"));
    ASSERT_EQ(Tessaline("convert " + in + " --out " + out).status, 0);
    const ProgramRun good = Tessaline("check " + in + " --out " + out + " --json");
    EXPECT_EQ(good.status, 0) << good.out << good.err;
    const std::vector<json> lines = JsonLines(good.out);
    ASSERT_EQ(lines.size(), 3u);
    // Lines come in the order the files finish.
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[i]["status"], "matched") << lines[i];
        EXPECT_EQ(lines[i]["target"],
                  out + "/" + fs::path(lines[i]["source"].get<std::string>()).stem().string() + ".tsl");
        EXPECT_FALSE(lines[i]["rows"].empty());
    }
    EXPECT_EQ(lines.back()["summary"]["matched"], 2);

    // The rig of one source given to the other.
    fs::copy_file(out + "/cube.tsl", out + "/moved.tsl", fs::copy_options::overwrite_existing);
    const ProgramRun bad = Tessaline("check " + in + " --out " + out);
    EXPECT_EQ(bad.status, 1) << bad.out << bad.err;
    EXPECT_NE(bad.out.find(": 1 matched, 1 mismatched\n"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("positions: "), std::string::npos) << bad.out;
}

// Runs the program with standard error on a terminal (a pseudo-terminal of the test's
// own) and gives back what the terminal showed.
std::string OnTerminal(const std::string& arguments, const std::string& environment) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) || unlockpt(master)) return "(no pseudo-terminal)";
    const std::string slave = ptsname(master);
    const pid_t pid = fork();
    if (pid == 0) {
        const int terminal = open(slave.c_str(), O_RDWR);
        const int nothing = open("/dev/null", O_WRONLY);
        dup2(terminal, 2);
        dup2(nothing, 1);
        const std::string command = environment + " " + TESSALINE_CLI_PATH + " " + arguments;
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the last writer closed the terminal
        shown.append(buffer, size_t(got));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    return shown;
}

TEST(TessalineBatch, ProgressIsShownOnATerminalUnlessQuiet) {
    const std::string in = Folder("progress_in");
    fs::copy_file(Golden("skinned"), in + "/a.tsl");
    fs::copy_file(Golden("skinned"), in + "/slow.tsl");
    const std::string out = Folder("progress_out");
    // The hanging file keeps the batch going long enough for the line to be drawn.
    const std::string shown =
        OnTerminal("convert " + in + " --out " + out + " --timeout 1 --jobs 1", "TESSALINE_TEST_FAULT=hang:slow.tsl");
    EXPECT_NE(shown.find("/2 converted] "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" elapsed"), std::string::npos) << shown;
    const std::string quiet = OnTerminal("convert " + in + " --out " + out + " --timeout 1 --jobs 1 --quiet",
                                         "TESSALINE_TEST_FAULT=hang:slow.tsl");
    EXPECT_EQ(quiet.find("converted]"), std::string::npos) << quiet;

    // A single conversion whose reading takes over a second says so, until it is stopped.
    const std::string single = OnTerminal("convert " + in + "/slow.tsl " + out + "/single.tsl",
                                          "TESSALINE_TEST_FAULT=hang:slow.tsl timeout 3");
    EXPECT_NE(single.find("reading " + in + "/slow.tsl (1.9 kB), 0:01 elapsed"), std::string::npos) << single;
    EXPECT_EQ(OnTerminal("convert " + in + "/slow.tsl " + out + "/single.tsl --quiet",
                         "TESSALINE_TEST_FAULT=hang:slow.tsl timeout 2")
                  .find("reading"),
              std::string::npos);
}

}  // namespace

#endif
