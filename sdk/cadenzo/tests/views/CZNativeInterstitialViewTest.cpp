#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CZNativeInterstitialView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/device.h"
#include "platform/graphics.h"
#include "CZViewTestSupport.h"

namespace {

using cadenzo::CZNativeInterstitialView;
using platform::Dictionary;
using platform::Rect;
using platform::Value;
using czviews_test::sha1;

class NativeInterstitialTest : public czviews_test::CZViewTest {
 protected:
  // A view of `frame` prepared with `assets`, and its verdict.
  std::shared_ptr<CZNativeInterstitialView> prepared(const Value& assets, const Rect& frame, std::string* verdict) {
    auto view = CZNativeInterstitialView::createWithFrame(frame);
    *verdict = verdictOf(*view, Dictionary{{"type", Value("native")}, {"assets", assets}});
    return view;
  }
};

// Unusable or unloadable pictures show at the readiness check.
TEST_F(NativeInterstitialTest, ReadyOnlyWithAUsableCloseButtonAndOneCompleteOrientation) {
  const Value good = picture("close-good", 30, 30);
  Value wrongSum = good;
  wrongSum.mutableDictionary().set("checksum", Value(sha1("something else")));
  const std::vector<std::string> portrait = {"ad-portrait", "frame-portrait"};
  struct Case { const char* name; std::vector<std::string> keys; std::optional<Value> close; std::string verdict; };
  const Case cases[] = {
      {"portrait only", {"ad-portrait", "frame-portrait", "close"}, {}, "ready"},
      {"landscape only", {"ad-landscape", "frame-landscape", "close"}, {}, "ready"},
      {"everything", {"ad-portrait", "frame-portrait", "ad-landscape", "frame-landscape", "close"}, {}, "ready"},
      {"no close", {"ad-portrait", "frame-portrait", "ad-landscape", "frame-landscape"}, {}, "failed"},
      {"orientations mixed", {"ad-portrait", "frame-landscape", "close"}, {}, "failed"},
      {"close only", {"close"}, {}, "failed"},
      {"checksum mismatch", portrait, wrongSum, "failed"},
      {"no checksum", portrait, Value(Dictionary{{"url", good["url"]}}), "failed"},
      {"not a dictionary", portrait, Value(good["url"]), "failed"},
      {"nowhere to load from", portrait,
       Value(Dictionary{{"url", Value(server.url("/nothing"))}, {"checksum", Value(sha1("x"))}}), "failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary assets;
    for (const auto& key : c.keys) assets.set(key, picture(key, 20, 20));
    if (c.close) assets.set("close", *c.close);
    std::string verdict;
    prepared(assets, Rect(0, 0, 320, 480), &verdict);
    EXPECT_EQ(verdict, c.verdict);
  }
  std::string verdict;
  prepared(Value("not a dictionary"), Rect(0, 0, 320, 480), &verdict);
  EXPECT_EQ(verdict, "failed");
}

TEST_F(NativeInterstitialTest, LayoutByOrientationDeviceFamilyScaleAndOffset) {
  auto facade = cadenzo::Cadenzo::sharedCadenzo();
  struct Case {
    const char* name;
    int orientation;
    std::optional<platform::UserInterfaceIdiom> idiom;
    Rect bounds;
    Dictionary closeExtra;
    Dictionary adExtra;
    Rect adFrame;
    Rect closeFrame;
  } cases[] = {
      // 640 x 960 pixels at scale 2: 320 x 480 points, centred.
      {"phone portrait", 1, platform::UserInterfaceIdiom::Phone, Rect(0, 0, 320, 480), {}, {{"scale", Value(2)}},
       Rect(0, 0, 320, 480), Rect(270, 45, 30, 30)},
      {"no idiom counts as phone", 2, std::nullopt, Rect(0, 0, 320, 480), {}, {{"scale", Value(2)}},
       Rect(0, 0, 320, 480), Rect(270, 45, 30, 30)},
      {"zero offset", 1, platform::UserInterfaceIdiom::Phone, Rect(0, 0, 320, 480),
       {{"offset", Value(Dictionary{{"x", Value(0)}, {"y", Value(0)}})}}, {{"scale", Value(2)}},
       Rect(0, 0, 320, 480), Rect(270, 45, 30, 30)},
      {"offsets in points after scaling", 1, platform::UserInterfaceIdiom::Phone, Rect(0, 0, 320, 480),
       {{"offset", Value(Dictionary{{"x", Value(-10)}, {"y", Value(4.5)}})}, {"scale", Value(2)}},
       {{"scale", Value(4)}, {"offset", Value(Dictionary{{"x", Value(3)}, {"y", Value(-7)}})}},
       Rect(83, 113, 160, 240), Rect(267.5, 57, 15, 15)},
      {"phone landscape", 3, platform::UserInterfaceIdiom::Phone, Rect(0, 0, 480, 320), {}, {{"scale", Value(2)}},
       Rect(80, -80, 320, 480), Rect(425, 40, 30, 30)},
      {"pad portrait", 1, platform::UserInterfaceIdiom::Pad, Rect(0, 0, 768, 1024), {}, {},
       Rect(64, 32, 640, 960), Rect(654, 117, 30, 30)},
      {"pad landscape", 4, platform::UserInterfaceIdiom::Pad, Rect(0, 0, 1024, 768), {}, {},
       Rect(192, -96, 640, 960), Rect(877, 84, 30, 30)},
      // A scale of 0 or below is refused: the picture keeps its pixel size.
      {"zero and negative scales", 1, platform::UserInterfaceIdiom::Phone, Rect(0, 0, 320, 480),
       {{"scale", Value(0)}}, {{"scale", Value(-2)}}, Rect(-160, -240, 640, 960), Rect(270, 45, 30, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    facade->setOrientation(c.orientation);
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    // The close picture is 30 x 30 pixels, or 30 x 30 points at the given scale.
    const uint32_t closePixels = c.closeExtra.contains("scale") && c.closeExtra.get("scale").doubleValue() > 0
                                     ? static_cast<uint32_t>(15 * c.closeExtra.get("scale").doubleValue())
                                     : 30;
    Dictionary assets{{"ad-portrait", picture("ad-p", 640, 960, c.adExtra)},
                      {"frame-portrait", picture("frame-p", 100, 100)},
                      {"ad-landscape", picture("ad-l", 640, 960, c.adExtra)},
                      {"frame-landscape", picture("frame-l", 100, 100)},
                      {"close", picture("close", closePixels, closePixels, c.closeExtra)}};
    std::string verdict;
    auto view = prepared(assets, c.bounds, &verdict);
    ASSERT_EQ(verdict, "ready");
    view->layoutIfNeeded();
    EXPECT_EQ(view->adUnit()->frame(), c.adFrame);
    EXPECT_EQ(view->closeButton()->frame(), c.closeFrame);
    EXPECT_EQ(view->closeButton()->imageForState(platform::kControlStateNormal), view->closeImage());
  }
}

TEST_F(NativeInterstitialTest, FrameIsDrawnUnderTheButtonsAndTapsReachTheCallbacks) {
  cadenzo::Cadenzo::sharedCadenzo()->setOrientation(1);
  Dictionary assets{
      {"ad-portrait", picture("ad", 280, 400)},
      {"frame-portrait", picture("frame", 600, 880, {{"scale", Value(2)}, {"offset", Value(Dictionary{{"y", Value(6)}})}})},
      {"close", picture("close", 30, 30)}};
  std::string verdict;
  auto view = prepared(assets, Rect(0, 0, 320, 480), &verdict);
  ASSERT_EQ(verdict, "ready");
  EXPECT_TRUE(view->needsDisplay());
  view->displayIfNeeded();
  auto drawing = view->lastDrawing();
  ASSERT_TRUE(drawing);
  auto images = drawing->operationsOfKind(platform::DrawOp::Kind::DrawImage);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].rect, Rect(10, 26, 300, 440));
  EXPECT_EQ(images[0].image, view->frameImagePortrait());
  EXPECT_EQ(view->subviews(), (std::vector<std::shared_ptr<platform::View>>{view->adUnit(), view->closeButton()}));
  std::vector<std::string> heard;
  view->setClickCallback([&](const std::optional<std::string>& url, const std::optional<Value>& data) {
    heard.push_back(std::string("click ") + (url ? *url : "-") + (data ? " data" : " -"));
  });
  view->setCloseCallback([&] { heard.push_back("close"); });
  view->layoutIfNeeded();
  view->adUnit()->simulateTap();
  view->closeButton()->simulateTap();
  EXPECT_EQ(heard, (std::vector<std::string>{"click - -", "close"}));
}

}  // namespace
