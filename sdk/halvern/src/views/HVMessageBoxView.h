#pragma once
// The translucent rounded box behind the client's message boxes: a background drawn once
// per size into an off-screen layer, and a scrolling content view that stacks a few views
// from the top, each centred. Main thread only.
#include <memory>

#include "platform/graphics.h"
#include "platform/scroll_view.h"
#include "platform/view.h"

namespace halvern {

class HVMessageBoxView : public platform::View {
 public:
  // The box is never taller than this; a taller stack scrolls inside.
  static constexpr double kMaximumHeight = 320.0;
  static constexpr double kBorderWidth = 4.0;

  static std::shared_ptr<HVMessageBoxView> create(const platform::Rect& frame);
  explicit HVMessageBoxView(const platform::Rect& frame);

  // Appends `view` below the stacked ones.
  void addView(const std::shared_ptr<platform::View>& view);
  // Takes `view` out of the stack, moving the later ones up; views not stacked are ignored.
  void removeView(const std::shared_ptr<platform::View>& view);
  // Restacks every view from the top.
  void layoutViews();
  // Fits the box around the stack with a margin of twice the corner radius, at most
  // kMaximumHeight high, and renders the background for the new size. An empty stack
  // keeps the box as it is.
  void sizeToFit();
  // Renders the rounded, graded and outlined background for `size`.
  void updateBackgroundLayerForSize(platform::Size size);
  void drawRect(const platform::Rect& rect) override;

  double cornerRadius() const { return cornerRadius_; }
  platform::Size contentSize() const { return contentSize_; }
  const std::shared_ptr<platform::ScrollView>& contentView() const { return contentView_; }
  const std::shared_ptr<platform::DrawingLayer>& backgroundLayer() const { return bgLayer_; }

 private:
  void initialize();
  void setContentHeight(double height);
  double centreX() const;

  std::shared_ptr<platform::DrawingLayer> bgLayer_;
  double cornerRadius_ = 0;
  platform::Size contentSize_;
  std::shared_ptr<platform::ScrollView> contentView_;
};

}  // namespace halvern
