// The engine reader, tsl.h: any input is read or refused without a fault; a refusal
// says where (a byte inside the input, its line); a rig it reads passes tsl_validate
// (or holds a number too large for a float, which the read reported), and the engine
// helpers run over every mesh of it: triangles, unique vertices with 16- and 32-bit
// indices, skins fitted to 4 influences with 8-bit weights that add up to 255, and a
// split by a budget of 12 bones.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#define TSL_IMPLEMENTATION
#include "tsl.h"

namespace {

void Check(bool holds) {
    if (!holds) abort();
}

void UseMesh(const tsl_rig& rig, const tsl_mesh& mesh) {
    const uint32_t triangles = tsl_triangle_count(&mesh);
    std::vector<uint32_t> corners(size_t(triangles) * 3 + 1), polygons(size_t(triangles) + 1);
    tsl_triangulate(&mesh, corners.data(), polygons.data());
    for (uint32_t t = 0; t < triangles; ++t) {
        const uint32_t p = polygons[t];
        for (int k = 0; k < 3; ++k)
            Check(corners[3 * t + k] >= mesh.polygon_starts[p] &&
                  corners[3 * t + k] < mesh.polygon_starts[p] + mesh.polygon_sizes[p]);
    }
    tsl_vertex_table table;
    Check(tsl_unique_vertices(&mesh, nullptr, &table) == TSL_OK);
    Check(table.num_vertices <= mesh.num_corners);
    std::vector<uint32_t> wide(size_t(triangles) * 3 + 1);
    std::vector<uint16_t> narrow(size_t(triangles) * 3 + 1);
    Check(tsl_triangle_indices(&mesh, &table, wide.data(), 4) == TSL_OK);
    const tsl_result narrowResult = tsl_triangle_indices(&mesh, &table, narrow.data(), 2);
    Check(narrowResult == (table.num_vertices > 65536 ? TSL_ERROR_INDEX_TOO_LARGE : TSL_OK));
    for (size_t i = 0; i < size_t(triangles) * 3; ++i) {
        Check(wide[i] < table.num_vertices);
        // A corner and the corner its unique vertex stands for lie at one position.
        const uint32_t a = mesh.corner_vertices[table.corner_of_vertex[wide[i]]], b = mesh.corner_vertices[corners[i]];
        for (int k = 0; k < 3; ++k) Check(mesh.positions[3 * a + k] == mesh.positions[3 * b + k]);
    }
    tsl_free_vertex_table(&table, nullptr);

    tsl_skin_fit fit;
    tsl_loss_report loss;
    Check(tsl_fit_skin(&rig, &mesh, 4, 8, nullptr, &fit, &loss) == TSL_OK);
    uint32_t unweighted = 0;
    for (uint32_t v = 0; v < mesh.num_vertices; ++v) {
        uint32_t sum = 0;
        for (uint32_t s = 0; s < 4; ++s) {
            sum += fit.weights[v * 4 + s];
            if (s) Check(fit.weights[v * 4 + s] <= fit.weights[v * 4 + s - 1]);
            Check(fit.bones[v * 4 + s] < rig.num_bones || fit.weights[v * 4 + s] == 0);
        }
        Check(sum == 255 || sum == 0);
        unweighted += sum == 0;
    }
    Check(unweighted == loss.vertices_unweighted && loss.vertices_touched <= loss.vertices);
    tsl_split split;
    const tsl_result splitResult = tsl_split_by_bones(&mesh, &fit, 12, nullptr, &split);
    Check(splitResult == TSL_OK);
    uint32_t covered = 0;
    for (uint32_t p = 0; p < split.num_parts; ++p) {
        Check(split.parts[p].first_triangle == covered && split.parts[p].num_bones <= 12);
        covered += split.parts[p].num_triangles;
    }
    Check(covered == triangles);
    tsl_free_split(&split, nullptr);
    tsl_free_skin_fit(&fit, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tsl_rig rig;
    const tsl_result read = tsl_parse(data, size, nullptr, &rig);
    if (read != TSL_OK) {
        Check(rig.error.type == read && rig.num_bones == 0 && rig.num_meshes == 0);
        Check(rig.error.offset <= int64_t(size));
        Check((rig.error.offset < 0) == (rig.error.line == 0));
        tsl_free(&rig);
        return 0;
    }
    bool tooLarge = false;
    for (uint32_t i = 0; i < rig.num_warnings; ++i) tooLarge = tooLarge || rig.warnings[i].type == TSL_WARN_NOT_FINITE;
    const tsl_result valid = tsl_validate(&rig);
    Check(valid == TSL_OK || (tooLarge && valid == TSL_ERROR_NOT_FINITE));
    if (valid == TSL_OK) {
        for (uint32_t m = 0; m < rig.num_meshes; ++m) UseMesh(rig, rig.meshes[m]);
        tsl_to_y_up(&rig);
        Check(tsl_validate(&rig) == TSL_OK);
    }
    tsl_free(&rig);
    return 0;
}
