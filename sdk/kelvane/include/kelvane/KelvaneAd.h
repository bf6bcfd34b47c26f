#pragma once
// The Kelvane client's only entry. One call places one ad: a banner or text ad added to the
// root view, which reloads on its own while it is visible, or a full-screen ad in the
// client's own window. The client has no delegate: what happens is posted to the default
// notification centre under the names below, the sender being the ad's view.
//
// Main thread only. Placements are kept by the client until their cycle ends (a banner whose
// view left its superview, a full-screen ad that was closed); a banner's then lives on with
// its view for as long as the host keeps that.
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class View;
}

namespace kelvane {

inline constexpr const char* kKvOnReceiveAdNotification = "onReceiveAd";
inline constexpr const char* kKvOnReceiveDefaultAdNotification = "onReceiveDefaultAd";
inline constexpr const char* kKvOnFailedToReceiveAdNotification = "onFailedToReceiveAd";
inline constexpr const char* kKvOnClickAdNotification = "onClickAd";

enum KelvaneAdType : int {
  kKelvaneAdTypeBanner = 1,
  kKelvaneAdTypeText = 2,
  kKelvaneAdTypeFullScreen = 3,
};

// Keys of the optional parameters; 3 and 5 to 8 mean what the ad server says they mean.
enum KelvaneParamKey : int {
  kKelvaneParamAge = 1,
  kKelvaneParamPortal = 2,
  kKelvaneParamEid = 3,
  kKelvaneParamGender = 4,
  kKelvaneParamLg = 5,
  kKelvaneParamK = 6,
  kKelvaneParamL = 7,
  kKelvaneParamMn = 8,
};
using KelvaneParams = std::map<int, std::string>;

class KelvaneAd {
 public:
  // DisplayAdWithTypeWithRootWithReloadWithParams without parameters.
  static bool DisplayAdWithTypeWithRootWithReload(const std::string& appId, int type,
                                                  const std::shared_ptr<platform::View>& root, int reload);
  // True when a placement was made. Refused (false, nothing made) when the ad server is not
  // reachable, the application id is empty, the type is not 1 to 3, or a banner or text ad
  // has no root view. `reload` is the banner's period in seconds (0: 300; below 0: 60;
  // at least 30, at most 300).
  static bool DisplayAdWithTypeWithRootWithReloadWithParams(const std::string& appId, int type,
                                                            const std::shared_ptr<platform::View>& root, int reload,
                                                            const std::optional<KelvaneParams>& params);

  // The ad server's host, with ":port" when it needs one; "ads.kelvane.com" unless set.
  // Placements made afterwards use it.
  static void setServerHost(std::string host);
  static std::string serverHost();
};

}  // namespace kelvane
