// Serial ports through termios, for native tools and tests.
//
// Port names map to device paths like this, first match wins:
//   - a name holding a '/' is a path itself ("/dev/ttyUSB0", "/dev/pts/7", a symlink to one);
//   - a name given to Map() ("COM3" -> "/tmp/sim/com3"); names compare without regard to case;
//   - "COMn" with n from 1 up is "/dev/ttySn-1", the usual Linux numbering (Wine's too);
//   - anything else does not exist.
// So a native tool scans "COM1".."COM5" against real ports, or against a simulator after
// mapping the names to its pseudo-terminals, and a user can still give a path. A scan tries the
// USB adapters first (PreferredPorts). "/dev" is the device folder of the object; tests give
// another, so that a scan meets only the devices they made.
//
// A port opened here is taken exclusively among programs that also lock it (flock), and reads
// and writes follow the COMMTIMEOUTS rules of SerialTimeouts exactly, on poll().
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/serial_port.h"

class PosixSerialPorts final : public SerialPorts {
public:
  explicit PosixSerialPorts(std::string deviceFolder = "/dev")
      : deviceFolder_(std::move(deviceFolder)) {}

  std::unique_ptr<SerialLink> Open(const char* name) override;
  // A terminal device at the name's path; it is opened and closed, untouched and unlocked.
  bool Exists(const char* name) override;
  // The links in serial/by-id, then ttyUSB*, then ttyACM* of the device folder, each in
  // natural order; a device that several of them name comes once, at its first place. A
  // by-id link is given as the device it leads to (its own name is too long to be a port
  // name of the link), the others as they are named.
  std::vector<std::string> PreferredPorts() override;
  // The name of the link in serial/by-id of the device folder that leads to the port's device.
  std::string AdapterId(const char* name) override;

  // Makes name open path from now on; an empty path removes the mapping. Thread-safe.
  void Map(const std::string& name, const std::string& path);
  // The device path a name opens, or "" when it names no port.
  std::string PathOf(const char* name) const;

private:
  const std::string deviceFolder_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> paths_;  // upper-case name -> path
};

// SystemSerialPorts() on POSIX is one PosixSerialPorts; native tools map names on it. Its
// device folder is "/dev", or for tests the folder that VORLAND_DEVICE_FOLDER names.
PosixSerialPorts& SystemPosixSerialPorts();

// Opens a device path directly (what Open does after mapping); null when it cannot be opened
// or is locked by another program.
std::unique_ptr<SerialLink> OpenPosixSerialPath(const std::string& path);

// The device paths a shell-style pattern ("/dev/ttyUSB*", "/dev/ttyS[0-3]") matches, in
// natural order (ttyUSB2 before ttyUSB10); empty when none does.
std::vector<std::string> ExpandPosixPortPattern(const std::string& pattern);
