#pragma once
#include <memory>

namespace platform {
class View;
}

namespace adhost {

// Prints a view and everything under it: class, frame, hidden, alpha.
void printViewTree(const std::shared_ptr<platform::View>& root);

}  // namespace adhost
