#pragma once
// Real PNG files made in memory, for the servers that hand ad pictures to the clients.
#include <cstdint>
#include <string>

namespace testkit {

// A valid 1-bit greyscale PNG of `width` x `height` pixels; `seed` varies the pixels so
// that pictures of the same size have different checksums.
std::string makePNG(uint32_t width, uint32_t height, uint8_t seed = 0);

}  // namespace testkit
