#pragma once
// The facade's ears: one small object per role it plays for the parts below it (the API
// connection's delegate, the impressions' delegate, the URL opener's delegate, the store
// sheet's delegate). Each holds the facade weakly and forwards what it hears, so the public
// class carries none of these interfaces.
#include <memory>

#include "CZAPIConnection.h"
#include "CZImpression.h"
#include "CZURLOpener.h"
#include "cadenzo/Cadenzo.h"
#include "platform/composers.h"

namespace cadenzo {

struct Cadenzo::Listeners {
  class Connection : public CZAPIConnectionDelegate {
   public:
    explicit Connection(std::weak_ptr<Cadenzo> facade) : facade_(std::move(facade)) {}
    void didReceiveAPIResponseForRequest(const platform::Dictionary& response,
                                         const std::shared_ptr<CZAPIRequest>& request) override {
      if (auto f = facade_.lock()) f->didReceiveAPIResponseForRequest(response, request);
    }
    void didFailToReceiveAPIResponseForRequest(const std::shared_ptr<CZAPIRequest>& request) override {
      if (auto f = facade_.lock()) f->didFailToReceiveAPIResponseForRequest(request);
    }

   private:
    std::weak_ptr<Cadenzo> facade_;
  };

  class Impressions : public CZImpressionProtocol {
   public:
    explicit Impressions(std::weak_ptr<Cadenzo> facade) : facade_(std::move(facade)) {}
    void impressionReadyToBeDisplayed(const std::shared_ptr<CZImpression>& impression) override {
      if (auto f = facade_.lock()) f->impressionReadyToBeDisplayed(impression);
    }
    void impressionCloseTriggered(const std::shared_ptr<CZImpression>& impression) override {
      if (auto f = facade_.lock()) f->impressionCloseTriggered(impression);
    }
    void impressionClickTriggeredForURLMoreData(const std::shared_ptr<CZImpression>& impression,
                                                const std::optional<std::string>& url,
                                                const std::optional<platform::Value>& moreData) override {
      if (auto f = facade_.lock()) f->impressionClickTriggeredForURLMoreData(impression, url, moreData);
    }
    void impressionFailedToInitialize(const std::shared_ptr<CZImpression>& impression) override {
      if (auto f = facade_.lock()) f->impressionFailedToInitialize(impression);
    }

   private:
    std::weak_ptr<Cadenzo> facade_;
  };

  class Opener : public CZUrlOpenerDelegate {
   public:
    explicit Opener(std::weak_ptr<Cadenzo> facade) : facade_(std::move(facade)) {}
    void urlWillOpen(const std::string& url) override {
      if (auto f = facade_.lock()) f->urlWillOpen(url);
    }
    void urlWasRefused(const std::string& url) override {
      if (auto f = facade_.lock()) f->urlWasRefused(url);
    }

   private:
    std::weak_ptr<Cadenzo> facade_;
  };

  class StoreSheet : public platform::StoreProductDelegate {
   public:
    explicit StoreSheet(std::weak_ptr<Cadenzo> facade) : facade_(std::move(facade)) {}
    void productViewControllerDidFinish(platform::StoreProductViewController& sheet) override {
      if (auto f = facade_.lock()) f->productViewControllerDidFinish(sheet);
    }

   private:
    std::weak_ptr<Cadenzo> facade_;
  };

  explicit Listeners(const std::weak_ptr<Cadenzo>& facade)
      : connection(std::make_shared<Connection>(facade)),
        impressions(std::make_shared<Impressions>(facade)),
        opener(std::make_shared<Opener>(facade)),
        storeSheet(std::make_shared<StoreSheet>(facade)) {}

  const std::shared_ptr<Connection> connection;
  const std::shared_ptr<Impressions> impressions;
  const std::shared_ptr<Opener> opener;
  const std::shared_ptr<StoreSheet> storeSheet;
};

}  // namespace cadenzo
