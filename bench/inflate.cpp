// Inflates the same raw Deflate streams with brix's decoder and with zlib's raw inflate,
// then prints both throughputs (uncompressed megabytes per second) and their ratio
// (brix/zlib: above 1 means brix is faster).
//
//   ./build/bench/bench_inflate                 both benchmarks and the summary
//   ./build/bench/bench_inflate --benchmark_filter=Words   one data set

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "CoreServices/Implementations/UCompressor.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t Lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// Rig-text-like data: words and numbers from a small vocabulary.
Bytes Words(size_t size) {
    static const char* vocabulary[] = {"joint",   "mesh", "weight ", "bind",     "\r\n", "0.0000 ", "1.0000 ", "skin",
                                       "cluster", " { ",  " } ",     "\"root\"", "uv",   "normal",  "-0.5000 "};
    uint32_t seed = 1;
    Bytes out;
    while (out.size() < size) {
        const char* word = vocabulary[Lcg(seed) % 15];
        out.insert(out.end(), word, word + strlen(word));
        if (Lcg(seed) % 4 == 0) {
            char number[32];
            snprintf(number, sizeof number, "%.4f ", double(Lcg(seed) % 200000) / 1000.0 - 100.0);
            out.insert(out.end(), number, number + strlen(number));
        }
    }
    out.resize(size);
    return out;
}

// Binary data with little redundancy: mostly literals.
Bytes Mixed(size_t size) {
    uint32_t seed = 2;
    Bytes out;
    while (out.size() < size) {
        if (Lcg(seed) % 3 == 0 && out.size() > 300) {
            const size_t distance = 1 + Lcg(seed) % 300, length = 3 + Lcg(seed) % 40;
            for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
        } else {
            out.push_back((unsigned char)(Lcg(seed) % 64));
        }
    }
    out.resize(size);
    return out;
}

Bytes Compress(const Bytes& data, int level) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

struct DataSet {
    Bytes original;
    Bytes compressed;
};

const DataSet& Get(const std::string& name) {
    static std::map<std::string, DataSet> sets;
    auto it = sets.find(name);
    if (it == sets.end()) {
        const size_t size = 8 << 20;
        Bytes original = name == "Words" ? Words(size) : Mixed(size);
        Bytes compressed = Compress(original, 6);
        it = sets.emplace(name, DataSet{std::move(original), std::move(compressed)}).first;
    }
    return it->second;
}

void Record(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Brix(benchmark::State& state, const std::string& name) {
    const DataSet& set = Get(name);
    brix::UArray<unsigned char> input;
    input.Add(int32_t(set.compressed.size()));
    memcpy(input.Data(), set.compressed.data(), set.compressed.size());
    auto* decoder = new brix::DecompressorPolicy_Deflate;
    brix::UArray<unsigned char> output;
    for (auto _ : state) {
        if (decoder->Decompress(input, output) != brix::InflateResult::Ok ||
            size_t(output.Num()) != set.original.size()) {
            state.SkipWithError("brix decode failed");
            break;
        }
        benchmark::DoNotOptimize(output.Data());
    }
    delete decoder;
    if (memcmp(output.Data(), set.original.data(), set.original.size()) != 0)
        state.SkipWithError("brix output differs");
    Record(state, set.original.size());
}

void BM_Zlib(benchmark::State& state, const std::string& name) {
    const DataSet& set = Get(name);
    Bytes output(set.original.size());
    z_stream stream{};
    inflateInit2(&stream, -15);
    for (auto _ : state) {
        inflateReset(&stream);
        stream.next_in = const_cast<unsigned char*>(set.compressed.data());
        stream.avail_in = uInt(set.compressed.size());
        stream.next_out = output.data();
        stream.avail_out = uInt(output.size());
        if (inflate(&stream, Z_FINISH) != Z_STREAM_END) {
            state.SkipWithError("zlib decode failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    inflateEnd(&stream);
    Record(state, set.original.size());
}

// Collects the measured byte rates for the summary.
class Summary : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end() && !run.error_occurred) m_rates[run.benchmark_name()] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Print() const {
        std::printf("\n%-8s %14s %14s %12s\n", "data", "brix MB/s", "zlib MB/s", "brix/zlib");
        for (const char* name : {"Words", "Mixed"}) {
            const auto brix = m_rates.find(std::string("Inflate/brix/") + name);
            const auto zlib = m_rates.find(std::string("Inflate/zlib/") + name);
            if (brix == m_rates.end() || zlib == m_rates.end()) continue;
            const double b = brix->second / 1e6, z = zlib->second / 1e6;
            std::printf("%-8s %14.1f %14.1f %12.2f\n", name, b, z, b / z);
        }
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    for (const char* name : {"Words", "Mixed"}) {
        const std::string set = name;
        benchmark::RegisterBenchmark((std::string("Inflate/brix/") + name).c_str(), [set](benchmark::State& s) {
            BM_Brix(s, set);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Inflate/zlib/") + name).c_str(), [set](benchmark::State& s) {
            BM_Zlib(s, set);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    Summary reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print();
    benchmark::Shutdown();
    return 0;
}
