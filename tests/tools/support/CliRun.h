#pragma once
// Runs the command-line host as a whole program, the way a user does, and gives back its
// exit status and both output streams; and names the files and folders its tests write,
// each of this process's own, since test programs run side by side.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

struct ProgramRun {
    int status;
    std::string out, err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `tessaline ARGUMENTS` through the shell; shellPrefix goes before it (a ulimit,
// say). The output is caught in files of this process's own, since test programs run
// side by side.
inline ProgramRun RunTessaline(const char* program, const std::string& arguments, const std::string& shellPrefix = "") {
    static int runs = 0;
    const std::string tag = testing::TempDir() + "run_" + std::to_string(getpid()) + "_" + std::to_string(++runs);
    const std::string out = tag + ".out", err = tag + ".err";
    const std::string command = shellPrefix + program + " " + arguments + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    ProgramRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

#ifdef TESSALINE_CLI_PATH
// The built command-line host, run as RunTessaline runs it.
inline ProgramRun Tessaline(const std::string& arguments, const std::string& shellPrefix = "") {
    return RunTessaline(TESSALINE_CLI_PATH, arguments, shellPrefix);
}
#endif

// A path in the tests' temporary folder of this process's own: group names the test file.
inline std::string TempPath(const std::string& group, const std::string& name) {
    return testing::TempDir() + group + "_" + std::to_string(getpid()) + "_" + name;
}

// A fresh, empty folder at TempPath(group, name).
inline std::string NewFolder(const std::string& group, const std::string& name) {
    const std::string path = TempPath(group, name);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

}  // namespace testsupport
