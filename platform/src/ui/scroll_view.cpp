#include "platform/scroll_view.h"

#include <algorithm>

namespace platform {

// ---- ScrollView

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::setContentOffset(Point p) {
  Rect b = bounds();
  if (b.origin == p) return;
  setBounds({p, b.size});
  setNeedsLayout();
  if (auto d = delegate()) d->scrollViewDidScroll(*this);
}

void ScrollView::setContentOffsetAnimated(Point p, bool) { setContentOffset(p); }

void ScrollView::scrollRectToVisibleAnimated(const Rect& r, bool animated) {
  Rect b = bounds();
  Point o = b.origin;
  if (r.origin.y < o.y) o.y = r.origin.y;
  else if (r.origin.y + r.size.height > o.y + b.size.height) o.y = r.origin.y + r.size.height - b.size.height;
  if (r.origin.x < o.x) o.x = r.origin.x;
  else if (r.origin.x + r.size.width > o.x + b.size.width) o.x = r.origin.x + r.size.width - b.size.width;
  setContentOffsetAnimated(o, animated);
}

// ---- TableViewCell

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : View(Rect{0, 0, 320, 44}), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
  contentView_ = std::make_shared<View>(Rect{0, 0, 320, 44});
  contentView_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
  textLabel_ = std::make_shared<Label>(Rect{10, 0, 300, 43});
  textLabel_->setFont(Font::boldSystemFontOfSize(20));
  imageView_ = std::make_shared<ImageView>();
  addSubview(contentView_);
  contentView_->addSubview(imageView_);
  contentView_->addSubview(textLabel_);
  if (style != TableViewCellStyle::Default) {
    detailTextLabel_ = std::make_shared<Label>(Rect{10, 22, 300, 20});
    detailTextLabel_->setFont(Font::systemFontOfSize(14));
    contentView_->addSubview(detailTextLabel_);
  }
}

void TableViewCell::setSelectedAnimated(bool selected, bool) { selected_ = selected; }

// ---- TableView

TableView::TableView(const Rect& frame, TableViewStyle style) : ScrollView(frame), style_(style) {}

void TableView::setTableDelegate(const std::shared_ptr<TableViewDelegate>& d) {
  tableDelegate_ = d;
  setDelegate(d);
}

long TableView::numberOfRowsInSection(long section) const {
  if (section < 0 || section >= static_cast<long>(rows_.size())) return 0;
  return static_cast<long>(rows_[static_cast<size_t>(section)].size());
}

double TableView::heightOf(const IndexPath& path) {
  if (auto d = tableDelegate())
    if (auto h = d->tableViewHeightForRowAtIndexPath(*this, path)) return *h;
  return rowHeight_;
}

void TableView::reloadData() {
  auto self = shared_from_this();
  loaded_ = true;
  rows_.clear();
  for (auto& [path, cell] : visible_) {
    cell->removeFromSuperview();
    pool_[cell->reuseIdentifier()].push_back(cell);
  }
  visible_.clear();
  auto ds = dataSource();
  double total = 0;
  if (ds) {
    long sections = std::max(0L, ds->numberOfSectionsInTableView(*this).value_or(1));
    for (long s = 0; s < sections; ++s) {
      long n = std::max(0L, ds->tableViewNumberOfRowsInSection(*this, s));
      std::vector<double> heights;
      for (long r = 0; r < n; ++r) heights.push_back(heightOf({s, r}));
      for (double h : heights) total += h;
      rows_.push_back(std::move(heights));
    }
  }
  setContentSize({bounds().size.width, total});
  tile();
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& path) const {
  double y = 0;
  for (size_t s = 0; s < rows_.size(); ++s) {
    for (size_t r = 0; r < rows_[s].size(); ++r) {
      if (static_cast<long>(s) == path.section && static_cast<long>(r) == path.row)
        return {0, y, bounds().size.width, rows_[s][r]};
      y += rows_[s][r];
    }
  }
  return rectZero();
}

void TableView::tile() {
  Rect visible = bounds();
  double minY = visible.origin.y, maxY = visible.origin.y + visible.size.height;
  std::vector<std::pair<IndexPath, Rect>> wanted;
  double y = 0;
  for (size_t s = 0; s < rows_.size(); ++s) {
    for (size_t r = 0; r < rows_[s].size(); ++r) {
      double h = rows_[s][r];
      if (y < maxY && y + h > minY) wanted.push_back({{long(s), long(r)}, {0, y, visible.size.width, h}});
      y += h;
    }
  }
  // Cells that left go to the pool before the rows that entered ask for cells.
  for (auto it = visible_.begin(); it != visible_.end();) {
    bool keep = std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) { return w.first == it->first; });
    if (keep) {
      ++it;
      continue;
    }
    it->second->removeFromSuperview();
    pool_[it->second->reuseIdentifier()].push_back(it->second);
    it = visible_.erase(it);
  }
  auto ds = dataSource();
  for (auto& [path, rect] : wanted) {
    auto found = visible_.find(path);
    std::shared_ptr<TableViewCell> cell;
    if (found != visible_.end()) {
      cell = found->second;
    } else {
      if (!ds) continue;
      cell = ds->tableViewCellForRowAtIndexPath(*this, path);
      if (!cell) continue;
      cell->setSelectedAnimated(selected_ && *selected_ == path, false);
      if (auto d = tableDelegate()) d->tableViewWillDisplayCellForRowAtIndexPath(*this, *cell, path);
      visible_[path] = cell;
    }
    cell->setFrame(rect);
    if (cell->superview().get() != this) addSubview(cell);
  }
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = pool_.find(identifier);
  if (it == pool_.end() || it->second.empty()) return nullptr;
  auto cell = it->second.back();
  it->second.pop_back();
  ++cell->reuseCount_;
  cell->prepareForReuse();
  return cell;
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& path) const {
  auto it = visible_.find(path);
  return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() const {
  std::vector<std::shared_ptr<TableViewCell>> out;
  for (const auto& [path, cell] : visible_) out.push_back(cell);
  return out;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const {
  std::vector<IndexPath> out;
  for (const auto& [path, cell] : visible_) out.push_back(path);
  return out;
}

void TableView::selectRowAtIndexPathAnimated(const IndexPath& path, bool animated) {
  if (selected_)
    if (auto old = cellForRowAtIndexPath(*selected_)) old->setSelectedAnimated(false, animated);
  selected_ = path;
  if (auto cell = cellForRowAtIndexPath(path)) cell->setSelectedAnimated(true, animated);
}

void TableView::tapRowAtIndexPath(const IndexPath& path) {
  if (path.row < 0 || path.row >= numberOfRowsInSection(path.section)) return;
  auto self = shared_from_this();
  selectRowAtIndexPathAnimated(path, false);
  if (auto d = tableDelegate()) d->tableViewDidSelectRowAtIndexPath(*this, path);
}

void TableView::layoutSubviews() {
  if (!loaded_) {
    reloadData();
    return;
  }
  tile();
}

}  // namespace platform
