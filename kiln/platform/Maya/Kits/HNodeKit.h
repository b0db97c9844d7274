#pragma once
// kiln::platform_maya::HNodeKit: a kit over one node: its name, DAG path names and
// transform matrix. The mesh and material kits override the name and path slots.

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "HObject.h"
#include "HStatus.h"
#include "Math/TMatrix4.h"

namespace kiln::platform_maya {

using HMatrix = brix::TMatrix4<float>;

class HNodeKit {
public:
    explicit HNodeKit(const HObject& object) : m_object(object) {}
    virtual ~HNodeKit() = default;

    virtual HStatus SetName(const brix::UString& name);
    virtual brix::UString GetName();
    virtual HObject& GetObject() { return m_object; }
    virtual void SetObject(const HObject& object) { m_object = object; }
    virtual brix::UString GetPartialPathName();
    virtual brix::UString GetFullPathName();
    // space SPACE_WORLD turns the world matrix into one relative to the parent; space 2
    // is refused with code 2.
    virtual HStatus SetMatrix(const HMatrix& matrix, int32_t space);
    // Fills matrix with the world (inclusive) or local matrix; untouched on failure,
    // the identity for any other space.
    virtual HMatrix& GetMatrix(HMatrix& matrix, int32_t space);

    static bool IsIntermediateObject(HNodeKit& kit);
    // The first DAG parent that is not the world root; a null handle when none.
    static HObject GetParent(HNodeKit& kit);

protected:
    HObject m_object;
};

// Bits of the scene object mask.
constexpr uint32_t OBJECT_MESH = 1;
constexpr uint32_t OBJECT_JOINT = 2;

// The nodes of the types in mask (meshes, then joints), without intermediate objects or
// duplicates, in the host's order; with selectedOnly, only those that are selected
// themselves or through a node above them on their first DAG path.
brix::UArray<HObject> GetSceneObjects(uint32_t mask, bool selectedOnly);

// Host matrix to kit matrix, row by row, and back (widening to double).
HMatrix ToKitMatrix(const MMatrix& matrix);
MMatrix ToHostMatrix(const HMatrix& matrix);

}  // namespace kiln::platform_maya
