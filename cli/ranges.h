// Which chip addresses a read, program or verify works on, and which image addresses go with
// them. The rules (also in --help):
//   - byte (fileStart + n) of the image belongs to chip address (chipStart + n);
//   - a given --chip-range and --file-range must have one length;
//   - read: the whole chip unless ranges say otherwise; a missing file range starts at the chip
//     start for HEX and S-record files and at 0 for binary files, which have no addresses (a
//     binary file is always written from offset 0);
//   - program, verify without ranges: the span of the image's data, at the same chip
//     addresses; it must fit the chip. Program, and verify of a HEX or S-record image, widen
//     it to multiples of 64 bytes;
//   - with only --chip-range the file range starts at the same address (HEX, S-record) or at 0
//     (binary); with only --file-range the chip range starts at 0;
//   - read and program keep the window's block rule: chip start and length multiples of 64.
// Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/options.h"
#include "formats/sparse_image.h"

struct TransferPlan {
    std::uint32_t chipStart;
    std::uint32_t fileStart;
    std::uint32_t length;  // at least 1, at most the chip's size
};

struct PlanRequest {
    CliCommand command;     // kRead, kProgram or kVerify
    std::int32_t chipType;  // a valid index
    bool addressed;         // the file is HEX or S-record
    std::optional<HexRange> chipRange;
    std::optional<HexRange> fileRange;
    const SparseImage* image;  // program, verify: the image read; borrowed
};

// Why a plan cannot be made: the ranges given, or the image (then naming the line of the
// record at fault where there is one).
struct PlanError {
    std::string message;
    bool aboutImage = false;
    std::uint32_t line = 0;  // of the image's file; 0 none
};

// False with the reason in error when the ranges cannot be used.
[[nodiscard]] bool PlanTransfer(const PlanRequest& request, TransferPlan& plan, PlanError& error);
