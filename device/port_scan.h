// Where the programmer is looked for: the one order of ports that Vorland.exe and vorland-cli
// (without --port) try. Portable; it opens nothing itself.
#pragma once

#include <functional>
#include <string>

#include "platform/serial_port.h"

// COM1 to COM5 are always tried; ports up to COM256 are tried when they exist.
inline constexpr int kAlwaysScannedPorts = 5;
inline constexpr int kLastComPort = 256;

// n for a port name "COMn" with n from 1 to kLastComPort (any case, no leading zero); else 0.
[[nodiscard]] int ComPortNumber(const char* name);

// Where the scan begins: the usual order, or the port of the last find before all others (a
// unit that went away is most likely back where it was).
enum class ScanStart { kUsualOrder, kLastPortFirst };

// Calls tryPort with each name of the scan in turn until it returns true, and returns that
// name; "" when it never did. The scan:
//   1. with kLastPortFirst, lastPort when ports.Exists() finds it;
//   2. ports.PreferredPorts() (on Linux the USB adapters), in their order;
//   3. COM1 to COM5, in order, whether they exist or not (so a missing one is reported as
//      missing, as it always was);
//   4. lastPort, the port where a unit was last found, when it is a COM port beyond those
//      (null or anything else: skipped) and ports.Exists() finds it;
//   5. every other port from COM6 to COM256 that ports.Exists() finds, in order.
// No name is tried twice. A name that does not exist costs one Exists() call; tryPort never
// sees it.
//
// To find every unit rather than the first, let tryPort note each port and return false.
std::string ScanPorts(SerialPorts& ports, const char* lastPort,
                      const std::function<bool(const char* name)>& tryPort,
                      ScanStart start = ScanStart::kUsualOrder);
