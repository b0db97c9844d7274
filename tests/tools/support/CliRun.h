#pragma once
// Runs the command-line host as a whole program, the way a user does, and gives back its
// exit status and both output streams.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

}  // namespace testsupport
