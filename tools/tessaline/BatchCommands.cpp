#include "BatchCommands.h"

#include <assimp/cexport.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "Batch.h"
#include "Console.h"
#include "Progress.h"
#include "SceneReport.h"

namespace fs = std::filesystem;
// Keys in the order they are set: source, target and status come first on each line.
using json = nlohmann::ordered_json;

namespace tessaline {

namespace {

// A text for a JSON document: bytes that are not UTF-8 written as \xHH, as info does.
std::string Text(const std::string& text) { return EscapeInvalidUtf8(text); }

std::string Dump(const json& document) { return document.dump(-1, ' ', false, json::error_handler_t::replace); }

struct FileResult {
    std::string source, target;  // target empty for info
    std::string status, error;
    bool ok = false;
    std::vector<std::string> warnings;
    json counts;  // null when nothing was read
    json detail;  // info's document or check's rows; null when there is none
    double seconds = 0;
};

// The last line of the text that starts with "ERROR: " (without it), else its last line.
std::string LastError(const std::string& text) {
    std::string last, error;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!line.empty()) last = line;
        if (line.rfind("ERROR: ", 0) == 0) error = line.substr(7);
        start = end + 1;
    }
    return error.empty() ? last : error;
}

// The status of a child that did not end by itself; false when it did.
bool JudgeEnd(const ChildResult& child, double timeout, FileResult& result) {
    result.seconds = child.seconds;
    switch (child.end) {
    case ChildResult::End::TimedOut: {
        char text[128];
        snprintf(text, sizeof text, "no result within %g s; the process was stopped", timeout);
        result.status = "timed out";
        result.error = text;
        return true;
    }
    case ChildResult::End::Signalled: {
        result.status = "crashed";
        result.error = "the process ended on " + SignalName(child.code);
        const std::string said = LastError(child.err);
        if (!said.empty()) result.error += " (its last words: " + said + ")";
        return true;
    }
    case ChildResult::End::Interrupted:
        result.status = "interrupted";
        result.error = child.seconds > 0 ? "the batch was interrupted; the conversion was stopped"
                                         : "the batch was interrupted before it began";
        return true;
    case ChildResult::End::NotStarted:
        result.status = "failed";
        result.error = LastError(child.err);
        return true;
    case ChildResult::End::Exited: break;
    }
    return false;
}

bool ReadJson(const std::string& text, json& document) {
    document = json::parse(text, nullptr, false);
    return !document.is_discarded() && document.is_object();
}

json Line(const FileResult& result) {
    json line;
    line["source"] = Text(result.source);
    if (!result.target.empty()) line["target"] = Text(result.target);
    line["status"] = result.status;
    if (!result.error.empty()) line["error"] = Text(result.error);
    json warnings = json::array();
    for (const std::string& warning : result.warnings) warnings.push_back(Text(warning));
    line["warnings"] = warnings;
    line["counts"] = result.counts;
    line["seconds"] = double(std::llround(result.seconds * 1000)) / 1000;
    return line;
}

// The run shared by the three commands: children started, each judged as it ends, its
// JSON line printed at once, the table or the summary at the end.
class BatchRun {
public:
    BatchRun(const BatchOptions& batch, const char* verb, std::vector<std::string> statusOrder)
        : m_batch(batch), m_verb(verb), m_order(std::move(statusOrder)) {}

    int Run(const std::vector<std::vector<std::string>>& arguments,
            const std::function<void(size_t, const ChildResult&, FileResult&)>& judge,
            std::vector<FileResult>& results) {
        const auto start = std::chrono::steady_clock::now();
        ProgressLine progress(!m_batch.quiet);
        const int jobs = m_batch.jobs > 0 ? m_batch.jobs : int(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
        RunChildren(
            arguments, jobs, m_batch.timeout, m_work.Path(),
            [&](size_t index, ChildResult& child) {
                FileResult& result = results[index];
                // A child that did not end by itself is judged here; judge still sees it, for
                // what it must clean up.
                JudgeEnd(child, m_batch.timeout, result);
                judge(index, child, result);
                result.seconds = child.seconds;
                if (m_batch.json) {
                    progress.Clear();
                    json line = Line(result);
                    if (!result.detail.is_null()) line[m_verb == std::string("info") ? "info" : "rows"] = result.detail;
                    printf("%s\n", Dump(line).c_str());
                    fflush(stdout);
                }
            },
            [&](size_t done, size_t running) { progress.Files(done, arguments.size(), running, m_verb); });
        progress.Clear();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::map<std::string, int> counts;
        bool allOk = true;
        for (const FileResult& result : results) {
            ++counts[result.status];
            allOk = allOk && result.ok;
        }
        if (m_batch.json) {
            json summary;
            summary["files"] = results.size();
            for (const std::string& status : m_order) summary[status] = counts[status];
            for (const auto& [status, count] : counts) summary[status] = count;
            summary["seconds"] = double(std::llround(seconds * 1000)) / 1000;
            printf("%s\n", Dump(json{{"summary", summary}}).c_str());
        } else {
            PrintTable(results);
            std::string line = std::to_string(results.size()) + " files in " + FormatSeconds(seconds) + " s:";
            bool first = true;
            for (const std::string& status : m_order) {
                if (counts[status] == 0 && status != m_order[0]) continue;
                line += std::string(first ? " " : ", ") + std::to_string(counts[status]) + " " + status;
                first = false;
            }
            for (const auto& [status, count] : counts)
                if (std::find(m_order.begin(), m_order.end(), status) == m_order.end())
                    line += ", " + std::to_string(count) + " " + status;
            printf("%s\n", line.c_str());
        }
        // Interrupted by a signal: the shell's status for it.
        if (BatchInterruption()) {
            fprintf(stderr, "ERROR: The batch was interrupted by %s.\n", SignalName(BatchInterruption()).c_str());
            return 128 + BatchInterruption();
        }
        return allOk ? 0 : 1;
    }

    const std::string& Work() const { return m_work.Path(); }

private:
    static std::string FormatSeconds(double seconds) {
        char text[32];
        snprintf(text, sizeof text, "%.2f", seconds);
        return text;
    }
    static std::string Count(const json& counts, const char* key) {
        return counts.is_object() && counts.contains(key) ? std::to_string(counts[key].get<long>()) : "-";
    }

    void PrintTable(const std::vector<FileResult>& results) const {
        printf("%-10s %8s %6s %6s %9s %9s %8s  %s\n", "status", "warnings", "joints", "meshes", "vertices", "polygons",
               "seconds", "file");
        for (const FileResult& result : results) {
            const std::string file = result.target.empty() ? result.source : result.source + " -> " + result.target;
            printf("%-10s %8s %6s %6s %9s %9s %8s  %s\n", result.status.c_str(),
                   result.counts.is_null() ? "-" : std::to_string(result.warnings.size()).c_str(),
                   Count(result.counts, "joints").c_str(), Count(result.counts, "meshes").c_str(),
                   Count(result.counts, "vertices").c_str(), Count(result.counts, "polygons").c_str(),
                   FormatSeconds(result.seconds).c_str(), file.c_str());
            if (!result.error.empty()) printf("%-10s %s\n", "", result.error.c_str());
        }
    }

    const BatchOptions& m_batch;
    const char* m_verb;
    std::vector<std::string> m_order;
    TemporaryFolder m_work;
};

// Errors before any file is done: ERROR on standard error, and with --json one line.
int Refuse(const BatchOptions& batch, const std::string& error, int status) {
    fprintf(stderr, "ERROR: %s\n", error.c_str());
    if (batch.json) printf("%s\n", Dump(json{{"error", Text(error)}}).c_str());
    return status;
}

std::vector<std::string> CommonArguments(const Options& options) {
    std::vector<std::string> arguments;
    if (!options.pluginPath.empty()) arguments.insert(arguments.end(), {"--plugin", options.pluginPath});
    if (!options.translatorOptions.empty()) arguments.insert(arguments.end(), {"--options", options.translatorOptions});
    if (!options.yAxisUp) arguments.insert(arguments.end(), {"--up", "z"});
    if (options.maxInfluences)
        arguments.insert(arguments.end(), {"--max-influences", std::to_string(options.maxInfluences)});
    if (!options.selected.empty()) {
        arguments.push_back("--selected");
        arguments.insert(arguments.end(), options.selected.begin(), options.selected.end());
    }
    return arguments;
}

// The sources, with notes printed; false (after printing why) when there are none.
bool Sources(const BatchOptions& batch, std::vector<BatchSource>& sources, int& status) {
    std::vector<std::string> notes;
    std::string error;
    if (!ExpandSources(batch.sources, sources, notes, error)) {
        status = Refuse(batch, error, 1);
        return false;
    }
    for (const std::string& note : notes) fprintf(stderr, "WARNING: %s\n", note.c_str());
    if (sources.empty()) {
        status = Refuse(batch, "no rig or scene files to do", 2);
        return false;
    }
    return true;
}

bool Exportable(const std::string& extension) {
    if (extension == "tsl") return true;
    for (size_t i = 0; i < aiGetExportFormatCount(); ++i) {
        const aiExportFormatDesc* format = aiGetExportFormatDescription(i);
        const bool matches = format && extension == format->fileExtension;
        aiReleaseExportFormatDescription(format);
        if (matches) return true;
    }
    return false;
}

// The temporary files ("NAME.EXT~N") that a conversion stopped part way may leave beside
// its target: a file set (OBJ and MTL, glTF and BIN) writes several, all of the target's
// stem. Those present before the batch began are never taken for them.
class Leftovers {
public:
    explicit Leftovers(const std::vector<std::string>& targets) {
        std::set<std::string> folders;
        for (const std::string& target : targets) folders.insert(fs::path(target).parent_path().string());
        for (const std::string& folder : folders)
            for (const std::string& path : InFolder(folder, "")) m_before.insert(path);
    }
    // Removes the new ones of target; the count removed.
    int Remove(const std::string& target) const {
        int removed = 0;
        const fs::path path(target);
        for (const std::string& file : InFolder(path.parent_path().string(), path.stem().string() + "."))
            if (!m_before.count(file) && std::remove(file.c_str()) == 0) ++removed;
        return removed;
    }

private:
    static std::vector<std::string> InFolder(const std::string& folder, const std::string& prefix) {
        std::vector<std::string> found;
        std::error_code failure;
        for (fs::directory_iterator it(folder.empty() ? "." : folder, failure), end; !failure && it != end;
             it.increment(failure)) {
            const std::string name = it->path().filename().string();
            const size_t tilde = name.rfind('~');
            if (tilde == std::string::npos || tilde + 1 == name.size() || name.compare(0, prefix.size(), prefix) != 0)
                continue;
            if (name.find_first_not_of("0123456789", tilde + 1) == std::string::npos)
                found.push_back(it->path().string());
        }
        return found;
    }

    std::set<std::string> m_before;
};

}  // namespace

bool WriteConversionReport(const std::string& path, const std::string& status, const std::string& error,
                           bool withCounts) {
    json report;
    report["status"] = status;
    report["error"] = Text(error);
    json warnings = json::array();
    for (const ConsoleMessage& message : ConsoleMessages())
        if (message.kind == standin::ConsoleKind::Warning) warnings.push_back(Text(message.text));
    report["warnings"] = warnings;
    if (withCounts) {
        const SceneReport scene = ReportScene();
        long vertices = 0, polygons = 0;
        for (const MeshReport& mesh : scene.meshes) {
            vertices += mesh.vertices;
            polygons += mesh.polygons;
        }
        report["counts"] = {{"joints", scene.joints.size()},
                            {"meshes", scene.meshes.size()},
                            {"vertices", vertices},
                            {"polygons", polygons}};
    }
    FILE* file = fopen(path.c_str(), "w");
    if (!file) return false;
    const std::string text = Dump(report);
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

bool WriteCheckReport(const std::string& path, const std::vector<ComparisonRow>& rows, const std::string& error) {
    json report;
    report["error"] = Text(error);
    json list = json::array();
    for (const ComparisonRow& row : rows)
        list.push_back({{"what", Text(row.what)},
                        {"matched", row.matched},
                        {"total", row.total},
                        {"firstMismatch", Text(row.firstMismatch)}});
    report["rows"] = list;
    FILE* file = fopen(path.c_str(), "w");
    if (!file) return false;
    const std::string text = Dump(report);
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

int BatchConvert(const BatchOptions& batch) {
    if (!Exportable(batch.extension)) return Refuse(batch, "--to: no writer makes ." + batch.extension + " files", 2);
    std::vector<BatchSource> sources;
    int status = 0;
    if (!Sources(batch, sources, status)) return status;
    std::vector<std::string> targets;
    std::string error;
    if (!NameTargets(sources, batch.outFolder, batch.extension, batch.keepExtension, targets, error))
        return Refuse(batch, error, 2);
    for (const std::string& target : targets) {
        std::error_code failure;
        fs::create_directories(fs::path(target).parent_path(), failure);
        if (failure)
            return Refuse(
                batch,
                "Can't make the folder \"" + fs::path(target).parent_path().string() + "\": " + failure.message(), 1);
    }
    BatchRun run(batch, "converted", {"converted", "refused", "unreadable", "failed", "timed out", "crashed"});
    if (run.Work().empty()) return Refuse(batch, "Can't make a temporary folder for the batch.", 1);
    std::vector<std::vector<std::string>> arguments;
    std::vector<FileResult> results(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        std::vector<std::string> child{"convert", sources[i].path, targets[i], "--report",
                                       run.Work() + "/report-" + std::to_string(i) + ".json"};
        const std::vector<std::string> common = CommonArguments(batch.options);
        child.insert(child.end(), common.begin(), common.end());
        arguments.push_back(child);
        results[i].source = sources[i].path;
        results[i].target = targets[i];
    }
    const Leftovers leftovers(targets);
    return run.Run(
        arguments,
        [&](size_t index, const ChildResult& child, FileResult& result) {
            if (!result.status.empty()) {
                if (child.end == ChildResult::End::NotStarted) return;
                const int removed = leftovers.Remove(targets[index]);
                if (removed) result.error += "; " + std::to_string(removed) + " temporary files it left were removed";
                return;
            }
            json report;
            if (!ReadJson(ReadWholeFile(arguments[index][4]), report) || !report["status"].is_string()) {
                result.status = "failed";
                result.error = "exited with status " + std::to_string(child.code) + " without a report";
                const std::string said = LastError(child.err);
                if (!said.empty()) result.error += ": " + said;
                return;
            }
            result.status = report["status"].get<std::string>();
            result.error = report.value("error", "");
            for (const json& warning : report["warnings"]) result.warnings.push_back(warning.get<std::string>());
            if (report.contains("counts")) result.counts = report["counts"];
            if (result.status == "converted" && child.code != 0) {
                result.status = "failed";
                result.error = "exited with status " + std::to_string(child.code) + " after writing its file";
            }
            result.ok = result.status == "converted";
        },
        results);
}

int BatchInfo(const BatchOptions& batch) {
    std::vector<BatchSource> sources;
    int status = 0;
    if (!Sources(batch, sources, status)) return status;
    BatchRun run(batch, "info", {"read", "unreadable", "refused", "failed", "timed out", "crashed"});
    if (run.Work().empty()) return Refuse(batch, "Can't make a temporary folder for the batch.", 1);
    std::vector<std::vector<std::string>> arguments;
    std::vector<FileResult> results(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        std::vector<std::string> child{"info", sources[i].path, "--json"};
        const std::vector<std::string> common = CommonArguments(batch.options);
        child.insert(child.end(), common.begin(), common.end());
        arguments.push_back(child);
        results[i].source = sources[i].path;
    }
    return run.Run(
        arguments,
        [&](size_t, const ChildResult& child, FileResult& result) {
            if (!result.status.empty()) return;
            json document;
            if (!ReadJson(child.out, document)) {
                result.status = "failed";
                result.error = "exited with status " + std::to_string(child.code) + " without a JSON document";
                return;
            }
            for (const json& message : document["messages"])
                if (message.value("kind", "") == "warning") result.warnings.push_back(message.value("text", ""));
            if (document.contains("error")) {
                result.error = document["error"].get<std::string>();
                result.status = result.error.rfind("Can't convert", 0) == 0 ? "refused" : "unreadable";
                return;
            }
            long vertices = 0, polygons = 0;
            for (const json& mesh : document["meshes"]) {
                vertices += mesh.value("vertices", 0L);
                polygons += mesh.value("polygons", 0L);
            }
            result.counts = {{"joints", document["joints"].size()},
                             {"meshes", document["meshes"].size()},
                             {"vertices", vertices},
                             {"polygons", polygons}};
            result.detail = document;
            result.status = child.code == 0 ? "read" : "failed";
            result.ok = child.code == 0;
        },
        results);
}

int BatchCheck(const BatchOptions& batch) {
    std::vector<BatchSource> sources;
    int status = 0;
    if (!Sources(batch, sources, status)) return status;
    std::vector<std::string> rigs;
    std::string error;
    if (!NameTargets(sources, batch.outFolder, "tsl", batch.keepExtension, rigs, error)) return Refuse(batch, error, 2);
    BatchRun run(batch, "checked", {"matched", "mismatched", "failed", "timed out", "crashed"});
    if (run.Work().empty()) return Refuse(batch, "Can't make a temporary folder for the batch.", 1);
    std::vector<std::vector<std::string>> arguments;
    std::vector<FileResult> results(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        std::vector<std::string> child{"check", sources[i].path, rigs[i], "--report",
                                       run.Work() + "/report-" + std::to_string(i) + ".json"};
        if (!batch.options.yAxisUp) child.insert(child.end(), {"--up", "z"});
        arguments.push_back(child);
        results[i].source = sources[i].path;
        results[i].target = rigs[i];
    }
    return run.Run(
        arguments,
        [&](size_t index, const ChildResult& child, FileResult& result) {
            if (!result.status.empty()) return;
            json report;
            if (!ReadJson(ReadWholeFile(arguments[index][4]), report)) {
                result.status = "failed";
                result.error = "exited with status " + std::to_string(child.code) + " without a report";
                const std::string said = LastError(child.err);
                if (!said.empty()) result.error += ": " + said;
                return;
            }
            result.error = report.value("error", "");
            if (!result.error.empty()) {
                result.status = "failed";
                return;
            }
            result.detail = report["rows"];
            bool matched = true;
            for (const json& row : result.detail) {
                if (row.value("matched", 0) == row.value("total", 0)) continue;
                matched = false;
                if (result.error.empty()) result.error = row.value("what", "") + ": " + row.value("firstMismatch", "");
            }
            result.status = matched && child.code == 0 ? "matched" : "mismatched";
            result.ok = result.status == "matched";
        },
        results);
}

}  // namespace tessaline
