#include "platform/error.h"

#include "platform/format.h"

namespace platform {

std::string Error::localizedDescription() const {
  const Value& text = userInfo[kLocalizedDescriptionKey];
  if (text.isString()) return text.string();
  return format("The operation couldn\xE2\x80\x99t be completed. (%@ error %ld.)", domain, code);
}

}  // namespace platform
