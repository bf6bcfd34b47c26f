#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CZNativeMoreAppsView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/graphics.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "CZViewTestSupport.h"

namespace {

using cadenzo::CZNativeMoreAppsFeaturedCell;
using cadenzo::CZNativeMoreAppsRegularCell;
using cadenzo::CZNativeMoreAppsView;
using cadenzo::CZNativeMoreAppsWebViewCell;
using platform::Array;
using platform::Dictionary;
using platform::IndexPath;
using platform::Rect;
using platform::Value;
using czviews_test::sha1;

struct Click { std::optional<std::string> url; std::optional<Value> data; };

class MoreAppsTest : public czviews_test::CZViewTest {
 protected:
  void SetUp() override {
    CZViewTest::SetUp();
    cadenzo::Cadenzo::sharedCadenzo()->setOrientation(1);
  }
  Value headerAssets(bool close, bool portrait, bool landscape) {
    Dictionary assets;
    if (close) assets.set("close", picture("close.png", 50, 30));
    if (portrait) assets.set("header-portrait", picture("header-p.png", 320, 50));
    if (landscape) assets.set("header-landscape", picture("header-l.png", 480, 50));
    return Value(assets);
  }
  Value regular(const std::string& name, Dictionary extra = {}) {
    Dictionary row{{"type", Value("regular")}, {"name", Value(name)}, {"text", Value("Get")},
                   {"link", Value("http://store.example/" + name)}, {"cgn", Value("cg-" + name)},
                   {"more_type", Value("list")},
                   {"assets", Value(Dictionary{{"icon", picture("icon-" + name + ".png", 100, 100)}})}};
    for (const auto& [k, v] : extra) row.set(k, v);
    return Value(row);
  }
  // Prepares a 320 x 460 list and waits for its verdict.
  std::shared_ptr<CZNativeMoreAppsView> prepared(const Dictionary& response, std::string* verdict) {
    auto view = CZNativeMoreAppsView::createWithFrame(Rect(0, 0, 320, 460));
    view->setClickCallback([this](const std::optional<std::string>& url, const std::optional<Value>& data) {
      clicks.push_back({url, data});
    });
    *verdict = verdictOf(*view, response);
    return view;
  }
  // A ready list of `rows` with the close picture and a portrait header, laid out.
  std::shared_ptr<CZNativeMoreAppsView> readyList(const Array& rows) {
    std::string verdict;
    auto view = prepared(Dictionary{{"assets", headerAssets(true, true, false)}, {"cells", Value(rows)}}, &verdict);
    EXPECT_EQ(verdict, "ready");
    view->layoutIfNeeded();
    return view;
  }
  static std::set<platform::TableViewCell*> shownCells(const platform::TableView& table) {
    std::set<platform::TableViewCell*> shown;
    for (const auto& c : table.visibleCells()) shown.insert(c.get());
    return shown;
  }
  std::vector<Click> clicks;
};

TEST_F(MoreAppsTest, ReadyWithTheClosePictureAndOneHeader) {
  struct Case { const char* name; Value assets; Value cells; std::string verdict; } cases[] = {
      {"landscape header only", headerAssets(true, false, true), Value(Array{regular("a"), regular("b")}), "ready"},
      {"portrait header only", headerAssets(true, true, false), Value(Array{}), "ready"},
      {"no close", headerAssets(false, true, true), Value(Array{regular("a")}), "failed"},
      {"no header", headerAssets(true, false, false), Value(Array{regular("a")}), "failed"},
      {"cells not a list", headerAssets(true, true, true), Value(Dictionary{}), "failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string verdict;
    prepared(Dictionary{{"type", Value("native")}, {"assets", c.assets}, {"cells", c.cells}}, &verdict);
    EXPECT_EQ(verdict, c.verdict);
  }
  // Without "cells" the failure comes at once, before any load ended.
  std::string verdict;
  auto view = CZNativeMoreAppsView::createWithFrame(Rect(0, 0, 320, 460));
  view->setFailCallback([&] { verdict = "failed"; });
  view->prepareWithResponse(Dictionary{{"assets", headerAssets(true, true, true)}});
  EXPECT_EQ(verdict, "failed");
}

TEST_F(MoreAppsTest, RowsOfEachKind) {
  Value broken = regular("broken");
  broken.mutableDictionary().set(
      "assets", Value(Dictionary{{"icon", czviews_test::asset(server.url("/missing.png"), sha1("missing"))}}));
  Array rows{Value(Dictionary{{"type", Value("featured")}, {"link", Value("http://store.example/f")},
                              {"assets", Value(Dictionary{{"portrait", picture("f-p.png", 620, 200)},
                                                          {"landscape", picture("f-l.png", 940, 200)}})}}),
             Value("not a row"), regular("a"), broken,
             Value(Dictionary{{"type", Value("webview")}, {"html", Value("<p>row</p>")}}),
             Value(Dictionary{{"type", Value("banner")}}), Value(42)};
  std::string verdict;
  auto view = prepared(Dictionary{{"assets", headerAssets(true, false, true)}, {"cells", Value(rows)}}, &verdict);
  ASSERT_EQ(verdict, "ready");
  view->layoutIfNeeded();
  // In portrait the landscape-only header shows no picture.
  EXPECT_FALSE(view->titleView()->image());
  // Non-dictionaries are dropped; an unknown kind takes no height (each kind's own height is a constant).
  auto& table = *view->tableView();
  ASSERT_EQ(table.numberOfRowsInSection(0), 5);
  EXPECT_EQ(table.rectForRowAtIndexPath({0, 4}).size.height, 0);
  auto featured = std::dynamic_pointer_cast<CZNativeMoreAppsFeaturedCell>(table.cellForRowAtIndexPath({0, 0}));
  auto shown = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath({0, 1}));
  auto missing = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath({0, 2}));
  auto page = std::dynamic_pointer_cast<CZNativeMoreAppsWebViewCell>(table.cellForRowAtIndexPath({0, 3}));
  ASSERT_TRUE(featured && shown && missing && page);
  // The featured banner shows the portrait picture; a regular row its icon and name.
  ASSERT_TRUE(featured->imageView()->realImage());
  EXPECT_EQ(featured->imageView()->realImage()->pixelWidth(), 620);
  EXPECT_EQ(shown->nameLabel()->text(), "a");
  EXPECT_TRUE(shown->iconView()->realImage());
  // A row picture that did not arrive leaves only that row without it.
  EXPECT_FALSE(missing->iconView()->realImage());
  EXPECT_FALSE(missing->iconView()->image());
}

TEST_F(MoreAppsTest, TapsReportTheRowsTargetAndEntry) {
  platform::Application::sharedApplication().registerOpenableScheme("zavgame");
  Array rows{
      Value(Dictionary{{"type", Value("featured")}, {"link", Value("http://store.example/f")}, {"cgn", Value("cg-f")},
                       {"more_type", Value("hero")}}),
      regular("open", {{"deep-link", Value("zavgame://launch")}, {"deep-text", Value("Open")}}),
      regular("closed", {{"deep-link", Value("otherapp://x")}, {"deep-text", Value("Open")}}),
      Value(Dictionary{{"type", Value("webview")}, {"link", Value("http://store.example/w")}, {"cgn", Value("cg-w")},
                       {"html", Value("<body onload=\"location.href='cadenzo://click/any'\">"
                                      "<a id=\"get\" href=\"cadenzo://click/tap\">Get</a><p id=\"row\">w</p></body>")}}),
  };
  auto view = readyList(rows);
  // On screen, so that a user can touch its rows.
  auto window = platform::Window::create(Rect(0, 0, 320, 480));
  window->addSubview(view);
  window->makeKeyAndVisible();
  auto& table = *view->tableView();
  auto open = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath({0, 1}));
  auto closed = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath({0, 2}));
  ASSERT_TRUE(open && closed);
  EXPECT_EQ(open->clickButton()->titleForState(platform::kControlStateNormal), "Open");
  EXPECT_EQ(closed->clickButton()->titleForState(platform::kControlStateNormal), "Get");
  // The web row's page clicking by itself while it loaded counts nothing: the row was only
  // shown. The user's tap on its link does count, once.
  runUntilIdle();
  EXPECT_TRUE(clicks.empty());
  auto web = std::dynamic_pointer_cast<CZNativeMoreAppsWebViewCell>(table.cellForRowAtIndexPath({0, 3}));
  ASSERT_TRUE(web);
  ASSERT_TRUE(web->webView()->tapLinkWithElementIdForTesting("get"));
  runUntilIdle();
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].url, "http://store.example/w");
  EXPECT_EQ(clicks[0].data, rows[3]);
  // The row's page may go anywhere; only "cadenzo://click..." just after a touch is a tap,
  // and a navigation without a URL is refused.
  struct Navigation {
    std::string url;
    bool allowed;
    size_t taps;
  } navigations[] = {{"cadenzo://click", true, 1},  {"cadenzo://click/x/y", true, 1}, {"cadenzo://close", true, 0},
                     {"cadenzo:/", true, 0},        {"http://ads.example/p", true, 0}, {"", false, 0}};
  for (const auto& n : navigations) {
    SCOPED_TRACE(n.url);
    for (bool touched : {false, true}) {
      SCOPED_TRACE(touched ? "touched" : "untouched");
      if (touched) {
        ASSERT_TRUE(web->webView()->tapLinkWithElementIdForTesting("row"));
      }
      const size_t before = clicks.size();
      EXPECT_EQ(web->webViewShouldStartLoadWithRequestNavigationType(web->webView(), platform::URLRequest(n.url),
                                                                     platform::WebViewNavigationType::Other),
                std::optional<bool>(n.allowed));  // the page cannot tell a refused click
      EXPECT_EQ(clicks.size() - before, touched ? n.taps : 0u);
      advance(platform::kUserActivationSeconds);  // an unused touch is over
    }
  }
  clicks.resize(1);
  std::dynamic_pointer_cast<CZNativeMoreAppsFeaturedCell>(table.cellForRowAtIndexPath({0, 0}))
      ->containerButton()->simulateTap();
  open->clickButton()->simulateTap();
  closed->clickButton()->simulateTap();
  ASSERT_EQ(clicks.size(), 4u);
  EXPECT_EQ(clicks[1].url, "http://store.example/f");
  EXPECT_EQ(clicks[1].data, rows[0]);
  EXPECT_EQ(clicks[2].url, "zavgame://launch");
  EXPECT_EQ(clicks[3].url, "http://store.example/closed");
  EXPECT_EQ(clicks[3].data, rows[2]);
  bool closedView = false;
  view->setCloseCallback([&] { closedView = true; });
  view->closeButton()->simulateTap();
  EXPECT_TRUE(closedView);
}

TEST_F(MoreAppsTest, CellsAreReusedAsTheListScrolls) {
  Array rows;
  for (int i = 0; i < 30; ++i) {
    Dictionary row{{"type", Value("regular")}, {"name", Value("app " + std::to_string(i))}, {"text", Value("Get")},
                   {"link", Value("http://store.example/" + std::to_string(i))}};
    rows.push_back(Value(row));
  }
  auto view = readyList(rows);
  auto& table = *view->tableView();
  const size_t visible = table.visibleCells().size();
  EXPECT_EQ(visible, 6u);  // 410 points of 70-point rows
  const auto made = shownCells(table);
  table.setContentOffset({0, 70 * 20});
  table.layoutIfNeeded();
  int reused = 0;
  for (const auto& path : table.indexPathsForVisibleRows()) {
    auto cell = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath(path));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->nameLabel()->text(), "app " + std::to_string(path.row));
    reused += made.count(cell.get()) ? 1 : 0;
  }
  EXPECT_EQ(reused, static_cast<int>(visible));
  auto first = std::dynamic_pointer_cast<CZNativeMoreAppsRegularCell>(
      table.cellForRowAtIndexPath(table.indexPathsForVisibleRows().front()));
  first->clickButton()->simulateTap();
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].url, "http://store.example/20");
}

TEST_F(MoreAppsTest, AReusedPageRowWithoutPageKeepsNothingOfTheRowBefore) {
  Array rows;
  for (int i = 0; i < 10; ++i) {
    Dictionary row{{"type", Value("webview")}, {"link", Value("http://store.example/" + std::to_string(i))}};
    // The first screenful of rows has a page; the rows below have none.
    if (i < 5) row.set("html", Value("<script>var row = " + std::to_string(i) + ";</script>"));
    rows.push_back(Value(row));
  }
  auto view = readyList(rows);
  auto& table = *view->tableView();
  runUntilIdle();
  const auto made = shownCells(table);
  table.setContentOffset({0, 100 * 5});
  table.layoutIfNeeded();
  runUntilIdle();
  int reused = 0;
  for (const auto& path : table.indexPathsForVisibleRows()) {
    SCOPED_TRACE(path.row);
    auto cell = std::dynamic_pointer_cast<CZNativeMoreAppsWebViewCell>(table.cellForRowAtIndexPath(path));
    ASSERT_TRUE(cell);
    reused += made.count(cell.get()) ? 1 : 0;
    EXPECT_EQ(cell->webView()->stringByEvaluatingJavaScriptFromString("typeof row"), "undefined");
  }
  EXPECT_GT(reused, 0);
}

TEST_F(MoreAppsTest, AHighlightRedrawsTheButtonAndAnIconIsScaledToItsView) {
  cadenzo::CZNativeMoreAppsStyledButton button(Rect(0, 0, 80, 26));
  button.displayIfNeeded();
  button.setHighlighted(true);
  EXPECT_TRUE(button.needsDisplay());
  cadenzo::CZNativeMoreAppsRoundedImageView rounded(Rect(0, 0, 50, 50));
  auto icon = platform::Image::imageWithPixelSize(100, 100);
  rounded.setImage(icon);
  ASSERT_TRUE(rounded.image());
  EXPECT_EQ(rounded.image()->size(), (platform::Size{50, 50}));
}

}  // namespace
