// The words of the answer's enumerations and back, the way the server writes them.
#include <gtest/gtest.h>

#include "PELOEnumConverter.h"
#include "pelora/PELOReceivedBannerProtocol.h"

namespace {

using namespace pelora;

TEST(PELOEnumConverterTest, WordsAndValuesRoundTripAndUnknownsFallBack) {
  struct Case {
    int value;
    const char* word;
    std::string (*toWord)(int);
    int (*toValue)(std::string_view);
  };
  const Case cases[] = {
      {kPELOAdDimensionXXLarge, "XXLARGE", PELOAdDimensionEnumConverter::stringForValue,
       PELOAdDimensionEnumConverter::valueForString},
      {kPELOAdDimensionSky, "SKY", PELOAdDimensionEnumConverter::stringForValue,
       PELOAdDimensionEnumConverter::valueForString},
      {kPELOAdTypeRichMedia, "RICHMEDIA", PELOAdTypeEnumConverter::stringForValue,
       PELOAdTypeEnumConverter::valueForString},
      {kPELOBannerStatusSuccess, "SUCCESS", PELOBannerStatusEnumConverter::stringForValue,
       PELOBannerStatusEnumConverter::valueForString},
      {kPELOBannerStatusError, "ERROR", PELOBannerStatusEnumConverter::stringForValue,
       PELOBannerStatusEnumConverter::valueForString},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(c.toWord(c.value), c.word);
    EXPECT_EQ(c.toValue(c.word), c.value);
    std::string lower = c.word;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(c.toValue(lower), c.value);
    // A word the server never sends reads as the first value; a value out of range has no word.
    EXPECT_EQ(c.toValue("NOT-A-WORD"), 0);
    EXPECT_EQ(c.toWord(-1), "");
    EXPECT_EQ(c.toWord(99), "");
  }
}

}  // namespace
