#include "view_tree.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <typeinfo>

#include "platform/view.h"

namespace adhost {
namespace {

std::string className(const platform::View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && plain ? plain : mangled;
  std::free(plain);
  return name;
}

void print(const std::shared_ptr<platform::View>& view, int depth) {
  auto f = view->frame();
  std::printf("             %*s%s (%g,%g %gx%g)%s%s\n", depth * 2, "", className(*view).c_str(), f.origin.x,
              f.origin.y, f.size.width, f.size.height, view->isHidden() ? " hidden" : "",
              view->alpha() < 1 ? (" alpha " + std::to_string(view->alpha()).substr(0, 4)).c_str() : "");
  for (const auto& sub : view->subviews()) print(sub, depth + 1);
}

}  // namespace

void printViewTree(const std::shared_ptr<platform::View>& root) {
  if (root) print(root, 0);
  std::fflush(stdout);
}

}  // namespace adhost
