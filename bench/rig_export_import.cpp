// Exports a generated scene with one skinned mesh of about 1,000,000 vertices (normals,
// one UV set, 4 weights per vertex, 64 bones) to a rig file, then imports that file into
// a fresh scene, and prints the throughput of both and the peak memory.
// Usage: bench_rig_export_import [grid=1000] [file=/tmp/bench_rig.tsl]

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

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "CoreServices/Implementations/UCoreServices.h"
#include "Headers.h"
#include "TessalineTranslators.h"
#include "tessahost/StandIn.h"

namespace {

constexpr int kBones = 64;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
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

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? atoi(argv[1]) : 1000;
    const std::string file = argc > 2 ? argv[2] : "/tmp/bench_rig.tsl";

    kiln::GetPluginDescription().Reset();
    DescribePlugin(kiln::GetPluginDescription());
    standin::setConsoleEcho(true);
    standin::resetScene();
    standin::setUpAxis(false);

    auto start = std::chrono::steady_clock::now();
    BuildScene(n);
    printf("scene: %d vertices, %d quads, %d bones, built in %.1f s\n", (n + 1) * (n + 1), n * n, kBones,
           Seconds(start));

    {
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
