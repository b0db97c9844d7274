// The message builder's form that names a channel. The channels belong to the current
// core services, a layer above the builder, so this constructor is defined with them.

#include "Core/UMessage.h"
#include "CoreServices/Interfaces/ICoreServices.h"

namespace brix {

UMessage::UMessage(Channel channel, const char* first)
    : UMessage(*GetCoreServices()->GetChannel(int(channel)), first) {}

}  // namespace brix
