// Differential fuzz target: inflates the input with brix's decoder and with zlib's raw
// inflate and stops on any disagreement. Both must succeed or fail together and agree
// on the output, with one allowed difference: brix does not check a stored block's
// NLEN, so it may accept a stream that zlib rejects for that reason alone. When both
// fail, each output must be a prefix of the other (both stop at the first fault).
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreServices/Implementations/UCompressor.h"

namespace {
constexpr size_t kLimit = 1 << 20;

[[noreturn]] void Disagree(const char* what) {
    fprintf(stderr, "brix and zlib disagree: %s\n", what);
    abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static brix::DecompressorPolicy_Deflate* decoder = new brix::DecompressorPolicy_Deflate;
    brix::UArray<unsigned char> ours;
    const bool ok = decoder->Decompress(data, size, ours, kLimit) == brix::InflateResult::Ok;

    static std::vector<unsigned char>& theirs = *new std::vector<unsigned char>(kLimit);
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) abort();
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = uInt(size);
    stream.next_out = theirs.data();
    stream.avail_out = uInt(theirs.size());
    const int result = inflate(&stream, Z_FINISH);
    const bool zlibOk = result == Z_STREAM_END;
    const bool nlen = stream.msg && strcmp(stream.msg, "invalid stored block lengths") == 0;
    const size_t produced = stream.total_out;
    inflateEnd(&stream);

    const size_t n = size_t(ours.Num());
    if (zlibOk && !ok) Disagree("zlib decodes, brix fails");
    if (ok && !zlibOk && !nlen) Disagree("brix decodes, zlib fails");
    if (ok && zlibOk && (n != produced || (n && memcmp(ours.Data(), theirs.data(), n) != 0)))
        Disagree("different output");
    const size_t common = n < produced ? n : produced;
    if (common && memcmp(ours.Data(), theirs.data(), common) != 0) Disagree("outputs differ before the fault");
    return 0;
}
