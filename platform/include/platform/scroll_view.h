#pragma once
// Scroll and table views. The content offset is the bounds origin, as on the platform.
//
// TableView: rows come from the data source (weak), heights from the delegate (weak) or
// rowHeight. reloadData and every layout pass (scrolling marks one) show exactly the rows
// whose rectangles meet the visible bounds: cells of rows that left are put in the reuse
// pool by identifier (prepareForReuse is called when one is handed out again), and the data
// source is asked for the rows that entered. Plain style; section headers and footers take
// no height. Main thread only.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/view.h"

namespace platform {

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView& scrollView) { (void)scrollView; }
};

class ScrollView : public View {
 public:
  explicit ScrollView(const Rect& frame = Rect{});
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size s) { contentSize_ = s; }
  Point contentOffset() const { return bounds().origin; }
  // Moves the bounds origin, tells the delegate and marks a layout pass.
  void setContentOffset(Point p);
  void setContentOffsetAnimated(Point p, bool animated);
  void scrollRectToVisibleAnimated(const Rect& r, bool animated);
  EdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(EdgeInsets e) { contentInset_ = e; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool e) { scrollEnabled_ = e; }
  bool bounces() const { return bounces_; }
  void setBounces(bool b) { bounces_ = b; }
  // Whether a tap on the status bar scrolls this view to its top (stored only).
  bool scrollsToTop() const { return scrollsToTop_; }
  void setScrollsToTop(bool s) { scrollsToTop_ = s; }
  bool isPagingEnabled() const { return paging_; }
  void setPagingEnabled(bool p) { paging_ = p; }
  bool showsHorizontalScrollIndicator() const { return showsH_; }
  void setShowsHorizontalScrollIndicator(bool s) { showsH_ = s; }
  bool showsVerticalScrollIndicator() const { return showsV_; }
  void setShowsVerticalScrollIndicator(bool s) { showsV_ = s; }
  std::shared_ptr<ScrollViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<ScrollViewDelegate>& d) { delegate_ = d; }

 private:
  Size contentSize_;
  EdgeInsets contentInset_;
  bool scrollEnabled_ = true;
  bool bounces_ = true;
  bool scrollsToTop_ = true;
  bool paging_ = false;
  bool showsH_ = true;
  bool showsV_ = true;
  std::weak_ptr<ScrollViewDelegate> delegate_;
};

struct IndexPath {
  long section = 0;
  long row = 0;
  bool operator==(const IndexPath&) const = default;
  bool operator<(const IndexPath& o) const { return section != o.section ? section < o.section : row < o.row; }
};

enum class TableViewCellStyle : int { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };

class TableViewCell : public View {
 public:
  explicit TableViewCell(TableViewCellStyle style = TableViewCellStyle::Default, std::string reuseIdentifier = "");
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  TableViewCellStyle style() const { return style_; }
  const std::shared_ptr<View>& contentView() const { return contentView_; }
  const std::shared_ptr<Label>& textLabel() const { return textLabel_; }
  // nullptr for the default style, which has no detail.
  const std::shared_ptr<Label>& detailTextLabel() const { return detailTextLabel_; }
  const std::shared_ptr<ImageView>& imageView() const { return imageView_; }
  int accessoryType() const { return accessoryType_; }
  void setAccessoryType(int a) { accessoryType_ = a; }
  int selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(int s) { selectionStyle_ = s; }
  bool isSelected() const { return selected_; }
  virtual void setSelectedAnimated(bool selected, bool animated);
  virtual void prepareForReuse() {}
  // How many times prepareForReuse ran (tests).
  int reuseCount() const { return reuseCount_; }

 private:
  friend class TableView;
  TableViewCellStyle style_;
  std::string reuseIdentifier_;
  std::shared_ptr<View> contentView_;
  std::shared_ptr<Label> textLabel_;
  std::shared_ptr<Label> detailTextLabel_;
  std::shared_ptr<ImageView> imageView_;
  int accessoryType_ = 0;
  int selectionStyle_ = 1;
  bool selected_ = false;
  int reuseCount_ = 0;
};

class TableView;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual long tableViewNumberOfRowsInSection(TableView& table, long section) = 0;
  virtual std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(TableView& table, const IndexPath& path) = 0;
  virtual std::optional<long> numberOfSectionsInTableView(TableView& table) { (void)table; return std::nullopt; }
};

class TableViewDelegate : public ScrollViewDelegate {
 public:
  virtual std::optional<double> tableViewHeightForRowAtIndexPath(TableView& table, const IndexPath& path) {
    (void)table; (void)path;
    return std::nullopt;
  }
  virtual void tableViewDidSelectRowAtIndexPath(TableView& table, const IndexPath& path) { (void)table; (void)path; }
  virtual void tableViewWillDisplayCellForRowAtIndexPath(TableView& table, TableViewCell& cell, const IndexPath& path) {
    (void)table; (void)cell; (void)path;
  }
};

enum class TableViewStyle : int { Plain = 0, Grouped = 1 };

class TableView : public ScrollView {
 public:
  explicit TableView(const Rect& frame = Rect{}, TableViewStyle style = TableViewStyle::Plain);
  TableViewStyle style() const { return style_; }
  std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(const std::shared_ptr<TableViewDataSource>& d) { dataSource_ = d; }
  std::shared_ptr<TableViewDelegate> tableDelegate() const { return tableDelegate_.lock(); }
  // Also the scroll view's delegate.
  void setTableDelegate(const std::shared_ptr<TableViewDelegate>& d);
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double h) { rowHeight_ = h; }
  int separatorStyle() const { return separatorStyle_; }
  void setSeparatorStyle(int s) { separatorStyle_ = s; }

  void reloadData();
  long numberOfSections() const { return static_cast<long>(rows_.size()); }
  long numberOfRowsInSection(long section) const;
  Rect rectForRowAtIndexPath(const IndexPath& path) const;
  // A pooled cell of that identifier (after prepareForReuse), or nullptr.
  std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
  // The visible cell of that row, or nullptr.
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& path) const;
  std::vector<std::shared_ptr<TableViewCell>> visibleCells() const;
  std::vector<IndexPath> indexPathsForVisibleRows() const;
  std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
  void selectRowAtIndexPathAnimated(const IndexPath& path, bool animated);
  // Test hook: a finger on a row: selects it and tells the delegate.
  void tapRowAtIndexPath(const IndexPath& path);

  void layoutSubviews() override;

 private:
  double heightOf(const IndexPath& path);
  void tile();
  TableViewStyle style_;
  std::weak_ptr<TableViewDataSource> dataSource_;
  std::weak_ptr<TableViewDelegate> tableDelegate_;
  double rowHeight_ = 44;
  int separatorStyle_ = 1;
  std::vector<std::vector<double>> rows_;  // heights per section
  std::map<IndexPath, std::shared_ptr<TableViewCell>> visible_;
  std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> pool_;
  std::optional<IndexPath> selected_;
  bool loaded_ = false;
};

}  // namespace platform
