#include "HVMessageBox.h"

#include "platform/application.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace halvern {

using platform::Font;
using platform::Label;
using platform::Rect;

std::shared_ptr<HVMessageBox> HVMessageBox::messageBox() {
  auto box = std::make_shared<HVMessageBox>();
  box->view();
  return box;
}

void HVMessageBox::loadView() {
  auto window = platform::Application::sharedApplication().keyWindow();
  const Rect area = window ? window->bounds() : platform::Screen::mainScreen().bounds();
  auto box = HVMessageBoxView::create(Rect(platform::rectGetMidX(area) - kSide / 2,
                                           platform::rectGetMidY(area) - kSide / 2, kSide, kSide));
  box->setAutoresizingMask(platform::kAutoresizingFlexibleLeftMargin | platform::kAutoresizingFlexibleRightMargin |
                           platform::kAutoresizingFlexibleTopMargin | platform::kAutoresizingFlexibleBottomMargin);
  setView(box);
}

std::shared_ptr<HVMessageBoxView> HVMessageBox::boxView() { return std::static_pointer_cast<HVMessageBoxView>(view()); }

std::shared_ptr<Label> HVMessageBox::makeLabel(const std::string& text, const Font& font, int lines) {
  auto label = std::make_shared<Label>(Rect(0, 0, boxView()->bounds().size.width, font.lineHeight()));
  label->setOpaque(false);
  label->setBackgroundColor(platform::Color::clearColor());
  label->setTextColor(platform::Color::whiteColor());
  label->setShadowColor(platform::Color::blackColor());
  label->setFont(font);
  label->setNumberOfLines(lines);
  label->setText(text);
  return label;
}

void HVMessageBox::replaceLabel(std::shared_ptr<Label>& slot, std::shared_ptr<Label> label) {
  if (slot) removeView(slot);
  slot = std::move(label);
  slot->sizeToFit();
  addView(slot);
}

void HVMessageBox::setTitle(const std::string& text) {
  auto label = makeLabel(text, Font::boldSystemFontOfSize(Font::labelFontSize()), 2);
  label->setAdjustsFontSizeToFitWidth(true);
  label->setMinimumFontSize(kTitleMinimumFontSize);
  replaceLabel(titleView_, std::move(label));
}

void HVMessageBox::setMessage(const std::string& text) {
  replaceLabel(messageView_, makeLabel(text, Font::systemFontOfSize(Font::labelFontSize()), 0));
}

void HVMessageBox::addView(const std::shared_ptr<platform::View>& view) { boxView()->addView(view); }

void HVMessageBox::removeView(const std::shared_ptr<platform::View>& view) { boxView()->removeView(view); }

void HVMessageBox::showInView(const std::shared_ptr<platform::View>& view) {
  if (!view) return;
  auto box = boxView();
  box->sizeToFit();
  const Rect area = view->bounds();
  box->setCenter({platform::rectGetMidX(area), platform::rectGetMidY(area)});
  box->setTransform(box->transform().scaled(kPopScale, kPopScale));
  box->setAlpha(0);
  view->addSubview(box);
  platform::View::beginAnimationsContext(kAnimationID);
  platform::View::setAnimationDuration(kAnimationDuration);
  box->setTransform(box->transform().scaled(1 / kPopScale, 1 / kPopScale));
  box->setAlpha(1);
  platform::View::commitAnimations();
}

void HVMessageBox::hide() {
  auto box = boxView();
  platform::View::beginAnimationsContext(kAnimationID);
  platform::View::setAnimationDuration(kAnimationDuration);
  std::weak_ptr<HVMessageBoxView> weak = box;
  platform::View::setAnimationDidStopCallback([weak](const std::string&, bool, void*) {
    // Unless it was shown again meanwhile.
    if (auto gone = weak.lock(); gone && gone->alpha() == 0) gone->removeFromSuperview();
  });
  box->setAlpha(0);
  platform::View::commitAnimations();
  box->removeFromSuperview();
}

void HVMessageBox::setTransform(const platform::AffineTransform& transform) { boxView()->setTransform(transform); }

// Touches on the box go nowhere: the view below must not take them as its own.
void HVMessageBox::touchesEndedWithEvent(const platform::TouchSet&, const platform::Event&) {}

}  // namespace halvern
