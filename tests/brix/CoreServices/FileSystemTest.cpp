#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/file.h>
#include <sys/wait.h>

#include <csignal>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "CoreServices/Implementations/ANSI/UFileSystem_ANSI.h"
#include "CoreServices/Implementations/UStream_Archive.h"
#include "CoreServices/Implementations/Windows/UFileSystem_Windows.h"
#include "CoreServices/Implementations/Windows/UFileWindows_SerializingPolicy.h"
#include "Platform/TemporaryFiles.h"
#include "Platform/WindowsKernel.h"
#include "common/TestProcess.h"
#include "support/WarningCapture.h"

using namespace brix;
using brix::platform_windows::UFileSystem_Windows;
using brix::test::WarningCapture;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool Exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

std::string Cwd() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// A fresh directory, removed with its files afterwards.
class TempDir {
public:
#if defined(_WIN32)
    // In the system's temporary folder unless base names another; the path is written
    // with backslashes, as the system reports current directories.
    explicit TempDir(const char* base = nullptr) {
        std::string root = base ? base : TemporaryFolder();
        if (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
        static unsigned counter = 0;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const std::string path =
                root + "\\tessaline-fs-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
            if (CreateDirectoryA(path.c_str(), nullptr)) m_path = path;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    static std::string TemporaryFolder() {
        char buffer[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof buffer, buffer);
        return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
    }
#else
    explicit TempDir(const char* base = "/tmp") {
        std::string pattern = std::string(base) + "/tessaline-fs-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (mkdtemp(buffer.data())) m_path = buffer.data();
    }
    ~TempDir() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
#endif
    bool Valid() const { return !m_path.empty(); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

std::string Fixture(const std::string& name) { return std::string(TESSALINE_TEST_DATA) + "/archives/" + name; }

std::string ReadAll(IInputStream& stream) {
    std::string out(size_t(stream.GetSize()), '\0');
    if (!out.empty()) {
        EXPECT_EQ(stream.Serialize(out.data(), out.size()), out.size());
    }
    return out;
}

// A folder on another file system than the temporary folder, where renames cannot move
// files: /dev/shm on Linux, and under Wine, whose drive Z: is the Unix root, Z:\dev\shm.
#if defined(_WIN32)
const char* const kOtherVolume = "Z:\\dev\\shm";
#else
const char* const kOtherVolume = "/dev/shm";
#endif

// Progress reports of the last Copy or Move.
std::vector<float> g_progress;
void RecordProgress(float fraction) { g_progress.push_back(fraction); }

template <typename FileSystem>
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.Valid()); }
    TempDir dir;
    // Held by pointer: the file systems' destructors may throw, a test fixture's may not.
    std::unique_ptr<FileSystem> fs = std::make_unique<FileSystem>();
};

using FileSystems = ::testing::Types<UFileSystem_ANSI, UFileSystem_Windows>;
TYPED_TEST_SUITE(FileSystemTest, FileSystems);

}  // namespace

TYPED_TEST(FileSystemTest, WritesReadsAndAppends) {
    const std::string path = this->dir / "rig.tsl";
    {
        OutputStreamHandle out = this->fs->CreateFileWriter(UString(path.c_str()), false, false);
        ASSERT_TRUE(out);
        EXPECT_TRUE(out->IsOpen());
        EXPECT_EQ(out->GetName(), path.c_str());
        out->Serialize("hello ", 6);
        out->Serialize("", 0);
        out->Flush();
        out->Close();
        EXPECT_FALSE(out->IsOpen());
    }
    {
        OutputStreamHandle out = this->fs->CreateFileWriter(UString(path.c_str()), false, true);
        ASSERT_TRUE(out);
        out->Serialize("world", 5);
    }  // destroying the stream closes the file
    EXPECT_EQ(ReadFile(path), "hello world");
    EXPECT_EQ(this->fs->GetFileSize(UString(path.c_str())), 11u);
    EXPECT_TRUE(this->fs->ExistsFile(UString(path.c_str())));

    InputStreamHandle in = this->fs->CreateFileReader(UString(path.c_str()));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->GetName(), path.c_str());
    EXPECT_EQ(in->GetSize(), 11u);
    char buffer[16] = {};
    EXPECT_EQ(in->Serialize(buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(in->Tell(), 5u);
    in->SeekForward(1);
    EXPECT_EQ(in->Serialize(buffer, 16), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_TRUE(in->IsEnd());
    in->SeekBackward(3);
    EXPECT_EQ(in->Tell(), 8u);
    EXPECT_FALSE(in->IsEnd());
    in->SeekToEnd();
    EXPECT_EQ(in->Tell(), 11u);
    in->SeekToStart();
    EXPECT_EQ(in->Tell(), 0u);
    EXPECT_EQ(ReadAll(*in), "hello world");
    in->Close();
    EXPECT_FALSE(in->IsOpen());

    // Writing anew truncates.
    { this->fs->CreateFileWriter(UString(path.c_str()), false, false)->Serialize("x", 1); }
    EXPECT_EQ(ReadFile(path), "x");
}

// A read of tens of megabytes (which the POSIX port splits into halves read side by
// side) gives every byte in order from the current position, leaves the position after
// them, and stops at the end of the file.
TYPED_TEST(FileSystemTest, ALargeReadGivesEveryByteInOrder) {
    const std::string path = this->dir / "large.tsl";
    std::string data(size_t(40) << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char('a' + (i * 7 + i / 4096) % 26);
    WriteFile(path, data);
    InputStreamHandle in = this->fs->CreateFileReader(UString(path.c_str()));
    ASSERT_TRUE(in);
    std::string head(3, '\0'), rest(data.size(), '\0');
    ASSERT_EQ(in->Serialize(head.data(), head.size()), head.size());
    // Asks for more than is left: the file's end stops it.
    ASSERT_EQ(in->Serialize(rest.data(), rest.size()), data.size() - 3);
    EXPECT_EQ(in->Tell(), uint64_t(data.size()));
    EXPECT_TRUE(head + rest.substr(0, data.size() - 3) == data);
    in->SeekToStart();
    in->SeekForward(1 << 20);
    ASSERT_EQ(in->Serialize(rest.data(), size_t(34) << 20), size_t(34) << 20);
    EXPECT_TRUE(rest.compare(0, size_t(34) << 20, data, 1 << 20, size_t(34) << 20) == 0);
    EXPECT_EQ(in->Tell(), uint64_t(35) << 20);
}

TYPED_TEST(FileSystemTest, MissingFilesAndDirectoriesDoNotOpen) {
    const std::string missing = this->dir / "missing.tsl";
    WarningCapture warnings;
    EXPECT_FALSE(this->fs->CreateFileReader(UString(missing.c_str())));
    EXPECT_FALSE(this->fs->ExistsFile(UString(missing.c_str())));
    EXPECT_EQ(this->fs->GetFileSize(UString(missing.c_str())), 0u);
    // A directory is not a file, neither to read nor as an archive on the path.
    EXPECT_FALSE(this->fs->CreateFileReader(UString(this->dir.Path().c_str())));
    EXPECT_FALSE(this->fs->ExistsFile(UString(this->dir.Path().c_str())));
    EXPECT_FALSE(this->fs->CreateFileWriter(UString(this->dir.Path().c_str()), false, false));
    EXPECT_FALSE(this->fs->CreateFileWriter(UString((this->dir / "no/such/dir.tsl").c_str()), false, false));
    EXPECT_EQ(warnings.Text(), "");
}

// Sizes and positions past 32 bits: a file of 4 GiB and more is not taken for the file
// of its size modulo 2^32. The files are sparse, so they cost no disk.
TYPED_TEST(FileSystemTest, SizesAndPositionsOf4GiBAndMoreAreWhole) {
    const std::string path = this->dir / "sparse.tsl";
    for (const uint64_t size :
         {uint64_t(1908), uint64_t(1) << 31, uint64_t(1) << 32, (uint64_t(1) << 32) + 1908, (uint64_t(5) << 32) + 3}) {
        SCOPED_TRACE(std::to_string(size));
        WriteFile(path, "");
        std::error_code error;
        std::filesystem::resize_file(path, size, error);
        ASSERT_FALSE(error) << error.message();
        EXPECT_EQ(this->fs->GetFileSize(UString(path.c_str())), size);
        InputStreamHandle in = this->fs->CreateFileReader(UString(path.c_str()));
        ASSERT_TRUE(in);
        EXPECT_EQ(in->GetSize(), size);
        EXPECT_FALSE(in->IsEnd());
        in->SeekToEnd();
        EXPECT_EQ(in->Tell(), size);
        EXPECT_TRUE(in->IsEnd());
        in->SeekBackward(2);
        EXPECT_EQ(in->Tell(), size - 2);
        char tail[4] = {1, 1, 1, 1};
        EXPECT_EQ(in->Serialize(tail, sizeof tail), 2u);
        EXPECT_EQ(tail[0], 0);
    }
}

// An archive entry that cannot be read is refused with the archive's reason, not with
// the system's (which said that the path could not be found).
TYPED_TEST(FileSystemTest, AnArchiveEntryThatCannotBeReadSaysWhy) {
    const std::string archive = std::string(TESSALINE_TEST_DATA) + "/archives/deflated.zip";
    struct Case {
        const char* entry;
        const char* reason;
    } cases[] = {
        {"empty.tsl", kEmptyEntryReason},
        {"missing.tsl", "It can't be found inside the archive."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        WarningCapture warnings;
        EXPECT_FALSE(this->fs->CreateFileReader(UString((archive + "/" + c.entry).c_str())));
        EXPECT_EQ(this->fs->GetLastFailureReason(), c.reason);
    }
}

// What opens but is not a file: a directory, and (where there are such) a pipe or a
// device. None reads as an empty file, and none makes the open wait.
TYPED_TEST(FileSystemTest, WhatIsNotAFileIsRefusedWithItsReason) {
    struct Case {
        std::string path;
        std::string reason;
    };
    std::vector<Case> cases = {
        {this->dir.Path(), kDirectoryReason},
    };
#if !defined(_WIN32)
    const std::string fifo = this->dir / "fifo.tsl";  // no writer: opening it must not wait for one
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")})
        cases.push_back({path, kNotAFileReason});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WarningCapture warnings;
        EXPECT_FALSE(this->fs->CreateFileReader(UString(c.path.c_str())));
        EXPECT_EQ(this->fs->GetLastFailureReason(), c.reason.c_str());
        EXPECT_EQ(warnings.Text(), "");
    }
    // A writer given a directory says so too.
    EXPECT_FALSE(this->fs->CreateFileWriter(UString(this->dir.Path().c_str()), false, false));
    EXPECT_EQ(this->fs->GetLastFailureReason(), kDirectoryReason);
}

TYPED_TEST(FileSystemTest, ReadsEntriesOfArchivesOnThePath) {
    const std::string archive = this->dir / "nested.zip";
    WriteFile(archive, ReadFile(Fixture("nested.zip")));
    const std::string folder = this->dir / "a\\b";
#if defined(_WIN32)
    ASSERT_EQ(_mkdir((this->dir / "a").c_str()), 0);
    ASSERT_EQ(_mkdir(folder.c_str()), 0);
#else
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
#endif
    const std::string folderArchive = folder + "/nested.zip";
    WriteFile(folderArchive, ReadFile(Fixture("nested.zip")));
    struct Case {
        std::string path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {archive + "/top.tsl", "top level\r\n"},
        {archive + "\\top.tsl", "top level\r\n"},
        {archive + "/packs/inner.zip/more/deeper.zip/leaf.tsl", "three levels down\r\n"},
        {archive + "\\packs/inner.zip\\more/deeper.zip/leaf.tsl", "three levels down\r\n"},
        // A backslash before the archive (a folder separator on Windows, part of a name
        // elsewhere) does not hide the "/" after it.
        {folderArchive + "/top.tsl", "top level\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WarningCapture warnings;
        InputStreamHandle in = this->fs->CreateFileReader(UString(c.path.c_str()));
        ASSERT_TRUE(in);
        EXPECT_EQ(ReadAll(*in), c.expected);
        EXPECT_EQ(warnings.Text(), "");
    }

    // The archive opens but has no such entry: an empty handle and the archive's message.
    WarningCapture warnings;
    EXPECT_FALSE(this->fs->CreateFileReader(UString((archive + "/absent.tsl").c_str())));
    EXPECT_EQ(warnings.Text(),
              "WARNING: The file \"absent.tsl\" can't be found inside the archive \"" + archive + "\".\r\n");
}

using testsupport::Listing;

#if !defined(_WIN32)
// A process interrupted while it writes removes its temporary files (they piled up as
// "rig.tsl~1", "~2", ... one per interrupted run) and then ends as the signal says, or
// runs the handler that was there before. The target keeps its old content.
TYPED_TEST(FileSystemTest, AnInterruptedWriteLeavesNoTemporaryFile) {
    const std::string path = this->dir / "rig.tsl";
    const std::string folder = this->dir / "export-folder";
    struct Case {
        int signal;
        bool ownHandler;  // the process had its own handler, which must still run
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGTERM, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        WriteFile(path, "old rig");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.ownHandler) signal(c.signal, [](int) { _exit(7); });
            OutputStreamHandle out = this->fs->CreateReplacingFileWriter(UString(path.c_str()));
            if (!out) _exit(2);
            out->Serialize("half a", 6);
            out->Flush();
            mkdir(folder.c_str(), 0700);
            WriteFile(folder + "/written.glb", "bytes");
            brix::platform::RegisterTemporaryFile(folder.c_str(), true);
            raise(c.signal);
            _exit(3);  // not reached: the signal ends the process
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (c.ownHandler) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        }
        EXPECT_EQ(Listing(this->dir.Path()), std::vector<std::string>{"rig.tsl"});
        EXPECT_EQ(ReadFile(path), "old rig");
    }
    // Once nothing is registered, the signals are handled as before.
    {
        OutputStreamHandle out = this->fs->CreateReplacingFileWriter(UString(path.c_str()));
        ASSERT_TRUE(out);
        struct sigaction during {};
        sigaction(SIGTERM, nullptr, &during);
        EXPECT_NE(during.sa_handler, SIG_DFL);
        EXPECT_TRUE(out->Commit());
    }
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
}
#endif

TYPED_TEST(FileSystemTest, AReplacingWriterChangesTheTargetOnlyOnCommit) {
    const std::string path = this->dir / "rig.tsl";
    WriteFile(path, "old rig");
    {  // abandoned: the target stays, the temporary file goes
        OutputStreamHandle out = this->fs->CreateReplacingFileWriter(UString(path.c_str()));
        ASSERT_TRUE(out);
        EXPECT_EQ(out->GetName(), path.c_str());
        out->Serialize("half a", 6);
        EXPECT_EQ(Listing(this->dir.Path()).size(), 2u);  // the target and the temporary file
        EXPECT_EQ(ReadFile(path), "old rig");
    }
    EXPECT_EQ(Listing(this->dir.Path()), std::vector<std::string>{"rig.tsl"});
    EXPECT_EQ(ReadFile(path), "old rig");
    {  // committed: replaced whole
        OutputStreamHandle out = this->fs->CreateReplacingFileWriter(UString(path.c_str()));
        ASSERT_TRUE(out);
        out->Serialize("new ", 4);
        out->Serialize("rig", 3);
        EXPECT_TRUE(out->Commit()) << out->GetFailureReason().c_str();
        EXPECT_FALSE(out->HasFailed());
        EXPECT_EQ(out->GetFailureReason(), "");
        EXPECT_FALSE(out->Commit());  // once only
    }
    EXPECT_EQ(ReadFile(path), "new rig");
    EXPECT_EQ(Listing(this->dir.Path()), std::vector<std::string>{"rig.tsl"});
    // A leftover of another writer is not touched; the next free name is taken.
    WriteFile(path + "~1", "someone else's");
    {
        OutputStreamHandle out = this->fs->CreateReplacingFileWriter(UString(path.c_str()));
        ASSERT_TRUE(out);
        out->Serialize("third", 5);
        EXPECT_TRUE(out->Commit());
    }
    EXPECT_EQ(ReadFile(path), "third");
    EXPECT_EQ(ReadFile(path + "~1"), "someone else's");
}

TYPED_TEST(FileSystemTest, FailedOpensGiveTheSystemsReason) {
    const UString inMissingFolder((this->dir / "no/such/rig.tsl").c_str());
    EXPECT_FALSE(this->fs->CreateFileWriter(inMissingFolder, false, false));
    const std::string writerReason = this->fs->GetLastFailureReason().c_str();
    EXPECT_FALSE(this->fs->CreateReplacingFileWriter(inMissingFolder));
    EXPECT_EQ(this->fs->GetLastFailureReason(), writerReason.c_str());
    EXPECT_FALSE(this->fs->CreateFileReader(UString((this->dir / "missing.tsl").c_str())));
    const std::string readerReason = this->fs->GetLastFailureReason().c_str();
    if (std::is_same_v<TypeParam, UFileSystem_Windows>) {
#if defined(_WIN32)
        // The system's own wording, which differs between Windows and Wine.
        EXPECT_EQ(writerReason, brix::platform_windows::DescribeSystemError(ERROR_PATH_NOT_FOUND).c_str());
        EXPECT_EQ(readerReason, brix::platform_windows::DescribeSystemError(ERROR_FILE_NOT_FOUND).c_str());
#else
        EXPECT_EQ(writerReason, "The system cannot find the path specified.");
        EXPECT_EQ(readerReason, "The system cannot find the file specified.");
#endif
    } else {
        EXPECT_EQ(writerReason, strerror(ENOENT));
        EXPECT_EQ(readerReason, strerror(ENOENT));
    }
}

#if defined(_WIN32)
// Windows has no file size limit for a process; there a full volume makes writes fail.
// The Windows test script mounts a small volume for the run (a tmpfs of a few pages in a
// mount namespace of its own, under Wine) and names a folder on it here.
const char* SmallVolume() { return std::getenv("TESSALINE_SMALL_VOLUME"); }

// Runs body with the volume of folder filled up, so that its writes fail as on a full
// disk; returns body's report, or what went wrong in filling.
std::string WithFullVolume(const std::string& folder, const std::function<std::string()>& body) {
    const std::string filler = folder + "\\filler";
    HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "no filler";
    static const char chunk[4096] = {};
    DWORD written = 0;
    uint64_t total = 0;
    while (total < (uint64_t(1) << 30) && WriteFile(file, chunk, sizeof chunk, &written, nullptr) && written > 0)
        total += written;
    const DWORD error = GetLastError();
    CloseHandle(file);
    std::string report = error == ERROR_DISK_FULL ? body() : "the volume did not fill: error " + std::to_string(error);
    DeleteFileA(filler.c_str());
    return report;
}
#else
using testsupport::WithFileSizeLimit;
#endif

TYPED_TEST(FileSystemTest, WritesPastTheFileSizeLimitFailAndKeepTheTarget) {
#if defined(_WIN32)
    if (!SmallVolume()) GTEST_SKIP() << "no small volume (TESSALINE_SMALL_VOLUME) to fill";
    TempDir small(SmallVolume());
    ASSERT_TRUE(small.Valid());
    const TempDir& dir = small;
#else
    const TempDir& dir = this->dir;
#endif
    const std::string path = dir / "rig.tsl";
    const std::string big(300000, 'x');  // more than one gathered buffer
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "plain");
        WriteFile(path, "old rig");
        const auto write = [&] {
            OutputStreamHandle out = replacing ? this->fs->CreateReplacingFileWriter(UString(path.c_str()))
                                               : this->fs->CreateFileWriter(UString(path.c_str()), false, false);
            if (!out) return std::string("not opened");
            out->Serialize(big.data(), 100);
            out->Serialize(big.data(), big.size());
            const bool committed = out->Commit();
            return std::string(committed ? "committed" : "failed") + (out->HasFailed() ? " has failed: " : ": ") +
                   out->GetFailureReason().c_str();
        };
#if defined(_WIN32)
        const std::string report = WithFullVolume(dir.Path(), write);
        const std::string reason = std::is_same_v<TypeParam, UFileSystem_Windows>
                                       ? brix::platform_windows::DescribeSystemError(ERROR_DISK_FULL).c_str()
                                       : strerror(ENOSPC);
#else
        const std::string report = WithFileSizeLimit(4096, write);
        const std::string reason = std::is_same_v<TypeParam, UFileSystem_Windows>
                                       ? "The file size exceeds the limit allowed and cannot be saved."
                                       : strerror(EFBIG);
#endif
        EXPECT_EQ(report, "failed has failed: " + reason);
        // A plain writer leaves what fitted; a replacing one leaves the old file alone.
        const std::string left = ReadFile(path);
        if (replacing) EXPECT_EQ(left, "old rig");
#if defined(_WIN32)
        else
            EXPECT_TRUE(left.size() < big.size() && left == std::string(left.size(), 'x')) << left.size();
#else
        else
            EXPECT_EQ(left.size(), 4096u);
#endif
        EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"rig.tsl"});
    }
}

TYPED_TEST(FileSystemTest, ABackslashIsPreferredToALaterSlash) {
#if defined(_WIN32)
    GTEST_SKIP() << "a backslash cannot be part of a file name on Windows";
#endif
    // "pack.zip\dir" is also a plain file here; a search for "/" first would take it as
    // the archive. With the backslash preferred, pack.zip is the archive and
    // "dir/sub.tsl" the entry.
    WriteFile(this->dir / "pack.zip", ReadFile(Fixture("stored.zip")));
    WriteFile(this->dir / "pack.zip\\dir", "not an archive");
    WarningCapture warnings;
    InputStreamHandle in = this->fs->CreateFileReader(UString((this->dir / "pack.zip\\dir/sub.tsl").c_str()));
    ASSERT_TRUE(in);
    EXPECT_EQ(ReadAll(*in), "in a folder\r\n");
    EXPECT_EQ(warnings.Text(), "");
}

TYPED_TEST(FileSystemTest, DeletesAndMakesDirectories) {
    const std::string sub = this->dir / "sub";
    EXPECT_TRUE(this->fs->MakeDirectory(UString(sub.c_str())));
    EXPECT_FALSE(this->fs->MakeDirectory(UString(sub.c_str())));
    WriteFile(sub + "/file", "x");
    EXPECT_FALSE(this->fs->DeleteDirectory(UString(sub.c_str())));  // not empty
    EXPECT_TRUE(this->fs->Delete(UString((sub + "/file").c_str())));
    EXPECT_FALSE(this->fs->Delete(UString((sub + "/file").c_str())));
    EXPECT_TRUE(this->fs->DeleteDirectory(UString(sub.c_str())));
    EXPECT_FALSE(Exists(sub));
}

TYPED_TEST(FileSystemTest, CopiesWithProgress) {
    const std::string source = this->dir / "source", destination = this->dir / "destination";
    std::string data;
    for (int i = 0; i < 5000; ++i) data.push_back(char('a' + i % 26));
    WriteFile(source, data);

    g_progress.clear();
    EXPECT_TRUE(this->fs->Copy(UString(destination.c_str()), UString(source.c_str()), false, RecordProgress));
    EXPECT_EQ(ReadFile(destination), data);
    ASSERT_GE(g_progress.size(), 2u);
    EXPECT_EQ(g_progress.front(), 0.0f);
    EXPECT_EQ(g_progress.back(), 1.0f);
    for (size_t i = 1; i < g_progress.size(); ++i) EXPECT_LE(g_progress[i - 1], g_progress[i]);

    // Without overwrite an existing destination stays as it is.
    WriteFile(destination, "older");
    EXPECT_FALSE(this->fs->Copy(UString(destination.c_str()), UString(source.c_str()), false, nullptr));
    EXPECT_EQ(ReadFile(destination), "older");
    EXPECT_TRUE(this->fs->Copy(UString(destination.c_str()), UString(source.c_str()), true, nullptr));
    EXPECT_EQ(ReadFile(destination), data);

    // Nothing to copy from; and a file copied onto itself is left whole.
    EXPECT_FALSE(this->fs->Copy(UString(destination.c_str()), UString((this->dir / "none").c_str()), true, nullptr));
    EXPECT_FALSE(this->fs->Copy(UString(source.c_str()), UString(source.c_str()), true, nullptr));
    EXPECT_EQ(ReadFile(source), data);
}

TYPED_TEST(FileSystemTest, MovesWithinAndAcrossFileSystems) {
    const std::string source = this->dir / "source", destination = this->dir / "destination";
    WriteFile(source, "payload");
    g_progress.clear();
    EXPECT_TRUE(this->fs->Move(UString(destination.c_str()), UString(source.c_str()), false, RecordProgress));
    EXPECT_FALSE(Exists(source));
    EXPECT_EQ(ReadFile(destination), "payload");
    EXPECT_EQ(g_progress, (std::vector<float>{0.0f, 1.0f}));

    WriteFile(source, "newer");
    EXPECT_FALSE(this->fs->Move(UString(destination.c_str()), UString(source.c_str()), false, nullptr));
    EXPECT_EQ(ReadFile(source), "newer");
    EXPECT_EQ(ReadFile(destination), "payload");
    EXPECT_TRUE(this->fs->Move(UString(destination.c_str()), UString(source.c_str()), true, nullptr));
    EXPECT_FALSE(Exists(source));
    EXPECT_EQ(ReadFile(destination), "newer");

    // Across file systems a rename cannot move a file.
    struct stat here, there;
    TempDir other(kOtherVolume);
    if (!other.Valid() || stat(other.Path().c_str(), &there) != 0 || stat(this->dir.Path().c_str(), &here) != 0 ||
        here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system";
    const std::string away = other / "moved";
    EXPECT_TRUE(this->fs->Move(UString(away.c_str()), UString(destination.c_str()), false, nullptr));
    EXPECT_FALSE(Exists(destination));
    EXPECT_EQ(ReadFile(away), "newer");
}

namespace {
// A file system whose Delete refuses one path, as when the source of a move is in use.
template <typename FileSystem>
class StubbornFileSystem : public FileSystem {
public:
    bool Delete(const UString& path) override { return path == m_keep.c_str() ? false : FileSystem::Delete(path); }
    std::string m_keep;
};
}  // namespace

TYPED_TEST(FileSystemTest, AMoveWhoseSourceCannotBeDeletedRemovesTheCopy) {
    TempDir other(kOtherVolume);
    struct stat here, there;
    const bool twoVolumes = other.Valid() && stat(other.Path().c_str(), &there) == 0 &&
                            stat(this->dir.Path().c_str(), &here) == 0 && here.st_dev != there.st_dev;
    // The Windows file system only copies when the direct move fails: across volumes.
    if (std::is_same_v<TypeParam, UFileSystem_Windows> && !twoVolumes) GTEST_SKIP() << "no second file system";
    const std::string source = this->dir / "source";
    const std::string destination = (twoVolumes ? other : this->dir) / "destination";
    WriteFile(source, "payload");
    StubbornFileSystem<TypeParam> fs;
    fs.m_keep = source;
    EXPECT_FALSE(fs.Move(UString(destination.c_str()), UString(source.c_str()), false, nullptr));
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_FALSE(Exists(destination));
}

TYPED_TEST(FileSystemTest, WorkingDirectoryIsCachedWithATrailingSlash) {
    const std::string original = Cwd();
    EXPECT_EQ(this->fs->GetWorkingDirectory(), (original + "/").c_str());
    TypeParam initialised;
    initialised.Init();
    EXPECT_EQ(initialised.GetWorkingDirectory(), (original + "/").c_str());

    EXPECT_TRUE(this->fs->SetWorkingDirectory(UString(this->dir.Path().c_str())));
    EXPECT_EQ(Cwd(), this->dir.Path());
    EXPECT_EQ(this->fs->GetWorkingDirectory(), (this->dir.Path() + "/").c_str());
    EXPECT_TRUE(this->fs->SetWorkingDirectory(UString((original + "/").c_str())));
    EXPECT_EQ(this->fs->GetWorkingDirectory(), (original + "//").c_str());
    EXPECT_FALSE(this->fs->SetWorkingDirectory(UString((this->dir / "missing").c_str())));
    EXPECT_EQ(this->fs->GetWorkingDirectory(), (original + "//").c_str());
    // Changes made behind the file system's back are not seen once the cache is filled.
    ASSERT_EQ(chdir(this->dir.Path().c_str()), 0);
    EXPECT_EQ(this->fs->GetWorkingDirectory(), (original + "//").c_str());
    ASSERT_EQ(chdir(original.c_str()), 0);
}

TYPED_TEST(FileSystemTest, AnOverlongCurrentDirectoryThrowsThroughTheGuard) {
#if defined(_WIN32)
    GTEST_SKIP() << "a Windows process's current directory is at most MAX_PATH characters long";
#else
    const std::string original = Cwd();
    const std::string name(200, 'd');
    ASSERT_EQ(chdir(this->dir.Path().c_str()), 0);
    int depth = 0;
    while (Cwd().size() < 4200 && depth < 40) {
        if (mkdir(name.c_str(), 0777) != 0 || chdir(name.c_str()) != 0) break;
        ++depth;
    }
    // getcwd into a 4096-byte buffer cannot hold this directory any more.
    char probe[4096];
    const bool tooLong = getcwd(probe, sizeof probe) == nullptr;

    const std::string type = std::is_same_v<TypeParam, UFileSystem_ANSI>
                                 ? "brix::UFileSystem_ANSI"
                                 : "brix::platform_windows::UFileSystem_Windows";
    bool threw = false;
    try {
        TypeParam fresh;
        fresh.GetWorkingDirectory();
    } catch (const ErrorDescription& error) {
        threw = true;
        EXPECT_STREQ(error.m_message, "current path longer than 4096 bytes");
        EXPECT_EQ(std::string(error.m_history),
                  type + "::GetWorkingDirectory() <- " + type + "::GetWorkingDirectory()");
    }
    for (; depth > 0; --depth) {
        EXPECT_EQ(chdir(".."), 0);
        EXPECT_EQ(rmdir(name.c_str()), 0);
    }
    ASSERT_EQ(chdir(original.c_str()), 0);
    ASSERT_TRUE(tooLong);
    EXPECT_TRUE(threw);
#endif
}

// Readers share a file with each other; a writer shares it with nobody, so no reader
// sees a half-written file and no writer changes a file being read.
TEST(FileSystemWindows, ReadersShareAFileAndAWriterExcludesEveryone) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir / "held.tsl";
    const UString name(path.c_str());
    struct Case {
        const char* holder;
        bool othersRead, othersWrite;
    };
    for (const Case& c : {Case{"reader", true, false}, Case{"writer", false, false}}) {
        SCOPED_TRACE(c.holder);
        WriteFile(path, "held");
        UFileSystem_Windows fs;
        const bool reading = std::string(c.holder) == "reader";
        InputStreamHandle heldReader = reading ? fs.CreateFileReader(name) : nullptr;
        OutputStreamHandle heldWriter = reading ? nullptr : fs.CreateFileWriter(name, false, true);
        ASSERT_TRUE(heldReader || heldWriter);
        {
            InputStreamHandle other = fs.CreateFileReader(name);
            EXPECT_EQ(bool(other), c.othersRead);
            if (other)
                EXPECT_EQ(ReadAll(*other), "held");
            else
                EXPECT_EQ(fs.GetLastFailureReason(),
                          brix::platform_windows::DescribeSystemError(ERROR_SHARING_VIOLATION));
        }
        EXPECT_EQ(fs.ExistsFile(name), c.othersRead);
        EXPECT_EQ(fs.GetFileSize(name), c.othersRead ? 4u : 0u);
        EXPECT_EQ(bool(fs.CreateFileWriter(name, false, false)), c.othersWrite);
        EXPECT_FALSE(fs.Delete(name));
        heldReader.reset();
        heldWriter.reset();
        EXPECT_EQ(ReadFile(path), "held");  // the refused writer did not truncate it
        EXPECT_TRUE(fs.Delete(name));
    }
#if !defined(_WIN32)
    // Another program's shared lock (flock -s) is a reader's too.
    WriteFile(path, "held");
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    UFileSystem_Windows fs;
    EXPECT_TRUE(fs.CreateFileReader(name));
    EXPECT_FALSE(fs.CreateFileWriter(name, false, false));
    close(fd);
#endif
}

TEST(FileSystemWindows, AMoveOfAFileInUseCopiesThenUndoesTheCopy) {
    // Held open with read sharing: the rename and the delete are refused, the copy is
    // not, so the move falls back to copying and must remove the copy again.
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string source = dir / "source", destination = dir / "destination";
    WriteFile(source, "payload");
    HANDLE holder = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    UFileSystem_Windows fs;
    EXPECT_FALSE(fs.Move(UString(destination.c_str()), UString(source.c_str()), false, nullptr));
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_FALSE(Exists(destination));
    CloseHandle(holder);
    EXPECT_TRUE(fs.Move(UString(destination.c_str()), UString(source.c_str()), false, nullptr));
}

TEST(FileSystemWindows, ReadsAndWritesOf2GBOrMoreFailTheSizeCheck) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir / "file";
    UFileSystem_Windows fs;
    struct Case {
        bool reading;
        uint64_t size;
        bool throws;
    };
    for (const Case& c : {Case{true, 3, false}, Case{true, uint64_t(1) << 31, true},
                          Case{false, uint64_t(1) << 31, true}, Case{false, ~uint64_t(0), true}}) {
        SCOPED_TRACE(std::to_string(c.size));
        WriteFile(path, "abc");
        const char* function = c.reading ? "brix::platform_windows::UFileWindows_SerializingPolicy_Input::Serialize"
                                         : "brix::platform_windows::UFileWindows_SerializingPolicy_Output::Serialize";
        try {
            char buffer[4];
            if (c.reading) {
                EXPECT_EQ(fs.CreateFileReader(UString(path.c_str()))->Serialize(buffer, c.size), 3u);
            } else {
                fs.CreateFileWriter(UString(path.c_str()), false, false)->Serialize(buffer, c.size);
            }
            EXPECT_FALSE(c.throws);
        } catch (const ErrorDescription& error) {
            EXPECT_TRUE(c.throws);
            EXPECT_STREQ(error.m_message, "'assure' failed: size < (1<<31)");
            EXPECT_EQ(std::string(error.m_history), std::string(function) + "()");
        }
    }
}

TEST(FileSystemWindows, GatheredWritesKeepTheirOrder) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir / "gathered";
    UFileSystem_Windows fs;
    // Small writes around one larger than the buffer, which must not overtake them.
    std::string expected;
    {
        OutputStreamHandle out = fs.CreateFileWriter(UString(path.c_str()), false, false);
        ASSERT_TRUE(out);
        for (int i = 0; i < 50000; ++i) {
            const std::string piece = std::to_string(i) + " ";
            out->Serialize(piece.data(), piece.size());
            expected += piece;
        }
        const std::string large(1 << 19, 'x');
        out->Serialize(large.data(), large.size());
        expected += large;
        out->Serialize("end", 3);
        expected += "end";
        out->Close();
        // A write after closing is not kept for later: it fails.
        out->Serialize("late", 4);
        EXPECT_TRUE(static_cast<brix::platform_windows::UFileWindows_SerializingPolicy_Output&>(*out).HasFailed());
    }
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(FileSystemANSI, CopyReportsProgressPerKilobyte) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    WriteFile(dir / "source", std::string(2500, 'z'));
    UFileSystem_ANSI fs;
    g_progress.clear();
    EXPECT_TRUE(fs.Copy(UString((dir / "copy").c_str()), UString((dir / "source").c_str()), false, RecordProgress));
    EXPECT_EQ(g_progress, (std::vector<float>{0.0f, 1024.0f / 2500, 2048.0f / 2500, 1.0f, 1.0f}));
}
