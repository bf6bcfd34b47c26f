// The loading overlay: its label and bar, and where layout puts them.
#include <gtest/gtest.h>

#include <memory>

#include "CZLoadingView.h"
#include "platform/graphics.h"
#include "testing/sandbox_test.h"

namespace cadenzo {
namespace {

using platform::Rect;

class CZLoadingViewTest : public ::testing::SandboxTest {};

TEST_F(CZLoadingViewTest, LoadingViewLayout) {
  auto loading = CZLoadingView::createWithFrame(Rect(0, 0, 320, 480));
  ASSERT_EQ(loading->subviews().size(), 2u);
  EXPECT_EQ(loading->subviews()[0], loading->label());
  EXPECT_EQ(loading->subviews()[1], loading->progressBar());

  auto label = loading->label();
  EXPECT_EQ(label->text(), "Loading...");
  EXPECT_EQ(label->font(), platform::Font::boldSystemFontOfSize(16));
  EXPECT_EQ(label->textColor(), platform::Color::whiteColor());
  EXPECT_EQ(label->backgroundColor(), platform::Color::clearColor());
  // Sized to its text: 10 code points of 0.55 × 16 points, one line of 1.25 × 16.
  EXPECT_EQ(label->frame(), Rect(0, 0, 88, 20));
  EXPECT_EQ(loading->progressBar()->frame(), Rect(0, 60, 280, 30));

  loading->layoutSubviews();
  EXPECT_EQ(label->center(), (platform::Point{160, 240 - 10 - 30}));
  EXPECT_EQ(loading->progressBar()->center(), (platform::Point{160, 240 + 15 - 10}));
  EXPECT_EQ(loading->progressBar()->frame(), Rect(20, 230, 280, 30));
}

}  // namespace
}  // namespace cadenzo
