// tessaline: the command-line host. It starts the stand-in host, loads the plug-in
// module, and drives its translators the way the host's Export and Import dialogs do.

#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "DemoRig.h"
#include "RoundTrip.h"
#include "SceneReport.h"
#include "SourceCheck.h"
#include "Session.h"

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
    "  info IN [--json]          load IN and describe the scene and the messages\n"
    "  roundtrip IN              export IN's scene, import the file into a fresh scene, compare\n"
    "  check SOURCE RIG          compare RIG with SOURCE read by Assimp alone, not through the\n"
    "      [--up y|z]            plug-in (up axis of the scene RIG was written from, default y)\n"
    "  --help                    this text\n"
    "\n"
    "The plug-in module is TessalineExporter.so next to the program unless --plugin names one.\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

struct Command {
    std::string name;
    std::vector<std::string> positional;
    Options options;
    bool json = false;
};

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
            if (strcmp(v, "y") && strcmp(v, "z")) {
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
    return (std::filesystem::temp_directory_path() /
            ("tessaline-" + std::to_string(getpid()) + "-" + tag + ".tsl"))
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
int CheckConversion(const Command& command) {
    std::vector<ComparisonRow> rows;
    std::string error;
    if (!CheckAgainstSource(command.positional[0], command.positional[1], command.options.yAxisUp, rows, error)) {
        fprintf(stderr, "ERROR: %s\n", error.c_str());
        return 1;
    }
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

static int Run(int argc, char** argv) {
    Command command;
    std::string error;
    const bool parsed = Parse(argc, argv, command, error);
    const bool json = command.json && command.name == "info";
    if (!parsed) return json ? JsonFailure("tessaline: " + error, 2) : UsageError(error.c_str());
    if (command.name.empty() || command.name == "--help" || command.name == "help") {
        printf("%s", kUsage);
        return command.name.empty() ? 2 : 0;
    }
    const size_t wanted = command.name == "convert" || command.name == "check" ? 2 : (command.name == "demo" ? 0 : 1);
    if (command.name != "demo" && command.name != "convert" && command.name != "info" && command.name != "roundtrip" &&
        command.name != "check")
        return UsageError(("unknown command " + command.name).c_str());
    if (command.positional.size() < wanted || command.positional.size() > (command.name == "demo" ? 1 : wanted))
        return json ? JsonFailure("tessaline: wrong number of arguments for info", 2)
                    : UsageError(("wrong number of arguments for " + command.name).c_str());

    if (command.name == "check") return CheckConversion(command);

    Session session(command.options);
    session.Console().quiet = json;
    if (!session.Start()) {
        const char* failure = "The plug-in module could not be loaded.";
        if (json) return JsonFailure(failure, 1);
        fprintf(stderr, "ERROR: %s\n", failure);
        return 1;
    }
    if (command.name == "demo") return Demo(session, command);

    const std::string& input = command.positional[0];
    if (!session.Load(input)) return json ? JsonFailure(session.LastError(), 1) : 1;
    if (command.name == "convert") {
        std::string unknown;
        if (!command.options.selected.empty() && !session.Select(unknown)) {
            fprintf(stderr, "ERROR: --selected: no node of the scene is named \"%s\".\n", unknown.c_str());
            return 2;
        }
        return session.Save(command.positional[1]) ? 0 : 1;
    }
    if (command.name == "info") {
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
