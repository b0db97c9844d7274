// Small legal rig files whose shape once made the import slow far beyond their size:
// many meshes (empty, or all of one name), a long chain of bones, a mesh with thousands
// of UV sets, many bones over many small meshes; and an export of many skinned meshes
// over many bones. Each file is written in the writer's layout and run through
// `tessaline info` (import) and `tessaline convert` to a rig (import and export) as whole
// processes; the time and the peak memory of each are printed.
// Usage: bench_import_shapes [directory=/tmp]

#include <cstdio>
#include <string>
#include <vector>

#include "ProcessTiming.h"

namespace {

class Rig {
public:
    explicit Rig(const std::string& path) : m_out(fopen(path.c_str(), "wb")) {}
    ~Rig() {
        if (m_out) fclose(m_out);
    }
    bool Ok() const { return m_out != nullptr; }
    template <typename... Args>
    void Put(const char* format, Args... args) {
        fprintf(m_out, format, args...);
    }
    void Put(const char* text) { fputs(text, m_out); }

    void Bones(int count, bool chain) {
        Put("version 1\r\n\r\nnumBones %d", count);
        for (int i = 0; i < count; ++i) {
            Put("\r\nbone %d {\r\n\tname \"b%d\"\r\n\tparent \"", i, i);
            if (chain && i > 0) Put("b%d", i - 1);
            Put("\"\r\n\tinvBaseMatrix 1.0000 0.0000 0.0000 0.0000 0.0000 1.0000 0.0000 0.0000 0.0000 0.0000 "
                "1.0000 0.0000 0.0000 0.0000 %d.0000 1.0000\r\n}\r\n",
                -i);
        }
        Put("\r\nnumMeshes ");
    }

    // A unit quad with one normal, sets UV sets (the later ones empty) and, when bones
    // is not 0, its four vertices weighted to bones first .. first+3 (mod bones).
    void Quad(int index, const char* name, int sets, int bones, int first) {
        Put("\r\nmesh %d {\r\n\tname \"%s\"\r\n\r\n\tvertices {", index, name);
        Put("\r\n\t\t0.0000 0.0000 0.0000\r\n\t\t1.0000 0.0000 0.0000\r\n\t\t1.0000 1.0000 0.0000"
            "\r\n\t\t0.0000 1.0000 0.0000");
        Put("\r\n\t}\r\n\r\n\tnormals {\r\n\t\t0.0000 0.0000 1.0000\r\n\t}\r\n\r\n\ttextureCoordinates {");
        for (int s = 0; s < sets; ++s) {
            Put("\r\n\t\tset %d {", s);
            if (s == 0)
                Put("\r\n\t\t\t0.0000 0.0000\r\n\t\t\t1.0000 0.0000\r\n\t\t\t1.0000 1.0000\r\n\t\t\t0.0000 1.0000");
            Put(s + 1 < sets ? "\r\n\t\t}\r\n" : "\r\n\t\t}");
        }
        Put("\r\n\t}\r\n\r\n\tmaterialNames {\r\n\t}\r\n\r\n\tpolygonVertexCounts {\r\n\t\t4\r\n\t}");
        Put("\r\n\r\n\tpolygonVertexIndices {\r\n\t\t0 1 2 3\r\n\t}");
        Put("\r\n\r\n\tpolygonNormalIndices {\r\n\t\t0 0 0 0\r\n\t}\r\n\r\n\tpolygonTexCoordIndices {");
        for (int s = 0; s < sets; ++s) {
            Put("\r\n\t\tset %d {\r\n\t\t\t%s", s, s == 0 ? "0 1 2 3" : "0 0 0 0");
            Put(s + 1 < sets ? "\r\n\t\t}\r\n" : "\r\n\t\t}");
        }
        Put("\r\n\t}\r\n\r\n\tpolygonMaterialIndices {\r\n\t\t0");
        if (bones) {
            Put("\r\n\t}\r\n\r\n\tvertexWeightCounts {\r\n\t\t1\r\n\t\t1\r\n\t\t1\r\n\t\t1\r\n\t}\r\n\r\n\tweights {");
            for (int v = 0; v < 4; ++v) Put("\r\n\t\t%d 1.0000", (first + v) % bones);
        }
        Put("\r\n\t}\r\n}\r\n");
    }

private:
    FILE* m_out;
};

struct Shape {
    const char* label;
    std::string file;
};

bool Write(const std::string& directory, std::vector<Shape>& shapes) {
    auto add = [&](const char* label, const char* name) {
        shapes.push_back({label, directory + "/bench_shape_" + name + ".tsl"});
        return Rig(shapes.back().file);
    };
    {
        Rig rig = add("4999 empty meshes", "empty_meshes");
        rig.Bones(0, false);
        rig.Put("4999");
        for (int i = 0; i < 4999; ++i) rig.Put("\r\nmesh %d {\r\n}\r\n", i);
        if (!rig.Ok()) return false;
    }
    {
        Rig rig = add("4999 quads of one name", "named_meshes");
        rig.Bones(0, false);
        rig.Put("4999");
        for (int i = 0; i < 4999; ++i) rig.Quad(i, "quad", 1, 0, 0);
        if (!rig.Ok()) return false;
    }
    {
        Rig rig = add("a chain of 4999 bones", "bone_chain");
        rig.Bones(4999, true);
        rig.Put("0");
        if (!rig.Ok()) return false;
    }
    {
        Rig rig = add("a quad with 4999 UV sets", "uv_sets");
        rig.Bones(0, false);
        rig.Put("1");
        rig.Quad(0, "quad", 4999, 0, 0);
        if (!rig.Ok()) return false;
    }
    {
        Rig rig = add("1000 bones, 1000 skinned quads", "bones_meshes");
        rig.Bones(1000, false);
        rig.Put("1000");
        for (int i = 0; i < 1000; ++i) rig.Quad(i, "quad", 1, 1000, i);
        if (!rig.Ok()) return false;
    }
    {
        Rig rig = add("500 bones, 500 skinned quads", "export_500");
        rig.Bones(500, false);
        rig.Put("500");
        for (int i = 0; i < 500; ++i) rig.Quad(i, "quad", 1, 500, i);
        if (!rig.Ok()) return false;
    }
    return true;
}

void Report(const char* label, const char* what, const bench::ProcessRun& run) {
    if (!run.ran) {
        printf("%-32s %-8s tessaline not found\n", label, what);
        return;
    }
    printf("%-32s %-8s exit %d  %6.2f s (processor %6.2f s)  peak %5ld MB\n", label, what, run.exitStatus, run.seconds,
           run.cpuSeconds, run.peakMegabytes);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string directory = argc > 1 ? argv[1] : "/tmp";
    std::string here = argv[0];
    here = here.substr(0, here.find_last_of('/') + 1);
    const std::string tessaline = here + "../bin/tessaline";
    std::vector<Shape> shapes;
    if (!Write(directory, shapes)) {
        fprintf(stderr, "can't write the rig files into %s\n", directory.c_str());
        return 1;
    }
    for (const Shape& shape : shapes) {
        Report(shape.label, "import", bench::TimeProcess({tessaline, "info", shape.file, "--up", "z"}));
        const std::string copy = shape.file + ".copy.tsl";
        Report(shape.label, "+export", bench::TimeProcess({tessaline, "convert", shape.file, copy, "--up", "z"}));
        std::remove(copy.c_str());
        std::remove(shape.file.c_str());
    }
    return 0;
}
