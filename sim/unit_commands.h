// The simulator's control language: one command per line, answered by one line that starts
// with "ok" or "error". vorland-sim takes these on its control port and with --do on its
// command line; tests use them in-process.
//
//   ping                          ok
//   status                        ok model=M chip=T speed=C baud=B frames=N blocks=N
//                                    sector-erases=N bulk-erases=N speed-changes=N
//                                    garbled=N ignored=N bad=N
//   model NAME                    tandrel-serial, tandrel-usb, vorland, calyxor1, calyxor2
//   version MAJOR MINOR LETTER    the version reply
//   eeprom ADDRESS BYTE...        the unit's own EEPROM (the hardware block is 1..7)
//   chip TYPE                     a chip type of the host's table, by number or short name
//                                 (1, AM29F040): a fresh chip in the socket
//   insert [BYTE]                 a new chip of the same type in the socket: as it comes, or
//                                 with every byte BYTE (one that was used before)
//   fill BYTE                     every chip byte
//   poke ADDRESS BYTE...          chip bytes from ADDRESS on
//   load PATH                     chip bytes from a file (from 0; the rest keeps its value)
//   dump PATH                     the whole chip into a file
//   writes                        ok and the chip ranges written since the faults were last
//                                 set, in order: "ok 000400-0007FF 030000-03FFFF" ("ok" none)
//   fault clear                   no faults; the block count restarts
//   fault NAME [ARGS]             adds one fault (see UnitFaults); the block count restarts:
//       silent, refuse-speed, short-version, eeprom-refused, eeprom-silent,
//       eeprom-bad-checksum, quick-short,
//       bad-checksum BLOCK, reply BLOCK BYTE, short BLOCK COUNT, stop BLOCK [COUNT],
//       gap BLOCK AFTER MS, erase-fail SECTOR BYTE, bulk-fail BYTE, corrupt BLOCK
//   timing TURNAROUND_US ERASE_MS the unit's pause before each reply and per erase
//   rate BAUD                     the unit's line rate from now on, as a host that ended
//                                 without setting it back leaves it: 115200, 230400, 460800
//                                 or 921600 (only bytes sent at that rate reach it)
//   reset                         power cycle: 115200 baud, no faults, counters cleared
//   restart                       a new unit: the defaults of a freshly started simulator
//   pace on|off                   send bytes at the wire rate of the line (transport)
//   link PATH                     move the unit's symlink to PATH (transport)
//   unlink                        remove the unit's symlink: no unit is attached (transport)
//   quit                          end the simulator (transport)
//
// Numbers are decimal or 0x-prefixed hexadecimal; a BYTE may also be one character that is
// not a decimal digit ("F", "?"). Paths are the simulator's own (Unix) paths.
#pragma once

#include <string>

#include "sim/programmer_unit.h"

// What a command asks of the transport around the unit.
struct UnitCommandEffects {
    bool quit = false;
    int pacing = -1;   // -1 unchanged, 0 off, 1 on
    bool unlink = false;
    std::string link;  // non-empty: where the unit's symlink goes
};

// Runs one command line; returns the reply line (without a line end).
[[nodiscard]] std::string ExecuteUnitCommand(ProgrammerUnit& unit, const std::string& line,
                                             UnitCommandEffects* effects);

// "vorland" for kVorland, and so on.
const char* UnitModelName(UnitModel model);
