#pragma once
// The view of a "native" more-apps answer: a header picture (50 points high), a close
// button (top right) and a list of promoted applications built from the answer's "cells",
// one row per dictionary entry, its class and height picked by the entry's "type" (see
// CZNativeMoreAppsTableViewCell.h; any other type is an empty row of height 0).
//
// Pictures come through CZWebImageCache: "assets" "close", "header-portrait" and
// "header-landscape", and each row's own "assets". Once every load has ended the view is
// ready (display callback) when it has the close picture and at least one header picture,
// else failed (fail callback). "cells" that is not an array fails at once. A row picture
// that does not arrive only leaves its row without it.
//
// A row tap is a click with the row's "deep-link" when the system can open it, else its
// "link", and the whole row entry as extra data (the facade sends its "cgn", "creative",
// "type" and "more_type"). The close button closes.
//
// Ownership: make with createWithFrame (the table and the buttons refer back to it
// weakly). Thread safety: main thread only, except the callbacks' accessors (any thread).
#include <memory>
#include <vector>

#include "CZActionWrapper.h"
#include "CZNativeMoreAppsTableViewCell.h"
#include "CZViewProtocol.h"
#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/scroll_view.h"
#include "platform/view.h"

namespace cadenzo {

class CZNativeMoreAppsView : public platform::View,
                             public CZViewCallbacks,
                             public platform::TableViewDataSource,
                             public platform::TableViewDelegate {
 public:
  static constexpr const char* kUnknownCellReuseIdentifier = "CZNativeMoreAppsUnknownCellReuseIdentifier";

  static std::shared_ptr<CZNativeMoreAppsView> createWithFrame(const platform::Rect& frame);
  CZNativeMoreAppsView(platform::Passkey<CZNativeMoreAppsView>, const platform::Rect& frame);

  void prepareWithResponse(const platform::Dictionary& response) override;
  void layoutSubviews() override;

  // Table data source and delegate (one section).
  long tableViewNumberOfRowsInSection(platform::TableView& table, long section) override;
  std::shared_ptr<platform::TableViewCell> tableViewCellForRowAtIndexPath(platform::TableView& table,
                                                                        const platform::IndexPath& path) override;
  std::optional<double> tableViewHeightForRowAtIndexPath(platform::TableView& table,
                                                         const platform::IndexPath& path) override;

  const std::vector<std::shared_ptr<CZNativeMoreAppsCellMeta>>& cells() const { return cells_; }
  const std::shared_ptr<platform::Image>& closeImage() const { return closeImage_; }
  const std::shared_ptr<platform::Image>& titleImagePortrait() const { return titleImagePortrait_; }
  const std::shared_ptr<platform::Image>& titleImageLandscape() const { return titleImageLandscape_; }
  const std::shared_ptr<platform::Button>& closeButton() const { return closeButton_; }
  const std::shared_ptr<platform::ImageView>& titleView() const { return titleView_; }
  const std::shared_ptr<platform::TableView>& tableView() const { return tableView_; }

 private:
  void checkReadiness();
  void rowClicked(const platform::Dictionary& entry);

  std::shared_ptr<CZActionWrapper> closeWrapper_;
  std::vector<std::shared_ptr<CZNativeMoreAppsCellMeta>> cells_;
  std::shared_ptr<platform::Image> closeImage_, titleImagePortrait_, titleImageLandscape_;
  std::shared_ptr<platform::Button> closeButton_;
  std::shared_ptr<platform::ImageView> titleView_;
  std::shared_ptr<platform::TableView> tableView_;
};

}  // namespace cadenzo
