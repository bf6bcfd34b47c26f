#include "PELOImages.h"

#include "platform/base64.h"

namespace pelora {
namespace {

constexpr const char* kCloseButton =
    "iVBORw0KGgoAAAANSUhEUgAAAB4AAAAeCAYAAAA7MK6iAAAAjklEQVR42tWXSw7AIAhEvf/Jeqt2a+xvBsEXSdwZHqDg2NoOdv7YcmB6AIOzQ1nTAbjAtwCWQkPwLKgFz4bK8ApoD7ezVSsh+tCzVdpK3WOf7Zdjtd9vWbul7Pc6QyYMHkHuZJsCP8HDbbUFGCk1crlK2gkbIOjIxB4J9FnEhAAqfVCxh8pbVNDjX5gKuwADJ1VN+rYCpQAAAABJRU5ErkJggg==";

constexpr const char* kSkipButton =
    "iVBORw0KGgoAAAANSUhEUgAAAIQAAAAdCAIAAADkT1N7AAAAbUlEQVR42u3BUQoBAQAA0TmLpE2StEmSJEmSJEnufxDXmI95j180+EaDTzR4R4NXNHhGg0c0uEeDWzS4RoNLNDhHg1M0OEaDQzTYR4NdNNhGg000GKPBOhqsosEyGiyiwTwaDNFgFg2m0WASjT/qpd3fbKROgwAAAABJRU5ErkJggg==";

std::shared_ptr<platform::Image> decoded(const char* base64) {
  auto bytes = platform::base64Decode(base64);
  return bytes ? platform::Image::imageWithData(*bytes) : nullptr;
}

}  // namespace

std::shared_ptr<platform::Image> PELOImages::closeButton() {
  static const auto image = decoded(kCloseButton);
  return image;
}

std::shared_ptr<platform::Image> PELOImages::skipButtonBackground() {
  static const auto image = decoded(kSkipButton);
  return image;
}

}  // namespace pelora
