#include "Batch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "Session.h"

namespace fs = std::filesystem;

namespace tessaline {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = char(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EndsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() && Lower(text.substr(text.size() - ending.size())) == ending;
}

uint32_t Little(const unsigned char* at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

// The entry names of a ZIP archive's central directory. Only names are needed here; the
// importer reads the entries themselves and says what is wrong with one.
bool ListArchive(const std::string& path, std::vector<std::string>& names, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the archive \"" + path + "\": " + strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const uint64_t size = uint64_t(in.tellg());
    // The end record (22 bytes) is followed by a comment of at most 65535 bytes.
    const uint64_t tail = std::min<uint64_t>(size, 22 + 65535);
    std::vector<unsigned char> end(tail);
    in.seekg(std::streamoff(size - tail));
    in.read(reinterpret_cast<char*>(end.data()), std::streamsize(tail));
    if (!in) {
        error = "cannot read the archive \"" + path + "\"";
        return false;
    }
    for (size_t at = tail >= 22 ? tail - 22 + 1 : 0; at-- > 0;) {
        if (Little(&end[at], 4) != 0x06054b50) continue;
        const uint32_t count = Little(&end[at + 10], 2), length = Little(&end[at + 12], 4),
                       offset = Little(&end[at + 16], 4);
        if (count == 0xFFFF || length == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
            error = "the archive \"" + path + "\" uses ZIP64 extensions, which are not supported";
            return false;
        }
        if (uint64_t(offset) + length > size) break;
        std::vector<unsigned char> directory(length);
        in.seekg(offset);
        in.read(reinterpret_cast<char*>(directory.data()), length);
        if (!in) break;
        size_t next = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (next + 46 > directory.size() || Little(&directory[next], 4) != 0x02014b50) {
                error = "the archive \"" + path + "\" has a damaged central directory";
                return false;
            }
            const size_t name = Little(&directory[next + 28], 2), extra = Little(&directory[next + 30], 2),
                         comment = Little(&directory[next + 32], 2);
            if (next + 46 + name > directory.size()) break;
            names.emplace_back(reinterpret_cast<const char*>(&directory[next + 46]), name);
            next += 46 + name + extra + comment;
        }
        return true;
    }
    error = "\"" + path + "\" is not a ZIP archive (no central directory found)";
    return false;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool IsConvertibleFile(const std::string& path) {
    if (IsRigPath(path)) return true;
    const std::string extension = fs::path(path).extension().string();
    if (extension.size() < 2) return false;
    static Assimp::Importer importer;
    return importer.IsExtensionSupported(Lower(extension).c_str());
}

bool ExpandSources(const std::vector<std::string>& arguments, std::vector<BatchSource>& sources,
                   std::vector<std::string>& notes, std::string& error) {
    for (const std::string& argument : arguments) {
        std::error_code failure;
        if (fs::is_directory(argument, failure)) {
            std::vector<std::string> found;
            size_t others = 0;
            fs::recursive_directory_iterator walk(argument, fs::directory_options::skip_permission_denied, failure),
                last;
            for (; !failure && walk != last; walk.increment(failure)) {
                if (!walk->is_regular_file(failure)) continue;
                // A file without an extension may be a scene file that Assimp knows by its
                // content; hidden files are left out.
                const std::string name = walk->path().filename().string();
                const bool bare = walk->path().extension().empty() && !name.empty() && name[0] != '.';
                if (bare || IsConvertibleFile(walk->path().string()))
                    found.push_back(walk->path().string());
                else
                    ++others;
            }
            if (failure) {
                error = "cannot list the folder \"" + argument + "\": " + failure.message();
                return false;
            }
            std::sort(found.begin(), found.end());
            for (const std::string& path : found)
                sources.push_back({path, fs::path(path).lexically_relative(argument).string()});
            if (others)
                notes.push_back("\"" + argument + "\": " + std::to_string(others) +
                                " files that are not rig or scene files by their extension are left out.");
        } else if (EndsWith(argument, ".zip") && fs::is_regular_file(argument, failure)) {
            std::vector<std::string> names;
            if (!ListArchive(argument, names, error)) return false;
            size_t scenes = 0;
            for (const std::string& name : names) {
                if (name.empty() || name.back() == '/') continue;
                if (IsRigPath(name))
                    sources.push_back({argument + "/" + name, name});
                else if (IsConvertibleFile(name))
                    ++scenes;
            }
            if (scenes)
                notes.push_back("\"" + argument + "\": " + std::to_string(scenes) +
                                " scene files inside the archive are left out: only rig files are read from "
                                "inside archives.");
        } else {
            sources.push_back({argument, fs::path(argument).filename().string()});
        }
    }
    return true;
}

bool NameTargets(const std::vector<BatchSource>& sources, const std::string& folder, const std::string& extension,
                 bool keepExtension, std::vector<std::string>& targets, std::string& error) {
    std::map<std::string, size_t> taken;  // lower-case target -> source
    std::string clashes;
    int clashCount = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        fs::path relative = fs::path(sources[i].relative).lexically_normal();
        // A name inside an archive may climb out of its folder; it stays inside --out.
        fs::path kept;
        for (const fs::path& part : relative)
            if (part != ".." && part != "." && part != "/" && !part.empty()) kept /= part;
        if (kept.empty()) kept = "unnamed";
        std::string name = keepExtension ? kept.string() : kept.replace_extension().string();
        name += "." + extension;
        const std::string target = (fs::path(folder) / name).string();
        targets.push_back(target);
        const auto inserted = taken.emplace(Lower(target), i);
        if (!inserted.second) {
            if (++clashCount <= 5)
                clashes += "\n  \"" + sources[inserted.first->second].path + "\" and \"" + sources[i].path +
                           "\" would both be written to \"" + target + "\"";
        }
    }
    if (!clashCount) return true;
    error = std::to_string(clashCount) + " targets in --out collide; nothing was written:" + clashes +
            (clashCount > 5 ? "\n  ..." : "") +
            "\n(--keep-ext names each target after its source's whole name, NAME.SRCEXT." + extension + ")";
    return false;
}

std::string SignalName(int signal) {
    const char* name = sigabbrev_np(signal);
    return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "tessaline-batch-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    if (m_path.empty()) return;
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

namespace {

struct Running {
    size_t index;
    pid_t pid;
    std::chrono::steady_clock::time_point start;
    std::string out, err;
};

// Starts PROGRAM ARGUMENTS with standard output and error in the two files; -1 when the
// process cannot be made.
pid_t Start(const std::vector<std::string>& arguments, const std::string& out, const std::string& err) {
    std::vector<char*> argv;
    static std::string self = "/proc/self/exe";
    argv.push_back(self.data());
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int outFile = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFile = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nothing = open("/dev/null", O_RDONLY);
    if (outFile < 0 || errFile < 0 || nothing < 0 || dup2(outFile, 1) < 0 || dup2(errFile, 2) < 0 ||
        dup2(nothing, 0) < 0)
        _exit(126);
    execv(argv[0], argv.data());
    const char* failed = "ERROR: Can't start the program for this file: ";
    if (write(2, failed, strlen(failed)) < 0 || write(2, strerror(errno), strlen(strerror(errno))) < 0) {
    }
    _exit(127);
}

// The signal that interrupted the batch (SIGINT, SIGTERM, SIGHUP), 0 while none has.
volatile sig_atomic_t g_interrupted = 0;

void Interrupted(int signal) { g_interrupted = signal; }

// Asks a child to end (SIGTERM, on which it removes its temporary files), and kills it
// when it has not within two seconds. Its wait status.
int Stop(pid_t pid) {
    int status = 0;
    kill(pid, SIGTERM);
    const auto asked = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Since(asked) > 2) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

}  // namespace

int BatchInterruption() { return g_interrupted; }

void RunChildren(const std::vector<std::vector<std::string>>& arguments, int jobs, double timeout,
                 const std::string& workFolder, const std::function<void(size_t, ChildResult&)>& finished,
                 const std::function<void(size_t, size_t)>& tick) {
    std::vector<Running> running;
    size_t next = 0, done = 0;
    const size_t parallel = size_t(std::max(1, jobs));
    // An interruption stops the children (each removes its temporary files) and starts no
    // more; the files not started are reported as not started.
    struct sigaction interrupted {
    }, before[3];
    interrupted.sa_handler = Interrupted;
    sigemptyset(&interrupted.sa_mask);
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i) sigaction(signals[i], &interrupted, &before[i]);
    while (done < arguments.size()) {
        if (g_interrupted) {
            for (Running& child : running) {
                ChildResult result;
                result.end = ChildResult::End::Interrupted;
                const int status = Stop(child.pid);
                result.code = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
                result.seconds = Since(child.start);
                result.err = ReadWholeFile(child.err);
                std::remove(child.out.c_str());
                std::remove(child.err.c_str());
                ++done;
                finished(child.index, result);
            }
            running.clear();
            for (; next < arguments.size(); ++next, ++done) {
                ChildResult result;
                result.end = ChildResult::End::Interrupted;
                finished(next, result);
            }
            break;
        }
        while (running.size() < parallel && next < arguments.size()) {
            const std::string base = workFolder + "/child-" + std::to_string(next);
            Running child{next, -1, std::chrono::steady_clock::now(), base + ".out", base + ".err"};
            child.pid = Start(arguments[next], child.out, child.err);
            ++next;
            if (child.pid < 0) {
                ChildResult result;
                result.err = std::string("ERROR: Can't start a process for this file: ") + strerror(errno);
                ++done;
                finished(child.index, result);
                continue;
            }
            running.push_back(child);
        }
        bool ended = false;
        for (size_t i = 0; i < running.size();) {
            Running& child = running[i];
            int status = 0;
            ChildResult result;
            pid_t reaped = waitpid(child.pid, &status, WNOHANG);
            if (reaped == 0 && timeout > 0 && Since(child.start) > timeout) {
                status = Stop(child.pid);
                reaped = child.pid;
                result.end = ChildResult::End::TimedOut;
            }
            if (reaped == 0) {
                ++i;
                continue;
            }
            result.seconds = Since(child.start);
            if (result.end != ChildResult::End::TimedOut) {
                if (reaped < 0) {
                    result.end = ChildResult::End::NotStarted;
                } else if (WIFEXITED(status)) {
                    result.end = ChildResult::End::Exited;
                    result.code = WEXITSTATUS(status);
                } else {
                    result.end = ChildResult::End::Signalled;
                    result.code = WTERMSIG(status);
                }
            }
            result.out = ReadWholeFile(child.out);
            result.err = ReadWholeFile(child.err);
            std::remove(child.out.c_str());
            std::remove(child.err.c_str());
            const size_t index = child.index;
            running.erase(running.begin() + long(i));
            ++done;
            ended = true;
            finished(index, result);
        }
        tick(done, running.size());
        if (!ended && done < arguments.size()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int i = 0; i < 3; ++i) sigaction(signals[i], &before[i], nullptr);
}

}  // namespace tessaline
