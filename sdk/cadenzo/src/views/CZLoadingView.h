#pragma once
// The "Loading..." overlay: a white bold label (the main bundle's translation of
// "Loading...") above an indeterminate progress bar, both centred, the label 30 points
// above the middle and the bar 10 points below it. Owns both. Main thread only.
#include <memory>

#include "CZIndeterminateProgressBar.h"
#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace cadenzo {

class CZLoadingView : public platform::View {
 public:
  static std::shared_ptr<CZLoadingView> createWithFrame(const platform::Rect& frame);
  CZLoadingView(platform::Passkey<CZLoadingView>, const platform::Rect& frame) : platform::View(frame) {}

  const std::shared_ptr<platform::Label>& label() const { return label_; }
  const std::shared_ptr<CZIndeterminateProgressBar>& progressBar() const { return progressBar_; }

  void layoutSubviews() override;

 private:
  std::shared_ptr<platform::Label> label_;
  std::shared_ptr<CZIndeterminateProgressBar> progressBar_;
};

}  // namespace cadenzo
