#include "pelora/PELOSettingController.h"

#include <cctype>

#include "platform/bars.h"
#include "platform/bundle.h"
#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/user_defaults.h"

namespace pelora {
namespace {

constexpr int kRoundedRectBorder = 3;
constexpr int kNumberPad = 4;

// Leading digits, as the year field's text is read; 0 when there are none.
int leadingNumber(const std::string& text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::shared_ptr<PELOSettingController> PELOSettingController::create() {
  return std::make_shared<PELOSettingController>(platform::Passkey<PELOSettingController>{});
}

std::shared_ptr<platform::TextField> PELOSettingController::addField(double y) {
  auto field = std::make_shared<platform::TextField>(platform::Rect(150, y, 150, 31));
  field->setBorderStyle(kRoundedRectBorder);
  field->setTextAlignment(platform::TextAlignment::Right);
  field->setDelegate(std::static_pointer_cast<platform::TextFieldDelegate>(
      std::static_pointer_cast<PELOSettingController>(shared_from_this())));
  view()->addSubview(field);
  return field;
}

void PELOSettingController::viewDidLoad() {
  setTitle("Anonymous Profile");
  view()->setBackgroundColor(platform::Color::groupTableViewBackgroundColor());
  std::weak_ptr<PELOSettingController> weak = std::static_pointer_cast<PELOSettingController>(shared_from_this());
  navigationItem()->setLeftBarButtonItem(platform::BarButtonItem::createWithTitle(
      platform::Bundle::mainBundle().localizedStringForKeyValueTable("Done"), platform::BarButtonItemStyle::Done,
      shared_from_this(), [weak](platform::BarButtonItem&) {
        if (auto self = weak.lock()) self->backButtonPushed();
      }));
  const std::pair<const char*, double> labels[] = {{"Gender:", 10}, {"Year of Birth:", 50}, {"Interests:", 90}};
  for (const auto& [text, y] : labels) {
    auto label = std::make_shared<platform::Label>(platform::Rect(10, y, 150, 31));
    label->setText(text);
    label->setBackgroundColor(platform::Color::clearColor());
    view()->addSubview(label);
  }
  gender_ = addField(10);
  yearofbirth_ = addField(50);
  yearofbirth_->setPlaceholder("1900");
  yearofbirth_->setKeyboardType(kNumberPad);
  interest1_ = addField(90);
  interest2_ = addField(130);
  interest3_ = addField(170);
  auto note = std::make_shared<platform::Label>(platform::Rect(5, 320, 310, 80));
  note->setTextAlignment(platform::TextAlignment::Center);
  note->setNumberOfLines(0);
  note->setFont(platform::Font::systemFontOfSize(12));
  note->setText(
      "The entered information is anonymous and cannot be assigned to any personal information. This data is used "
      "only to target advertising within the application according to the entered information. You can edit or "
      "delete this profile at any time in your DEVICE settings.");
  view()->addSubview(note);
}

void PELOSettingController::viewDidUnload() {
  gender_.reset();
  yearofbirth_.reset();
  interest1_.reset();
  interest2_.reset();
  interest3_.reset();
}

std::optional<bool> PELOSettingController::textFieldShouldReturn(platform::TextField& field) {
  field.resignFirstResponder();
  return true;
}

void PELOSettingController::backButtonPushed() {
  auto self = shared_from_this();
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  if (gender_ && !gender_->text().empty()) {
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(gender_->text()[0])));
    if (first == 'm' || first == 'f') defaults.setObjectForKey(platform::Value(std::string(1, first)), kGenderKey);
  }
  if (yearofbirth_ && yearofbirth_->text().size() == 4) {
    // The calendar year: the week-based year runs a few days off around New Year.
    const auto today = platform::Calendar::components(platform::Clock::current().now(), platform::TimeZone::local());
    if (today) {
      const int age = today->year - leadingNumber(yearofbirth_->text()) - 1;
      if (age >= 0 && age <= 98) defaults.setObjectForKey(platform::Value(yearofbirth_->text()), kAgeKey);
    }
  }
  const std::shared_ptr<platform::TextField> interests[] = {interest1_, interest2_, interest3_};
  for (int i = 0; i < 3; ++i)
    if (interests[i] && !interests[i]->text().empty())
      defaults.setObjectForKey(platform::Value(interests[i]->text()), kInterestKeys[i]);
  if (auto d = delegate()) d->settingViewControllerDismiss(*this);
}

}  // namespace pelora
