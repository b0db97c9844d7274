#pragma once
// Callback registry base. Ids are never reused; removing an unknown id fails.
#include <maya/MStatus.h>

class MMessage {
public:
  typedef void (*MBasicFunction)(void* clientData);
  static MStatus removeCallback(MCallbackId id);
};
