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

  // Runs a text of the small command language (see tessahost/StandIn.h).
  static MStatus executeCommand(const MString& command, bool displayEnabled = false,
                                bool undoEnabled = false);
  static MStatus executeCommand(const MString& command, MStringArray& result,
                                bool displayEnabled = false, bool undoEnabled = false);

  static bool isYAxisUp(MStatus* ReturnStatus = NULL);
  static bool isZAxisUp(MStatus* ReturnStatus = NULL);
  static MStatus setYAxisUp(bool rotateView = false);
  static MStatus setZAxisUp(bool rotateView = false);

  static MStatus getActiveSelectionList(MSelectionList& dest, bool orderedSelectionIfAvailable = false);
  static MStatus setActiveSelectionList(const MSelectionList& list, ListAdjustment = kReplaceList);
  static MStatus selectByName(const MString& name, ListAdjustment = kAddToList);
  static MStatus clearSelectionList();
  static MStatus getSelectionListByName(const MString& name, MSelectionList& list);

  static MStatus deleteNode(const MObject& node);
};
