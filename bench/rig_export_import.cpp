// Exports a generated scene with one skinned mesh of about 1,000,000 vertices (normals,
// one UV set, 4 weights per vertex, 64 bones) to a rig file, then imports that file into
// a fresh scene, and prints the throughput of both and the peak memory.
// Usage: bench_rig_export_import [grid=1000] [file=/tmp/bench_rig.tsl]
//        bench_rig_export_import --text [grid=775] [file=/tmp/bench_rig.tsl]
// --text writes the rig text of the same grid directly, in the writer's layout, without
// building a host scene, and times the import: its reading stage alone (file to rig
// model), then the whole import. 775 gives 602,176 vertices, 137 MB of text.

#include <maya/MDagPath.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MIntArray.h>
#include <maya/MItGeometry.h>
#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "CoreServices/Implementations/UCoreServices.h"
#include "Headers.h"
#include "Rig/RigReader.h"
#include "TessalineTranslators.h"
#include "tessahost/StandIn.h"

namespace {

constexpr int kBones = 64;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process (user and system), which the machine's load does not
// stretch as it stretches the wall clock.
double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakMegabytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A grid of (n + 1)^2 vertices and n^2 quads over 64 joints in a row, each vertex
// weighted on the 4 joints nearest to it.
void BuildScene(int n) {
    MObjectArray joints;
    MObject parent;
    for (int b = 0; b < kBones; ++b) {
        parent = standin::makeJoint(("bone" + std::to_string(b)).c_str(), parent,
                                    standin::translation(b ? 1.0 * n / kBones : 0, 0, 0));
        joints.append(parent);
    }
    MFloatPointArray points;
    MFloatArray u, v;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            points.append(MFloatPoint(float(x), float(y), float((x * 7 + y * 3) % 11) * 0.1f));
            u.append(float(x) / n);
            v.append(float(y) / n);
        }
    MIntArray counts, connects;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            counts.append(4);
            for (int corner : {y * (n + 1) + x, y * (n + 1) + x + 1, (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x})
                connects.append(corner);
        }
    MObject shape = standin::makeMesh("grid", points, counts, connects);
    MFnMesh mesh(shape);
    const MString map1("map1");
    mesh.setUVs(u, v, &map1);
    mesh.assignUVs(counts, connects, &map1);

    MObject cluster = standin::bindSkin(shape, joints);
    MFnSkinCluster skin(cluster);
    MDagPath path;
    MFnDagNode(shape).getPath(path);
    for (MItGeometry vertex(path); !vertex.isDone(); vertex.next()) {
        const int x = vertex.index() % (n + 1);
        const int nearest = std::min(kBones - 4, x * kBones / (n + 1));
        // Clear the initial weights (all on one influence) before setting four.
        MDoubleArray current;
        unsigned int count = 0;
        skin.getWeights(path, vertex.component(), current, count);
        for (unsigned int i = 0; i < current.length(); ++i)
            if (current[i] != 0.0) skin.setWeights(path, vertex.component(), i, 0.0, false);
        for (int k = 0; k < 4; ++k) skin.setWeights(path, vertex.component(), unsigned(nearest + k), 0.25, false);
    }
}

// The rig text of the grid above (normals up, one UV set, 4 weights of 0.25 per vertex),
// laid out as the writer lays it out.
bool WriteRigText(int n, const std::string& file) {
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) return false;
    char real[64];
    auto reals = [&](std::initializer_list<float> values) {
        std::string line;
        for (float value : values) {
            const auto result = std::to_chars(real, real + sizeof real, double(value), std::chars_format::fixed, 4);
            if (!line.empty()) line += ' ';
            line.append(real, result.ptr);
        }
        return line;
    };
    fprintf(out, "version 1\r\n\r\nnumBones %d", kBones);
    for (int b = 0; b < kBones; ++b)
        fprintf(out, "\r\nbone %d {\r\n\tname \"bone%d\"\r\n\tparent \"%s%s\"\r\n\tinvBaseMatrix %s %s %s %s\r\n}\r\n", b, b,
                b ? "bone" : "", b ? std::to_string(b - 1).c_str() : "", reals({1, 0, 0, 0}).c_str(),
                reals({0, 1, 0, 0}).c_str(), reals({0, 0, 1, 0}).c_str(),
                reals({-float(b) * n / kBones, 0, 0, 1}).c_str());
    fprintf(out, "\r\nnumMeshes 1\r\nmesh 0 {\r\n\tname \"grid\"\r\n\r\n\tvertices {");
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            fprintf(out, "\r\n\t\t%s", reals({float(x), float(y), float((x * 7 + y * 3) % 11) * 0.1f}).c_str());
    fprintf(out, "\r\n\t}\r\n\r\n\tnormals {");
    for (int i = 0; i < (n + 1) * (n + 1); ++i) fprintf(out, "\r\n\t\t%s", reals({0, 0, 1}).c_str());
    fprintf(out, "\r\n\t}\r\n\r\n\ttextureCoordinates {\r\n\t\tset 0 {");
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) fprintf(out, "\r\n\t\t\t%s", reals({float(x) / n, float(y) / n}).c_str());
    fprintf(out, "\r\n\t\t}\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t\t \"lambert1\"\r\n\t}\r\n\r\n\tpolygonVertexCounts {");
    for (int i = 0; i < n * n; ++i) fprintf(out, "\r\n\t\t4");
    for (const char* list : {"polygonVertexIndices", "polygonNormalIndices", "polygonTexCoordIndices"}) {
        const bool sets = list[7] == 'T';
        fprintf(out, "\r\n\t}\r\n\r\n\t%s {%s", list, sets ? "\r\n\t\tset 0 {" : "");
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                fprintf(out, "\r\n%s%d %d %d %d", sets ? "\t\t\t" : "\t\t", y * (n + 1) + x, y * (n + 1) + x + 1,
                        (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x);
        if (sets) fprintf(out, "\r\n\t\t}");
    }
    fprintf(out, "\r\n\t}\r\n\r\n\tpolygonMaterialIndices {");
    for (int i = 0; i < n * n; ++i) fprintf(out, "\r\n\t\t0");
    fprintf(out, "\r\n\t}\r\n\r\n\tvertexWeightCounts {");
    for (int i = 0; i < (n + 1) * (n + 1); ++i) fprintf(out, "\r\n\t\t4");
    fprintf(out, "\r\n\t}\r\n\r\n\tweights {");
    for (int i = 0; i < (n + 1) * (n + 1); ++i) {
        const int nearest = std::min(kBones - 4, (i % (n + 1)) * kBones / (n + 1));
        for (int k = 0; k < 4; ++k) fprintf(out, "\r\n\t\t%d 0.2500", nearest + k);
    }
    fprintf(out, "\r\n\t}\r\n}\r\n");
    return fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool textOnly = argc > 1 && std::string(argv[1]) == "--text";
    if (textOnly) {
        --argc;
        ++argv;
    }
    const int n = argc > 1 ? atoi(argv[1]) : textOnly ? 775 : 1000;
    const std::string file = argc > 2 ? argv[2] : "/tmp/bench_rig.tsl";

    kiln::GetPluginDescription().Reset();
    DescribePlugin(kiln::GetPluginDescription());
    standin::setConsoleEcho(true);
    standin::resetScene();
    standin::setUpAxis(false);

    auto start = std::chrono::steady_clock::now();
    if (textOnly) {
        if (!WriteRigText(n, file)) return 1;
        printf("text: %d vertices, %d quads, %d bones, written in %.1f s\n", (n + 1) * (n + 1), n * n, kBones,
               Seconds(start));
    } else {
        BuildScene(n);
        printf("scene: %d vertices, %d quads, %d bones, built in %.1f s\n", (n + 1) * (n + 1), n * n, kBones,
               Seconds(start));
    }

    if (!textOnly) {
        TessalineExporter exporter;
        OptionLine options;
        brix::OutputStreamHandle stream = brix::GetCoreServices()->GetFileSystem()->CreateFileWriter(file.c_str(), true, false);
        if (!stream) return 1;
        start = std::chrono::steady_clock::now();
        const int code = exporter.Export(options, *stream, false).GetCode();
        stream->Close();
        const double seconds = Seconds(start);
        FILE* written = fopen(file.c_str(), "rb");
        fseek(written, 0, SEEK_END);
        const double megabytes = double(ftell(written)) / 1e6;
        fclose(written);
        printf("export: code %d, %.1f MB in %.2f s = %.2f MB/s\n", code, megabytes, seconds, megabytes / seconds);
    }

    standin::resetScene();
    standin::setUpAxis(false);
    const long before = PeakMegabytes();
    if (textOnly) {
        // The import's reading stage alone: the file into memory, tokenized, read into the
        // rig model; what follows it is scene building in the host.
        brix::InputStreamHandle stream = brix::GetCoreServices()->GetFileSystem()->CreateFileReader(file.c_str());
        if (!stream) return 1;
        const double megabytes = double(stream->GetSize()) / 1e6;
        start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        brix::UArray<BoneData> bones;
        brix::UArray<MeshData> meshes;
        bool intact;
        {
            brix::TextParserPolicy_ParseStream<unsigned char> parser(stream.get());
            intact = rig::ReadRigFile(parser.Parser(), bones, meshes);
        }
        const double seconds = Seconds(start), cpu = CpuSeconds() - cpuStart;
        printf("read: %s, %.1f MB in %.2f s = %.2f MB/s (%.2f s of processor time = %.2f MB/s), peak memory %ld MB\n",
               intact ? "intact" : "damaged", megabytes, seconds, megabytes / seconds, cpu, megabytes / cpu,
               PeakMegabytes());
    }
    {
        TessalineImporter importer;
        OptionLine options;
        brix::InputStreamHandle stream = brix::GetCoreServices()->GetFileSystem()->CreateFileReader(file.c_str());
        if (!stream) return 1;
        const double megabytes = double(stream->GetSize()) / 1e6;
        start = std::chrono::steady_clock::now();
        const int code = importer.Import(options, *stream).GetCode();
        const double seconds = Seconds(start);
        printf("import: code %d, %.1f MB in %.2f s = %.2f MB/s\n", code, megabytes, seconds, megabytes / seconds);
    }
    printf("peak memory: %ld MB (before the import: %ld MB)\n", PeakMegabytes(), before);
    return 0;
}
