// The engine helpers on hand-made meshes: fan triangulation, unique vertices and their
// indices, skins fitted to influence and weight limits with exact quantised sums, the
// loss report, and the split by a bone budget.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tsl.h"

namespace {

// A rig read from text, freed at the end of the test.
class Rig {
public:
    explicit Rig(const std::string& text) {
        m_result = tsl_parse(text.data(), text.size(), nullptr, &m_rig);
        if (m_result == TSL_OK) m_result = tsl_validate(&m_rig);
    }
    ~Rig() { tsl_free(&m_rig); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;
    tsl_result Result() const { return m_result; }
    const tsl_rig& Get() const { return m_rig; }
    const tsl_mesh& Mesh(uint32_t m = 0) const { return m_rig.meshes[m]; }

private:
    tsl_rig m_rig;
    tsl_result m_result;
};

// Bones at the origin, unturned (identity bind matrices).
std::string Bones(int count) {
    std::string text = "numBones " + std::to_string(count);
    for (int b = 0; b < count; ++b)
        text += " bone " + std::to_string(b) + " { name \"b" + std::to_string(b) +
                "\" invBaseMatrix 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 }";
    return text + " ";
}

TEST(EngineHelpers, PolygonsBecomeFansFromTheirFirstCornerInOrder) {
    Rig rig(
        "numMeshes 1 mesh 0 { vertices { 0 0 0 1 0 0 2 1 0 1 2 0 0 1 0 5 5 5 6 5 5 } "
        "polygonVertexCounts { 5 3 } polygonVertexIndices { 0 1 2 3 4 5 6 0 } }");
    ASSERT_EQ(rig.Result(), TSL_OK);
    ASSERT_EQ(tsl_triangle_count(&rig.Mesh()), 4u);
    std::vector<uint32_t> corners(12), polygons(4);
    tsl_triangulate(&rig.Mesh(), corners.data(), polygons.data());
    EXPECT_EQ(corners, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4, 5, 6, 7}));
    EXPECT_EQ(polygons, (std::vector<uint32_t>{0, 0, 0, 1}));
}

// Two triangles over a shared edge (vertices 1 and 2), with what the corners carry.
uint32_t UniqueCount(const std::string& extra, std::vector<uint32_t>* indices = nullptr) {
    Rig rig(Bones(2) +
            "numMeshes 1 mesh 0 { vertices { 0 0 0 1 0 0 0 1 0 1 1 0 1 0 0 } "
            "polygonVertexCounts { 3 3 } polygonVertexIndices { 0 1 2 2 1 3 } " +
            extra + " }");
    EXPECT_EQ(rig.Result(), TSL_OK) << extra;
    tsl_vertex_table table;
    EXPECT_EQ(tsl_unique_vertices(&rig.Mesh(), nullptr, &table), TSL_OK);
    if (indices) {
        indices->assign(6, 0);
        EXPECT_EQ(tsl_triangle_indices(&rig.Mesh(), &table, indices->data(), 4), TSL_OK);
    }
    const uint32_t count = table.num_vertices;
    tsl_free_vertex_table(&table, nullptr);
    return count;
}

TEST(EngineHelpers, CornersAreOneVertexWhenPositionWeightsNormalAndUVsAgree) {
    std::vector<uint32_t> indices;
    EXPECT_EQ(UniqueCount("", &indices), 4u);
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
    // One normal for all corners, then one per triangle: the shared corners split.
    EXPECT_EQ(UniqueCount("normals { 0 0 1 0 0 -1 } polygonNormalIndices { 0 0 0 0 0 0 }"), 4u);
    EXPECT_EQ(UniqueCount("normals { 0 0 1 0 0 -1 } polygonNormalIndices { 0 0 0 1 1 1 }"), 6u);
    // A -0 normal is the same normal as 0.
    EXPECT_EQ(UniqueCount("normals { 0 0 1 -0 -0 1 } polygonNormalIndices { 0 0 0 1 1 1 }"), 4u);
    // UVs: the second triangle's corner 1 gets another UV.
    EXPECT_EQ(UniqueCount("textureCoordinates { set 0 { 0 0 1 1 } } polygonTexCoordIndices { set 0 { 0 0 0 0 1 0 } }"),
              5u);
    // Vertex 4 lies where vertex 1 does: one vertex when their weights agree, two when not.
    EXPECT_EQ(UniqueCount("vertexWeightCounts { 1 1 1 1 1 } weights { 0 1 1 1 0 1 0 1 1 1 }"), 4u);
    for (const char* last : {"1 1", "0 1"}) {
        Rig r(Bones(2) +
              "numMeshes 1 mesh 0 { vertices { 0 0 0 1 0 0 0 1 0 1 1 0 1 0 0 } polygonVertexCounts { 3 3 } "
              "polygonVertexIndices { 0 1 2 2 4 3 } vertexWeightCounts { 1 1 1 1 1 } weights { 0 1 1 1 0 1 0 1 " +
              std::string(last) + " } }");
        ASSERT_EQ(r.Result(), TSL_OK);
        tsl_vertex_table table;
        ASSERT_EQ(tsl_unique_vertices(&r.Mesh(), nullptr, &table), TSL_OK);
        EXPECT_EQ(table.num_vertices, std::string(last) == "1 1" ? 4u : 5u) << last;
        tsl_free_vertex_table(&table, nullptr);
    }
}

TEST(EngineHelpers, SixteenBitIndicesRefuseMoreThan65536VerticesAndWriteNothing) {
    // A mesh of separate triangles, every corner a vertex of its own, built by hand.
    for (uint32_t vertices : {65535u, 65538u}) {
        std::vector<float> positions(size_t(vertices) * 3);
        std::vector<uint32_t> sizes(vertices / 3, 3), starts(vertices / 3 + 1), corners(vertices);
        for (uint32_t v = 0; v < vertices; ++v) {
            positions[3 * v] = float(v);
            corners[v] = v;
        }
        for (uint32_t p = 0; p <= vertices / 3; ++p) starts[p] = 3 * p;
        tsl_mesh mesh{};
        mesh.name = "many";
        mesh.num_vertices = vertices;
        mesh.positions = positions.data();
        mesh.num_polygons = vertices / 3;
        mesh.polygon_sizes = sizes.data();
        mesh.polygon_starts = starts.data();
        mesh.num_corners = vertices;
        mesh.corner_vertices = corners.data();
        tsl_vertex_table table;
        ASSERT_EQ(tsl_unique_vertices(&mesh, nullptr, &table), TSL_OK);
        ASSERT_EQ(table.num_vertices, vertices);
        std::vector<uint16_t> narrow(vertices, 7);
        std::vector<uint32_t> wide(vertices);
        EXPECT_EQ(tsl_triangle_indices(&mesh, &table, wide.data(), 4), TSL_OK);
        EXPECT_EQ(wide.back(), vertices - 1);
        if (vertices > 65536) {
            EXPECT_EQ(tsl_triangle_indices(&mesh, &table, narrow.data(), 2), TSL_ERROR_INDEX_TOO_LARGE);
            EXPECT_EQ(narrow[0], 7);
        } else {
            EXPECT_EQ(tsl_triangle_indices(&mesh, &table, narrow.data(), 2), TSL_OK);
            EXPECT_EQ(narrow.back(), uint16_t(vertices - 1));
        }
        tsl_free_vertex_table(&table, nullptr);
    }
}

// One vertex per weight list, all at (1, 0, 0) on bones at the origin.
std::string OneVertexEach(const std::vector<std::vector<std::pair<int, float>>>& lists, int bones) {
    std::string vertices, counts, weights, corners;
    for (size_t v = 0; v < lists.size(); ++v) {
        vertices += "1 0 0 ";
        counts += std::to_string(lists[v].size()) + " ";
        for (const auto& [bone, weight] : lists[v])
            weights += std::to_string(bone) + " " + std::to_string(weight) + " ";
    }
    return Bones(bones) + "numMeshes 1 mesh 0 { vertices { " + vertices + "} vertexWeightCounts { " + counts +
           "} weights { " + weights + "} }";
}

TEST(EngineHelpers, FittedWeightsAreSortedAndAddUpToExactlyTheirScale) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, float>> weights;
        uint32_t bits;
        std::vector<uint16_t> bones, quantised;  // 4 slots
    };
    const std::vector<Case> cases = {
        {"thirds", {{2, 1.0f / 3}, {0, 1.0f / 3}, {1, 1.0f / 3}}, 8, {0, 1, 2, 0}, {85, 85, 85, 0}},
        {"thirds, 16 bits", {{2, 1.0f / 3}, {0, 1.0f / 3}, {1, 1.0f / 3}}, 16, {0, 1, 2, 0}, {21845, 21845, 21845, 0}},
        {"remainders to the largest fractions",
         {{3, 0.125f}, {1, 0.5f}, {2, 0.125f}, {0, 0.25f}},
         8,
         {1, 0, 2, 3},
         {127, 64, 32, 32}},
        {"a fifth influence dropped, the rest rescaled",
         {{4, 0.0625f}, {0, 0.5f}, {1, 0.25f}, {2, 0.125f}, {3, 0.0625f}},
         8,
         {0, 1, 2, 3},
         {136, 68, 34, 17}},
        {"weights that add up to a half", {{1, 0.25f}, {0, 0.25f}}, 8, {0, 1, 0, 0}, {128, 127, 0, 0}},
        {"a negative weight is dropped", {{1, -0.5f}, {0, 1.0f}}, 8, {0, 0, 0, 0}, {255, 0, 0, 0}},
        {"a single influence", {{3, 0.9f}}, 16, {3, 0, 0, 0}, {65535, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Rig rig(OneVertexEach({c.weights}, 5));
        ASSERT_EQ(rig.Result(), TSL_OK) << c.name;
        tsl_skin_fit fit;
        tsl_loss_report loss;
        ASSERT_EQ(tsl_fit_skin(&rig.Get(), &rig.Mesh(), 4, c.bits, nullptr, &fit, &loss), TSL_OK) << c.name;
        EXPECT_EQ(std::vector<uint16_t>(fit.bones, fit.bones + 4), c.bones) << c.name;
        EXPECT_EQ(std::vector<uint16_t>(fit.weights, fit.weights + 4), c.quantised) << c.name;
        tsl_free_skin_fit(&fit, nullptr);
    }
}

TEST(EngineHelpers, RandomSkinsFitToExactSumsWithinOneStepOfTheirShare) {
    std::mt19937 random(11);
    for (uint32_t bits : {8u, 16u}) {
        const double scale = bits == 8 ? 255.0 : 65535.0;
        for (uint32_t influences = 1; influences <= 8; ++influences) {
            std::vector<std::vector<std::pair<int, float>>> lists(40);
            for (auto& list : lists) {
                const int count = std::uniform_int_distribution<int>(1, 10)(random);
                for (int k = 0; k < count; ++k)
                    list.push_back({k, float(std::uniform_int_distribution<int>(1, 10000)(random)) / 10000.0f});
            }
            Rig rig(OneVertexEach(lists, 10));
            ASSERT_EQ(rig.Result(), TSL_OK);
            tsl_skin_fit fit;
            tsl_loss_report loss;
            ASSERT_EQ(tsl_fit_skin(&rig.Get(), &rig.Mesh(), influences, bits, nullptr, &fit, &loss), TSL_OK);
            for (uint32_t v = 0; v < lists.size(); ++v) {
                // The kept weights as read (the file holds six decimals here), largest first.
                std::vector<float> kept;
                const tsl_mesh& mesh = rig.Mesh();
                for (uint32_t w = mesh.weight_offsets[v]; w < mesh.weight_offsets[v + 1]; ++w)
                    kept.push_back(mesh.weights[w].weight);
                std::sort(kept.rbegin(), kept.rend());
                kept.resize(std::min<size_t>(kept.size(), influences));
                double sum = 0;
                for (float w : kept) sum += w;
                uint32_t total = 0;
                for (uint32_t s = 0; s < influences; ++s) {
                    const uint16_t q = fit.weights[v * influences + s];
                    total += q;
                    if (s) {
                        EXPECT_LE(q, fit.weights[v * influences + s - 1]);
                    }
                    if (s < kept.size())
                        EXPECT_LT(std::fabs(q - kept[s] / sum * scale), 1.0) << v << " " << s;
                    else
                        EXPECT_EQ(q, 0);
                }
                EXPECT_EQ(total, uint32_t(scale))
                    << "vertex " << v << ", " << influences << " influences, " << bits << " bits";
            }
            tsl_free_skin_fit(&fit, nullptr);
        }
    }
}

TEST(EngineHelpers, TheLossReportCountsWhatWasDroppedAndHowFarVerticesMove) {
    // Vertex 0: halves on bones 0 and 1, one influence kept. Vertex 1: all on bone 1.
    // Vertex 2: no weight. Vertex 3: a weight of a half on bone 2, which the fit makes 1.
    Rig rig(OneVertexEach({{{0, 0.5f}, {1, 0.5f}}, {{1, 1.0f}}, {}, {{2, 0.5f}}}, 3));
    ASSERT_EQ(rig.Result(), TSL_OK);
    tsl_skin_fit fit;
    tsl_loss_report loss;
    ASSERT_EQ(tsl_fit_skin(&rig.Get(), &rig.Mesh(), 1, 8, nullptr, &fit, &loss), TSL_OK);
    EXPECT_EQ(loss.vertices, 4u);
    EXPECT_EQ(loss.vertices_touched, 2u);
    EXPECT_EQ(loss.vertices_unweighted, 1u);
    EXPECT_EQ(loss.influences_dropped, 1u);
    EXPECT_FLOAT_EQ(loss.largest_weight_dropped, 0.5f);
    // At bind pose vertex 3 moves from half its position to all of it.
    EXPECT_NEAR(loss.largest_bind_change, 0.5, 1e-6);
    // The test pose turns bone 0 about X, which leaves (1, 0, 0) where it is, and bone 1
    // half a radian about Y: vertex 0 loses half of a chord of 2 sin(0.25). Bone 2 turns
    // about Z and takes vertex 3 along, half of it before the fit and all after.
    const double chord = 2.0 * std::sin(0.25);
    EXPECT_NEAR(loss.largest_pose_change, std::max(0.5 * chord, 0.5), 1e-6);
    EXPECT_EQ(loss.worst_pose_vertex, 3);
    EXPECT_EQ(fit.bones[0], 0);
    EXPECT_EQ(fit.weights[0], 255);
    tsl_free_skin_fit(&fit, nullptr);

    // The same skin kept whole: only quantisation, nothing touched, nothing moves.
    ASSERT_EQ(tsl_fit_skin(&rig.Get(), &rig.Mesh(), 2, 16, nullptr, &fit, &loss), TSL_OK);
    EXPECT_EQ(loss.influences_dropped, 0u);
    EXPECT_EQ(loss.largest_weight_dropped, 0.0f);
    EXPECT_EQ(loss.vertices_touched, 1u);  // vertex 3, rescaled
    tsl_free_skin_fit(&fit, nullptr);
}

TEST(EngineHelpers, SplitsKeepEveryPartWithinTheBoneBudget) {
    // Three triangles on bones {0, 1}, {2, 3} and {0, 4}, a vertex of its own per corner.
    const int bones[9] = {0, 1, 1, 2, 3, 3, 0, 4, 4};
    std::string vertices, counts, weights;
    for (int v = 0; v < 9; ++v) {
        vertices += std::to_string(v) + " 0 0 ";
        counts += "1 ";
        weights += std::to_string(bones[v]) + " 1 ";
    }
    Rig rig(Bones(5) + "numMeshes 1 mesh 0 { vertices { " + vertices +
            "} polygonVertexCounts { 3 3 3 } "
            "polygonVertexIndices { 0 1 2 3 4 5 6 7 8 } vertexWeightCounts { " +
            counts + "} weights { " + weights + "} }");
    ASSERT_EQ(rig.Result(), TSL_OK);
    tsl_skin_fit fit;
    tsl_loss_report loss;
    ASSERT_EQ(tsl_fit_skin(&rig.Get(), &rig.Mesh(), 4, 8, nullptr, &fit, &loss), TSL_OK);
    struct Expected {
        uint32_t budget;
        std::vector<std::vector<uint16_t>> palettes;
        std::vector<uint32_t> triangles;
    };
    for (const Expected& e : {Expected{3, {{0, 1}, {2, 3}, {0, 4}}, {1, 1, 1}},
                              Expected{4, {{0, 1, 2, 3}, {0, 4}}, {2, 1}}, Expected{5, {{0, 1, 2, 3, 4}}, {3}}}) {
        tsl_split split;
        ASSERT_EQ(tsl_split_by_bones(&rig.Mesh(), &fit, e.budget, nullptr, &split), TSL_OK);
        ASSERT_EQ(split.num_parts, e.palettes.size()) << e.budget;
        uint32_t first = 0;
        for (uint32_t p = 0; p < split.num_parts; ++p) {
            EXPECT_EQ(std::vector<uint16_t>(split.parts[p].bones, split.parts[p].bones + split.parts[p].num_bones),
                      e.palettes[p])
                << e.budget;
            EXPECT_EQ(split.parts[p].first_triangle, first);
            EXPECT_EQ(split.parts[p].num_triangles, e.triangles[p]);
            first += split.parts[p].num_triangles;
        }
        tsl_free_split(&split, nullptr);
    }
    tsl_split split;
    EXPECT_EQ(tsl_split_by_bones(&rig.Mesh(), &fit, 1, nullptr, &split), TSL_ERROR_BONE_BUDGET);
    EXPECT_EQ(split.num_parts, 0u);
    tsl_free_skin_fit(&fit, nullptr);
}

}  // namespace

// Fitted bone indices are 16-bit: a rig built in memory with more bones than that is
// refused, not written with indices that wrap around to other bones.
TEST(SkinFit, MoreBonesThan16BitIndicesHoldIsRefused) {
    std::vector<tsl_bone> bones(65537);
    float position[3] = {0, 0, 0};
    uint32_t offsets[2] = {0, 1};
    tsl_weight weight = {65536, 1.0f};
    tsl_rig rig{};
    rig.num_bones = uint32_t(bones.size());
    rig.bones = bones.data();
    tsl_mesh mesh{};
    mesh.num_vertices = 1;
    mesh.positions = position;
    mesh.skinned = 1;
    mesh.weight_offsets = offsets;
    mesh.num_weights = 1;
    mesh.weights = &weight;
    tsl_skin_fit fit;
    tsl_loss_report loss;
    EXPECT_EQ(tsl_fit_skin(&rig, &mesh, 4, 16, nullptr, &fit, &loss), TSL_ERROR_INDEX_TOO_LARGE);
    rig.num_bones = 65536;
    weight.bone = 65535;
    ASSERT_EQ(tsl_fit_skin(&rig, &mesh, 4, 16, nullptr, &fit, &loss), TSL_OK);
    EXPECT_EQ(fit.bones[0], 65535);
    tsl_free_skin_fit(&fit, nullptr);
}
