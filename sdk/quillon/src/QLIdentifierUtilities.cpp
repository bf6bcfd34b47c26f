#include "QLIdentifierUtilities.h"

#include "platform/application.h"

namespace quillon {

platform::Dictionary QLIdentifierUtilities::canOpenURLs(const std::vector<std::string>& urls) {
  platform::Dictionary answers;
  auto& app = platform::Application::sharedApplication();
  for (const auto& url : urls) answers.set(url, platform::Value(app.canOpenURL(url)));
  return answers;
}

}  // namespace quillon
