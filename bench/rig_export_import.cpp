// The rig of a generated grid through the whole plug-in path: the rig text of (n + 1)^2
// vertices and n^2 quads (normals, one UV set, 4 weights per vertex, 64 bones) is written
// in the writer's layout, imported through the plug-in into the stand-in scene, and that
// scene exported again; each prints MB/s and the peak memory. The same geometry is also
// written as OBJ, and when the programs are found two whole processes are timed, each
// once after an idle moment and then five times in a row: `tessaline info RIG --json` and
// `assimp info OBJ -r` (raw parse, no post-processing), with the ratios of their times.
// Usage: bench_rig_export_import [grid=775] [directory=/tmp] [exports=1] [processes=1]
// With processes=1 it also times `tessaline convert RIG OUT` as a whole process and prints
// every figure against its floor (info 0.25 s median, convert 250 MB/s, export 400 MB/s).
// 775 gives 602,176 vertices and 137 MB of rig text. The export is timed `exports` times in
// a row; processes=0 leaves the whole-process timings out (for profiling the plug-in path).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchRig.h"
#include "CoreServices/Implementations/UCoreServices.h"
#include "Export/ExportScene.h"
#include "Headers.h"
#include "Import/ImportScene.h"
#include "ProcessTiming.h"
#include "tessahost/StandIn.h"

namespace {

using bench::CloseOnDisk;
using bench::kBones;
using bench::Normal;
using bench::NormalAt;
using bench::WriteRigText;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time (user and system) of a usage record: the machine's other load stretches
// the wall clock, not this.
double CpuSeconds(const rusage& usage) {
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

long PeakMegabytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The same geometry as OBJ: positions, texture coordinates, the same normals, quads.
bool WriteObj(int n, const std::string& file) {
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) return false;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) fprintf(out, "v %d %d %.1f\n", x, y, double((x * 7 + y * 3) % 11) * 0.1);
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) fprintf(out, "vt %.4f %.4f\n", double(x) / n, double(y) / n);
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            const Normal normal = NormalAt(x, y);
            fprintf(out, "vn %.4f %.4f %.4f\n", double(normal.x), double(normal.y), double(normal.z));
        }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            fprintf(out, "f");
            for (int corner : {y * (n + 1) + x, y * (n + 1) + x + 1, (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x})
                fprintf(out, " %d/%d/%d", corner + 1, corner + 1, corner + 1);
            fprintf(out, "\n");
        }
    return CloseOnDisk(out);
}

double FileMegabytes(const std::string& file) {
    FILE* in = fopen(file.c_str(), "rb");
    if (!in) return 0;
    fseek(in, 0, SEEK_END);
    const double megabytes = double(ftell(in)) / 1e6;
    fclose(in);
    return megabytes;
}

// The runs of one program: wall times sorted, and the largest peak memory.
struct Runs {
    double firstSeconds = 0;      // the run after the machine sat idle
    std::vector<double> seconds;  // the steady runs that follow it, sorted
    double cpuSeconds = 0;        // of the fastest run
    long peakMegabytes = 0;
    int exitStatus = 0;
    bool ran = true;
};

void AddRun(Runs& runs, const std::vector<std::string>& command) {
    const bench::ProcessRun run = bench::TimeProcess(command);
    runs.ran = runs.ran && run.ran;
    if (!run.ran) return;
    if (runs.seconds.empty() || run.seconds < runs.seconds.front()) runs.cpuSeconds = run.cpuSeconds;
    runs.seconds.push_back(run.seconds);
    std::sort(runs.seconds.begin(), runs.seconds.end());
    runs.peakMegabytes = std::max(runs.peakMegabytes, run.peakMegabytes);
    if (run.exitStatus != 0) runs.exitStatus = run.exitStatus;
}

// Runs a program once after a few idle seconds, then `steady` times in a row.
// Some virtual machines hand memory a process freed back to their host after a second or
// two, and a program touching it again pays for that: the first run shows that cost, the
// steady runs the program's own.
Runs TimeRuns(const std::vector<std::string>& command, int steady) {
    Runs runs;
    sleep(3);
    const bench::ProcessRun first = bench::TimeProcess(command);
    runs.ran = first.ran;
    runs.firstSeconds = first.seconds;
    for (int i = 0; i < steady && runs.ran; ++i) AddRun(runs, command);
    return runs;
}

double Median(const std::vector<double>& sorted) { return sorted[sorted.size() / 2]; }

// Prints a program's first run, its fastest and median steady run, MB/s of the input file
// at the fastest, and its peak memory.
void PrintRuns(const char* label, const Runs& runs, const std::string& program, const std::string& input) {
    if (!runs.ran || runs.seconds.empty()) {
        printf("%s: %s not found, skipped\n", label, program.c_str());
        return;
    }
    const double megabytes = FileMegabytes(input), best = runs.seconds.front();
    printf(
        "%s: exit %d, %.1f MB; first run %.2f s; then %.2f s best, %.2f s median of %zu = %.2f MB/s (processor "
        "%.2f s), peak memory %ld MB\n",
        label, runs.exitStatus, megabytes, runs.firstSeconds, best, Median(runs.seconds), runs.seconds.size(),
        megabytes / best, runs.cpuSeconds, runs.peakMegabytes);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? atoi(argv[1]) : 775;
    const std::string directory = argc > 2 ? argv[2] : "/tmp";
    const int exports = argc > 3 ? std::max(1, atoi(argv[3])) : 1;
    const bool processes = argc > 4 ? atoi(argv[4]) != 0 : true;
    const std::string rig = directory + "/bench_rig.tsl", obj = directory + "/bench_rig.obj",
                      again = directory + "/bench_rig_again.tsl";

    // The plug-in's own start-up: its core services (and so its file system and streams),
    // the host sinks and its description.
    InitializePlugin_Base();
    standin::resetScene();
    standin::setUpAxis(false);

    auto start = std::chrono::steady_clock::now();
    if (n < 1 || !WriteRigText(n, rig) || !WriteObj(n, obj)) return 1;
    printf("text: %d vertices, %d quads, %d bones, written in %.1f s (%s, %s)\n", (n + 1) * (n + 1), n * n, kBones,
           Seconds(start), rig.c_str(), obj.c_str());

    // The whole processes first, while this one is small: a child's peak memory counts
    // the pages it shared with this process before it started its program.
    if (processes) {
        const std::string self = argv[0];
        const std::string here = self.find('/') == std::string::npos ? "." : self.substr(0, self.rfind('/'));
        // Each program runs once after an idle moment and then five times in a row; a lone
        // run says more about the machine's state than about the program.
        const std::vector<std::string> tessaline = {here + "/../bin/tessaline", "info", rig, "--json"},
                                       assimp = {"/usr/bin/assimp", "info", obj, "-r"};
        const Runs ours = TimeRuns(tessaline, 5), theirs = TimeRuns(assimp, 5);
        PrintRuns("tessaline info --json", ours, tessaline[0], rig);
        PrintRuns("assimp info -r (OBJ)", theirs, assimp[0], obj);
        if (ours.ran && theirs.ran && !ours.seconds.empty() && !theirs.seconds.empty())
            printf(
                "tessaline is %.2fx as fast as assimp (median against median), %.2fx (best against best), %.2fx "
                "(first run against first run)\n",
                Median(theirs.seconds) / Median(ours.seconds), theirs.seconds.front() / ours.seconds.front(),
                theirs.firstSeconds / ours.firstSeconds);
        // A rig to a rig: the importer and the exporter in one process, with the commit.
        const std::vector<std::string> convert = {tessaline[0], "convert", rig, directory + "/bench_rig_converted.tsl"};
        const Runs converted = TimeRuns(convert, 5);
        PrintRuns("tessaline convert (rig to rig)", converted, convert[0], rig);
        if (ours.ran && converted.ran && !ours.seconds.empty() && !converted.seconds.empty())
            printf(
                "against the floors: info %.2f s median (floor 0.25 s), first run %.2f s (floor 0.35 s); convert "
                "%.0f MB/s median (floor 250 MB/s)\n",
                Median(ours.seconds), ours.firstSeconds, FileMegabytes(rig) / Median(converted.seconds));
        std::remove(convert[3].c_str());
    }

    const long before = PeakMegabytes();
    {
        brix::InputStreamHandle stream = brix::GetCoreServices()->GetFileSystem()->CreateFileReader(rig.c_str());
        if (!stream) return 1;
        start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        const int code = ImportScene(*stream, ImportSettings()).GetCode();
        const double seconds = Seconds(start), cpu = CpuSeconds() - cpuStart, megabytes = FileMegabytes(rig);
        printf(
            "import: code %d, %.1f MB in %.2f s = %.2f MB/s (processor %.2f s = %.2f MB/s), peak memory %ld MB "
            "(before: %ld MB)\n",
            code, megabytes, seconds, megabytes / seconds, cpu, megabytes / cpu, PeakMegabytes(), before);
    }
    std::vector<double> exportRates;
    for (int run = 0; run < exports; ++run) {
        brix::OutputStreamHandle stream =
            brix::GetCoreServices()->GetFileSystem()->CreateFileWriter(again.c_str(), true, false);
        if (!stream) return 1;
        start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        const int code = ExportScene(*stream, ExportSettings()).GetCode();
        stream->Close();
        const double seconds = Seconds(start), cpu = CpuSeconds() - cpuStart, megabytes = FileMegabytes(again);
        printf("export: code %d, %.1f MB in %.2f s = %.2f MB/s (processor %.2f s = %.2f MB/s), peak memory %ld MB\n",
               code, megabytes, seconds, megabytes / seconds, cpu, megabytes / cpu, PeakMegabytes());
        exportRates.push_back(megabytes / seconds);
    }
    const double firstExport = exportRates.front();
    std::sort(exportRates.begin(), exportRates.end());
    printf("export in process: first %.0f MB/s, best %.0f MB/s, median %.0f MB/s of %zu (floor 400 MB/s)\n",
           firstExport, exportRates.back(), exportRates[exportRates.size() / 2], exportRates.size());

    return 0;
}
