#include "platform/controls.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "platform/alert.h"
#include "platform/bars.h"
#include "platform/scroll_view.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class ControlsTest : public testkit::SandboxTest {};

struct Target {
  int taps = 0;
  std::vector<unsigned> events;
  void tapped(Control&) { ++taps; }
};

TEST_F(ControlsTest, TappedButtonSkipsATargetThatWasDestroyed) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({10, 10, 40, 40});
  auto live = std::make_shared<Target>();
  auto doomed = std::make_shared<Target>();
  button->addTarget(live, &Target::tapped, kControlEventTouchUpInside);
  button->addTarget(doomed, &Target::tapped, kControlEventTouchUpInside);
  std::weak_ptr<Target> weakDoomed = doomed;
  doomed.reset();
  EXPECT_TRUE(weakDoomed.expired()) << "the button does not retain its targets";

  button->simulateTap();
  EXPECT_EQ(live->taps, 1);

  // Through a window: down and up inside send the events in order; up outside does not tap.
  auto window = Window::create({0, 0, 320, 480});
  window->addSubview(button);
  EXPECT_EQ(window->tapAtPoint({20, 20}), nullptr) << "a hidden window takes no touches";
  window->makeKeyAndVisible();
  std::vector<std::string> events;
  button->addTargetActionForControlEvents(nullptr, [&](Control& c) {
    events.push_back(c.isHighlighted() ? "down" : "up");
  }, kControlEventTouchDown | kControlEventTouchUpInside);
  EXPECT_EQ(window->tapAtPoint({20, 20}), button);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "up"}));
  EXPECT_EQ(live->taps, 2);
  window->touchDownAtPoint({20, 20});
  window->touchMovedToPoint({200, 200});
  EXPECT_FALSE(button->isHighlighted());
  window->touchUpAtPoint({200, 200});
  EXPECT_EQ(live->taps, 2) << "released outside";

  button->setEnabled(false);
  button->simulateTap();
  window->tapAtPoint({20, 20});
  EXPECT_EQ(live->taps, 2) << "disabled";
  button->setEnabled(true);
  button->removeTargetForControlEvents(live.get(), kControlEventTouchUpInside);
  button->simulateTap();
  EXPECT_EQ(live->taps, 2) << "removed";
  window->setHidden(true);
}

TEST_F(ControlsTest, ButtonStatesFallBackToNormalAndSizeToFit) {
  auto close = Button::buttonWithType(ButtonType::Custom);
  close->setImageForState(Image::imageWithPixelSize(60, 60, 2), kControlStateNormal);
  close->sizeToFit();
  EXPECT_EQ(close->frame().size, (Size{30, 30})) << "a custom button fits its image in points";

  auto back = Button::buttonWithType(ButtonType::RoundedRect);
  back->setTitleForState("Back", kControlStateNormal);
  back->setTitleForState("Held", kControlStateHighlighted);
  EXPECT_EQ(back->titleForState(kControlStateSelected), "Back");
  EXPECT_EQ(back->currentTitle(), "Back");
  back->setHighlighted(true);
  EXPECT_EQ(back->currentTitle(), "Held");
  back->setHighlighted(false);
  // Bold 18-point title: 4 × 9.9 = 39.6 → 40 by 22.5 → 23, plus 24 and 14 around it.
  back->sizeToFit();
  EXPECT_EQ(back->frame().size, (Size{64, 37}));
  EXPECT_EQ(Button::buttonWithType(ButtonType::InfoDark)->frame().size, (Size{22, 22}));
}

TEST_F(ControlsTest, LabelMetrics) {
  struct Case {
    std::string text;
    Font font;
    int lines;
    double width;
    Size expected;
  } cases[] = {
      // 10 code points × 16 × 0.55 = 88; one line of 20.
      {"Loading...", Font::boldSystemFontOfSize(16), 1, 0, {88, 20}},
      // Multi-byte text counts code points: "héllo" is 5 × 8.5 = 42.5 → 43.
      {"h\xc3\xa9llo", Font::systemFontOfSize(17), 1, 0, {43, 22}},
      // Wrapped at spaces, 5 points a character: 60 points hold "aaaa bbbb" (45), not 14 characters.
      {"aaaa bbbb cccc dddd", Font::systemFontOfSize(10), 0, 60, {45, 25}},
      // 40 points hold one word a line: four lines of 12.5.
      {"aaaa bbbb cccc dddd", Font::systemFontOfSize(10), 0, 40, {20, 50}},
      // At most two of them.
      {"aaaa bbbb cccc dddd", Font::systemFontOfSize(10), 2, 40, {20, 25}},
      // A word wider than the line is cut: 8 characters of 5 points into lines of 20.
      {"abcdefgh", Font::systemFontOfSize(10), 0, 20, {20, 25}},
  };
  for (const auto& c : cases) {
    auto label = std::make_shared<Label>(Rect{0, 0, c.width, 0});
    label->setText(c.text);
    label->setFont(c.font);
    label->setNumberOfLines(c.lines);
    EXPECT_EQ(label->sizeThatFits({c.width, 0}), c.expected) << c.text;
  }

  auto label = std::make_shared<Label>(Rect{0, 0, 50, 20});
  label->setText("0123456789");
  label->setFont(Font::systemFontOfSize(14));  // 70 points wide
  label->setAdjustsFontSizeToFitWidth(true);
  label->setMinimumFontSize(5);
  EXPECT_EQ(label->effectiveFontSize(), 10) << "the largest whole size whose line fits 50 points";
  label->setMinimumFontSize(12);
  EXPECT_EQ(label->effectiveFontSize(), 12);

  // Whole-point steps from sizes far above the fitting one still end where the line fits.
  label->setMinimumFontSize(5);
  for (double size : {11.0, 1000.0, 1e12}) {
    label->setFont(Font::systemFontOfSize(size));
    EXPECT_EQ(label->effectiveFontSize(), 10) << size;
  }
  label->setFont(Font::systemFontOfSize(10.5));
  EXPECT_EQ(label->effectiveFontSize(), 9.5) << "steps of a point from the font's size";
  label->setFont(Font::systemFontOfSize(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(label->effectiveFontSize(), 5) << "no whole step down from infinity fits: the minimum";
}

TEST_F(ControlsTest, ConstrainedTextCountsTheLinesThatFit) {
  // Four lines of one word, 12.5 points each, in 40 points of width (see LabelMetrics).
  const std::string text = "aaaa bbbb cccc dddd";
  const Font font = Font::systemFontOfSize(10);
  struct Case {
    double height;
    Size expected;
  } cases[] = {
      {0, {20, 50}},                                         // no limit
      {30, {20, 25}},                                        // two whole lines fit
      {5, {20, 13}},                                         // less than one: still one line
      {1e6, {20, 50}},                                       // more room than lines
      {std::numeric_limits<float>::max(), {20, 50}},         // the usual "unbounded" height
      {std::numeric_limits<double>::infinity(), {20, 50}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sizeWithFontConstrainedToSize(text, font, {40, c.height}), c.expected) << c.height;
}

class Rows : public TableViewDataSource, public TableViewDelegate {
 public:
  long count = 100;
  int made = 0;
  std::vector<IndexPath> selected;
  long tableViewNumberOfRowsInSection(TableView&, long) override { return count; }
  std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(TableView& table, const IndexPath& path) override {
    auto cell = table.dequeueReusableCellWithIdentifier("row");
    if (!cell) {
      cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, "row");
      ++made;
    }
    cell->textLabel()->setText("row " + std::to_string(path.row));
    return cell;
  }
  std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath& path) override {
    if (path.row == 0) return 100.0;
    return std::nullopt;
  }
  void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath& path) override { selected.push_back(path); }
};

TEST_F(ControlsTest, TableViewReusesCellsThatLeaveTheScreen) {
  auto rows = std::make_shared<Rows>();
  auto table = std::make_shared<TableView>(Rect{0, 0, 320, 200});
  table->setDataSource(rows);
  table->setTableDelegate(rows);
  table->reloadData();
  // Row 0 is 100 high, the rest 44: rows 0, 1, 2, 3 meet 0..200 (row 3 spans 232..276? no: 188..232).
  EXPECT_EQ(table->indexPathsForVisibleRows(), (std::vector<IndexPath>{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));
  EXPECT_EQ(rows->made, 4);
  EXPECT_EQ(table->contentSize().height, 100 + 99 * 44);
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 2}), (Rect{0, 144, 320, 44}));

  table->setContentOffset({0, 1000});
  table->layoutIfNeeded();
  // 1000..1200 meets rows whose top 100 + 44 (r - 1) lies below 1200 and bottom above 1000.
  auto visible = table->indexPathsForVisibleRows();
  ASSERT_FALSE(visible.empty());
  EXPECT_EQ(visible.front(), (IndexPath{0, 21}));
  EXPECT_EQ(visible.back(), (IndexPath{0, 25}));
  EXPECT_EQ(rows->made, 5) << "four cells came back from the pool";
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 22})->textLabel()->text(), "row 22");
  EXPECT_GT(table->cellForRowAtIndexPath({0, 22})->reuseCount(), 0);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), nullptr);

  table->tapRowAtIndexPath({0, 23});
  table->tapRowAtIndexPath({0, 500});
  EXPECT_EQ(rows->selected, (std::vector<IndexPath>{{0, 23}}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 23})->isSelected());

  rows->count = 2;
  table->reloadData();
  EXPECT_TRUE(table->indexPathsForVisibleRows().empty()) << "scrolled past the end of two rows";
  EXPECT_EQ(rows->made, 5);
}

struct AlertRecorder : AlertViewDelegate {
  std::vector<std::string> events;
  void alertViewClickedButtonAtIndex(AlertView&, long i) override { events.push_back("clicked " + std::to_string(i)); }
  void alertViewWillDismissWithButtonIndex(AlertView&, long i) override {
    events.push_back("willDismiss " + std::to_string(i));
  }
  void alertViewDidDismissWithButtonIndex(AlertView& a, long i) override {
    events.push_back("didDismiss " + std::to_string(i) + " " + a.buttonTitleAtIndex(i));
  }
};

TEST_F(ControlsTest, AlertButtonSelectionReachesTheDelegate) {
  auto delegate = std::make_shared<AlertRecorder>();
  std::weak_ptr<AlertView> weak;
  {
    auto alert = std::make_shared<AlertView>("Title", "Message", delegate, "Cancel",
                                             std::vector<std::string>{"Open", "Later"});
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->addButtonWithTitle("More"), 3);
    alert->show();
    weak = alert;
  }
  ASSERT_FALSE(weak.expired()) << "a shown alert is kept alive";
  ASSERT_EQ(AlertView::visibleAlerts().size(), 1u);
  weak.lock()->clickButtonAtIndex(7);
  EXPECT_TRUE(delegate->events.empty()) << "no such button";
  weak.lock()->clickButtonAtIndex(1);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"clicked 1", "willDismiss 1"}));
  runUntilIdle();
  EXPECT_EQ(delegate->events.back(), "didDismiss 1 Open");
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
  EXPECT_EQ(AlertView::shownAlerts().size(), 1u);

  // An action sheet numbers the destructive button first and the cancel button last.
  ActionSheet sheet("", nullptr, "Cancel", "Delete", {"Share", "Copy"});
  EXPECT_EQ(sheet.destructiveButtonIndex(), 0);
  EXPECT_EQ(sheet.cancelButtonIndex(), 3);
  EXPECT_EQ(sheet.firstOtherButtonIndex(), 1);
  EXPECT_EQ(sheet.buttonTitleAtIndex(2), "Copy");
}

TEST_F(ControlsTest, AlertDismissedFromItsClickCallbackIsDismissedOnce) {
  // Dismisses with its own index from the click, as a delegate closing a chain of alerts does.
  struct Dismisser : AlertViewDelegate, ActionSheetDelegate {
    std::vector<std::string> events;
    void note(const std::string& what, long i) { events.push_back(what + " " + std::to_string(i)); }
    void alertViewClickedButtonAtIndex(AlertView& a, long i) override {
      note("clicked", i);
      a.dismissWithClickedButtonIndexAnimated(0, false);
    }
    void alertViewWillDismissWithButtonIndex(AlertView&, long i) override { note("willDismiss", i); }
    void alertViewDidDismissWithButtonIndex(AlertView&, long i) override { note("didDismiss", i); }
    void actionSheetClickedButtonAtIndex(ActionSheet& s, long i) override {
      note("clicked", i);
      s.dismissWithClickedButtonIndexAnimated(0, false);
    }
    void actionSheetWillDismissWithButtonIndex(ActionSheet&, long i) override { note("willDismiss", i); }
    void actionSheetDidDismissWithButtonIndex(ActionSheet&, long i) override { note("didDismiss", i); }
  };
  const std::vector<std::string> once{"clicked 1", "willDismiss 0", "didDismiss 0"};
  auto delegate = std::make_shared<Dismisser>();
  auto alert = std::make_shared<AlertView>("", "", delegate, "Cancel", std::vector<std::string>{"Open"});
  alert->show();
  alert->clickButtonAtIndex(1);
  runUntilIdle();
  EXPECT_EQ(delegate->events, once);

  delegate->events.clear();
  auto sheet = std::make_shared<ActionSheet>("", delegate, "Cancel", std::nullopt, std::vector<std::string>{"Share"});
  sheet->showInView(nullptr);
  sheet->clickButtonAtIndex(1);
  runUntilIdle();
  EXPECT_EQ(delegate->events, once);
}

TEST_F(ControlsTest, AnActionSheetRemembersTheViewOrBarItemItWasLastShownFrom) {
  auto sheet = std::make_shared<ActionSheet>("", nullptr, "Cancel", std::nullopt, std::vector<std::string>{"Open"});
  auto host = std::make_shared<View>();
  auto item = BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::Action, nullptr, nullptr);
  sheet->showInView(host);
  EXPECT_EQ(sheet->shownInView(), host);
  EXPECT_EQ(sheet->shownFromBarButtonItem(), nullptr);
  sheet->dismissWithClickedButtonIndexAnimated(1, false);
  EXPECT_FALSE(sheet->isVisible());

  sheet->showFromBarButtonItemAnimated(item, true);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->shownFromBarButtonItem(), item);
  EXPECT_EQ(sheet->shownInView(), nullptr);
  EXPECT_EQ(ActionSheet::shownSheets().size(), 2u);
  sheet->showFromBarButtonItemAnimated(nullptr, true);  // already up: nothing changes
  EXPECT_EQ(sheet->shownFromBarButtonItem(), item);
  item.reset();
  EXPECT_EQ(sheet->shownFromBarButtonItem(), nullptr) << "the item is not retained";
}

TEST_F(ControlsTest, SegmentsBarItemsAndIndicators) {
  auto segments = std::make_shared<SegmentedControl>(std::vector<SegmentedControl::Item>{{"Back", nullptr},
                                                                                         {"Forward", nullptr}});
  std::vector<long> changes;
  segments->addTargetActionForControlEvents(
      nullptr, [&](Control&) { changes.push_back(segments->selectedSegmentIndex()); }, kControlEventValueChanged);
  segments->setSelectedSegmentIndex(1);  // in code: no event
  segments->tapSegment(0);
  segments->tapSegment(0);  // no change
  segments->setEnabledForSegmentAtIndex(false, 1);
  segments->tapSegment(1);
  segments->setMomentary(true);
  segments->tapSegment(0);
  EXPECT_EQ(changes, (std::vector<long>{0, 0}));
  EXPECT_EQ(segments->selectedSegmentIndex(), -1) << "momentary";

  int done = 0;
  auto owner = std::make_shared<int>(0);
  auto item = BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::Done, owner,
                                                           [&](BarButtonItem&) { ++done; });
  EXPECT_TRUE(item->tap());
  owner.reset();
  EXPECT_FALSE(item->tap()) << "the target has gone";
  EXPECT_EQ(done, 1);
  EXPECT_TRUE(BarButtonItem::createWithBarButtonSystemItem(BarButtonSystemItem::FlexibleSpace, nullptr, nullptr)
                  ->isFlexibleSpace());

  ActivityIndicatorView spinner(ActivityIndicatorViewStyle::WhiteLarge);
  EXPECT_EQ(spinner.frame().size, (Size{37, 37}));
  EXPECT_TRUE(spinner.isHidden());
  spinner.startAnimating();
  EXPECT_FALSE(spinner.isHidden());
  spinner.stopAnimating();
  EXPECT_TRUE(spinner.isHidden());
}

struct FieldDelegate : TextFieldDelegate {
  std::vector<std::string> events;
  std::optional<bool> textFieldShouldReturn(TextField& f) override {
    events.push_back("return " + f.text());
    f.resignFirstResponder();
    return true;
  }
  void textFieldDidEndEditing(TextField&) override { events.push_back("end"); }
  std::optional<bool> textFieldShouldChangeCharactersInRangeReplacementString(TextField&, size_t, size_t,
                                                                              const std::string& s) override {
    return s != "!";
  }
};

TEST_F(ControlsTest, TextFieldEditing) {
  auto field = std::make_shared<TextField>(Rect{0, 0, 200, 31});
  auto delegate = std::make_shared<FieldDelegate>();
  field->setDelegate(delegate);
  field->typeText("Ann");
  field->typeText("!");
  EXPECT_TRUE(field->isEditing());
  EXPECT_EQ(field->text(), "Ann");
  EXPECT_TRUE(field->pressReturn());
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"return Ann", "end"}));
  EXPECT_FALSE(field->isEditing());
}

// Owns the field and lets it go when editing begins or ends, as a form closing itself does.
struct ReleasingOwner : TextFieldDelegate {
  std::shared_ptr<TextField> field;
  bool releaseOnBegin = false;
  std::vector<std::string> events;
  void textFieldDidBeginEditing(TextField&) override {
    events.push_back("begin");
    if (releaseOnBegin) field.reset();
  }
  void textFieldDidEndEditing(TextField&) override {
    events.push_back("end");
    field.reset();
  }
};

TEST_F(ControlsTest, TextFieldReleasedByItsDelegateFinishesTheCall) {
  for (bool onBegin : {true, false}) {
    auto owner = std::make_shared<ReleasingOwner>();
    owner->releaseOnBegin = onBegin;
    owner->field = std::make_shared<TextField>(Rect{0, 0, 200, 31});
    std::weak_ptr<TextField> weak = owner->field;
    auto target = std::make_shared<Target>();
    owner->field->addTargetActionForControlEvents(
        target, [target = target.get()](Control&) { target->events.push_back(1); },
        kControlEventEditingDidBegin | kControlEventEditingDidEnd);
    owner->field->setDelegate(owner);
    if (onBegin) {
      owner->field->typeText("x");  // begins editing first
    } else {
      ASSERT_TRUE(owner->field->becomeFirstResponder());
      owner->field->resignFirstResponder();
    }
    EXPECT_EQ(target->events.size(), onBegin ? 1u : 2u) << "the editing action still reaches its target";
    const std::vector<std::string> expected =
        onBegin ? std::vector<std::string>{"begin"} : std::vector<std::string>{"begin", "end"};
    EXPECT_EQ(owner->events, expected);
    EXPECT_TRUE(weak.expired()) << "released once the call returned";
  }
}

TEST_F(ControlsTest, ImagesReadTheirSizeFromTheBytes) {
  // A PNG header: 40 x 30 pixels.
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
               0, 0, 0, 40, 0, 0, 0, 30, 8, 6, 0, 0, 0, 0, 0, 0, 0};
  // A GIF header: 7 x 5 pixels.
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 7, 0, 5, 0, 0, 0, 0};
  auto a = Image::imageWithData(png);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->format(), "png");
  EXPECT_EQ(a->size(), (Size{40, 30}));
  auto g = Image::imageWithData(gif, 2);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->size(), (Size{3.5, 2.5}));
  EXPECT_EQ(Image::imageWithData(Bytes{'n', 'o', 't'}), nullptr);
  EXPECT_EQ(Image::imageWithData(Bytes{0x89, 'P', 'N', 'G'}), nullptr) << "truncated";

  std::string path = home() + "/close@2x.png";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), long(png.size()));
  auto file = Image::imageWithContentsOfFile(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->scale(), 2);
  EXPECT_EQ(file->size(), (Size{20, 15}));
  EXPECT_EQ(Image::imageWithContentsOfFile(home() + "/missing.png"), nullptr);
}

}  // namespace
