// HVJSON's reader over arbitrary bytes. Whatever reads must write; the text written for a
// value without objects (whose keys the writer leaves bare for the pages) must read back and
// write again to the same text (booleans come back as the numbers they were written as). A
// depth bound may only turn successes into failures.
#include <cstdint>
#include <cstdlib>
#include <string_view>

// The reader is internal to the client; the target reaches it by path.
#include "../sdk/halvern/src/util/HVJSON.h"
#include "../sdk/halvern/src/util/HVJSONParser.h"

namespace {

bool holdsDictionary(const platform::Value& value) {
  if (value.isDictionary()) return true;
  if (!value.isArray()) return false;
  for (const auto& member : value.array())
    if (holdsDictionary(member)) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = halvern::HVJSON::objectWithString(text);
  halvern::HVJSONParser shallow;
  shallow.setMaxDepth(3);
  auto bounded = shallow.objectWithStringAllowScalar(text, true);
  if (bounded && !(value && *bounded == *value)) std::abort();
  if (!value) return 0;
  const std::string written = halvern::HVJSON::stringWithObject(*value);
  if (holdsDictionary(*value)) return 0;
  auto back = halvern::HVJSON::objectWithString(written);
  if (!back || halvern::HVJSON::stringWithObject(*back) != written) std::abort();
  return 0;
}
