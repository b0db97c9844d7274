// Fuzz target for the ZIP archive reader: the input is an archive in memory. Entries are
// opened under a few fixed names and under the name of the first central-directory
// record found in the input, so that mutated archives keep reaching a real entry. An
// open entry is read completely and sought through.
#include <cstdint>
#include <cstring>
#include <memory>

#include "CoreServices/Implementations/UStream_Archive.h"

namespace {
void OpenAndRead(brix::IInputStream& source, const brix::UString& name) {
    brix::UStream_Archive archive(source, name);
    if (!archive.IsOpen()) return;
    const uint64_t size = archive.GetSize();
    unsigned char buffer[4096];
    uint64_t total = 0;
    while (uint64_t got = archive.Serialize(buffer, sizeof buffer)) total += got;
    if (total != size) abort();
    archive.SeekToEnd();
    archive.SeekBackward(int32_t(size / 2));
    archive.SeekForward(int32_t(size));
    archive.IsEnd();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    brix::UStream_Memory source(data, size, brix::UString("fuzz.zip"));
    static const char* const names[] = {"rig.tsl", "-", "packs/inner.zip/rig.tsl",
                                        "packs/inner.zip/more/deeper.zip/leaf.tsl"};
    for (const char* name : names) OpenAndRead(source, brix::UString(name));

    for (size_t i = 0; i + 46 <= size; ++i) {
        if (memcmp(data + i, "PK\x01\x02", 4) != 0) continue;
        const size_t length = data[i + 28] | data[i + 29] << 8;
        if (i + 46 + length <= size) OpenAndRead(source, brix::UString(data + i + 46, int32_t(length)));
        break;
    }
    return 0;
}
