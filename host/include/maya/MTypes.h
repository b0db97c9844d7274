#pragma once
// Shared basics of the host API: the coordinate-space enum, callback ids, the export macro
// and forward declarations. Every other host header includes this one.
#include <cstddef>

#ifndef NULL
#define NULL 0
#endif

// Entry points a plug-in module exports to the host.
#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

typedef unsigned int MCallbackId;

namespace MSpace {
enum Space {
  kInvalid = 0,
  kTransform = 1,
  kPreTransform = 2,
  kPostTransform = 3,
  kWorld = 4,
  kLast = 5,
  kObject = kPreTransform
};
}

class MStatus;
class MString;
class MStringArray;
class MObject;
class MObjectArray;
class MDagPath;
class MDagPathArray;
class MPlug;
class MPlugArray;
class MMatrix;
class MSelectionList;
class MIntArray;
class MFloatArray;
class MDoubleArray;
class MFloatPointArray;
class MFloatVectorArray;
class MVectorArray;
class MDGModifier;
class MDGContext;
