#include "HNodeKit.h"

#include <maya/MDagPath.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnTransform.h>
#include <maya/MGlobal.h>
#include <maya/MItDependencyNodes.h>
#include <maya/MMatrix.h>
#include <maya/MSelectionList.h>
#include <maya/MTransformationMatrix.h>

using brix::UArray;
using brix::UString;

namespace kiln::platform_maya {

HMatrix ToKitMatrix(const MMatrix& matrix) {
    HMatrix result;
    matrix.get(result.m);
    return result;
}

MMatrix ToHostMatrix(const HMatrix& matrix) { return MMatrix(matrix.m); }

HStatus HNodeKit::SetName(const UString& name) {
    HStatus result;
    MStatus status;
    MFnDependencyNode node(m_object.m_object, &status);
    if (status) node.setName(MString(name.c_str()), false, &status);
    result.Set(status);
    return result;
}

UString HNodeKit::GetName() {
    MStatus status;
    MFnDependencyNode node(m_object.m_object, &status);
    if (!status) return UString("");
    MString name = node.name(&status);
    return status ? UString(name.asChar()) : UString("");
}

UString HNodeKit::GetPartialPathName() {
    MStatus status;
    MFnDagNode dag(m_object.m_object, &status);
    if (!status) return UString("");
    MString name = dag.partialPathName(&status);
    return status ? UString(name.asChar()) : UString("");
}

UString HNodeKit::GetFullPathName() {
    MStatus status;
    MFnDagNode dag(m_object.m_object, &status);
    if (!status) return UString("");
    MString name = dag.fullPathName(&status);
    return status ? UString(name.asChar()) : UString("");
}

HMatrix& HNodeKit::GetMatrix(HMatrix& matrix, int32_t space) {
    MStatus status;
    MFnDagNode dag(m_object.m_object, &status);
    if (!status) return matrix;
    MMatrix result;
    if (space == SPACE_WORLD) {
        MDagPath path;
        status = dag.getPath(path);
        if (status) result = path.inclusiveMatrix(&status);
    } else if (space == SPACE_LOCAL) {
        MDagPath path;
        status = dag.getPath(path);
        MObject transform;
        if (status) transform = path.transform(&status);
        if (status) {
            MFnTransform fnTransform(transform, &status);
            if (status) {
                MTransformationMatrix local = fnTransform.transformation(&status);
                if (status) result = local.asMatrix();
            }
        }
    }
    if (status) matrix = ToKitMatrix(result);
    return matrix;
}

HStatus HNodeKit::SetMatrix(const HMatrix& matrix, int32_t space) {
    HStatus result;
    if (space == 2) {
        result.SetCode(HStatus::INVALID_PARAMETER);
        return result;
    }
    MStatus status;
    MFnDagNode dag(m_object.m_object, &status);
    if (!status) {
        result.Set(status);
        return result;
    }
    MMatrix hostMatrix = ToHostMatrix(matrix);
    MDagPath path;
    status = dag.getPath(path);
    MObject transform;
    if (status) transform = path.transform(&status);
    MFnTransform fnTransform;
    MDagPath transformPath;
    if (status) {
        status = fnTransform.setObject(transform);
        if (status) fnTransform.getPath(transformPath);
    }
    if (!status) {
        result.Set(status);
        return result;
    }
    if (space == SPACE_WORLD) hostMatrix *= transformPath.exclusiveMatrixInverse();
    result.Set(fnTransform.set(MTransformationMatrix(hostMatrix)));
    return result;
}

bool HNodeKit::IsIntermediateObject(HNodeKit& kit) {
    MStatus status;
    MFnDagNode dag(kit.GetObject().m_object, &status);
    return status && dag.isIntermediateObject();
}

HObject HNodeKit::GetParent(HNodeKit& kit) {
    MStatus status;
    MFnDagNode dag(kit.GetObject().m_object, &status);
    if (!status) return HObject();
    const unsigned int count = dag.parentCount(&status);
    if (!status || count == 0) return HObject();
    for (unsigned int i = 0; i < count; ++i) {
        MObject parent = dag.parent(i);
        MFnDagNode parentDag(parent, &status);
        if (status && parentDag.parentCount() != 0) return HObject(parent);
    }
    return HObject();
}

namespace {

const MFn::Type kMaskTypes[] = {MFn::kMesh, MFn::kJoint, static_cast<MFn::Type>(360), static_cast<MFn::Type>(779)};

bool Contains(const UArray<HObject>& list, const HObject& object) {
    for (const HObject& entry : list)
        if (entry == object) return true;
    return false;
}

// True when the node, or a node above it on its first DAG path, is selected.
bool IsSelected(const MSelectionList& selection, const HObject& handle) {
    MStatus status;
    MFnDagNode dag(handle.m_object, &status);
    if (!status) return selection.hasItem(handle.m_object);
    MDagPath path;
    if (!dag.getPath(path)) return false;
    do {
        if (selection.hasItem(path, MObject::kNullObj)) return true;
    } while (path.pop(1));
    return false;
}

}  // namespace

UArray<HObject> GetSceneObjects(uint32_t mask, bool selectedOnly) {
    UArray<MFn::Type> types;
    for (uint32_t bit = 0; bit < 4; ++bit)
        if (mask & (1u << bit)) types.Append(kMaskTypes[bit]);

    UArray<HObject> result;
    for (MFn::Type type : types) {
        MStatus status;
        MItDependencyNodes nodes(type, &status);
        if (!status) continue;
        for (; !nodes.isDone(); nodes.next()) {
            HObject handle(nodes.item());
            MFnDagNode dag(handle.m_object, &status);
            if (status) {
                MDagPath path;
                dag.getPath(path);
                handle = HObject(path.node());
            }
            HNodeKit kit(handle);
            if (HNodeKit::IsIntermediateObject(kit)) continue;
            if (Contains(result, handle)) continue;
            result.Append(handle);
        }
    }
    if (!selectedOnly) return result;

    UArray<HObject> all(result);
    result.Empty(0);
    MSelectionList selection;
    if (!MGlobal::getActiveSelectionList(selection)) return result;
    for (const HObject& handle : all)
        if (IsSelected(selection, handle)) result.Append(handle);
    return result;
}

}  // namespace kiln::platform_maya
