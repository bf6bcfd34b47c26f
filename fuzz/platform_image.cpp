// A downloaded picture's bytes, sniffed and measured as an ad's image is. The first byte
// picks the scale. Beyond not crashing: only PNG, JPEG and GIF bytes make an image, its
// pixel sides are positive, its size in points is its pixels over its scale, and it keeps
// the bytes it was made of.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const double scale = data[0] % 4;  // 0 stands for 1
  const platform::Bytes bytes(data + 1, data + size);
  auto image = platform::Image::imageWithData(bytes, scale);
  if (!image) return 0;
  const std::string& format = image->format();
  if (format != "png" && format != "jpeg" && format != "gif") std::abort();
  if (image->pixelWidth() <= 0 || image->pixelHeight() <= 0) std::abort();
  const double expectedScale = scale > 0 ? scale : 1;
  if (image->scale() != expectedScale) std::abort();
  if (image->size().width != image->pixelWidth() / expectedScale) std::abort();
  if (image->size().height != image->pixelHeight() / expectedScale) std::abort();
  if (image->data() != bytes) std::abort();
  return 0;
}
