#include "HJointKit.h"

#include <maya/MFnAttribute.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnMatrixData.h>
#include <maya/MItDependencyGraph.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

#include <cstring>

namespace kiln::platform_maya {

HMatrix& HJointKit::GetBindPoseMatrix(HNodeKit& joint, HMatrix& matrix) {
    MStatus status;
    MFnIkJoint fnJoint(joint.GetObject().m_object, &status);
    if (!status) return matrix;
    MPlug worldMatrix = fnJoint.findPlug("worldMatrix").elementByLogicalIndex(0);

    // The skin cluster's "matrix" element that this joint feeds names the bindPreMatrix
    // element that belongs to it. When it feeds no plug named "matrix", no skin cluster
    // binds it through this connection, and the current world matrix is the answer.
    MPlugArray destinations;
    worldMatrix.connectedTo(destinations, false, true);
    bool bound = false;
    unsigned int matrixIndex = 0;
    for (unsigned int i = 0; i < destinations.length() && !bound; ++i) {
        MFnAttribute attribute(destinations[i].attribute());
        if (attribute.name() == "matrix") {
            matrixIndex = destinations[i].logicalIndex();
            bound = true;
        }
    }

    MMatrix result;
    bool found = false;
    if (bound) {
        for (MItDependencyGraph walk(worldMatrix, MFn::kInvalid, MItDependencyGraph::kDownstream,
                                     MItDependencyGraph::kDepthFirst, MItDependencyGraph::kPlugLevel);
             !walk.isDone() && !found; walk.next()) {
            MObject node = walk.currentItem();
            if (node.apiType() != MFn::kSkinClusterFilter) continue;
            MFnDependencyNode skin(node);
            MObject value;
            if (!skin.findPlug("bindPreMatrix").elementByLogicalIndex(matrixIndex).getValue(value)) continue;
            MFnMatrixData data(value, &status);
            if (!status) continue;
            result = data.matrix().inverse();
            found = true;
        }
    }
    if (!found) {
        MObject value;
        if (!worldMatrix.getValue(value)) return matrix;
        MFnMatrixData data(value, &status);
        if (!status) return matrix;
        result = data.matrix();
    }
    matrix = ToKitMatrix(result);
    return matrix;
}

HMatrix& HJointKit::GetBindPoseMatrix(HNodeKit& joint, HMatrix& matrix, const MObject& skinCluster) {
    MStatus status;
    MFnIkJoint fnJoint(joint.GetObject().m_object, &status);
    if (!status) return matrix;
    MPlug worldMatrix = fnJoint.findPlug("worldMatrix").elementByLogicalIndex(0);
    MPlugArray destinations;
    worldMatrix.connectedTo(destinations, false, true);
    for (unsigned int i = 0; i < destinations.length(); ++i) {
        if (destinations[i].node() != skinCluster) continue;
        MFnAttribute attribute(destinations[i].attribute());
        if (attribute.name() != "matrix") continue;
        MFnDependencyNode skin(skinCluster);
        MObject value;
        if (!skin.findPlug("bindPreMatrix").elementByLogicalIndex(destinations[i].logicalIndex()).getValue(value))
            break;
        MFnMatrixData data(value, &status);
        if (!status) break;
        matrix = ToKitMatrix(data.matrix().inverse());
        return matrix;
    }
    return GetBindPoseMatrix(joint, matrix);
}

HJointBindPoses::HJointBindPoses(HNodeKit& joint) : m_joint(joint) {
    MStatus status;
    MFnIkJoint fnJoint(joint.GetObject().m_object, &status);
    if (!status) return;
    m_isJoint = true;
    MPlug worldMatrix = fnJoint.findPlug("worldMatrix").elementByLogicalIndex(0);
    MPlugArray destinations;
    worldMatrix.connectedTo(destinations, false, true);
    // The destinations on nodes of one kind share their attribute: each attribute's name
    // is asked once.
    brix::UArray<HObject> attributes;
    brix::UArray<bool> namedMatrix;
    for (unsigned int i = 0; i < destinations.length(); ++i) {
        const HObject attribute(destinations[i].attribute());
        int32_t known = 0;
        while (known < attributes.Num() && attributes[known] != attribute) ++known;
        if (known == attributes.Num()) {
            attributes.Append(attribute);
            namedMatrix.Append(MFnAttribute(attribute.m_object).name() == "matrix");
        }
        if (!namedMatrix[known]) continue;
        m_clusters.Append(HObject(destinations[i].node()));
        m_matrixIndices.Append(destinations[i].logicalIndex());
    }
    m_index = std::make_unique<HObjectIndex>(m_clusters);
}

HMatrix& HJointBindPoses::Get(HMatrix& matrix, const MObject& skinCluster) {
    if (!m_isJoint) return matrix;
    // Clusters are usually asked in the order the joint feeds them.
    const int32_t at = m_index->Find(HObject(skinCluster), m_lastFound + 1);
    if (at >= 0) m_lastFound = at;
    if (at >= 0) {
        // The bindPreMatrix attribute found on one cluster serves the others of its kind.
        MPlug bindPreMatrix;
        if (!m_bindPreMatrix.isNull()) bindPreMatrix = MPlug(skinCluster, m_bindPreMatrix);
        if (bindPreMatrix.isNull()) {
            bindPreMatrix = MFnDependencyNode(skinCluster).findPlug("bindPreMatrix");
            m_bindPreMatrix = bindPreMatrix.attribute();
        }
        MObject value;
        MStatus status;
        if (bindPreMatrix.elementByLogicalIndex(m_matrixIndices[at]).getValue(value)) {
            MFnMatrixData data(value, &status);
            if (status) {
                const MMatrix& bindPre = data.matrix();
                // Compared bit for bit: -0.0 and 0.0 may invert differently.
                // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): bits are what is compared
                const bool same = std::memcmp(bindPre.matrix, m_lastBindPre.matrix, sizeof bindPre.matrix) == 0;
                if (!m_haveLast || !same) {
                    m_lastBindPre = bindPre;
                    m_lastInverse = bindPre.inverse();
                    m_haveLast = true;
                }
                matrix = ToKitMatrix(m_lastInverse);
                return matrix;
            }
        }
    }
    return HJointKit::GetBindPoseMatrix(m_joint, matrix);
}

HStatus HJointKit::Create(HNodeKit& kit, HStatus& status, const HObject& parent) {
    MFnIkJoint fnJoint;
    MStatus hostStatus;
    MObject joint = fnJoint.create(parent.m_object, &hostStatus);
    if (hostStatus) kit.SetObject(HObject(joint));
    status.Set(hostStatus);
    return status;
}

}  // namespace kiln::platform_maya
