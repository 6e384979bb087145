// Comparing two 1 GiB files, side by side in each iteration so that a busy machine weighs on
// both alike:
//   - the pair differs only in its last byte: `cmp -s` against `vorland-cli compare -q` (both
//     programs started afresh) and against the comparison core in this process (opening both
//     documents included); cli_ratio = cli_s / cmp_s and core_ratio = core_s / cmp_s, target
//     <= 1.2;
//   - one pair differs in every 4 KiB (262144 ranges), the other only in its last byte, both
//     through the core: ratio = every_4k_s / one_s, target <= 2 (the ranges' bookkeeping must
//     not dominate).
// The files are made in a temporary folder (TMPDIR or /tmp), read once so that every run finds
// them in the page cache, and deleted at the end.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "document/hex_compare.h"
#include "document/hex_document_file.h"

namespace {

constexpr std::size_t kSize = std::size_t{1} << 30;
constexpr std::size_t kChunk = std::size_t{1} << 20;

std::string gDir;
std::string gSame;       // the reference
std::string gLast;       // differs in the last byte
std::string gEvery4KiB;  // differs in one byte of every 4 KiB

void Require(bool done, const char* what) {
    if (done) return;
    std::fprintf(stderr, "benchmark step failed: %s\n", what);
    std::exit(1);
}

enum class Flip { kNone, kLastByte, kEveryPage };

// The 1 GiB file of a pattern, with some bytes flipped.
void MakeFile(const std::string& path, Flip flip) {
    std::vector<unsigned char> chunk(kChunk);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr, path.c_str());
    for (std::size_t at = 0; at < kSize; at += kChunk) {
        for (std::size_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<unsigned char>(i * 31);
        if (flip == Flip::kEveryPage) {
            for (std::size_t i = 100; i < kChunk; i += 4096) chunk[i] ^= 0xFF;
        }
        if (flip == Flip::kLastByte && at + kChunk == kSize) chunk[kChunk - 1] ^= 0xFF;
        Require(std::fwrite(chunk.data(), 1, kChunk, file) == kChunk, "writing a file");
    }
    Require(std::fclose(file) == 0, "closing a file");
}

void RemoveFiles() {
    for (const std::string& path : {gSame, gLast, gEvery4KiB}) std::remove(path.c_str());
    rmdir(gDir.c_str());
}

// A program's exit status, or -1.
int RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The core over two files: the ranges it found.
std::uint64_t CoreCompare(const std::string& a, const std::string& b) {
    HexDocument docA;
    HexDocument docB;
    Require(HexDocOpenFile(docA, a.c_str(), true, true), "opening a file");
    Require(HexDocOpenFile(docB, b.c_str(), true, true), "opening a file");
    HexCompare compare(HexCompareSide::Document(docA), HexCompareSide::Document(docB));
    HexScanStatus status;
    while ((status = compare.Step(8u << 20)) == kHexScanMore) {
    }
    Require(status == kHexScanDone, "the compare");
    return compare.Differences().RangeCount();
}

template <typename Work>
double Seconds(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LastByteDiffersAgainstCmp(benchmark::State& state) {
    double cmp = 0, cli = 0, core = 0;
    for (auto _ : state) {
        cmp += Seconds([] { Require(RunProgram({"cmp", "-s", gSame, gLast}) == 1, "cmp -s"); });
        cli += Seconds([] {
            Require(RunProgram({VORLAND_CLI_EXE, "compare", "-q", gSame, gLast}) == 1,
                    "vorland-cli compare");
        });
        core += Seconds([] { Require(CoreCompare(gSame, gLast) == 1, "one range"); });
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["cmp_s"] = cmp / n;
    state.counters["cli_s"] = cli / n;
    state.counters["core_s"] = core / n;
    state.counters["cli_ratio"] = cli / cmp;
    state.counters["core_ratio"] = core / cmp;
}

void BM_EveryFourKiBDiffersAgainstOne(benchmark::State& state) {
    double one = 0, every = 0;
    for (auto _ : state) {
        one += Seconds([] { Require(CoreCompare(gSame, gLast) == 1, "one range"); });
        every += Seconds(
            [] { Require(CoreCompare(gSame, gEvery4KiB) == kSize / 4096, "a range a page"); });
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["one_s"] = one / n;
    state.counters["every_4k_s"] = every / n;
    state.counters["ratio"] = every / one;
}

BENCHMARK(BM_LastByteDiffersAgainstCmp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_EveryFourKiBDiffersAgainstOne)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vorland-compare-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr, "making the temporary folder");
    gDir = pattern;
    gSame = gDir + "/same.bin";
    gLast = gDir + "/last.bin";
    gEvery4KiB = gDir + "/every4k.bin";
    std::atexit(RemoveFiles);  // also when a step fails
    MakeFile(gSame, Flip::kNone);
    MakeFile(gLast, Flip::kLastByte);
    MakeFile(gEvery4KiB, Flip::kEveryPage);
    CoreCompare(gSame, gEvery4KiB);  // into the page cache
    CoreCompare(gSame, gLast);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
