#include "CZLoadingView.h"

#include "platform/bundle.h"
#include "platform/graphics.h"

namespace cadenzo {

using platform::Passkey;

std::shared_ptr<CZLoadingView> CZLoadingView::createWithFrame(const platform::Rect& frame) {
  auto view = std::make_shared<CZLoadingView>(Passkey<CZLoadingView>{}, frame);
  view->progressBar_ = CZIndeterminateProgressBar::createWithFrame(platform::Rect(0, 60, 280, 30));
  view->label_ = std::make_shared<platform::Label>(platform::Rect(0, 0, 300, 300));
  view->label_->setText(
      platform::Bundle::mainBundle().localizedStringForKeyValueTable("Loading...", "", ""));
  view->label_->setBackgroundColor(platform::Color::clearColor());
  view->label_->setTextColor(platform::Color::whiteColor());
  view->label_->setFont(platform::Font::boldSystemFontOfSize(16));
  view->label_->sizeToFit();
  view->addSubview(view->label_);
  view->addSubview(view->progressBar_);
  return view;
}

void CZLoadingView::layoutSubviews() {
  const platform::Rect b = bounds();
  const platform::Point middle{platform::rectGetMidX(b), platform::rectGetMidY(b)};
  label_->setCenter(middle);
  progressBar_->setCenter(middle);
  platform::Point labelCenter = label_->center();
  labelCenter.y -= label_->frame().size.height / 2 + 30;
  label_->setCenter(labelCenter);
  platform::Point barCenter = progressBar_->center();
  barCenter.y += progressBar_->frame().size.height / 2 - 10;
  progressBar_->setCenter(barCenter);
}

}  // namespace cadenzo
