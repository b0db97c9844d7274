// Any bytes in, a stand-in scene out: the importer reads the bytes as a rig file and,
// when it takes them, builds them in a fresh scene. Nothing may crash, hang or touch
// memory it does not own.

#include <cstddef>
#include <cstdint>

#include "CoreServices/Implementations/UCoreServices.h"
#include "CoreServices/Implementations/UStream_Archive.h"
#include "Import/ImportScene.h"
#include "tessahost/StandIn.h"

namespace {
brix::UCoreServices_ANSI* g_services = nullptr;
brix::ICoreServices* Services() { return g_services; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_services = new brix::UCoreServices_ANSI();
    g_services->Init(0);
    brix::ExchangeCoreServicesAccessor(Services);
    standin::setConsoleEcho(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::resetScene();
    standin::setUpAxis(size % 2 == 0);
    brix::UStream_Memory stream(data, size, brix::UString("fuzz.tsl"));
    ImportSettings settings;
    settings.yAxisUp = size % 2 == 0;
    ImportScene(stream, settings);
    return 0;
}
