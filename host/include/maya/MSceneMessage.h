#pragma once
// Scene-wide messages. The host sends kMayaExiting when it shuts down.
#include <maya/MMessage.h>

class MSceneMessage : public MMessage {
public:
  enum Message {
    kSceneUpdate = 0,
    kBeforeNew = 1,
    kAfterNew = 2,
    kBeforeImport = 3,
    kAfterImport = 4,
    kBeforeOpen = 5,
    kAfterOpen = 6,
    kBeforeExport = 10,
    kAfterExport = 11,
    kMayaExiting = 27,
    kLast = 60
  };
  static MCallbackId addCallback(Message message, MMessage::MBasicFunction function, void* clientData = nullptr,
                                 MStatus* ReturnStatus = nullptr);
};
