// The hex document's costs in the 32-bit Windows build, under Wine: opening big files by
// mapping, scattered edits, random and sequential reads over many pieces, undoing long
// histories. Prints one line per figure.
#include <windows.h>

#include "bench/win/bench_clock.h"
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "document/hex_document_file.h"
#include "platform/virtual_memory.h"

namespace {

double WorkingSetKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / 1024.0;
}

std::string TempPath(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

void MakeFile(const std::string& path, long long size, bool sparse) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sparse) {
        LARGE_INTEGER end;
        end.QuadPart = size;
        SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    } else {
        std::vector<char> chunk(1 << 20);
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
        for (long long done = 0; done < size; done += static_cast<long long>(chunk.size())) {
            DWORD written = 0;
            WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
        }
    }
    CloseHandle(file);
}

void OpenMapped(const char* label, const std::string& path) {
    double best = 1e9, added = 0;
    for (int i = 0; i < 20; ++i) {
        HexDocument doc;
        double before = WorkingSetKiB();
        double start = NowSeconds();
        Require(HexDocOpenFile(doc, path.c_str(), true, true), "open");
        static_cast<void>(HexDocGetByte(doc, doc.length - 1));  // maps the last window
        best = std::min(best, NowSeconds() - start);
        added = std::max(added, WorkingSetKiB() - before);
    }
    std::printf("open %-26s %8.3f ms   added working set %6.0f KiB\n", label, best * 1e3, added);
}

void OpenMemory(HexDocument& doc, std::uint32_t size) {
    void* block = AllocateMemory(size);
    std::memset(block, 0x55, size);
    Require(HexDocOpen(doc, kNoFile, block, size, false), "open");
}

void Scatter(HexDocument& doc, std::uint32_t pieces, std::mt19937& random) {
    OpenMemory(doc, 16 << 20);
    while (doc.undoStack.count < pieces) {
        std::uint8_t byte = static_cast<std::uint8_t>(random());
        Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
    }
}

void RandomOps(std::uint32_t pieces) {
    std::mt19937 random(2);
    HexDocument doc;
    Scatter(doc, pieces, random);
    constexpr int kOps = 100000;
    double start = NowSeconds();
    std::uint8_t buffer[16];
    for (int i = 0; i < kOps; ++i) {
        Require(HexDocRead(doc, buffer, random() % (doc.length - 16), 16) != nullptr, "read");
    }
    double read = (NowSeconds() - start) / kOps;
    start = NowSeconds();
    for (int i = 0; i < kOps; ++i) {
        std::uint8_t byte = 1;
        Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
        Require(HexDocUndo(doc), "undo");
    }
    double insert = (NowSeconds() - start) / kOps;
    std::printf("%6u pieces: random read %7.3f us, random insert+undo %7.3f us\n", pieces,
                read * 1e6, insert * 1e6);
}

}  // namespace

int main() {
    std::string sparse2 = TempPath("vorland-bench-2GiB.bin");
    std::string sparse4 = TempPath("vorland-bench-4GiB.bin");
    std::string real = TempPath("vorland-bench-256MiB.bin");
    MakeFile(sparse2, 2LL << 30, true);
    MakeFile(sparse4, (4LL << 30) - 1, true);
    MakeFile(real, 256LL << 20, false);

    OpenMapped("2 GiB sparse by mapping", sparse2);
    OpenMapped("4 GiB - 1 sparse by mapping", sparse4);

    {
        std::mt19937 random(1);
        HexDocument doc;
        OpenMemory(doc, 16 << 20);
        double start = NowSeconds();
        for (int i = 0; i < 100000; ++i) {
            std::uint8_t byte = static_cast<std::uint8_t>(i);
            Require(HexDocInsert(doc, random() % doc.length, &byte, 1), "insert");
        }
        std::printf("100000 scattered inserts: %.1f ms (%.3f us each)\n", (NowSeconds() - start) * 1e3,
                    (NowSeconds() - start) * 10);
    }
    for (std::uint32_t pieces : {1000u, 10000u, 100000u}) RandomOps(pieces);

    {
        std::mt19937 random(4);
        HexDocument doc;
        Scatter(doc, 10000, random);
        for (std::uint32_t step : {2048u, 65536u}) {
            std::vector<std::uint8_t> buffer(step);
            double start = NowSeconds();
            for (int round = 0; round < 10; ++round) {
                for (std::uint32_t at = 0; at < doc.length; at += step) {
                    Require(HexDocRead(doc, buffer.data(), at, step) != nullptr, "read");
                }
            }
            double rate = 10.0 * doc.length / (NowSeconds() - start) / 1e9;
            std::printf("sequential read, 10000 pieces, %5u-byte steps: %.2f GB/s\n", step, rate);
        }
    }
    {
        HexDocument doc;
        Require(HexDocOpenFile(doc, real.c_str(), true, true), "open");
        std::vector<std::uint8_t> buffer(1 << 20);
        double best = 1e9;
        for (int round = 0; round < 5; ++round) {
            double start = NowSeconds();
            for (std::uint32_t at = 0; at < doc.length; at += 1 << 20) {
                Require(HexDocRead(doc, buffer.data(), at, 1 << 20) != nullptr, "read");
            }
            best = std::min(best, NowSeconds() - start);
        }
        std::printf("sequential read, unedited 256 MiB mapped file: %.2f GB/s\n",
                    doc.length / best / 1e9);
    }
    {
        std::mt19937 random(5);
        HexDocument doc;
        OpenMemory(doc, 1 << 20);
        for (int i = 0; i < 100000; ++i) {
            std::uint8_t bytes[4] = {1, 2, 3, 4};
            std::uint32_t at = random() % (doc.length - 8);
            if (i % 3 == 0) Require(HexDocInsert(doc, at, bytes, 4), "insert");
            if (i % 3 == 1) Require(HexDocOverwrite(doc, at, bytes, 3), "overwrite");
            if (i % 3 == 2) Require(HexDocDelete(doc, at, 2), "delete");
            doc.lastOp = kHexOpNone;
        }
        double start = NowSeconds();
        int undone = 0;
        while (HexDocUndo(doc)) ++undone;
        std::printf("undo of %d edits: %.1f ms\n", undone, (NowSeconds() - start) * 1e3);
    }
    DeleteFileA(sparse2.c_str());
    DeleteFileA(sparse4.c_str());
    DeleteFileA(real.c_str());
    return 0;
}
