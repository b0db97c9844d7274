// Writing the stand-in scene through Assimp's exporters: joints as a node hierarchy,
// every mesh split by material into Assimp meshes with one vertex per corner (position,
// normal, every UV set), in world space; a skinned mesh in its bind pose with one bone
// per influence, whose offset matrix is the influence's bindPreMatrix.

#include <assimp/scene.h>
#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFloatVectorArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnMatrixData.h>
#include <maya/MFnMesh.h>
#include <maya/MFnSet.h>
#include <maya/MFnSkinCluster.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MObjectArray.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MSelectionList.h>
#include <maya/MStringArray.h>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "AssimpScene.h"
#include "ExportFit.h"
#include "ExportFormats.h"
#include "FbxBinary.h"
#include "GltfNodes.h"
#include "Platform/TemporaryFiles.h"
#include "ReplacingFiles.h"
#include "SceneQueries.h"
#include "Session.h"

namespace tessaline {

namespace {

// Host row-vector matrices to Assimp's column-vector ones.
aiMatrix4x4 ToAssimp(const MMatrix& m) {
    return aiMatrix4x4(float(m(0, 0)), float(m(1, 0)), float(m(2, 0)), float(m(3, 0)), float(m(0, 1)), float(m(1, 1)),
                       float(m(2, 1)), float(m(3, 1)), float(m(0, 2)), float(m(1, 2)), float(m(2, 2)), float(m(3, 2)),
                       float(m(0, 3)), float(m(1, 3)), float(m(2, 3)), float(m(3, 3)));
}

// One influence of a skin cluster: its joint, its bindPreMatrix and per-vertex weights.
struct Influence {
    std::string joint;
    MMatrix bindPre;
    std::map<int, float> weights;
};

std::vector<Influence> Influences(const MObject& cluster, const MDagPath& path) {
    std::vector<Influence> out;
    MFnSkinCluster skin(cluster);
    MDagPathArray paths;
    const unsigned int count = skin.influenceObjects(paths);
    for (unsigned int i = 0; i < count; ++i)
        out.push_back(Influence{NameOf(paths[i].node()), BindPreMatrixOf(cluster, paths[i].node()), {}});
    ForEachWeight(cluster, path, [&](int vertex, unsigned int influence, double weight) {
        if (influence < out.size()) out[influence].weights[vertex] = float(weight);
    });
    return out;
}

class SceneWriter {
public:
    SceneWriter() {
        m_scene.mRootNode = new aiNode("scene");
        m_scene.mFlags = 0;
        // Some exporters (pbrt) read the scene's metadata without asking whether there is any.
        m_scene.mMetaData = new aiMetadata();
    }

    // Every mesh, or only those selected as the rig exporter takes them: a mesh whose
    // transform or any node above it is in the active selection (a group selects every
    // mesh below it). Joints are always all written.
    void Collect(bool selectedOnly) {
        MSelectionList selection;
        if (selectedOnly) MGlobal::getActiveSelectionList(selection);
        for (MItDependencyNodes meshes(MFn::kMesh); !meshes.isDone(); meshes.next())
            if (!MFnDagNode(meshes.item()).isIntermediateObject() &&
                (!selectedOnly || Selected(meshes.item(), selection)))
                AddMesh(meshes.item());
        AddJoints();
        Finish();
    }

    const aiScene& Scene() const { return m_scene; }
    aiScene& Scene() { return m_scene; }
    const SceneHolds& Holds() const { return m_holds; }

private:
    static bool Selected(const MObject& shape, const MSelectionList& selection) {
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        for (; path.length() > 0; path.pop())
            if (selection.hasItem(path.node())) return true;
        return false;
    }

    void NoteUVSets(int sets) {
        if (sets == 0) return;
        ++m_holds.meshesWithUVs;
        m_holds.uvSets += sets;
        if (sets > 1) ++m_holds.meshesWithManyUVSets, m_holds.extraUVSets += sets - 1;
    }

    unsigned int Material(const std::string& name) {
        auto found = m_materials.find(name);
        if (found != m_materials.end()) return found->second;
        const unsigned int index = unsigned(m_materialList.size());
        auto material = std::make_unique<aiMaterial>();
        aiString text(name);
        material->AddProperty(&text, AI_MATKEY_NAME);
        m_materialList.push_back(std::move(material));
        m_materials[name] = index;
        return index;
    }

    void AddMesh(const MObject& shape) {
        MDagPath path;
        MFnDagNode(shape).getPath(path);
        MFnMesh mesh(path);
        const std::string name = NameOf(path.transform());

        // Geometry: the bind pose for a skinned mesh (the skin cluster's input), else the
        // mesh as it stands, both taken to world space with the mesh's matrix.
        const MObject cluster = SkinClusterOf(shape);
        MFnMesh geometry(BindPoseGeometry(cluster, shape));
        const MMatrix world = path.inclusiveMatrix();
        MFloatPointArray points;
        geometry.getPoints(points, MSpace::kObject);
        MFloatVectorArray normals;
        mesh.getNormals(normals, MSpace::kWorld);
        // UV sets that hold coordinates: an empty set (the host's first one, on a mesh that
        // has none) is not written as a channel of zeros.
        MStringArray allSets, sets;
        mesh.getUVSetNames(allSets);
        std::vector<MFloatArray> us, vs;
        for (unsigned int s = 0; s < allSets.length(); ++s) {
            MFloatArray u, v;
            mesh.getUVs(u, v, &allSets[s]);
            if (u.length() == 0) continue;
            sets.append(allSets[s]);
            us.push_back(u);
            vs.push_back(v);
        }
        NoteUVSets(int(sets.length()));

        MObjectArray groups;
        MIntArray groupOfFace;
        mesh.getConnectedShaders(path.instanceNumber(), groups, groupOfFace);
        std::vector<unsigned int> materialOfGroup;
        for (unsigned int g = 0; g < groups.length(); ++g) {
            MPlugArray sources;
            MFnSet(groups[g]).findPlug("surfaceShader").connectedTo(sources, true, false);
            materialOfGroup.push_back(Material(sources.length() ? NameOf(sources[0].node()) : NameOf(groups[g])));
        }
        std::vector<Influence> influences;
        if (!cluster.isNull()) influences = Influences(cluster, path);
        if (!influences.empty()) ++m_holds.skinnedMeshes;

        // One Assimp mesh per material, one vertex per corner.
        std::map<unsigned int, std::vector<int>> facesOfMaterial;
        for (int f = 0; f < mesh.numPolygons(); ++f) {
            const int group = f < int(groupOfFace.length()) ? groupOfFace[unsigned(f)] : -1;
            facesOfMaterial[group >= 0 ? materialOfGroup[unsigned(group)] : Material("default")].push_back(f);
        }
        for (auto& [material, faces] : facesOfMaterial) {
            auto out = std::make_unique<aiMesh>();
            out->mName = aiString(name);
            out->mMaterialIndex = material;
            // Each face's kind, as Assimp's own steps expect: its triangulation asserts on
            // a mesh that says it has polygons but holds only triangles.
            out->mPrimitiveTypes = 0;
            std::vector<aiVector3D> positions, directions;
            std::vector<std::vector<aiVector3D>> uvs(sets.length());
            std::vector<int> sourceVertex;
            out->mNumFaces = unsigned(faces.size());
            out->mFaces = new aiFace[faces.size()];
            for (size_t i = 0; i < faces.size(); ++i) {
                MIntArray corners, normalIds;
                mesh.getPolygonVertices(faces[i], corners);
                mesh.getFaceNormalIds(faces[i], normalIds);
                aiFace& face = out->mFaces[i];
                face.mNumIndices = corners.length();
                out->mPrimitiveTypes |= corners.length() == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
                face.mIndices = new unsigned int[corners.length()];
                for (unsigned int k = 0; k < corners.length(); ++k) {
                    face.mIndices[k] = unsigned(positions.size());
                    MFloatPoint p = points[unsigned(corners[k])];
                    const MMatrix& m = world;
                    positions.emplace_back(float(p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0)),
                                           float(p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1)),
                                           float(p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2)));
                    const MFloatVector& n = normals[unsigned(normalIds[k])];
                    directions.emplace_back(n.x, n.y, n.z);
                    for (unsigned int s = 0; s < sets.length(); ++s) {
                        int id = 0;
                        const bool mapped = mesh.getPolygonUVid(faces[i], int(k), id, &sets[s]);
                        uvs[s].emplace_back(mapped ? us[s][unsigned(id)] : 0.0f, mapped ? vs[s][unsigned(id)] : 0.0f,
                                            0.0f);
                    }
                    sourceVertex.push_back(corners[k]);
                }
            }
            out->mNumVertices = unsigned(positions.size());
            out->mVertices = new aiVector3D[positions.size()];
            out->mNormals = new aiVector3D[positions.size()];
            std::copy(positions.begin(), positions.end(), out->mVertices);
            std::copy(directions.begin(), directions.end(), out->mNormals);
            for (unsigned int s = 0; s < sets.length() && s < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++s) {
                out->mTextureCoords[s] = new aiVector3D[positions.size()];
                out->mNumUVComponents[s] = 2;
                std::copy(uvs[s].begin(), uvs[s].end(), out->mTextureCoords[s]);
            }
            AddBones(*out, influences, sourceVertex, world);
            m_meshes.push_back(std::move(out));
            if (m_meshNodes.empty() || m_meshNodes.back().first != name)
                m_meshNodes.emplace_back(name, std::vector<unsigned>());
            m_meshNodes.back().second.push_back(unsigned(m_meshes.size() - 1));
        }
    }

    // Vertices are in world space, so a bone's offset is its bindPreMatrix.
    static void AddBones(aiMesh& out, const std::vector<Influence>& influences, const std::vector<int>& sourceVertex,
                         const MMatrix&) {
        std::vector<aiBone*> bones;
        for (const Influence& influence : influences) {
            std::vector<aiVertexWeight> weights;
            for (size_t v = 0; v < sourceVertex.size(); ++v) {
                auto found = influence.weights.find(sourceVertex[v]);
                if (found != influence.weights.end()) weights.emplace_back(unsigned(v), found->second);
            }
            if (weights.empty()) continue;
            aiBone* bone = new aiBone();
            bone->mName = aiString(influence.joint);
            bone->mOffsetMatrix = ToAssimp(influence.bindPre);
            bone->mNumWeights = unsigned(weights.size());
            bone->mWeights = new aiVertexWeight[weights.size()];
            std::copy(weights.begin(), weights.end(), bone->mWeights);
            bones.push_back(bone);
        }
        if (bones.empty()) return;
        out.mNumBones = unsigned(bones.size());
        out.mBones = new aiBone*[bones.size()];
        std::copy(bones.begin(), bones.end(), out.mBones);
    }

    // Joints keep their hierarchy; a joint whose parent is no joint hangs under the root
    // with its world matrix.
    void AddJoints() {
        std::map<std::string, aiNode*> nodes;
        std::vector<std::pair<MObject, aiNode*>> pending;
        for (MItDependencyNodes joints(MFn::kJoint); !joints.isDone(); joints.next()) {
            ++m_holds.joints;
            aiNode* node = new aiNode(NameOf(joints.item()));
            nodes[node->mName.C_Str()] = node;
            pending.emplace_back(joints.item(), node);
        }
        std::map<aiNode*, std::vector<aiNode*>> children;
        for (auto& [joint, node] : pending) {
            MFnDagNode dag(joint);
            MDagPath path;
            dag.getPath(path);
            const MObject parent = dag.parent(0);
            const bool parentIsJoint = parent.apiType() == MFn::kJoint && nodes.count(NameOf(parent));
            if (parentIsJoint) {
                node->mTransformation = ToAssimp(dag.transformationMatrix());
                children[nodes[NameOf(parent)]].push_back(node);
            } else {
                node->mTransformation = ToAssimp(path.inclusiveMatrix());
                children[m_scene.mRootNode].push_back(node);
            }
        }
        // One node per host mesh, holding its parts of every material: nodes of one name
        // would be one id twice in formats that name nodes by id.
        for (const auto& [name, parts] : m_meshNodes) {
            aiNode* node = new aiNode(name);
            node->mNumMeshes = unsigned(parts.size());
            node->mMeshes = new unsigned int[parts.size()];
            std::copy(parts.begin(), parts.end(), node->mMeshes);
            children[m_scene.mRootNode].push_back(node);
        }
        // The root's name must not be a joint's or a mesh's, which exporters would confuse.
        std::string rootName = "scene";
        auto taken = [&](const std::string& candidate) {
            if (nodes.count(candidate)) return true;
            for (const auto& mesh : m_meshNodes)
                if (mesh.first == candidate) return true;
            return false;
        };
        while (taken(rootName)) rootName += "_";
        m_scene.mRootNode->mName = aiString(rootName);
        for (auto& [parent, list] : children) {
            parent->mNumChildren = unsigned(list.size());
            parent->mChildren = new aiNode*[list.size()];
            for (size_t i = 0; i < list.size(); ++i) {
                list[i]->mParent = parent;
                parent->mChildren[i] = list[i];
            }
        }
    }

    void Finish() {
        m_holds.materials = int(m_materialList.size() - m_materials.count("default"));
        if (m_materialList.empty()) Material("default");
        m_scene.mNumMaterials = unsigned(m_materialList.size());
        m_scene.mMaterials = new aiMaterial*[m_materialList.size()];
        for (size_t i = 0; i < m_materialList.size(); ++i) m_scene.mMaterials[i] = m_materialList[i].release();
        m_scene.mNumMeshes = unsigned(m_meshes.size());
        m_scene.mMeshes = new aiMesh*[m_meshes.size()];
        for (size_t i = 0; i < m_meshes.size(); ++i) m_scene.mMeshes[i] = m_meshes[i].release();
    }

    aiScene m_scene;
    SceneHolds m_holds;
    std::map<std::string, unsigned int> m_materials;
    std::vector<std::unique_ptr<aiMaterial>> m_materialList;
    std::vector<std::unique_ptr<aiMesh>> m_meshes;
    std::vector<std::pair<std::string, std::vector<unsigned>>> m_meshNodes;  // node name, its meshes
};

// A file an exporter writes: a temporary file beside the target whose every write is
// checked (some exporters do not look at what their writes return).
class CheckedStream : public Assimp::IOStream {
public:
    CheckedStream(FILE* file, ReplacingFiles& files) : m_file(file), m_files(files) {}
    ~CheckedStream() override { m_files.Close(m_file); }

    size_t Read(void*, size_t, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t size, size_t count) override {
        const size_t written = size && count ? fwrite(buffer, size, count, m_file) : 0;
        if (written != count) m_files.WriteFailed(m_file);
        return written;
    }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const int whence = origin == aiOrigin_SET ? SEEK_SET : origin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
        return fseek(m_file, long(offset), whence) == 0 ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override { return size_t(ftell(m_file)); }
    size_t FileSize() const override {
        const long position = ftell(m_file);
        fseek(m_file, 0, SEEK_END);
        const long size = ftell(m_file);
        fseek(m_file, position, SEEK_SET);
        return size < 0 ? 0 : size_t(size);
    }
    void Flush() override {
        if (fflush(m_file) != 0) m_files.WriteFailed(m_file);
    }

private:
    FILE* m_file;
    ReplacingFiles& m_files;
};

// A private folder beside the target, where the exporter is told to write: some
// exporters (3MF) write their file themselves instead of through the IO system, and must
// not write over the target. Removed with whatever is left in it.
class ExportFolder {
public:
    explicit ExportFolder(const std::string& target) {
        // The target's folder as its path spells it ("" for a bare name), so that the
        // files mapped back name their targets exactly as the caller does.
        const size_t slash = target.rfind('/');
        m_targetPrefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        std::string pattern = (m_targetPrefix.empty() ? "./" : m_targetPrefix) + ".tessaline-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
        if (!m_path.empty()) m_registration = brix::platform::RegisterTemporaryFile(m_path.c_str(), true);
    }
    ~ExportFolder() {
        if (m_path.empty()) return;
        if (DIR* folder = opendir(m_path.c_str())) {
            while (const dirent* entry = readdir(folder))
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                    remove((m_path + "/" + entry->d_name).c_str());
            closedir(folder);
        }
        rmdir(m_path.c_str());
        brix::platform::ForgetTemporaryFile(m_registration);
    }
    bool Made() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    // Where a file the exporter names inside the folder really goes.
    std::string Target(const std::string& path) const {
        if (path.compare(0, m_path.size() + 1, m_path + "/") != 0) return path;
        return m_targetPrefix + path.substr(m_path.size() + 1);
    }
    // The files written in the folder, by name.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        if (DIR* folder = opendir(m_path.c_str())) {
            while (const dirent* entry = readdir(folder))
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
            closedir(folder);
        }
        return names;
    }

private:
    std::string m_targetPrefix, m_path;
    int m_registration = -1;  // the folder, emptied and removed on an interrupting signal
};

// Hands the exporter checked temporary files in place of the files it names, so that
// side files (materials, buffers) that a format writes beside the scene are replaced
// together with it, and only when all of them were written completely.
class ReplacingIOSystem : public Assimp::IOSystem {
public:
    ReplacingIOSystem(ReplacingFiles& files, const ExportFolder& folder) : m_files(files), m_folder(folder) {}

    // Asked of the folder itself, where nothing is in the way of the exporter.
    bool Exists(const char* path) const override { return access(path, F_OK) == 0; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        if (!strchr(mode, 'w') && !strchr(mode, 'a')) return nullptr;  // exporters only write
        FILE* file = m_files.Open(m_folder.Target(path));
        return file ? new CheckedStream(file, m_files) : nullptr;
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }

private:
    ReplacingFiles& m_files;
    const ExportFolder& m_folder;
};

// Reads the file written for target, lets mend change its bytes and writes them back;
// false with the reason when any step fails.
template <typename Mend>
bool MendWritten(ReplacingFiles& files, const std::string& target, Mend mend, std::string& error) {
    files.CloseAll();
    const std::string temporary = files.TemporaryOf(target);
    std::string bytes;
    if (!ReadWholeFile(temporary, bytes)) return error = "Can't read back \"" + temporary + "\".", false;
    std::string reason;
    if (!mend(bytes, reason)) return error = "Can't write file \"" + target + "\": " + reason + ".", false;
    // Written back and synced, as the first writing was.
    FILE* out = fopen(temporary.c_str(), "wb");
    const bool written = out && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && fflush(out) == 0 &&
                         fsync(fileno(out)) == 0;
    const int reasonCode = errno;
    if (out && fclose(out) != 0 && written)
        return error = "Can't write file \"" + target + "\".\n" + strerror(errno), false;
    if (!written) return error = "Can't write file \"" + target + "\".\n" + strerror(reasonCode), false;
    return true;
}

}  // namespace

bool SaveWithAssimp(const std::string& path, std::string& error, bool selectedOnly) {
    const size_t dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
    ReplacingFiles files;  // outlives the exporter, which deletes the IO system pointing at it
    Assimp::Exporter exporter;
    const char* format = nullptr;
    for (size_t i = 0; i < exporter.GetExportFormatCount() && !format; ++i)
        if (extension == exporter.GetExportFormatDescription(i)->fileExtension)
            format = exporter.GetExportFormatDescription(i)->id;
    if (!format) {
        error = "Can't write \"" + path + "\": no scene format is written for the extension \"" + extension + "\".";
        return false;
    }
    SceneWriter writer;
    writer.Collect(selectedOnly);
    std::vector<std::string> warnings = {SkinsLeftOut(path, format, writer.Holds()),
                                         UVSetsLeftOut(path, format, writer.Holds()),
                                         MaterialsLeftOut(path, format, writer.Holds())};
    if (TakesJointsWithoutScale(format))
        warnings.push_back(JointFitWarning(path, format, FitJointsToRotations(writer.Scene())));
    if (IsGltf(format))
        for (const std::string& text : WeightFitWarnings(path, format, FitWeightsToFour(writer.Scene())))
            warnings.push_back(text);
    const ExportFolder folder(path);
    if (!folder.Made()) {
        error = "Can't open file \"" + path + "\" for writing.\n" + strerror(errno);
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string inFolder = folder.Path() + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    exporter.SetIOHandler(new ReplacingIOSystem(files, folder));  // the exporter owns and deletes it
    if (exporter.Export(&writer.Scene(), format, inFolder) != AI_SUCCESS) {
        // A failure of our own (a file that did not open) says more than the exporter.
        error = !files.Failure().empty() ? files.Failure()
                                         : "Can't write file \"" + path + "\".\n" + exporter.GetErrorString();
        files.Abandon();
        return false;
    }
    for (const std::string& text : warnings)
        if (!text.empty()) {
            MGlobal::displayWarning(("WARNING: " + text).c_str());
            MGlobal::displayWarning("\r\n");
        }
    // Files the exporter wrote itself replace their targets with the others.
    for (const std::string& name : folder.Files())
        files.Adopt(folder.Target(folder.Path() + "/" + name), folder.Path() + "/" + name);
    if (!files.Opened(path)) {
        files.Abandon();
        error = "Can't write file \"" + path + "\": the exporter wrote nothing.";
        return false;
    }
    const bool binaryGltf = format == std::string("glb2") || format == std::string("glb");
    if (IsGltf(format) &&
        !MendWritten(
            files, path,
            [&](std::string& bytes, std::string& reason) { return WriteNodesAsTrs(bytes, binaryGltf, reason); },
            error)) {
        files.Abandon();
        return false;
    }
    // Assimp's binary FBX leaves every nested record list without the null record that
    // closes it, and FBX readers (Blender's, Assimp's own) refuse such a file. It also
    // states centimetres, while the scene's units are metres (FBX sources are read into
    // metres): the file says 100 centimetres per unit.
    const auto mendFbx = [](std::string& bytes, std::string& reason) { return fbx::MendFbxBinary(bytes, reason, 100); };
    if (format == std::string("fbx") && !MendWritten(files, path, mendFbx, error)) {
        files.Abandon();
        return false;
    }
    return files.Commit(error);
}

}  // namespace tessaline
