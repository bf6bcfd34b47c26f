#pragma once
// The engine of search banners: the same loads, from the search builder script.
#include <memory>

#include "QLObjectPrivate.h"
#include "platform/passkey.h"

namespace quillon {

class QLSearchObjectPrivate : public QLObjectPrivate {
 public:
  static std::shared_ptr<QLSearchObjectPrivate> createWithView(const std::shared_ptr<platform::View>& view);
  // "/quillon-search/ql-builder-v1.js" on the script host.
  std::string jsBuildAdURL() const override;

  using Passkey = platform::Passkey<QLSearchObjectPrivate>;
  QLSearchObjectPrivate(Passkey, const platform::Rect& frame) : QLObjectPrivate(frame) {}
};

}  // namespace quillon
