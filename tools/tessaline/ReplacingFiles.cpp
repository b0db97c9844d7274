#include "ReplacingFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Platform/TemporaryFiles.h"

namespace tessaline {

ReplacingFiles::~ReplacingFiles() { Abandon(); }

void ReplacingFiles::Fail(const std::string& target, int error) {
    if (m_failure.empty())
        m_failure = "Can't write file \"" + target + "\".\n" + (error ? strerror(error) : "not every byte was written");
}

namespace {

// The file a link names, so that replacing it keeps the link; the path itself otherwise.
std::string ThroughLinks(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The permissions of the file a new one replaces, which it takes when it is renamed
// over it (not before: it may still be written to until then); -1 when there is none.
int OldMode(const std::string& target) {
    struct stat old;
    return stat(target.c_str(), &old) == 0 ? int(old.st_mode & 07777) : -1;
}

// A name beside path that no file has: "<path>~<tag>N".
std::string FreeName(const std::string& path, const char* tag) {
    for (unsigned int number = 1;; ++number) {
        const std::string name = path + "~" + tag + std::to_string(number);
        struct stat status;
        if (lstat(name.c_str(), &status) != 0) return name;
    }
}

}  // namespace

FILE* ReplacingFiles::Open(const std::string& wanted) {
    const std::string target = ThroughLinks(wanted);
    // The exclusive mode never opens a file that exists, so no other file is touched.
    for (unsigned int number = 1; number <= brix::platform::kMostTemporaryNames; ++number) {
        const std::string temporary = brix::platform::TemporaryName(target.c_str(), number);
        if (FILE* file = fopen(temporary.c_str(), "wbx")) {
            m_entries.push_back({target, temporary, file, "", OldMode(target),
                                 brix::platform::RegisterTemporaryFile(temporary.c_str())});
            return file;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    if (m_failure.empty()) m_failure = "Can't open file \"" + target + "\" for writing.\n" + strerror(error);
    return nullptr;
}

void ReplacingFiles::WriteFailed(FILE* file) {
    const int error = errno;
    for (const Entry& entry : m_entries)
        if (entry.file == file) Fail(entry.target, error);
}

void ReplacingFiles::Close(FILE* file) {
    for (Entry& entry : m_entries) {
        if (entry.file != file) continue;
        if (fflush(file) != 0 || fsync(fileno(file)) != 0) Fail(entry.target, errno);
        if (fclose(file) != 0) Fail(entry.target, errno);
        entry.file = nullptr;
    }
}

bool ReplacingFiles::Opened(const std::string& wanted) const {
    const std::string target = ThroughLinks(wanted);
    for (const Entry& entry : m_entries)
        if (entry.target == target) return true;
    return false;
}

std::string ReplacingFiles::TemporaryOf(const std::string& wanted) const {
    const std::string target = ThroughLinks(wanted);
    for (const Entry& entry : m_entries)
        if (entry.target == target) return entry.temporary;
    return "";
}

void ReplacingFiles::CloseAll() {
    for (const Entry& entry : m_entries)
        if (entry.file) Close(entry.file);
}

void ReplacingFiles::Adopt(const std::string& wanted, const std::string& written) {
    const std::string target = ThroughLinks(wanted);
    m_entries.push_back({target, written, nullptr, "", OldMode(target), -1});
}

// Each old target is first moved aside, so that a rename failing half way through the
// set can put every replaced target back.
bool ReplacingFiles::Commit(std::string& error) {
    CloseAll();
    // A folder in a target's place is never replaced by a file: seen before any rename.
    for (const Entry& entry : m_entries) {
        struct stat status;
        if (stat(entry.target.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) Fail(entry.target, EISDIR);
    }
    if (!m_failure.empty()) {
        error = m_failure;
        Abandon();
        return false;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        struct stat status;
        if (lstat(entry.target.c_str(), &status) == 0) {
            entry.backup = FreeName(entry.target, "old");
            if (rename(entry.target.c_str(), entry.backup.c_str()) != 0) {
                entry.backup.clear();
                Fail(entry.target, errno);
                PutBack(i);
                error = m_failure;
                return false;
            }
        }
        if (entry.mode >= 0) chmod(entry.temporary.c_str(), mode_t(entry.mode));
        if (rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
            Fail(entry.target, errno);
            PutBack(i);
            error = m_failure;
            return false;
        }
        entry.temporary.clear();
        brix::platform::ForgetTemporaryFile(entry.registration);
        entry.registration = -1;
    }
    for (const Entry& entry : m_entries)
        if (!entry.backup.empty()) remove(entry.backup.c_str());
    m_entries.clear();
    return true;
}

// Undoes the first `replaced` renames and the moving aside of the entry after them, then
// drops every temporary file.
void ReplacingFiles::PutBack(size_t replaced) {
    for (size_t i = 0; i <= replaced && i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        if (entry.backup.empty()) {
            if (i < replaced) remove(entry.target.c_str());
        } else {
            rename(entry.backup.c_str(), entry.target.c_str());
        }
        entry.backup.clear();
    }
    Abandon();
}

void ReplacingFiles::Abandon() {
    for (Entry& entry : m_entries) {
        if (entry.file) fclose(entry.file);
        if (!entry.temporary.empty()) remove(entry.temporary.c_str());
        brix::platform::ForgetTemporaryFile(entry.registration);
    }
    m_entries.clear();
}

}  // namespace tessaline
