// The hex document's costs: opening big files by mapping, scattered edits, random and
// sequential reads over many pieces, and undoing long histories.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "platform/virtual_memory.h"

namespace {

std::string gSparse2GiB;
std::string gSparse4GiB;  // 4 GiB - 1
std::string gReal256MiB;

std::string TempName(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/vorland-bench-" + name;
}

void MakeSparse(const std::string& path, off_t size) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, size) != 0) std::perror(path.c_str());
    close(fd);
}

void MakeReal(const std::string& path, std::size_t size) {
    std::vector<char> chunk(1 << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
    FILE* file = std::fopen(path.c_str(), "wb");
    for (std::size_t done = 0; done < size; done += chunk.size())
        std::fwrite(chunk.data(), 1, chunk.size(), file);
    std::fclose(file);
}

// A measurement of a step that failed would be a measurement of nothing: the program stops.
void Require(bool done, const char* what) {
    if (done) return;
    std::fprintf(stderr, "benchmark step failed: %s\n", what);
    std::exit(1);
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void OpenMapped(benchmark::State& state, const std::string& path) {
    long added = 0;
    for (auto _ : state) {
        HexDocument doc;
        long before = ResidentKiB();
        if (!HexDocOpenFile(doc, path.c_str(), true, true)) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(HexDocGetByte(doc, doc.length - 1));
        state.PauseTiming();
        added = std::max(added, ResidentKiB() - before);
        HexDocClose(doc);
        state.ResumeTiming();
    }
    state.counters["added_resident_KiB"] = static_cast<double>(added);
}

void BM_OpenMapped2GiBSparse(benchmark::State& state) {
    OpenMapped(state, gSparse2GiB);
}
void BM_OpenMapped4GiBMinus1Sparse(benchmark::State& state) {
    OpenMapped(state, gSparse4GiB);
}
BENCHMARK(BM_OpenMapped2GiBSparse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMapped4GiBMinus1Sparse)->Unit(benchmark::kMillisecond);

// A 16 MiB document over memory with single bytes inserted at random places until it holds
// about `pieces` pieces (each such insert splits a piece in three).
void Scatter(HexDocument& doc, std::uint32_t pieces, std::mt19937& random) {
    constexpr std::uint32_t kSize = 16 << 20;
    void* block = AllocateMemory(kSize);
    std::memset(block, 0x55, kSize);
    Require(HexDocOpen(doc, kNoFile, block, kSize, false), "open");
    while (doc.undoStack.count < pieces) {  // each insert leaves a record and one saved piece
        std::uint8_t byte = static_cast<std::uint8_t>(random());
        Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
    }
}

void BM_ScatteredInserts100k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::mt19937 random(1);
        HexDocument doc;
        void* block = AllocateMemory(16 << 20);
        Require(HexDocOpen(doc, kNoFile, block, 16 << 20, false), "open");
        state.ResumeTiming();
        for (int i = 0; i < 100000; ++i) {
            std::uint8_t byte = static_cast<std::uint8_t>(i);
            Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
        }
        state.PauseTiming();
        HexDocClose(doc);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ScatteredInserts100k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RandomInsertAt(benchmark::State& state) {
    std::mt19937 random(2);
    HexDocument doc;
    Scatter(doc, static_cast<std::uint32_t>(state.range(0)), random);
    for (auto _ : state) {
        std::uint8_t byte = 1;
        Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
        Require(HexDocUndo(doc), "undo");  // keeps the piece count where it was
    }
    state.counters["pieces"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_RandomInsertAt)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_RandomReadAt(benchmark::State& state) {
    std::mt19937 random(3);
    HexDocument doc;
    Scatter(doc, static_cast<std::uint32_t>(state.range(0)), random);
    std::uint8_t buffer[16];
    for (auto _ : state) {
        benchmark::DoNotOptimize(HexDocRead(doc, buffer, random() % (doc.length - 16), 16));
    }
    state.counters["pieces"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_RandomReadAt)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_SequentialRead10kPieces(benchmark::State& state) {
    std::mt19937 random(4);
    HexDocument doc;
    Scatter(doc, 10000, random);
    std::uint32_t step = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::uint8_t> buffer(step);
    for (auto _ : state) {
        for (std::uint32_t at = 0; at < doc.length; at += step) {
            benchmark::DoNotOptimize(HexDocRead(doc, buffer.data(), at, step));
        }
    }
    state.SetBytesProcessed(state.iterations() * doc.length);
}
BENCHMARK(BM_SequentialRead10kPieces)->Arg(2048)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_SequentialReadMappedFile(benchmark::State& state) {
    HexDocument doc;
    Require(HexDocOpenFile(doc, gReal256MiB.c_str(), true, true), "open");
    std::vector<std::uint8_t> buffer(1 << 20);
    for (auto _ : state) {
        for (std::uint32_t at = 0; at < doc.length; at += 1 << 20) {
            benchmark::DoNotOptimize(HexDocRead(doc, buffer.data(), at, 1 << 20));
        }
    }
    state.SetBytesProcessed(state.iterations() * doc.length);
}
BENCHMARK(BM_SequentialReadMappedFile)->Unit(benchmark::kMillisecond);

void BM_Undo100kEdits(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::mt19937 random(5);
        HexDocument doc;
        void* block = AllocateMemory(1 << 20);
        Require(HexDocOpen(doc, kNoFile, block, 1 << 20, false), "open");
        for (int i = 0; i < 100000; ++i) {
            std::uint8_t bytes[4] = {1, 2, 3, 4};
            std::uint32_t at = random() % (doc.length - 8);
            switch (i % 3) {
                case 0: Require(HexDocInsert(doc, at, bytes, 4), "insert"); break;
                case 1: Require(HexDocOverwrite(doc, at, bytes, 3), "overwrite"); break;
                default: Require(HexDocDelete(doc, at, 2), "delete"); break;
            }
            doc.lastOp = kHexOpNone;  // one record each
        }
        state.ResumeTiming();
        while (HexDocUndo(doc)) {
        }
        state.PauseTiming();
        HexDocClose(doc);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Undo100kEdits)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    gSparse2GiB = TempName("2GiB.bin");
    gSparse4GiB = TempName("4GiB.bin");
    gReal256MiB = TempName("256MiB.bin");
    MakeSparse(gSparse2GiB, off_t{2} << 30);
    MakeSparse(gSparse4GiB, (off_t{4} << 30) - 1);
    MakeReal(gReal256MiB, std::size_t{256} << 20);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(gSparse2GiB.c_str());
    std::remove(gSparse4GiB.c_str());
    std::remove(gReal256MiB.c_str());
    return 0;
}
