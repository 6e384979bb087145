// Find and checksums over a 1 GiB mapped file with nothing to find: the speed of the search's
// candidate scan and of reading the document in place, window by window; and the checksums over
// a block in memory, the checksum code alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/hex_search_cases.h"
#include "document/hex_document_file.h"

namespace {

HexDocument* gDoc = nullptr;

void BM_Search(benchmark::State& state, const BenchSearch& search) {
    for (auto _ : state) {
        if (!SearchFindsNothing(*gDoc, search))
            state.SkipWithError("the search did not run through");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * gDoc->length);
}

void BM_Checksum(benchmark::State& state, const BenchChecksum& checksum) {
    ChecksumResults results;
    for (auto _ : state) {
        if (!ChecksumDocument(*gDoc, checksum, &results)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(results);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * gDoc->length);
}

void BM_ChecksumMemory(benchmark::State& state, const BenchChecksum& checksum) {
    static const std::vector<std::uint8_t> block = [] {
        std::vector<std::uint8_t> bytes(kBenchMemoryBlock);
        std::uint64_t seed = 88172645463325252ull;
        RandomNonZeroBytes(bytes.data(), bytes.size(), seed);
        return bytes;
    }();
    ChecksumResults results;
    for (auto _ : state) {
        if (!ChecksumMemory(block.data(), checksum, &results)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(results);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBenchFileBytes);
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/vorland-bench-1GiB.bin";
    FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<std::uint8_t> block(1 << 20);
    std::uint64_t state = 88172645463325252ull;
    for (std::uint32_t done = 0; file != nullptr && done < kBenchFileBytes; done += 1 << 20) {
        RandomNonZeroBytes(block.data(), block.size(), state);
        std::fwrite(block.data(), 1, block.size(), file);
    }
    if (file != nullptr) std::fclose(file);
    HexDocument doc;
    if (!HexDocOpenFile(doc, path.c_str(), true, true)) {
        std::fprintf(stderr, "could not open %s\n", path.c_str());
        return 1;
    }
    gDoc = &doc;
    for (const BenchSearch& search : kBenchSearches) {
        benchmark::RegisterBenchmark(("Search1GiB/" + std::string(search.name)).c_str(), BM_Search,
                                     search)
            ->Unit(benchmark::kMillisecond);
    }
    for (const BenchChecksum& checksum : kBenchChecksums) {
        benchmark::RegisterBenchmark(("Checksum1GiB/" + std::string(checksum.name)).c_str(),
                                     BM_Checksum, checksum)
            ->Unit(benchmark::kMillisecond);
    }
    for (const BenchChecksum& checksum : kBenchChecksums) {
        if (checksum.kinds == 0) continue;
        benchmark::RegisterBenchmark(("ChecksumMemory1GiB/" + std::string(checksum.name)).c_str(),
                                     BM_ChecksumMemory, checksum)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::AddCustomContext("checksum instructions", ChecksumInstructionsInUse());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    HexDocClose(doc);
    std::remove(path.c_str());
    return 0;
}
