#include "platform/image.h"

#include <stb/stb_image.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/graphics.h"

namespace platform {

namespace {

std::string sniffFormat(const Bytes& d) {
  if (d.size() >= 8 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') return "png";
  if (d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return "jpeg";
  if (d.size() >= 6 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8') return "gif";
  return "";
}

bool readFile(const std::string& path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

Image::Image(int w, int h, double scale, std::string format, Bytes data)
    : pixelWidth_(w), pixelHeight_(h), scale_(scale > 0 ? scale : 1), format_(std::move(format)),
      data_(std::move(data)) {}

std::shared_ptr<Image> Image::imageWithData(const Bytes& data, double scale) {
  std::string fmt = sniffFormat(data);
  if (fmt.empty() || data.size() > static_cast<size_t>(INT32_MAX)) return nullptr;
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(data.data(), static_cast<int>(data.size()), &w, &h, &comp)) return nullptr;
  if (w <= 0 || h <= 0) return nullptr;
  return std::make_shared<Image>(w, h, scale, fmt, data);
}

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path) {
  Bytes data;
  if (!readFile(path, data)) return nullptr;
  size_t slash = path.find_last_of('/');
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.find_last_of('.');
  std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
  double scale = stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0 ? 2 : 1;
  return imageWithData(data, scale);
}

std::shared_ptr<Image> Image::imageWithPixelSize(int width, int height, double scale) {
  return std::make_shared<Image>(width, height, scale, "", Bytes{});
}

std::shared_ptr<Image> Image::imageWithDrawing(std::shared_ptr<const GraphicsContext> drawing, double scale) {
  if (!drawing) return nullptr;
  const Size size = drawing->size();
  auto image = imageWithPixelSize(static_cast<int>(std::lround(size.width)), static_cast<int>(std::lround(size.height)),
                                  scale);
  image->drawing_ = std::move(drawing);
  return image;
}

}  // namespace platform
