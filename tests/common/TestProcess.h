#pragma once
// Helpers the test programs of several layers share: the entries of a folder, and (on
// POSIX systems) running a piece of a test in a child process whose files may not grow
// past a limit, the way a full disk or a user's file-size limit stops a write.

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

// The names in the folder, sorted (without "." and "..").
inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

#if !defined(_WIN32)
// Runs body in a child process whose files may not grow past limit bytes (a write past
// it fails with EFBIG rather than raising SIGXFSZ); returns what body returned, the
// child's own report of what it saw, carried back through a pipe.
inline std::string WithFileSizeLimit(rlim_t limit, const std::function<std::string()>& body) {
    int ends[2];
    if (pipe(ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        const std::string report = body();
        _exit(write(ends[1], report.data(), report.size()) < 0 ? 2 : 0);
    }
    close(ends[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) report.append(buffer, size_t(n));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return report;
}
#endif

}  // namespace testsupport
