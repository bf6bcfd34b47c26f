#pragma once
// A small box of stacked views (an activity indicator, a title, a message) that pops in
// over another view and swallows the touches that land on it. Main thread only.
#include <memory>
#include <string>

#include "HVMessageBoxView.h"
#include "platform/controls.h"
#include "platform/view_controller.h"

namespace halvern {

class HVMessageBox : public platform::ViewController {
 public:
  static constexpr double kSide = 256.0;
  static constexpr double kAnimationDuration = 0.5;
  static constexpr double kPopScale = 1.25;
  static constexpr double kTitleMinimumFontSize = 5.0;
  static constexpr const char* kAnimationID = "HVMessageBox";

  static std::shared_ptr<HVMessageBox> messageBox();
  HVMessageBox() = default;

  // Each replaces the previous label of its kind, appending the new one to the stack.
  void setTitle(const std::string& text);
  void setMessage(const std::string& text);
  void addView(const std::shared_ptr<platform::View>& view);
  void removeView(const std::shared_ptr<platform::View>& view);
  // Fits the box to its stack, centres it in `view` and lets it grow in from a larger size.
  void showInView(const std::shared_ptr<platform::View>& view);
  // Takes the box off at once, fading it out.
  void hide();
  void setTransform(const platform::AffineTransform& transform);

  std::shared_ptr<HVMessageBoxView> boxView();
  const std::shared_ptr<platform::Label>& titleView() const { return titleView_; }
  const std::shared_ptr<platform::Label>& messageView() const { return messageView_; }

  void loadView() override;
  void touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event& event) override;

 private:
  std::shared_ptr<platform::Label> makeLabel(const std::string& text, const platform::Font& font, int lines);
  void replaceLabel(std::shared_ptr<platform::Label>& slot, std::shared_ptr<platform::Label> label);

  std::shared_ptr<platform::Label> titleView_;
  std::shared_ptr<platform::Label> messageView_;
};

}  // namespace halvern
