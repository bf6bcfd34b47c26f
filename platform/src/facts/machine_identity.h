#pragma once
// Identifiers that stay the same on one machine and differ between machines: a SHA-1 of a
// purpose word and the machine's id (/etc/machine-id, else the host name).
#include <string>
#include <string_view>

#include "platform/value.h"

namespace platform::identity {

// 20 bytes.
Bytes machineDigest(std::string_view purpose);
// The first 16 bytes as "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
std::string uuidText(const Bytes& bytes);

}  // namespace platform::identity
