#pragma once
// Images decoded from PNG, JPEG or GIF bytes. Only the pixel dimensions are read (the
// headless platform draws nothing); the bytes are kept for whoever writes them out again.
// Immutable once made, so an image may be shared between threads.
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/value.h"

namespace platform {

class GraphicsContext;

class Image {
 public:
  // nullptr when the bytes are not a PNG, JPEG or GIF image. `scale` divides pixels into
  // points (a scale of 0 or less is taken as 1).
  static std::shared_ptr<Image> imageWithData(const Bytes& data, double scale = 1);
  // nullptr when the file is missing or not an image. A file name whose stem ends in "@2x"
  // ("close@2x.png") gives scale 2.
  static std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path);
  // An image made in code (a drawing context's result, a test fixture): no bytes.
  static std::shared_ptr<Image> imageWithPixelSize(int width, int height, double scale = 1);
  // The result of drawing into a bitmap context: the context's size in pixels, and what was
  // drawn kept with the image so that what it shows can be read back (drawing()).
  static std::shared_ptr<Image> imageWithDrawing(std::shared_ptr<const GraphicsContext> drawing, double scale = 1);
  // nullptr for an image that was not drawn in code.
  const std::shared_ptr<const GraphicsContext>& drawing() const { return drawing_; }

  // Size in points: pixels divided by the scale.
  Size size() const { return {pixelWidth_ / scale_, pixelHeight_ / scale_}; }
  double scale() const { return scale_; }
  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  // "png", "jpeg", "gif", or "" for an image made in code.
  const std::string& format() const { return format_; }
  const Bytes& data() const { return data_; }

  Image(int w, int h, double scale, std::string format, Bytes data);

 private:
  int pixelWidth_;
  int pixelHeight_;
  double scale_;
  std::string format_;
  Bytes data_;
  std::shared_ptr<const GraphicsContext> drawing_;
};

}  // namespace platform
