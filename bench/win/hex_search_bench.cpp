// Find and checksums over a 1 GiB mapped file with nothing to find, in the 32-bit Windows build
// under Wine: run in slices as the control runs them, and then through a HexView32 on the
// screen as the editor runs them (Find, Checksum with CRC-32 alone and with all four), from the
// window's own message queue. Prints the best and the median of five runs of each (three of
// all the checksums, which take seconds).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/hex_search_cases.h"
#include "bench/win/bench_clock.h"
#include "bench/win/scan_host.h"
#include "document/hex_document_file.h"
#include "hexview/hexview_win.h"

namespace {

// The processor time of this process so far (its own threads, user and system).
double ProcessSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

template <typename Work>
void Time(const char* what, int runs, Work work) {
    std::vector<double> seconds;
    double processor = 1e30;  // of the fastest run
    for (int i = 0; i < runs; ++i) {
        const double start = NowSeconds();
        const double startProcessor = ProcessSeconds();
        if (!work()) {
            std::printf("%-34s failed\n", what);
            return;
        }
        seconds.push_back(NowSeconds() - start);
        if (seconds.back() == *std::min_element(seconds.begin(), seconds.end())) {
            processor = ProcessSeconds() - startProcessor;
        }
    }
    const double best = *std::min_element(seconds.begin(), seconds.end());
    const double median = Median(seconds);
    std::printf("%-34s best %.3f s (%5.0f MB/s, processor %.3f s), median %.3f s (%5.0f MB/s)\n",
                what, best, kBenchFileBytes / best / 1e6, processor, median,
                kBenchFileBytes / median / 1e6);
}

// A search (kinds 0) or checksums of the whole document from its start, run by the control
// from the queue until it ends; true when it read everything and found nothing (or summed
// everything).
bool RunInControl(HWND control, unsigned kinds) {
    const bool find = kinds == 0;
    HexViewGoTo(control, 0);
    if (!(find ? HexViewFind(control, kBenchSearches[0].text, 0)
               : HexViewChecksum(control, kinds))) {
        return false;
    }
    RunUntilScanDone();
    HexViewScanInfo info{};
    HexViewGetScan(control, &info);

    return info.outcome == (find ? HVSO_NOTFOUND : HVSO_DONE) && info.done == kBenchFileBytes;
}

void TimeInControl(const std::string& path) {
    HWND control = CreateScanHost("Find benchmark");
    if (HexViewOpenFile(control, path.c_str(), TRUE, TRUE) == 0) {
        std::printf("the control could not open %s\n", path.c_str());
        return;
    }
    std::printf("The same through a HexView32 on the screen, from its message queue:\n");
    Time((std::string("Find, ") + kBenchSearches[0].name).c_str(), 5,
         [&] { return RunInControl(control, 0); });
    Time("Checksum, CRC-32", 5, [&] { return RunInControl(control, kChecksumCrc32); });
    Time("Checksum, all four", 3, [&] { return RunInControl(control, kChecksumAll); });
    DestroyWindow(GetParent(control));
}

}  // namespace

int main() {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "vorland-bench-1GiB.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::vector<std::uint8_t> block(1 << 20);
    std::uint64_t state = 88172645463325252ull;
    for (std::uint32_t done = 0; done < kBenchFileBytes; done += 1 << 20) {
        RandomNonZeroBytes(block.data(), block.size(), state);
        DWORD written = 0;
        WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    }
    CloseHandle(file);
    {
        HexDocument doc;
        if (!HexDocOpenFile(doc, path.c_str(), true, true)) {
            std::printf("could not open %s\n", path.c_str());
            return 1;
        }
        std::printf("1 GiB mapped, nothing to find, slices of %u MiB; checksum instructions: %s\n",
                    kBenchSlice >> 20, ChecksumInstructionsInUse().c_str());
        for (const BenchSearch& search : kBenchSearches) {
            Time((std::string("search, ") + search.name).c_str(), 5,
                 [&] { return SearchFindsNothing(doc, search); });
        }
        for (const BenchChecksum& checksum : kBenchChecksums) {
            ChecksumResults results;
            Time(checksum.name, checksum.kinds == kChecksumAll ? 3 : 5,
                 [&] { return ChecksumDocument(doc, checksum, &results); });
        }
    }
    {
        std::vector<std::uint8_t> block(kBenchMemoryBlock);
        std::uint64_t seed = 88172645463325252ull;
        RandomNonZeroBytes(block.data(), block.size(), seed);
        std::printf("The checksum code alone: a %u MiB block in memory, four times over:\n",
                    static_cast<unsigned>(kBenchMemoryBlock >> 20));
        for (const BenchChecksum& checksum : kBenchChecksums) {
            if (checksum.kinds == 0) continue;
            ChecksumResults results;
            Time(checksum.name, checksum.kinds == kChecksumAll ? 3 : 5,
                 [&] { return ChecksumMemory(block.data(), checksum, &results); });
        }
    }
    TimeInControl(path);
    DeleteFileA(path.c_str());
    return 0;
}
