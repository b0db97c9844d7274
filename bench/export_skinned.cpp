// Export of a scene with many bones and many skinned meshes, in process: B bones and M
// quads, each quad's four vertices weighted to four bones. The scene is built by
// importing its rig text (not timed); then the export driver writes it to a stream that
// only counts bytes, and the time of each of a few runs is printed. The work should grow
// with bones + meshes + weights, not with their product.
// Usage: bench_export_skinned [bones=500] [meshes=500] [runs=3]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CoreServices/Implementations/UStream_Archive.h"
#include "Export/ExportScene.h"
#include "Headers.h"
#include "Import/ImportScene.h"
#include "tessahost/StandIn.h"

namespace {

class CountingStream : public brix::IOutputStream {
public:
    void Serialize(const void*, uint64_t size) override { bytes += size; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    brix::UString GetName() const override { return brix::UString("count"); }
    void Flush() override {}
    bool HasFailed() const override { return false; }
    brix::UString GetFailureReason() const override { return brix::UString(); }
    bool Commit() override { return true; }
    uint64_t bytes = 0;
};

std::string RigText(int bones, int meshes) {
    std::string text = "version 1\r\n\r\nnumBones " + std::to_string(bones);
    for (int i = 0; i < bones; ++i)
        text += "\r\nbone " + std::to_string(i) + " {\r\n\tname \"b" + std::to_string(i) +
                "\"\r\n\tparent \"\"\r\n\tinvBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 " + std::to_string(-i) +
                " 1\r\n}\r\n";
    text += "\r\nnumMeshes " + std::to_string(meshes);
    for (int i = 0; i < meshes; ++i) {
        text += "\r\nmesh " + std::to_string(i) + " {\r\n\tname \"q" + std::to_string(i) + "\"";
        text += "\r\n\tvertices { 0 0 0 1 0 0 1 1 0 0 1 0 }\r\n\tnormals { 0 0 1 }";
        text += "\r\n\ttextureCoordinates { set 0 { 0 0 1 0 1 1 0 1 } }";
        text += "\r\n\tpolygonVertexCounts { 4 }\r\n\tpolygonVertexIndices { 0 1 2 3 }";
        text += "\r\n\tpolygonNormalIndices { 0 0 0 0 }\r\n\tpolygonTexCoordIndices { set 0 { 0 1 2 3 } }";
        if (bones) {
            text += "\r\n\tvertexWeightCounts { 1 1 1 1 }\r\n\tweights {";
            for (int v = 0; v < 4; ++v) text += " " + std::to_string((i + v) % bones) + " 1";
            text += " }";
        }
        text += "\r\n}\r\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int bones = argc > 1 ? atoi(argv[1]) : 500;
    const int meshes = argc > 2 ? atoi(argv[2]) : 500;
    const int runs = argc > 3 ? atoi(argv[3]) : 3;
    InitializePlugin_Base();
    standin::resetScene();
    standin::setUpAxis(false);

    const std::string text = RigText(bones, meshes);
    brix::UStream_Memory input(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               brix::UString("bench.tsl"));
    const auto buildStart = std::chrono::steady_clock::now();
    if (ImportScene(input, ImportSettings()).GetCode() != 0) return 1;
    printf("%d bones, %d skinned quads: scene built in %.2f s\n", bones, meshes,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - buildStart).count());

    for (int run = 0; run < runs; ++run) {
        CountingStream output;
        const auto start = std::chrono::steady_clock::now();
        const int code = ExportScene(output, ExportSettings()).GetCode();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        printf("export run %d: code %d, %llu bytes in %.3f s\n", run + 1, code, (unsigned long long)output.bytes,
               seconds);
    }
    return 0;
}
