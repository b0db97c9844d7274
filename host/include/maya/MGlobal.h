#pragma once
// Process-wide host services: console, command execution, up axis, selection.
#include <maya/MSelectionList.h>
#include <maya/MString.h>
#include <maya/MStringArray.h>

class MGlobal {
public:
  enum ListAdjustment { kReplaceList = 0, kXORWithList, kAddToList, kRemoveFromList, kAddToHeadOfList };

  // Each call appends exactly one console entry with the text as given (no prefix added
  // to the recorded text) and echoes it to the terminal when echo is on.
  static void displayInfo(const MString& text);
  static void displayWarning(const MString& text);
  static void displayError(const MString& text);

  // Runs a text of the small command language. Statements end at ';' outside double
  // quotes, words are split at white space (a quoted word keeps its spaces and
  // semicolons; inside it a backslash takes the next byte as it is, so \" is a quote
  // and \\ a backslash), and a text stops at its first failing statement. Known
  // statements:
  //   global string $name
  //   progressBar -edit [-beginProgress | -endProgress] [-status T] [-maxValue N]
  //               [-isInterruptable B] [-progress N] [-step N] $control
  //   skinCluster influence... geometry
  // Anything else writes an error to the console and fails. skinCluster takes full
  // paths or unique names; the last names a mesh shape (or a transform whose first
  // non-intermediate child is one), the others joints or transforms, in influence
  // order. It refuses flags, unknown or ambiguous names, a repeated influence, and a
  // mesh already reached by a skin cluster (console error, kFailure, nothing made).
  // It makes "skinClusterN"; an intermediate "<shape>Orig" holding a copy of the
  // geometry as the bind pose (or reuses what fed inMesh); matrix[k] from each
  // influence's worldMatrix[0]; bindPreMatrix[k] = inverse of its current world
  // matrix; a deformer set "skinClusterNSet" holding every vertex; and initial weights
  // of 1.0 on the influence whose world position is nearest the vertex (ties to the
  // lower index), 0.0 on the others. The result is the cluster's name.
  static MStatus executeCommand(const MString& command, bool displayEnabled = false, bool undoEnabled = false);
  static MStatus executeCommand(const MString& command, MStringArray& result, bool displayEnabled = false,
                                bool undoEnabled = false);

  static bool isYAxisUp(MStatus* ReturnStatus = nullptr);
  static bool isZAxisUp(MStatus* ReturnStatus = nullptr);
  static MStatus setYAxisUp(bool rotateView = false);
  static MStatus setZAxisUp(bool rotateView = false);

  static MStatus getActiveSelectionList(MSelectionList& dest, bool orderedSelectionIfAvailable = false);
  static MStatus setActiveSelectionList(const MSelectionList& list, ListAdjustment = kReplaceList);
  static MStatus selectByName(const MString& name, ListAdjustment = kAddToList);
  static MStatus clearSelectionList();
  static MStatus getSelectionListByName(const MString& name, MSelectionList& list);

  // Removes the node, its connections, set memberships and selection entries, and for a
  // DAG node the descendants that have no other parent. Handles to it stay non-null but
  // every function set refuses them.
  static MStatus deleteNode(const MObject& node);
};
