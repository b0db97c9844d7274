// tessaline: the command-line host. It starts the stand-in host, loads the plug-in
// module, and drives its translators the way the host's Export and Import dialogs do.
//
// It reports to the person running it. A function of the tool that can fail returns
// false and fills a std::string& error with a sentence that names the file; the command
// prints it after "ERROR: " (or puts it in its JSON document) and turns it into the exit
// status. Nothing is thrown between the tool's own functions.

#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BatchCommands.h"
#include "DemoRig.h"
#include "Progress.h"
#include "RigDiff.h"
#include "RigText.h"
#include "RoundTrip.h"
#include "SceneReport.h"
#include "Session.h"
#include "SkinFit.h"
#include "SourceCheck.h"
#include "Timings.h"

#include <nlohmann/json.hpp>

using namespace tessaline;

namespace {

const char kUsage[] =
    "usage: tessaline COMMAND [ARGUMENTS] [--plugin PATH]\n"
    "\n"
    "commands:\n"
    "  demo [OUT.tsl]            build the sample rig, export it, import it again and compare\n"
    "  convert IN OUT            load IN and write OUT; rig files (.tsl, also inside a ZIP archive\n"
    "                            as pack.zip/rig.tsl) go through the plug-in, other scene files\n"
    "                            (glTF, FBX, Collada, ...) through Assimp\n"
    "      [--selected NAME...]  write only the meshes under these nodes\n"
    "      [--up y|z]            up axis of the scene (default y)\n"
    "      [--options TEXT]      option string for the translators, e.g. \"key=value;flag\"\n"
    "      [--report FILE]       also write how it went (status, error, warnings, counts) as JSON\n"
    "      [--max-influences N]  fit each skin to N influences per vertex (1 to 64, also for a\n"
    "                            batch): the largest kept, rescaled to sum to 1 in steps of\n"
    "                            1/65535; what the fit lost is said on stderr\n"
    "  convert SRC... --out DIR  convert many files, each in a process of its own; SRC is a file,\n"
    "                            a folder (its rig and scene files, subfolders kept) or a ZIP\n"
    "                            archive (its rig files); a table at the end, exit 1 if any failed\n"
    "      [--to EXT]            extension of the targets (default tsl)\n"
    "      [--keep-ext]          name targets NAME.SRCEXT.EXT (names that collide are an error)\n"
    "      [--jobs N]            files at a time (default: one per processor)\n"
    "      [--timeout S]         seconds a file may take before it is stopped (default 300)\n"
    "      [--json]              one JSON line per file as it ends, then a summary line\n"
    "      [--quiet]             no progress line (it is drawn only when stderr is a terminal)\n"
    "  info IN [--json]          load IN and describe the scene and the messages\n"
    "  convert|info ... --timings  also the time of each stage (read, parse, each build step,\n"
    "                            write) on stderr, for one file\n"
    "  info SRC... [--json]      many files (or a folder or archive): a table, or JSON lines\n"
    "      [--jobs N] [--timeout S] [--quiet]\n"
    "  roundtrip IN              export IN's scene, import the file into a fresh scene, compare\n"
    "  check SOURCE RIG          compare RIG with SOURCE read by Assimp alone, not through the\n"
    "      [--up y|z]            plug-in (up axis of the scene RIG was written from, default y)\n"
    "      [--report FILE]       also write the rows as JSON\n"
    "  check SRC... --out DIR    check each source against the rig a batch convert wrote in DIR\n"
    "      [--keep-ext] [--jobs N] [--timeout S] [--json] [--quiet]\n"
    "  diff A B                  compare two rigs (any files convert reads): bones and meshes by\n"
    "                            name, vertices in order or by position, and the skinned positions\n"
    "                            under test poses; exit 1 when anything is over the tolerance\n"
    "      [--tolerance T]       lengths within T times the rig's size (default 0.001); directions,\n"
    "                            UVs and weights within T\n"
    "      [--absolute]          T for lengths in scene units instead\n"
    "      [--angle DEG]         the turn of each bone in the test poses (default 30)\n"
    "      [--json] [--up y|z]   one JSON document\n"
    "  --help                    this text\n"
    "\n"
    "The plug-in module is TessalineExporter.so next to the program unless --plugin names one.\n"
    "A read or write over a second, and a batch, show a progress line when standard error is a\n"
    "terminal; --quiet turns it off.\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

struct Command {
    std::string name;
    std::vector<std::string> positional;
    Options options;
    bool json = false;
    bool quiet = false;
    bool timings = false;  // --timings: each stage's time on stderr
    std::string out;       // --out: the batch's output folder
    std::string to;        // --to: the extension of the batch's targets
    bool keepExtension = false;
    int jobs = 0;
    double timeout = 300;
    std::string report;  // --report: the single command's JSON report
    DiffOptions diff;
};

// A number option's value; false with the error when it is not a number in range.
bool Number(const char* flag, const char* text, double low, double high, double& value, std::string& error) {
    char* end = nullptr;
    errno = 0;
    value = strtod(text, &end);
    if (end == text || *end || errno || !(value >= low && value <= high)) {
        error = std::string(flag) + " takes a number from " + std::to_string(long(low)) + " to " +
                std::to_string(long(high)) + ", not \"" + text + "\"";
        return false;
    }
    return true;
}

int UsageError(const char* message) {
    fprintf(stderr, "tessaline: %s\n\n%s", message, kUsage);
    return 2;
}

// info --json answers every failure with one JSON document too, so that a script always
// gets a reason.
int JsonFailure(const std::string& error, int status) {
    printf("%s", FormatJsonError(error, ConsoleMessages()).c_str());
    return status;
}

bool Parse(int argc, char** argv, Command& command, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* flag) -> const char* {
            if (i + 1 >= argc) {
                error = std::string(flag) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--json") {
            command.json = true;
        } else if (arg == "--timings") {
            command.timings = true;
        } else if (arg == "--quiet") {
            command.quiet = true;
        } else if (arg == "--keep-ext") {
            command.keepExtension = true;
        } else if (arg == "--out" || arg == "--to" || arg == "--report") {
            const char* v = value(arg.c_str());
            if (!v) return false;
            if (!*v) {
                error = arg + " needs a value";
                return false;
            }
            (arg == "--out" ? command.out : arg == "--to" ? command.to : command.report) = v;
        } else if (arg == "--jobs") {
            const char* v = value("--jobs");
            double jobs = 0;
            if (!v || !Number("--jobs", v, 1, 256, jobs, error)) return false;
            if (jobs != double(int(jobs))) {
                error = "--jobs takes a whole number";
                return false;
            }
            command.jobs = int(jobs);
        } else if (arg == "--tolerance") {
            const char* v = value("--tolerance");
            if (!v || !Number("--tolerance", v, 0, 1e9, command.diff.tolerance, error)) return false;
        } else if (arg == "--angle") {
            const char* v = value("--angle");
            if (!v || !Number("--angle", v, -360, 360, command.diff.angleDegrees, error)) return false;
        } else if (arg == "--absolute") {
            command.diff.absolute = true;
        } else if (arg == "--max-influences") {
            const char* v = value("--max-influences");
            double count = 0;
            if (!v || !Number("--max-influences", v, 1, 64, count, error)) return false;
            if (count != std::floor(count)) {
                error = "--max-influences takes a whole number";
                return false;
            }
            command.options.maxInfluences = unsigned(count);
        } else if (arg == "--timeout") {
            const char* v = value("--timeout");
            if (!v || !Number("--timeout", v, 0, 1e6, command.timeout, error)) return false;
        } else if (arg == "--plugin") {
            const char* v = value("--plugin");
            if (!v) return false;
            command.options.pluginPath = v;
        } else if (arg == "--options") {
            const char* v = value("--options");
            if (!v) return false;
            command.options.translatorOptions = v;
        } else if (arg == "--up") {
            const char* v = value("--up");
            if (!v) return false;
            if (strcmp(v, "y") != 0 && strcmp(v, "z") != 0) {
                error = "--up takes y or z";
                return false;
            }
            command.options.yAxisUp = strcmp(v, "y") == 0;
        } else if (arg == "--selected") {
            while (i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) command.options.selected.push_back(argv[++i]);
            if (command.options.selected.empty()) {
                error = "--selected needs at least one name";
                return false;
            }
        } else if (arg.rfind("--", 0) == 0 && arg != "--help") {
            error = "unknown option " + arg;
            return false;
        } else if (command.name.empty()) {
            command.name = arg;
        } else {
            command.positional.push_back(arg);
        }
    }
    return true;
}

std::string TempRigPath(const char* tag) {
    return (std::filesystem::temp_directory_path() / ("tessaline-" + std::to_string(getpid()) + "-" + tag + ".tsl"))
        .string();
}

// Exports the session's scene to a temporary file, imports it into a fresh scene, exports
// that again and compares the two files. Prints the table; true when all matched.
bool RoundTripScene(Session& session) {
    const std::string first = TempRigPath("first"), second = TempRigPath("second");
    bool ok = session.Save(first);
    if (ok) {
        session.ResetScene();
        ok = session.Load(first) && session.Save(second);
    }
    std::vector<ComparisonRow> rows;
    if (ok && !CompareRigFiles(ReadWholeFile(first), ReadWholeFile(second), rows)) ok = false;
    std::remove(first.c_str());
    std::remove(second.c_str());
    if (!ok) {
        fprintf(stderr, "ERROR: the round trip could not be made.\n");
        return false;
    }
    printf("%s", FormatComparison(rows).c_str());
    for (const ComparisonRow& row : rows)
        if (row.matched != row.total) return false;
    return true;
}

int Demo(Session& session, const Command& command) {
    BuildDemoRig();
    printf("Built the sample rig:\n%s\n", FormatText(ReportScene(), {}).c_str());
    const std::string out = command.positional.empty() ? TempRigPath("demo") : command.positional[0];
    if (!session.Save(out)) return 1;
    printf("Exported it to %s (%zu bytes).\n\n", out.c_str(), ReadWholeFile(out).size());
    session.ResetScene();
    if (!session.Load(out)) return 1;
    printf("Imported %s into a fresh scene:\n%s\n", out.c_str(), FormatText(ReportScene(), {}).c_str());
    // The imported scene, written again, must describe the rig of the first file.
    printf("Exporting the imported scene again and comparing with %s:\n", out.c_str());
    const std::string again = TempRigPath("again");
    session.Console().quiet = true;
    const bool saved = session.Save(again);
    session.Console().quiet = false;
    std::vector<ComparisonRow> rows;
    bool same = saved && CompareRigFiles(ReadWholeFile(out), ReadWholeFile(again), rows);
    printf("%s", FormatComparison(rows).c_str());
    for (const ComparisonRow& row : rows) same = same && row.matched == row.total;
    std::remove(again.c_str());
    if (command.positional.empty()) std::remove(out.c_str());
    printf("%s\n", same ? "Demo finished: export and import agree." : "Demo finished with differences.");
    return same ? 0 : 1;
}

// The independent check needs no plug-in: Assimp reads the source, a reader of the
// check's own the rig.
// Each side loaded as convert loads it and written as a rig file by the exporter, then
// read back by the strict rig reader, so that any two formats compare alike.
bool LoadRig(Session& session, StepProgress& step, const std::string& path, const std::string& temporary, RigText& rig,
             std::string& error) {
    session.ResetScene();
    step.Begin("reading", path, false);
    const bool written = session.Load(path) && session.Save(temporary);
    step.End();
    const std::string text = written ? ReadWholeFile(temporary) : "";
    std::remove(temporary.c_str());
    if (!written) {
        error = session.LastError().empty() ? "Can't read \"" + path + "\"." : session.LastError();
        return false;
    }
    std::string reason;
    if (ReadRigForDiff(text, rig, reason)) return true;
    error = "The rig made from \"" + path + "\" cannot be read back: " + reason;
    return false;
}

int Diff(const Command& command) {
    if (command.positional.size() != 2) return UsageError("diff takes two files, A and B");
    auto fail = [&](const std::string& error) {
        if (command.json) printf("%s\n", nlohmann::json({{"error", EscapeInvalidUtf8(error)}}).dump().c_str());
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        return 1;
    };
    StepProgress step(!command.quiet);
    Session session(command.options);
    session.Console().quiet = command.json;
    session.Console().beforePrint = [&step] { step.Clear(); };
    if (!session.Start()) return fail("The plug-in module could not be loaded.");
    RigText a, b;
    std::string error;
    if (!LoadRig(session, step, command.positional[0], TempRigPath("diff-a"), a, error) ||
        !LoadRig(session, step, command.positional[1], TempRigPath("diff-b"), b, error)) {
        // The session has said its own failures already, unless it was kept quiet.
        if (!session.Console().quiet && error == session.LastError()) return 1;
        return fail(error);
    }
    const RigDiff diff = DiffRigs(a, b, command.diff);
    const std::string& nameA = command.positional[0];
    const std::string& nameB = command.positional[1];
    printf("%s",
           command.json ? FormatDiffJson(diff, nameA, nameB).c_str() : FormatDiffText(diff, nameA, nameB).c_str());
    return diff.Same() ? 0 : 1;
}

int CheckConversion(const Command& command) {
    std::vector<ComparisonRow> rows;
    std::string error;
    const bool checked =
        CheckAgainstSource(command.positional[0], command.positional[1], command.options.yAxisUp, rows, error);
    if (!checked) fprintf(stderr, "ERROR: %s\n", error.c_str());
    // A batch's child reports its rows in a file of the batch's.
    if (!command.report.empty() && !WriteCheckReport(command.report, rows, checked ? "" : error)) {
        fprintf(stderr, "ERROR: Can't write the report \"%s\": %s\n", command.report.c_str(), strerror(errno));
        return 1;
    }
    if (!checked) return 1;
    printf("%s", FormatComparison(rows).c_str());
    for (const ComparisonRow& row : rows)
        if (row.matched != row.total) return 1;
    return 0;
}

}  // namespace

// A load or save runs in stages (text, rig lists, scene, report) that each allocate
// tens of megabytes and release them to the next. Freed blocks are kept in the heap for
// the next stage instead of going back to the system, whose fresh pages cost a fault and
// a clearing each: no block is mapped on its own, however large (the heap still maps
// more when it cannot grow), and the heap is not trimmed below 1 GB. On a 138 MB rig
// this takes a fifth off the time of `info`; the process ends after one command, so
// keeping the memory costs nothing later.
static void KeepFreedMemoryForReuse() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// Writes out what is left of standard output. An output that did not get there (a full
// disk, say) fails the program with a message on standard error, rather than
// ending as if the report had been given: status 1 when the command itself succeeded,
// the command's own status otherwise.
static int FinishOutput(int status) {
    errno = 0;
    const bool flushed = fflush(stdout) == 0;
    if (flushed && !ferror(stdout)) return status;
    const int error = errno;
    fprintf(stderr, "ERROR: Can't write the output%s%s.\n", error ? ": " : "", error ? strerror(error) : "");
    return status == 0 ? 1 : status;
}

// The test-only fault hook: TESSALINE_TEST_FAULT=hang:TEXT makes a single convert or info
// whose input path contains TEXT wait forever, and crash:TEXT makes it end on SIGSEGV, so
// that the tests can show a batch surviving both; several go together separated by
// commas. Nothing sets it outside the tests.
static void TestFaultHook(const std::string& input) {
    const char* fault = getenv("TESSALINE_TEST_FAULT");
    if (!fault) return;
    const std::string faults = fault;
    for (size_t start = 0; start < faults.size();) {
        size_t end = faults.find(',', start);
        if (end == std::string::npos) end = faults.size();
        const std::string one = faults.substr(start, end - start);
        start = end + 1;
        const size_t colon = one.find(':');
        if (colon == std::string::npos || colon + 1 == one.size() ||
            input.find(one.substr(colon + 1)) == std::string::npos)
            continue;
        if (one.compare(0, colon, "hang") == 0)
            for (;;) pause();
        // With the default action, so that a sanitizer's handler does not turn the crash
        // into an exit with a report.
        if (one.compare(0, colon, "crash") == 0) {
            signal(SIGSEGV, SIG_DFL);
            raise(SIGSEGV);
        }
    }
}

// A folder or a ZIP archive, which info takes as the list of files in it. A path that
// names a rig file (a folder named *.tsl included) is one file, refused as before.
static bool IsList(const std::string& source) {
    std::error_code ignored;
    if (IsRigPath(source)) return false;
    if (std::filesystem::is_directory(source, ignored)) return true;
    return source.size() > 4 && strcasecmp(source.c_str() + source.size() - 4, ".zip") == 0 &&
           std::filesystem::is_regular_file(source, ignored);
}

static int Batch(const Command& command) {
    BatchOptions batch;
    batch.sources = command.positional;
    batch.outFolder = command.out;
    if (!command.to.empty()) batch.extension = command.to[0] == '.' ? command.to.substr(1) : command.to;
    batch.keepExtension = command.keepExtension;
    batch.jobs = command.jobs;
    batch.timeout = command.timeout;
    batch.json = command.json;
    batch.quiet = command.quiet;
    batch.options = command.options;
    if (command.name == "convert") return BatchConvert(batch);
    if (command.name == "check") return BatchCheck(batch);
    return BatchInfo(batch);
}

static int Run(int argc, char** argv) {
    Command command;
    std::string error;
    const bool parsed = Parse(argc, argv, command, error);
    if (!parsed && command.json && command.name != "info") {
        // A script reading JSON lines gets the reason as a line too.
        printf("{\"error\": %s}\n", nlohmann::json("tessaline: " + EscapeInvalidUtf8(error)).dump().c_str());
        return UsageError(error.c_str());
    }
    const bool batch =
        (command.name == "convert" || command.name == "check")
            ? !command.out.empty()
            : command.name == "info" &&
                  (command.positional.size() > 1 || (command.positional.size() == 1 && IsList(command.positional[0])));
    const bool json = command.json && command.name == "info" && !batch;
    if (!parsed) return json ? JsonFailure("tessaline: " + error, 2) : UsageError(error.c_str());
    if (command.name.empty() || command.name == "--help" || command.name == "help") {
        printf("%s", kUsage);
        return command.name.empty() ? 2 : 0;
    }
    if (command.name != "demo" && command.name != "convert" && command.name != "info" && command.name != "roundtrip" &&
        command.name != "check" && command.name != "diff")
        return UsageError(("unknown command " + command.name).c_str());
    const bool batchOnly = !command.to.empty() || command.keepExtension || command.jobs || command.timeout != 300;
    if (batchOnly && !batch)
        return UsageError(("--to, --keep-ext, --jobs and --timeout belong to " + command.name +
                           (command.name == "info" ? " of many files" : " with --out"))
                              .c_str());
    if (!command.report.empty() && (batch || (command.name != "convert" && command.name != "check")))
        return UsageError("--report belongs to a single convert or check");
    const bool diffOnly = command.diff.absolute || command.diff.tolerance != DiffOptions().tolerance ||
                          command.diff.angleDegrees != DiffOptions().angleDegrees;
    if (command.options.maxInfluences && command.name != "convert")
        return UsageError("--max-influences belongs to convert");
    if (command.timings && (batch || (command.name != "convert" && command.name != "info")))
        return UsageError("--timings belongs to a single convert or info");
    if (diffOnly && command.name != "diff") return UsageError("--tolerance, --absolute and --angle belong to diff");
    if (command.name == "diff") return Diff(command);
    if (batch) {
        if (command.positional.empty()) return UsageError(("no files for " + command.name).c_str());
        return Batch(command);
    }
    const size_t wanted = command.name == "convert" || command.name == "check" ? 2 : (command.name == "demo" ? 0 : 1);
    if (command.positional.size() < wanted || command.positional.size() > (command.name == "demo" ? 1 : wanted))
        return json ? JsonFailure("tessaline: wrong number of arguments for info", 2)
                    : UsageError(("wrong number of arguments for " + command.name).c_str());

    if (command.name == "check") return CheckConversion(command);

    // A batch's child reports how its conversion went in a file of the batch's.
    const std::string& report = command.report;
    auto reported = [&](const char* status, const std::string& failure, bool withCounts, int exitStatus) {
        if (!report.empty() && !WriteConversionReport(report, status, failure, withCounts)) {
            fprintf(stderr, "ERROR: Can't write the report \"%s\": %s\n", report.c_str(), strerror(errno));
            return exitStatus == 0 ? 1 : exitStatus;
        }
        return exitStatus;
    };

    // Declared before the session, whose console calls it to the end; the timings are
    // printed last.
    TimingTable timings(command.timings);
    StepProgress step(!command.quiet);
    timings.Step("start");
    Session session(command.options);
    session.Console().quiet = json;
    session.Console().beforePrint = [&step] { step.Clear(); };
    if (!session.Start()) {
        const char* failure = "The plug-in module could not be loaded.";
        if (json) return JsonFailure(failure, 1);
        fprintf(stderr, "ERROR: %s\n", failure);
        return reported("failed", failure, false, 1);
    }
    if (command.name == "demo") return Demo(session, command);

    const std::string& input = command.positional[0];
    timings.Step("load");
    step.Begin("reading", input, false);
    if (command.name == "convert" || command.name == "info") TestFaultHook(input);
    const bool loaded = session.Load(input);
    step.End();
    if (!loaded) {
        if (json) return JsonFailure(session.LastError(), 1);
        const bool refused = session.LastError().rfind("Can't convert", 0) == 0;
        return reported(refused ? "refused" : "unreadable", session.LastError(), false, 1);
    }
    if (command.name == "convert") {
        std::string unknown;
        if (!command.options.selected.empty() && !session.Select(unknown)) {
            fprintf(stderr, "ERROR: --selected: no node of the scene is named \"%s\".\n", unknown.c_str());
            return reported("failed", "--selected: no node of the scene is named \"" + unknown + "\".", true, 2);
        }
        if (command.options.maxInfluences) {
            timings.Step("fit skins");
            std::vector<MeshFitLoss> losses;
            std::string failure;
            if (!FitSkins(command.options.maxInfluences, losses, failure)) {
                fprintf(stderr, "ERROR: %s\n", failure.c_str());
                return reported("failed", failure, true, 1);
            }
            fputs(FormatFitReport(command.options.maxInfluences, losses).c_str(), stderr);
        }
        timings.Step("write");
        step.Begin("writing", command.positional[1], true);
        const bool saved = session.Save(command.positional[1]);
        step.End();
        return reported(saved ? "converted" : "failed", saved ? "" : session.LastError(), true, saved ? 0 : 1);
    }
    if (command.name == "info") {
        timings.Step("report");
        const std::vector<ConsoleMessage> messages = ConsoleMessages();
        const SceneReport report = ReportScene();
        printf("%s", json ? FormatJson(report, messages).c_str() : FormatText(report, messages).c_str());
        return 0;
    }
    return RoundTripScene(session) ? 0 : 1;
}

int main(int argc, char** argv) {
    KeepFreedMemoryForReuse();
    // A write past the file-size limit then fails with an error that is reported,
    // instead of ending the program without a word.
    signal(SIGXFSZ, SIG_IGN);
    return FinishOutput(Run(argc, argv));
}
