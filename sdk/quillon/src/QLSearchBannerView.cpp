#include "quillon/QLSearchBannerView.h"

#include "QLSearchObjectPrivate.h"
#include "quillon/QLSearchRequest.h"

namespace quillon {

std::shared_ptr<QLSearchBannerView> QLSearchBannerView::create(const platform::Rect& frame) {
  auto view = std::make_shared<QLSearchBannerView>(Passkey{}, frame);
  view->setBackgroundColor(platform::Color::clearColor());
  view->setPrivate(QLSearchObjectPrivate::createWithView(view));
  return view;
}

std::shared_ptr<QLRequest> QLSearchRequest::request() const {
  auto request = QLRequest::request();
  platform::Dictionary parameters;
  if (query_) parameters.set("q", platform::Value(*query_));
  request->setAdditionalParameters(std::move(parameters));
  return request;
}

}  // namespace quillon
