#pragma once
// The HTML pages the banner view builds its ads into. Text from the ad answer is escaped for
// the place it goes (element text, attribute, script string); rich-media markup is the
// ad's own page content and goes in as it stands.
#include <string>

namespace pelora {

struct PELOAdPageTemplates {
  static std::string imagePage(const std::string& colorHex, const std::string& clickUrl, const std::string& imageUrl);
  static std::string textPage(int width, int height, const std::string& clickUrl, const std::string& adText);
  static std::string richMediaPage(const std::string& colorHex, const std::string& scriptHost, const std::string& markup);
};

}  // namespace pelora
