// The text of --help and --version.
#include "cli/options.h"

#include <string>

#include "device/chip_types.h"
#include "formats/text_format.h"
#include "vorland_version.h"

const char* VersionText() {
    return "vorland-cli " VORLAND_VERSION;
}

std::string HelpText() {
    std::string text =
        "usage: vorland-cli COMMAND [FILE] [options]\n"
        "       vorland-cli compare A B [options]\n"
        "Drives a Vorland or Tandrel EPROM and flash programmer on a serial port.\n"
        "\n"
        "Commands:\n"
        "  detect          find the programmer; print its name and port\n"
        "  info            print the programmer's details (and the chip type's, with --chip)\n"
        "  read FILE       read the chip into FILE\n"
        "  program FILE    program FILE into the chip, then verify the chip against it\n"
        "  verify FILE     compare the chip with FILE, byte by byte (or --quick)\n"
        "  erase           erase the whole chip, or one --sector\n"
        "  blank           check that the whole chip, or one --sector, is blank (all FF)\n"
        "  compare A B     compare two image files byte by byte (no programmer needed)\n"
        "\n"
        "Options:\n"
        "  -p, --port NAME       the programmer's port: COM3, /dev/ttyUSB0, ...\n"
        "                        (default: on Linux the USB adapters first, then try COM1\n"
        "                        to COM5 and every other COM port);\n"
        "                        give it again for each further unit to work on (see\n"
        "                        Several units)\n"
        "      --ports LIST      several ports at once: COM3,COM4,COM7; on Linux also\n"
        "                        patterns such as /dev/ttyUSB* (quoted)\n"
        "      --all             detect: list every unit on every port tried\n"
        "  -c, --chip TYPE       the chip in the socket, one of\n"
        "                        ";
    std::string writable;
    std::string readOnly;
    std::string clearing;  // writes only clear bits
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        std::string& list = kChipTypes[i].programmable() ? writable : readOnly;
        list += (list.empty() ? "" : ", ") + ChipShortName(i);
        if (kChipTypes[i].writeClearsBits()) {
            clearing += (clearing.empty() ? "" : ", ") + ChipShortName(i);
        }
    }
    text += writable + " and the read-only\n                        " + readOnly;
    text +=
        "\n"
        "      --chip-range R    the chip addresses to work on (default: see Ranges)\n"
        "      --file-range R    the image addresses (HEX, S-record) or offsets (binary)\n"
        "                        that go with them\n"
        "  -f, --format FMT      bin, hex or srec (default: from the file name: .bin .rom\n"
        "                        .raw; .hex .ihx .ihex; .srec .s19 .s28 .s37 .mot)\n"
        "      --fill XX         the byte for gaps in an image (default FF)\n"
        "      --erase           program: erase the whole chip first\n"
        "      --changed-only    program: write only the blocks that differ from the\n"
        "                        chip (see Programming only what differs)\n"
        "      --no-verify       program: do not verify afterwards\n"
        "      --quick           verify by the unit's checksum instead of reading back\n"
        "      --serial-at ADDR  program: stamp each chip with its own serial number at\n"
        "                        image address ADDR (hex; see Production runs)\n"
        "      --serial-start N  the first number (default 1; decimal, or hex after 0x)\n"
        "      --serial-step N   from one number to the next (default 1)\n"
        "      --serial-format F le16, be16, le32 (default), be32, dec:DIGITS or\n"
        "                        hex:DIGITS (ASCII, zero-padded)\n"
        "      --serial-file F   the one counter of every run that names it: the next\n"
        "                        number and those given back, kept in F (locked through\n"
        "                        F.lock while a round takes its numbers)\n"
        "      --if-busy WHAT    wait (default) or stop when another run holds the\n"
        "                        serial file or the log for more than 3 seconds\n"
        "      --repeat          program: round after round, Enter between them\n"
        "      --log FILE        program: append JSON lines to FILE: each chip's\n"
        "                        \"started\" record before it is programmed, its result\n"
        "                        after\n";
    text +=
        Printf("      --sector N        erase, blank: only sector N (0-%d, %s each) of the %s\n",
               kSectorChip.sectorCount - 1, FormatBytes(kSectorChip.sectorSize).c_str(),
               kSectorChip.shortName);
    text +=
        "      --baud RATE       link rate once the programmer is found: 115200, 230400,\n"
        "                        460800 or 921600 (default: 921600 for a Vorland or a USB\n"
        "                        Tandrel, else 115200); the unit is always left at 115200\n"
        "      --json            results as JSON Lines on stdout, an object per unit (and\n"
        "                        chip), for compare one for the files and one per range\n"
        "                        that differs; the text goes to stderr\n"
        "  -q, --quiet           no progress and no notes, only results and errors\n"
        "  -v, --verbose         also show the programmer link's own messages\n"
        "  -h, --help            show this text\n"
        "      --version         show the version\n"
        "\n"
        "Ranges are hexadecimal, START-END (end included) or START+LENGTH, e.g. 8000-FFFF.\n"
        "HEX and S-record images place their bytes at the addresses of their records;\n"
        "a binary image starts at offset 0. Byte (file range start + n) goes to chip\n"
        "address (chip range start + n); both ranges have one length.\n"
        "  read:    the whole chip by default. Without --file-range, HEX and S-record\n"
        "           files get the chip addresses, binary files start at offset 0.\n"
        "  program, verify: without ranges, the span of the image's data at the same\n"
        "           chip addresses, widened to multiples of 64 bytes (for verify, of a\n"
        "           HEX or S-record image); it must fit the chip. With only --chip-range,\n"
        "           the file range starts at the same address (HEX, S-record) or at 0\n"
        "           (binary); with only --file-range, the chip range starts at 0. Gaps\n"
        "           are programmed and compared as --fill.\n"
        "  read and program need a chip start and a length that are multiples of 64.\n"
        "read, program and verify end with the programmer window's checksum line of the\n"
        "chip range: Checksum 004000-0043FF: sum 1A2B, CRC-32 89ABCDEF.\n"
        "\n"
        "compare A B: the two files address by address. A binary file holds its bytes\n"
        "from address 0 (any size below 4 GiB, read in place); a HEX or S-record file\n"
        "holds address 0 to its last data byte, what it does not give as --fill, as it\n"
        "loads into the programmer's buffer. Prints how many bytes differ in how many\n"
        "ranges, then the first ten ranges with up to 8 bytes of each file; where one\n"
        "file is longer, its extra bytes are one more range.\n"
        "\n"
        "Programming only what differs (--changed-only): two checksums of the unit\n"
        "for each region of the range tell which 256-byte blocks hold the image\n"
        "already; only the others are written (\"Programmed 1 KiB of 512 KiB; 511 KiB\n"
        "already matched.\"), then the whole range is verified as usual. Blocks whose\n"
        "checksums matched although their bytes did not are programmed then, and the\n"
        "range verified once more. Where a flash chip that can only clear bits by a\n"
        "write (";
    text += clearing;
    text +=
        ") needs a bit set, the blocks that differ are read, and\n"
        "the sector (without sectors: the chip) is erased first when it lies wholly in\n"
        "the range; otherwise the whole range is programmed as usual, which needs the\n"
        "chip erased, and no byte outside the range is touched.\n"
        "\n"
        "Several units: with more than one port, --ports or a port pattern the command\n"
        "runs on every unit at once, each on its own; a unit that fails does not stop\n"
        "the others. The image is read and checked once, before any unit is touched.\n"
        "read FILE writes one file per unit with the port's name before the extension\n"
        "(dump.COM3.hex). At the end a table gives each port's unit, result, time, and\n"
        "the range and checksums of what was read, programmed or verified, and names\n"
        "the ports that failed.\n"
        "\n"
        "Production runs: with --serial-at every chip gets the image with its own number\n"
        "patched in (the number's bytes must lie in the range programmed), and the\n"
        "verify compares against that. Each round, each unit that answers and whose\n"
        "socket does not still hold a chip stamped with this image (skipped: \"insert a\n"
        "new chip\") takes, in the order of the ports, the lowest number given back,\n"
        "else the next new one, under the serial file's lock, before its first block.\n"
        "A failed chip gives its number back only if it surely does not carry it;\n"
        "numbers given back stay in the serial file for the next run. Chips a stopped\n"
        "run left started without a result are reported by the next run with the same\n"
        "log or serial file (\"interrupted\"), and their numbers are never reused.\n"
        "Records carry run, version, image, image_crc32 and verify (full, quick or\n"
        "none). With --repeat a prompt follows each round; at a terminal only a line\n"
        "typed after it starts the next; q, the end of input or Ctrl+C ends the run.\n"
        "\n"
        "Exit status:\n"
        "    0  success\n"
        "    1  verify mismatch, the chip is not blank, or compare found differences\n"
        "    2  bad arguments, ranges or files (an unreadable, malformed or too large\n"
        "       image, or an output file that cannot be written)\n"
        "    3  no supported programmer found\n"
        "    4  communication failure: the unit stopped answering, answered wrongly or\n"
        "       refused an operation\n"
        "  130  interrupted (Ctrl+C); the unit is still returned to 115200 baud\n"
        "  With several units: the worst of the units' results, 4 over 3 over 1 over 0;\n"
        "  a unit's file that cannot be written gives 2, Ctrl+C 130; over all rounds.\n";
    return text;
}
