#pragma once
// What every Cadenzo ad view offers the impression that owns it: four callbacks (set right
// after creation, cleared before the view is let go) and one preparation call. A native
// view builds itself from the answer object (prepareWithResponse); the HTML view loads the
// answer's page (loadHTMLStringBaseURL). The concrete views are also platform views; the
// presentation controller reaches that side with a dynamic cast.
//
// Which class renders which answer is decided by the impression; the classes themselves
// come from the shared CZViewFactory.
//
// Thread safety: the callbacks may be set and read from any thread (each view guards them);
// they are called on the main thread.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "platform/value.h"

namespace cadenzo {

class CZViewProtocol {
 public:
  using Callback = std::function<void()>;
  // The click target (nullopt: the view has none) and the view's extra data (a dictionary,
  // or nullopt).
  using ClickCallback =
      std::function<void(const std::optional<std::string>& url, const std::optional<platform::Value>& moreData)>;

  virtual ~CZViewProtocol() = default;

  virtual Callback displayCallback() const = 0;
  virtual void setDisplayCallback(Callback callback) = 0;
  virtual Callback closeCallback() const = 0;
  virtual void setCloseCallback(Callback callback) = 0;
  virtual ClickCallback clickCallback() const = 0;
  virtual void setClickCallback(ClickCallback callback) = 0;
  virtual Callback failCallback() const = 0;
  virtual void setFailCallback(Callback callback) = 0;

  // Asked from within the close callback: whether a touch of the user on the view made that
  // close. Native views report their buttons' touches only; a click from any view comes of a
  // touch.
  virtual bool closeComesOfATouch() const { return true; }

  // Native views: build from the answer object. Others ignore it.
  virtual void prepareWithResponse(const platform::Dictionary& response) { (void)response; }
  // The HTML view: load `html` with `baseURL` (absolute URL text). Others ignore it.
  virtual void loadHTMLStringBaseURL(const std::string& html, const std::string& baseURL) {
    (void)html;
    (void)baseURL;
  }
};

// The four callbacks kept under a lock: the storage every view can inherit.
class CZViewCallbacks : public CZViewProtocol {
 public:
  Callback displayCallback() const override;
  void setDisplayCallback(Callback callback) override;
  Callback closeCallback() const override;
  void setCloseCallback(Callback callback) override;
  ClickCallback clickCallback() const override;
  void setClickCallback(ClickCallback callback) override;
  Callback failCallback() const override;
  void setFailCallback(Callback callback) override;

 private:
  mutable std::mutex mutex_;
  Callback display_, close_, fail_;
  ClickCallback click_;
};

// Makes the view for an answer. The client's own views unless a host sets another factory;
// with none (set to nullptr) no view can be built and impressions are refused.
class CZViewFactory {
 public:
  enum class Kind { NativeInterstitial, NativeMoreApps, HTML };
  virtual ~CZViewFactory() = default;
  // nullptr when the view cannot be made.
  virtual std::shared_ptr<CZViewProtocol> viewWithFrame(Kind kind, const platform::Rect& frame) = 0;

  // Thread-safe. The client's own factory until set.
  static std::shared_ptr<CZViewFactory> shared();
  static void setShared(std::shared_ptr<CZViewFactory> factory);
};

}  // namespace cadenzo
