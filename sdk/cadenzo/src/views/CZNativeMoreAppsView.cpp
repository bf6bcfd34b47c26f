#include "CZNativeMoreAppsView.h"

#include "CZInterfaceOrientation.h"
#include "CZWebImageCache.h"
#include "platform/application.h"
#include "platform/dispatch.h"

namespace cadenzo {

using platform::Dictionary;
using platform::Image;
using platform::Passkey;
using platform::Rect;
using platform::Value;

namespace {

constexpr int kSeparatorStyleNone = 0;

bool usableAsset(const Value& entry) {
  return entry.isDictionary() && entry.dictionary().contains("url") && entry.dictionary().contains("checksum");
}

}  // namespace

std::shared_ptr<CZNativeMoreAppsView> CZNativeMoreAppsView::createWithFrame(const Rect& frame) {
  auto view = std::make_shared<CZNativeMoreAppsView>(Passkey<CZNativeMoreAppsView>{}, frame);
  std::weak_ptr<CZNativeMoreAppsView> weak = view;
  view->closeWrapper_->setCallback([weak](platform::Control&) {
    auto self = weak.lock();
    if (!self) return;
    if (auto callback = self->closeCallback()) callback();
  });
  view->closeButton_->addTarget(view->closeWrapper_, &CZActionWrapper::action, platform::kControlEventTouchUpInside);
  view->tableView_->setDataSource(view);
  view->tableView_->setTableDelegate(view);
  return view;
}

CZNativeMoreAppsView::CZNativeMoreAppsView(Passkey<CZNativeMoreAppsView>, const Rect& frame)
    : platform::View(frame),
      closeWrapper_(CZActionWrapper::actionWrapperWithCallback(nullptr)),
      closeButton_(platform::Button::buttonWithType(platform::ButtonType::Custom)),
      titleView_(std::make_shared<platform::ImageView>(Rect())),
      tableView_(std::make_shared<platform::TableView>(Rect())) {
  tableView_->setSeparatorStyle(kSeparatorStyleNone);
  tableView_->setBackgroundColor(platform::Color::white(0.88671875, 1));
  addSubview(titleView_);
  addSubview(closeButton_);
  addSubview(tableView_);
}

void CZNativeMoreAppsView::prepareWithResponse(const Dictionary& response) {
  platform::DispatchGroup group;
  std::weak_ptr<CZNativeMoreAppsView> weak = sharedAs<CZNativeMoreAppsView>();
  auto& cache = CZWebImageCache::sharedCache();

  const Value& assets = response.get("assets");
  struct Slot {
    const char* key;
    std::shared_ptr<Image> CZNativeMoreAppsView::*image;
  };
  static const Slot slots[] = {{"close", &CZNativeMoreAppsView::closeImage_},
                               {"header-portrait", &CZNativeMoreAppsView::titleImagePortrait_},
                               {"header-landscape", &CZNativeMoreAppsView::titleImageLandscape_}};
  for (const auto& slot : slots) {
    const Value& entry = assets[slot.key];
    if (!usableAsset(entry)) continue;
    cache.loadImageWithURLChecksumCallbackGroup(
        entry["url"], entry["checksum"],
        [weak, image = slot.image](const std::shared_ptr<Image>& loaded) {
          if (auto self = weak.lock()) (*self).*image = loaded;
        },
        group);
  }

  const Value& rows = response.get("cells");
  if (!rows.isArray()) {
    auto self = sharedAs<CZNativeMoreAppsView>();
    if (auto callback = failCallback()) callback();
    return;
  }
  std::vector<std::shared_ptr<CZNativeMoreAppsCellMeta>> built;
  for (const Value& row : rows.array()) {
    if (!row.isDictionary()) continue;
    auto meta = std::make_shared<CZNativeMoreAppsCellMeta>();
    meta->entry = row.dictionary();
    const Value& rowAssets = row["assets"];
    if (rowAssets.isDictionary()) {
      for (const auto& [name, entry] : rowAssets.dictionary()) {
        if (!entry.isDictionary()) continue;
        // The meta is the list's own; a late picture lands in it even after a reload.
        std::weak_ptr<CZNativeMoreAppsCellMeta> weakMeta = meta;
        cache.loadImageWithURLChecksumCallbackGroup(
            entry["url"], entry["checksum"],
            [weakMeta, name = name](const std::shared_ptr<Image>& loaded) {
              auto target = weakMeta.lock();
              if (target && loaded) target->images[name] = loaded;
            },
            group);
      }
    }
    built.push_back(std::move(meta));
  }
  cells_ = std::move(built);

  // Ends, as every picture download has a deadline: a stalled server fails the list.
  group.notify(platform::DispatchQueue::main(), [weak] {
    if (auto self = weak.lock()) self->checkReadiness();
  });
}

void CZNativeMoreAppsView::checkReadiness() {
  auto self = sharedAs<CZNativeMoreAppsView>();
  if (closeImage_ && (titleImagePortrait_ || titleImageLandscape_)) {
    setNeedsDisplay();
    setNeedsLayout();
    tableView_->reloadData();
    if (auto callback = displayCallback()) callback();
  } else if (auto callback = failCallback()) {
    callback();
  }
}

void CZNativeMoreAppsView::layoutSubviews() {
  const Rect b = bounds();
  const double w = b.size.width, h = b.size.height;
  titleView_->setFrame(Rect(0, 0, w, 50));
  const auto& header = CZOrientationIsPortrait(CZInterfaceOrientation()) ? titleImagePortrait_ : titleImageLandscape_;
  if (header) titleView_->setImage(header);
  closeButton_->setFrame(Rect(w - 70, 10, 50, 30));
  if (closeImage_) closeButton_->setImageForState(closeImage_, platform::kControlStateNormal);
  tableView_->setFrame(Rect(0, 50, w, h - 50));
}

long CZNativeMoreAppsView::tableViewNumberOfRowsInSection(platform::TableView& table, long section) {
  (void)table;
  (void)section;
  return static_cast<long>(cells_.size());
}

std::optional<double> CZNativeMoreAppsView::tableViewHeightForRowAtIndexPath(platform::TableView& table,
                                                                             const platform::IndexPath& path) {
  (void)table;
  if (path.row < 0 || static_cast<size_t>(path.row) >= cells_.size()) return 0.0;
  const Value& type = cells_[path.row]->entry.get("type");
  if (type == Value("featured")) return CZNativeMoreAppsFeaturedCell::height();
  if (type == Value("regular")) return CZNativeMoreAppsRegularCell::height();
  if (type == Value("webview")) return CZNativeMoreAppsWebViewCell::height();
  return 0.0;
}

std::shared_ptr<platform::TableViewCell> CZNativeMoreAppsView::tableViewCellForRowAtIndexPath(
    platform::TableView& table, const platform::IndexPath& path) {
  if (path.row < 0 || static_cast<size_t>(path.row) >= cells_.size()) return nullptr;
  const auto meta = cells_[path.row];
  const Value& type = meta->entry.get("type");
  const auto style = platform::TableViewCellStyle::Default;

  auto reuse = [&](const char* identifier, auto create) -> std::shared_ptr<platform::TableViewCell> {
    if (auto pooled = table.dequeueReusableCellWithIdentifier(identifier)) return pooled;
    return create(style, identifier);
  };
  std::shared_ptr<platform::TableViewCell> cell;
  if (type == Value("featured")) {
    cell = reuse(CZNativeMoreAppsFeaturedCell::kReuseIdentifier,
                 &CZNativeMoreAppsFeaturedCell::createWithStyleReuseIdentifier);
  } else if (type == Value("regular")) {
    cell = reuse(CZNativeMoreAppsRegularCell::kReuseIdentifier,
                 &CZNativeMoreAppsRegularCell::createWithStyleReuseIdentifier);
  } else if (type == Value("webview")) {
    cell = reuse(CZNativeMoreAppsWebViewCell::kReuseIdentifier,
                 &CZNativeMoreAppsWebViewCell::createWithStyleReuseIdentifier);
  }

  auto* row = dynamic_cast<CZNativeMoreAppsTableViewCellProtocol*>(cell.get());
  if (!row) {
    // An unknown type still gets a row, empty and of height 0.
    if (auto pooled = table.dequeueReusableCellWithIdentifier(kUnknownCellReuseIdentifier)) return pooled;
    return std::make_shared<platform::TableViewCell>(style, kUnknownCellReuseIdentifier);
  }
  row->prepareWithCellMeta(*meta);
  std::weak_ptr<CZNativeMoreAppsView> weak = sharedAs<CZNativeMoreAppsView>();
  std::weak_ptr<CZNativeMoreAppsCellMeta> weakMeta = meta;
  row->setClickCallback([weak, weakMeta] {
    auto self = weak.lock();
    auto target = weakMeta.lock();
    if (self && target) self->rowClicked(target->entry);
  });
  return cell;
}

void CZNativeMoreAppsView::rowClicked(const Dictionary& entry) {
  auto self = sharedAs<CZNativeMoreAppsView>();
  std::optional<std::string> url;
  const Value& deepLink = entry.get("deep-link");
  const Value& link = entry.get("link");
  if (deepLink.isString() && platform::Application::sharedApplication().canOpenURL(deepLink.string()))
    url = deepLink.string();
  else if (link.isString())
    url = link.string();
  if (auto callback = clickCallback()) callback(url, Value(entry));
}

}  // namespace cadenzo
