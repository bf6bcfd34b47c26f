#include "OAWireFormat.h"

#include <gtest/gtest.h>

#include "OATestSupport.h"

namespace analytics {
namespace {

using test::variables;

TEST(OAWireFormatTest, DomainHash) {
  // The first two are the collector's published values; the others computed independently.
  const std::pair<const char*, int32_t> cases[] = {
      {"-", 737325}, {"abc", 37651568}, {"collect.orvane.com", 19731754}, {"", 0}};
  for (auto [text, hash] : cases) EXPECT_EQ(wire::simpleHashForString(text), hash) << text;
}

TEST(OAWireFormatTest, EventText) {
  struct Case {
    const char *category, *action;
    std::optional<std::string> label;
    int32_t value;
    std::shared_ptr<OACustomVariableBuffer> buffer;
    const char* text;
  };
  const Case cases[] = {
      {"c", "a", std::nullopt, -1, nullptr, "5(c*a)"},
      {"c", "a", "l", 3, nullptr, "5(c*a*l)(3)"},
      {"c", "a", std::nullopt, 0, nullptr, "5(c*a)(0)"},
      {"c", "a", "", -7, nullptr, "5(c*a*)"},
      {"c", "a", std::nullopt, -1, std::make_shared<OACustomVariableBuffer>(), "5(c*a)"},
      {"c", "a", std::nullopt, -1, variables({{1, "name", "value", 3}}),
       "5(c*a)8(1!name)9(1!value)11(1!3)"},
      {"c", "a", "l", 1, variables({{5, "b", "y", 3}, {2, "a*", "x y", 1}}),
       "5(c*a*l)(1)8(2!a'2*5!b)9(2!x%20y*5!y)11(2!1*5!3)"},
  };
  for (const auto& c : cases) {
    OAEvent event(c.category, c.action, c.label, c.value);
    event.setCustomVariableBuffer(c.buffer);
    EXPECT_EQ(wire::eventText(event), c.text);
  }
}

}  // namespace
}  // namespace analytics
