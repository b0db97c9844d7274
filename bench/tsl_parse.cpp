// tsl_parse of the big benchmark rig, on one core, against two yardsticks: reading the
// file's bytes into memory, and `tessaline info` reading the same file as a whole process.
// The rig is the one bench_rig_export_import times (BenchRig.h): a grid of (n + 1)^2
// vertices and n^2 quads with normals, one UV set, 4 weights per vertex and 64 bones, in
// the writer's layout; 775 gives 602,176 vertices and 137 MB of text.
// Usage: bench_tsl_parse [grid=775] [directory=/tmp] [runs=7]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchRig.h"
#include "ProcessTiming.h"

#define TSL_IMPLEMENTATION
#include "tsl.h"

namespace {

using bench::kBones;
using bench::WriteRigText;

// Processor time of this thread's process, user and system: the load of the machine's
// other users stretches the wall clock, not this.
double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The file's bytes into a buffer with read(2), as a reader that loads a file whole does.
bool ReadBytes(const std::string& file, std::vector<char>& bytes) {
    const int fd = open(file.c_str(), O_RDONLY);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        close(fd);
        return false;
    }
    bytes.resize(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got <= 0) break;
        done += size_t(got);
    }
    close(fd);
    return done == bytes.size();
}

// An arena for the allocation hooks, as an engine that loads level after level keeps
// one: blocks are carved from one buffer and all given back at once, so its pages are
// faulted in by the first load only.
struct Arena {
    std::vector<char> buffer;
    size_t used = 0;
    static void* Alloc(void* user, size_t size) {
        Arena* arena = static_cast<Arena*>(user);
        size = (size + 15) & ~size_t(15);
        if (arena->used + size > arena->buffer.size()) return nullptr;
        void* block = arena->buffer.data() + arena->used;
        arena->used += size;
        return block;
    }
    static void Free(void*, void*) {}
};

struct Timing {
    double best = 1e30, median = 0, cpuBest = 1e30;
};

template <typename Work>
Timing Time(int runs, Work work) {
    std::vector<double> seconds;
    Timing timing;
    for (int i = 0; i < runs; ++i) {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (!work()) return Timing{};
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        timing.cpuBest = std::min(timing.cpuBest, CpuSeconds() - cpu);
    }
    std::sort(seconds.begin(), seconds.end());
    timing.best = seconds.front();
    timing.median = seconds[seconds.size() / 2];
    return timing;
}

void Print(const char* label, const Timing& timing, double megabytes) {
    printf("%-34s best %7.1f ms (%6.0f MB/s), median %7.1f ms (%6.0f MB/s), processor best %7.1f ms\n", label,
           timing.best * 1e3, megabytes / timing.best, timing.median * 1e3, megabytes / timing.median,
           timing.cpuBest * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? atoi(argv[1]) : 775;
    const std::string directory = argc > 2 ? argv[2] : "/tmp";
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 7;
    const std::string rig = directory + "/bench_tsl_parse.tsl";
    if (n < 1 || !WriteRigText(n, rig)) return 1;

    std::vector<char> bytes;
    const Timing reading = Time(runs, [&] { return ReadBytes(rig, bytes); });
    const double megabytes = double(bytes.size()) / 1e6;
    printf("rig: %s, %.1f MB, %d vertices, %d quads, %d bones; %d runs each, one thread\n", rig.c_str(), megabytes,
           (n + 1) * (n + 1), n * n, kBones, runs);
    Print("read the file's bytes (read(2))", reading, megabytes);

    tsl_rig model;
    bool valid = true;
    const Timing parsing = Time(runs, [&] {
        const bool read = tsl_parse(bytes.data(), bytes.size(), nullptr, &model) == TSL_OK;
        valid = valid && read && model.num_meshes == 1 && model.meshes[0].num_vertices == uint32_t((n + 1) * (n + 1));
        tsl_free(&model);
        return read;
    });
    if (!valid) {
        printf("tsl_parse did not read the rig\n");
        return 1;
    }
    Print("tsl_parse", parsing, megabytes);
    const Timing checked = Time(runs, [&] {
        const bool read =
            tsl_parse(bytes.data(), bytes.size(), nullptr, &model) == TSL_OK && tsl_validate(&model) == TSL_OK;
        tsl_free(&model);
        return read;
    });
    Print("tsl_parse + tsl_validate", checked, megabytes);
    const Timing whole = Time(runs, [&] {
        std::vector<char> loaded;
        const bool read = ReadBytes(rig, loaded) && tsl_parse(loaded.data(), loaded.size(), nullptr, &model) == TSL_OK;
        tsl_free(&model);
        return read;
    });
    Print("read the file + tsl_parse", whole, megabytes);
    Arena arena;
    arena.buffer.resize(bytes.size() + (size_t(64) << 20));
    tsl_options hooks{{Arena::Alloc, Arena::Free, &arena}};
    size_t arenaUsed = 0;
    const Timing arenaParsing = Time(runs, [&] {
        arena.used = 0;
        const bool read = tsl_parse(bytes.data(), bytes.size(), &hooks, &model) == TSL_OK;
        arenaUsed = arena.used;
        tsl_free(&model);
        return read;
    });
    Print("tsl_parse into a reused arena", arenaParsing, megabytes);
    printf("%-34s %.1f MB of the arena used\n", "", double(arenaUsed) / 1e6);

    // The command-line host as a whole process: start-up, the plug-in's importer, the
    // stand-in scene, the report.
    const std::string self = argv[0];
    const std::string here = self.find('/') == std::string::npos ? "." : self.substr(0, self.rfind('/'));
    const std::vector<std::string> info = {here + "/../bin/tessaline", "info", rig};
    std::vector<double> seconds;
    double cpu = 1e30;
    for (int i = 0; i < std::min(runs, 3); ++i) {
        const bench::ProcessRun run = bench::TimeProcess(info);
        if (!run.ran) break;
        seconds.push_back(run.seconds);
        cpu = std::min(cpu, run.cpuSeconds);
    }
    if (seconds.empty()) {
        printf("%s not found: tessaline info skipped\n", info[0].c_str());
    } else {
        std::sort(seconds.begin(), seconds.end());
        printf("%-34s best %7.1f ms (%6.0f MB/s), processor %7.1f ms (its importer reads lists on up to 4 threads)\n",
               "tessaline info (whole process)", seconds.front() * 1e3, megabytes / seconds.front(), cpu * 1e3);
        printf("tsl_parse is %.1fx as fast as tessaline info (best against best)\n", seconds.front() / parsing.best);
    }
    printf("tsl_parse takes %.1fx the time of reading the bytes\n", parsing.best / reading.best);
    return 0;
}
