#pragma once
// Hooks of the stand-in host that the real host API does not have: scene reset and
// queries, the console and command logs, fault injection, the plug-in harness (load,
// unload, host exit, running translators) and a scene-building API for tests and the
// command-line host. Plug-in code never uses this header.
//
// Host state lives for the whole process and is created on first use (never before main).
// resetScene() clears the scene, console, command log, progress state, selection and up
// axis; the translator, command and callback registries belong to loaded plug-ins and are
// only emptied by unloading (or resetHost()).
#include <maya/MDagPath.h>
#include <maya/MDagPathArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MObjectArray.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MSceneMessage.h>
#include <maya/MString.h>
#include <maya/MStringArray.h>

namespace standin {

// ------------------------------------------------------------------ scene

// Empties the scene and rebuilds the default one: the world, "lambert1" and
// "initialShadingGroup" (lambert1.outColor -> initialShadingGroup.surfaceShader).
void resetScene();
// resetScene() plus: unloads any plug-in without calling its uninitializePlugin, empties
// the registries and callbacks, clears pending faults.
void resetHost();
// Live nodes in creation order, the world first.
MObjectArray allNodes();
// The node a short name, partial path or full path names; null when none or several.
MObject nodeByName(const MString& name);
MMatrix localMatrix(const MObject& node);

// ------------------------------------------------------------------ console and logs

enum class ConsoleKind { Info, Warning, Error };
unsigned int consoleCount();
ConsoleKind consoleKind(unsigned int index);
MString consoleText(unsigned int index);
void clearConsole();
// Echo of console entries to the terminal (on by default): info to standard output,
// warnings ("// Warning: ") and errors ("// Error: ") to standard error.
void setConsoleEcho(bool on);

unsigned int commandLogCount();
MString commandLogText(unsigned int index);
MStatus commandLogStatus(unsigned int index);

struct ProgressState {
  unsigned int beginCount;
  unsigned int endCount;
  bool active;
  MString status;
  int maxValue;
  int value;
};
ProgressState progressState();

// ------------------------------------------------------------------ fault injection

// Each makes the next such call fail with kFailure.
enum class Fault { RegisterFileTranslator, AddCallback, GetActiveSelectionList, ExecuteCommand };
void failNext(Fault fault);
// The next MItDependencyNodes built with this filter fails (and yields nothing).
void failNextNodeIteration(MFn::Type filter);
// The next call of the named mesh or skin read fails with kFailure and gives nothing:
// "MFnMesh::getPoints", "MFnMesh::getNormals", "MFnMesh::getUVs",
// "MFnMesh::getPolygonVertices", "MFnMesh::getAssignedUVs",
// "MFnMesh::getConnectedShaders", "MItMeshPolygon::normalIndex",
// "MFnSkinCluster::influenceObjects". Lets a test see what a plug-in does when the host
// will not give it a mesh's data.
void failNextCall(const char* function);

// ------------------------------------------------------------------ plug-ins

typedef MStatus (*PluginEntry)(MObject plugin);

// Loads a plug-in whose entry points are linked into the program.
MStatus loadPlugin(PluginEntry initializePlugin, PluginEntry uninitializePlugin);
// Opens a plug-in module, checks that it exports MApiVersion "700" and the two entry
// points, and calls initializePlugin. On failure the module is closed again and an error
// is written to the console. Only one plug-in is loaded at a time.
MStatus loadPluginModule(const MString& path);
// Calls uninitializePlugin and closes the module.
MStatus unloadPlugin();
bool pluginLoaded();
MObject pluginObject();
MString pluginVendor();
MString pluginVersion();
MString pluginApiVersion();

// Calls every callback registered for the message (over a copy of the table).
void fireSceneMessage(MSceneMessage::Message message);
// Host shutdown: fires kMayaExiting, then closes the module without calling
// uninitializePlugin (the plug-in's exit callback is expected to have done so).
void exitHost();
unsigned int callbackCount();

struct TranslatorInfo {
  MString name;
  MString pixmap;
  MString optionsScript;
  MString defaultOptions;
  bool requiresFullScript;
};
unsigned int translatorCount();
TranslatorInfo translatorInfo(unsigned int index);
bool hasTranslator(const MString& name);
unsigned int commandCount();
MString commandName(unsigned int index);

// Create the named translator through its creator, call writer/reader with an
// MFileObject holding path, delete the translator and return its status. An exception
// escaping the translator is caught, recorded (translatorThrew) and reported as kFailure.
// An unknown translator gives kNotFound.
MStatus runWriter(const MString& translator, const MString& path, const MString& options,
                  MPxFileTranslator::FileAccessMode mode);
MStatus runReader(const MString& translator, const MString& path, const MString& options,
                  MPxFileTranslator::FileAccessMode mode = MPxFileTranslator::kImportAccessMode);
// The translator's identifyFile for the file (its first bytes are read, up to 512);
// kNotMyFileType for an unknown translator.
MPxFileTranslator::MFileKind identify(const MString& translator, const MString& path);
// Export as the host's dialog does: the whole scene (mode kExportAccessMode) or the
// selection (kExportActiveAccessMode).
MStatus exportFile(const MString& translator, const MString& path, const MString& options, bool selectedOnly);
// Import with the named translator, or with an empty name the first reader whose
// identifyFile says kIsMyFileType (else the first saying kCouldBeMyFileType).
MStatus importFile(const MString& translator, const MString& path, const MString& options);
bool translatorThrew();
MString translatorException();

// ------------------------------------------------------------------ scene building

// A transform or joint named name (made unique) under parent (null: the scene root) with
// the given local matrix. Returns null for a parent that is not a transform or joint.
MObject makeTransform(const MString& name, const MObject& parent = MObject::kNullObj, const MMatrix& local = MMatrix());
MObject makeJoint(const MString& name, const MObject& parent = MObject::kNullObj, const MMatrix& local = MMatrix());
// Replaces a transform's or joint's local matrix (posing a joint).
MStatus setLocalMatrix(const MObject& node, const MMatrix& local);
MMatrix translation(double x, double y, double z);
MMatrix worldMatrix(const MObject& node);  // of instance 0
// Adds the named nodes (or paths) to the active selection; replace clears it first.
MStatus select(const MStringArray& names, bool replace = true);
MStatus select(const MObject& node, bool replace = true);
void setUpAxis(bool yUp);

// A polygon mesh: a transform named name (made unique) under parent with a mesh shape
// "<name>Shape" below it. Returns the shape, or null when the arrays are invalid (the
// rules of MFnMesh::create). The mesh has default normals, an empty "map1" UV set and no
// shading.
MObject makeMesh(const MString& name, const MFloatPointArray& points, const MIntArray& counts,
                 const MIntArray& connects, const MObject& parent = MObject::kNullObj);
// An axis-aligned cube of the given half size centred on the origin (8 vertices, 6 quads).
MObject makeCube(const MString& name, double halfSize = 1.0, const MObject& parent = MObject::kNullObj);
// A shading group "name" whose surfaceShader is fed by a new material of materialType
// ("lambert", "phong" or "blinn") named materialName.
MObject makeShadingGroup(const MString& name, const MString& materialName, const MString& materialType = "lambert");
// Assigns faces (all of them when faces is empty) of one instance of a mesh shape to a
// shading group, taking them from any other group.
MStatus assignFaces(const MObject& shape, unsigned int instance, const MObject& shadingGroup,
                    const MIntArray& faces = MIntArray());
// Makes node appear a further time, under newParent (null: the scene root). Returns the
// new DAG path.
MDagPath makeInstance(const MObject& node, const MObject& newParent = MObject::kNullObj);
// Binds a mesh shape to influences with the skinCluster command, then, when weights is
// not empty, stores weights exactly (vertex-major: numVertices x numInfluences values,
// no normalisation). bindWorld, when given, points to one world matrix per influence
// and replaces the bind pose (bindPreMatrix = its inverse). Returns the skin cluster,
// null on failure.
MObject bindSkin(const MObject& shape, const MObjectArray& influences, const MDoubleArray& weights = MDoubleArray(),
                 const MMatrix* bindWorld = nullptr);
// Gives an already skinned mesh a second skin cluster, upstream of its first deformer:
// orig -> new cluster -> new intermediate shape -> first deformer -> mesh. Both clusters
// then reach the mesh. Returns the new cluster, null when the mesh has no deformer.
MObject addUpstreamSkinCluster(const MObject& shape, const MObjectArray& influences);
// Puts a pass-through "tweak" deformer between a shape's inMesh and its current source:
// source -> tweak -> mesh, or with viaIntermediateShape source -> new intermediate shape
// -> tweak -> mesh. Returns the tweak, null when inMesh is unconnected.
MObject insertTweak(const MObject& shape, bool viaIntermediateShape = false);
// Vertex ids of the deformer set of a skin cluster for its geometry 0, in order.
MIntArray deformerSetVertices(const MObject& skinCluster);
// UV id per face vertex of a set (-1 unmapped), polygon by polygon.
MIntArray uvAssignments(const MObject& shape, const MString& uvSet);

}  // namespace standin
