// SHA-256 of a byte string as lower-case hex (FIPS 180-4), so a test can
// compare a written file with the digest the format notes give for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fx2_test {

std::string Sha256Hex(const std::vector<uint8_t>& message);

}  // namespace fx2_test
