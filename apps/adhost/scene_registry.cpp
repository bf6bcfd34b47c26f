#include <algorithm>
#include <utility>

#include "scenes.h"

namespace adhost {
namespace {
// Made on first use: scenes register while the program's statics are being initialised.
std::vector<Scene>& registry() {
  static std::vector<Scene> all;
  return all;
}
}  // namespace

bool registerScene(Scene scene) {
  registry().push_back(std::move(scene));
  return true;
}

std::vector<Scene> scenes() {
  auto all = registry();
  std::stable_sort(all.begin(), all.end(), [](const Scene& a, const Scene& b) { return a.order < b.order; });
  return all;
}

}  // namespace adhost
