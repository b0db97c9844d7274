#pragma once
// Times a whole program run, as a user would see it: wall time, processor time and peak
// memory, with the program's output discarded.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct ProcessRun {
    bool ran = false;  // false when the program is missing or could not be started
    int exitStatus = -1;
    double seconds = 0, cpuSeconds = 0;
    long peakMegabytes = 0;
};

inline ProcessRun TimeProcess(const std::vector<std::string>& command) {
    ProcessRun run;
    if (access(command[0].c_str(), X_OK) != 0) return run;
    fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        std::vector<char*> argv;
        for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return run;
    run.ran = true;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMegabytes = usage.ru_maxrss / 1024;
    return run;
}

}  // namespace bench
