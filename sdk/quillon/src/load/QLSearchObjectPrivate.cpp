#include "QLSearchObjectPrivate.h"

#include "QLConfiguration.h"

namespace quillon {

std::shared_ptr<QLSearchObjectPrivate> QLSearchObjectPrivate::createWithView(const std::shared_ptr<platform::View>& view) {
  auto engine = std::make_shared<QLSearchObjectPrivate>(Passkey{}, view->bounds());
  engine->setUp();
  engine->attachToView(view);
  return engine;
}

std::string QLSearchObjectPrivate::jsBuildAdURL() const {
  return "http://" + QLConfiguration::current().scriptHost + "/quillon-search/ql-builder-v1.js";
}

}  // namespace quillon
