#include "platform/serial_port.h"

bool SerialPorts::Exists(const char* name) {
    return Open(name) != nullptr;
}
