// The peak memory of an import against the size of what it reads. Writes rig files whose
// shape costs the reader most memory per input byte, and a normal large rig for
// comparison, runs `tessaline info FILE` on each as a whole process and prints its time,
// peak memory and peak/input ratio:
//   words         version 1, then one-letter words, ~SIZE MB
//   block words   the same words inside a mesh block
//   normal rig    skinned grid meshes as the writer lays them out, ~SIZE MB
//   zip entry     a small ZIP whose one rig entry inflates to ~ENTRY MiB of words; its
//                 ratio is taken against the entry's size, which the import has to hold
// The bound is 3 times the input, over what the program takes to import an empty rig
// (its code and libraries, measured first); a run over it, or one that crashed, is
// flagged. A damaged-file refusal (exit status 1) is a result like any other here.
// Usage: bench_import_memory [directory=/tmp] [SIZE=100] [ENTRY=1024] [keep]
// (keep leaves the files in the directory)

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ProcessTiming.h"

namespace {

constexpr double kBound = 3.0;
constexpr size_t kMB = 1000000;

class File {
public:
    explicit File(const std::string& path) : m_out(fopen(path.c_str(), "wb")) {}
    ~File() {
        if (m_out) fclose(m_out);
    }
    bool Ok() const { return m_out && !ferror(m_out); }
    FILE* Out() { return m_out; }
    void Put(const std::string& text) { fwrite(text.data(), 1, text.size(), m_out); }

private:
    FILE* m_out;
};

// "a a a ... " in lines of 80 bytes, about bytes long.
std::string WordLines(size_t bytes) {
    std::string line;
    for (int i = 0; i < 39; ++i) line += "a ";
    line += "\r\n";
    std::string out;
    out.reserve(bytes + line.size());
    while (out.size() < bytes) out += line;
    return out;
}

bool WriteWords(const std::string& path, size_t bytes, bool inBlock) {
    File file(path);
    if (inBlock)
        file.Put("version 1\r\n\r\nnumBones 0\r\n\r\nnumMeshes 1\r\nmesh 0 {\r\n\tname \"words\"\r\n");
    else
        file.Put("version 1\r\n");
    file.Put(WordLines(bytes));
    if (inBlock) file.Put("}\r\n");
    return file.Ok();
}

// Grid meshes of side x side vertices, each vertex weighted to two of four bones, until
// the file holds about bytes.
bool WriteNormalRig(const std::string& path, size_t bytes) {
    File file(path);
    FILE* out = file.Out();
    if (!out) return false;
    constexpr int kBones = 4, side = 300;
    fprintf(out, "version 1\r\n\r\nnumBones %d", kBones);
    for (int b = 0; b < kBones; ++b)
        fprintf(out,
                "\r\nbone %d {\r\n\tname \"bone%d\"\r\n\tparent \"%s%s\"\r\n\tinvBaseMatrix 1.0000 0.0000 0.0000 "
                "0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 %d.0000 1.0000\r\n}\r\n",
                b, b, b ? "bone" : "", b ? std::to_string(b - 1).c_str() : "", -b);
    // Each grid mesh takes about 16 MB.
    const int meshes = int(bytes / (16 * kMB)) + 1;
    fprintf(out, "\r\nnumMeshes %d", meshes);
    const int quads = (side - 1) * (side - 1);
    for (int m = 0; m < meshes; ++m) {
        fprintf(out, "\r\nmesh %d {\r\n\tname \"grid%d\"\r\n\r\n\tvertices {", m, m);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                fprintf(out, "\r\n\t\t%.4f %.4f %.4f", x * 0.125, y * 0.125, std::sin(x * 0.1) * std::cos(y * 0.1) + m);
        fputs("\r\n\t}\r\n\r\n\tnormals {", out);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                fprintf(out, "\r\n\t\t%.4f %.4f %.4f", std::sin(x * 0.01) * 0.1, std::cos(y * 0.01) * 0.1, 0.9899);
        fputs("\r\n\t}\r\n\r\n\ttextureCoordinates {\r\n\t\tset 0 {", out);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                fprintf(out, "\r\n\t\t\t%.4f %.4f", x / double(side - 1), y / double(side - 1));
        fputs("\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t\"skin\"\r\n\t}\r\n\r\n\tpolygonVertexCounts {", out);
        for (int q = 0; q < quads; ++q) fputs(q % 16 ? " 4" : "\r\n\t\t4", out);
        const char* lists[] = {"polygonVertexIndices", "polygonNormalIndices"};
        for (const char* list : lists) {
            fprintf(out, "\r\n\t}\r\n\r\n\t%s {", list);
            for (int y = 0; y + 1 < side; ++y)
                for (int x = 0; x + 1 < side; ++x) {
                    const int v = y * side + x;
                    fprintf(out, "\r\n\t\t%d %d %d %d", v, v + 1, v + side + 1, v + side);
                }
        }
        fputs("\r\n\t}\r\n\r\n\tpolygonTexCoordIndices {\r\n\t\tset 0 {", out);
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x) {
                const int v = y * side + x;
                fprintf(out, "\r\n\t\t\t%d %d %d %d", v, v + 1, v + side + 1, v + side);
            }
        fputs("\r\n\t\t}\r\n\t}\r\n\r\n\tpolygonMaterialIndices {", out);
        for (int q = 0; q < quads; ++q) fputs(q % 16 ? " 0" : "\r\n\t\t0", out);
        fputs("\r\n\t}\r\n\r\n\tvertexWeightCounts {", out);
        for (int v = 0; v < side * side; ++v) fputs(v % 16 ? " 2" : "\r\n\t\t2", out);
        fputs("\r\n\t}\r\n\r\n\tweights {", out);
        for (int v = 0; v < side * side; ++v) {
            const double w = (v % side) / double(side - 1);
            fprintf(out, "\r\n\t\t%d %.4f %d %.4f", v % kBones, w, (v + 1) % kBones, 1.0 - w);
        }
        fputs("\r\n\t}\r\n}\r\n", out);
    }
    return file.Ok();
}

void Put16(std::string& out, unsigned value) {
    out += char(value & 0xff);
    out += char((value >> 8) & 0xff);
}
void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

// A ZIP archive with one Deflate entry: version 1, then words up to entryBytes. The
// entry's size is returned through entrySize.
bool WriteZip(const std::string& path, const std::string& entryName, size_t entryBytes, uint64_t& entrySize) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    std::string compressed;
    std::vector<unsigned char> buffer(1 << 20);
    uint32_t crc = uint32_t(crc32(0, nullptr, 0));
    entrySize = 0;
    auto feed = [&](const std::string& text, bool last) {
        crc = uint32_t(crc32(crc, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size())));
        entrySize += text.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z.avail_in = uInt(text.size());
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            compressed.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - z.avail_out);
        } while (z.avail_out == 0 || (last && z.avail_in > 0));
    };
    feed("version 1\r\n", false);
    const std::string chunk = WordLines(1 << 20);
    while (entrySize + chunk.size() < entryBytes) feed(chunk, false);
    feed(WordLines(entryBytes - size_t(entrySize)).substr(0, entryBytes - size_t(entrySize)), true);
    deflateEnd(&z);

    std::string local, central, end;
    Put32(local, 0x04034b50);
    Put16(local, 20), Put16(local, 0), Put16(local, 8), Put16(local, 0), Put16(local, 0x21);
    Put32(local, crc), Put32(local, uint32_t(compressed.size())), Put32(local, uint32_t(entrySize));
    Put16(local, unsigned(entryName.size())), Put16(local, 0);
    local += entryName;
    Put32(central, 0x02014b50);
    Put16(central, 20), Put16(central, 20), Put16(central, 0), Put16(central, 8), Put16(central, 0),
        Put16(central, 0x21);
    Put32(central, crc), Put32(central, uint32_t(compressed.size())), Put32(central, uint32_t(entrySize));
    Put16(central, unsigned(entryName.size())), Put16(central, 0), Put16(central, 0), Put16(central, 0),
        Put16(central, 0);
    Put32(central, 0), Put32(central, 0);
    central += entryName;
    Put32(end, 0x06054b50);
    Put16(end, 0), Put16(end, 0), Put16(end, 1), Put16(end, 1);
    Put32(end, uint32_t(central.size())), Put32(end, uint32_t(local.size() + compressed.size()));
    Put16(end, 0);
    File file(path);
    file.Put(local);
    file.Put(compressed);
    file.Put(central);
    file.Put(end);
    return file.Ok();
}

long FileBytes(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return 0;
    fseek(file, 0, SEEK_END);
    const long size = ftell(file);
    fclose(file);
    return size;
}

struct Case {
    const char* label;
    std::string file;    // on disk
    std::string opened;  // what tessaline is given
    double inputMB;      // what the import holds: the file, or the archive entry
};

}  // namespace

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    const size_t size = (argc > 2 ? size_t(atol(argv[2])) : 100) * kMB;
    const size_t entry = (argc > 3 ? size_t(atol(argv[3])) : 1024) << 20;
    std::string here = argv[0];
    here = here.substr(0, here.find_last_of('/') + 1);
    const std::string tessaline = here + "../bin/tessaline";

    std::vector<Case> cases;
    const std::string words = directory + "/bench_memory_words.tsl";
    const std::string blockWords = directory + "/bench_memory_block_words.tsl";
    const std::string normal = directory + "/bench_memory_normal.tsl";
    const std::string zip = directory + "/bench_memory_entry.zip";
    uint64_t entrySize = 0;
    if (!WriteWords(words, size, false) || !WriteWords(blockWords, size, true) || !WriteNormalRig(normal, size) ||
        !WriteZip(zip, "rig.tsl", entry, entrySize)) {
        fprintf(stderr, "can't write the input files into %s\n", directory.c_str());
        return 1;
    }
    cases.push_back({"words", words, words, FileBytes(words) / 1e6});
    cases.push_back({"block words", blockWords, blockWords, FileBytes(blockWords) / 1e6});
    cases.push_back({"normal rig", normal, normal, FileBytes(normal) / 1e6});
    cases.push_back({"zip entry", zip, zip + "/rig.tsl", double(entrySize) / 1e6});

    const std::string empty = directory + "/bench_memory_empty.tsl";
    {
        File file(empty);
        file.Put("version 1\r\n");
    }
    const bench::ProcessRun base = bench::TimeProcess({tessaline, "info", empty});
    std::remove(empty.c_str());
    if (!base.ran) {
        printf("tessaline not found at %s\n", tessaline.c_str());
        return 1;
    }
    // ru_maxrss counts kibibytes: peakMegabytes is MiB.
    const double baseMB = double(base.peakMegabytes) * 1.048576;
    printf("an empty rig peaks at %.0f MB\n", baseMB);
    printf("%-12s %10s %10s %6s %8s %10s %10s %8s %13s\n", "input", "file MB", "read MB", "exit", "time s", "processor",
           "peak MB", "peak/in", "(peak-empty)/in");
    bool withinBound = true;
    for (const Case& c : cases) {
        const bench::ProcessRun run = bench::TimeProcess({tessaline, "info", c.opened});
        const double peakMB = double(run.peakMegabytes) * 1.048576;
        const double ratio = peakMB / c.inputMB, added = (peakMB - baseMB) / c.inputMB;
        const bool crashed = !run.ran || run.exitStatus < 0;
        const bool over = added > kBound;
        withinBound = withinBound && !crashed && !over;
        printf("%-12s %10.1f %10.1f %6d %8.2f %10.2f %10.0f %8.2f %13.2f%s\n", c.label, FileBytes(c.file) / 1e6,
               c.inputMB, run.exitStatus, run.seconds, run.cpuSeconds, peakMB, ratio, added,
               crashed ? "  CRASHED"
               : over  ? "  OVER THE BOUND"
                       : "");
    }
    if (!(argc > 4 && std::string(argv[4]) == "keep"))
        for (const Case& c : cases) std::remove(c.file.c_str());
    return withinBound ? 0 : 2;
}
