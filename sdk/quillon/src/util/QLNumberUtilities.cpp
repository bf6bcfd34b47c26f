#include "QLNumberUtilities.h"

#include "platform/format.h"

namespace quillon {

std::string QLNumberUtilities::stringWithFloat(double value) {
  std::string text = platform::format("%f", value);
  if (text.find('.') == std::string::npos) return text;  // "inf", "nan"
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace quillon
