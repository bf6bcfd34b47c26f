#include "QLIntrinsicImages.h"

#include "QLStringEncoding.h"

namespace quillon {

namespace {
std::shared_ptr<platform::Image> decoded(const char* base64) {
  auto bytes = QLStringEncoding::rfc4648Base64StringEncoding()->decode(base64);
  return bytes ? platform::Image::imageWithData(*bytes, 2) : nullptr;
}

constexpr const char* kCloseButton =
    "iVBORw0KGgoAAAANSUhEUgAAADIAAAAyCAYAAAAeP4ixAAAA7ElEQVR42u2a2xHDMAgEXY76LyptOA1kZECHDBsx40/Lt0YP"
    "BFzXMbjdRmstvizULbZyAGOMz+x5HSgqPAq2DWIVwALUDiIdZhfAE1BLCCnM2xAymAoQv2BaemPZKxaIrHNE5hWrQJXXPOO4"
    "YKIgERjvGGYQr6gVmOi7JphdglQ/QL7leoStTslHkB3zPWNdpRyAM6HKwDMdxHJpUn8jNSTJhNgKMoNJj70OCHVqIRZ7ue23"
    "9YGICVH+OmgsG8ZjLlaoqy4m+YBKB2ESdKiUKSaJjSoroAo9qNIbqhiKKk/jGgZwLRy4pppjQvsCh2j7q3iM+kkAAAAASUVO"
    "RK5CYII=";
constexpr const char* kBackButton =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAAi0lEQVR42u3YyRGAIBAFUfJP+uuZA+4sbb8MuihlmFIkSZKu"
    "yg4ZhQpLBRm1fFgakFFLhuUkZNQyYbkBFzR9WB7CBU0ZlhfhgqYJy0dwQUPD0gEuqGtYBvDE/Mb+/FdE32P4yQM9K+Kne/R7"
    "DP+CRu888Fsq/F4RvQnG7+6PAgsFNqwOLETYMEmSGjbQWSxFNjM/XgAAAABJRU5ErkJggg==";
constexpr const char* kForwardButton =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAAgklEQVR42u3ZSQ6AIBAF0b7/pb+uXRjj1FDUu0GFKNBUSZIk"
    "huywYci4HGDDMHE5gQ2bOi4XYcOmi8sN2LApAvMQNmzYwLwIGzZUYD6CDWsPzA+wYS2BaeCK+Y35V3QfW+Pk4ene+5g3aGce"
    "60ypnAQ7u28IKwL8+1jRYN+gJUkaxAaqoyxFtr8nJAAAAABJRU5ErkJggg==";
}  // namespace

std::shared_ptr<platform::Image> QLIntrinsicImages::closeButton() {
  static const auto image = decoded(kCloseButton);
  return image;
}

std::shared_ptr<platform::Image> QLIntrinsicImages::browserBackButton() {
  static const auto image = decoded(kBackButton);
  return image;
}

std::shared_ptr<platform::Image> QLIntrinsicImages::browserForwardButton() {
  static const auto image = decoded(kForwardButton);
  return image;
}

}  // namespace quillon
