#include "NBSDKUtil.h"


#include "NBURLRouting.h"
#include "NBUtilities.h"
#include "platform/clock.h"
#include "platform/date_formatter.h"
#include "platform/device.h"
#include "platform/singleton.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
#include "platform/xml_parser.h"

namespace nubira {

namespace {

platform::ResettableSingleton<NBSDKUtil> gUtil;

struct TrackerConfig {
  std::string server = NBSDKUtil::kDefaultAppTrackerServer;
};

// The running conversion ping: one per process, whoever asked for it.
class AppTrackerPing : public std::enable_shared_from_this<AppTrackerPing>,
                       public platform::URLConnectionDelegate,
                       public platform::XMLParserDelegate {
 public:
  bool inProgress = false;
  bool success = false;
  bool insideStatus = false;
  std::string statusText;
  std::shared_ptr<platform::URLConnection> connection;
  platform::Bytes received;

  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse&) override {
    received.clear();
  }
  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) override {
    received.insert(received.end(), data.begin(), data.end());
    platform::log(std::string(data.begin(), data.end()));
  }
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) override {
    NBSDKUtil::util()->logAbove(1, "<<<connection failed>>>>%@", error.localizedDescription());
    inProgress = false;
    release();
  }
  void connectionDidFinishLoading(platform::URLConnection&) override {
    auto util = NBSDKUtil::util();
    util->logAbove(1, "%@", std::string(received.begin(), received.end()));
    inProgress = false;
    success = false;
    insideStatus = false;
    statusText.clear();
    // The platform's parser never resolves external entities: the reply is outside text.
    platform::XMLParser parser(received);
    auto self = shared_from_this();
    parser.setDelegate(std::weak_ptr<platform::XMLParserDelegate>(self));
    parser.parse();
    if (success) {
      platform::log("request was successful.. saving state");
      util->saveNubiraPersistentString();
    } else {
      platform::log("request failed..");
    }
    release();
  }

  void didStartElement(platform::XMLParser&, const std::string& name, const platform::XMLAttributes&) override {
    if (name == "status") {
      insideStatus = true;
      statusText.clear();
    }
  }
  void foundCharacters(platform::XMLParser&, const std::string& text) override {
    if (insideStatus) statusText += text;
  }
  void didEndElement(platform::XMLParser&, const std::string& name) override {
    if (name != "status") return;
    insideStatus = false;
    if (statusText == "true" || statusText == "TRUE") success = true;
  }

 private:
  void release() {
    connection.reset();
    received.clear();
  }
};

platform::ResettableSingleton<AppTrackerPing> gPing;

std::shared_ptr<AppTrackerPing> ping() {
  return gPing.get([] { return std::make_shared<AppTrackerPing>(); },
                   [](AppTrackerPing& p) {
                     if (p.connection) p.connection->cancel();
                   });
}

}  // namespace

std::shared_ptr<NBSDKUtil> NBSDKUtil::util() {
  return gUtil.get([] { return std::make_shared<NBSDKUtil>(platform::Passkey<NBSDKUtil>()); });
}

std::string NBSDKUtil::appTrackerServer() {
  return platform::processState<TrackerConfig>().read(&TrackerConfig::server);
}

void NBSDKUtil::setAppTrackerServer(std::string server) {
  platform::processState<TrackerConfig>().write(&TrackerConfig::server, std::move(server));
}

bool NBSDKUtil::isAppTrackerInProgress() { return ping()->inProgress; }

bool NBSDKUtil::isAppTrackerSuccessful() const {
  return platform::UserDefaults::standardUserDefaults().objectForKey(kPrefsKey).isString();
}

void NBSDKUtil::saveNubiraPersistentString() const {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  defaults.setObjectForKey(platform::Value(kPrefsValue), kPrefsKey);
  defaults.synchronize();
}

void NBSDKUtil::startAppTrackerConversionITunesId(const std::string& advertiserId, const std::string& iTunesId) {
  if (isAppTrackerSuccessful()) {
    platform::log("successful ping already made, returning.");
    return;
  }
  auto p = ping();
  if (p->inProgress) {
    platform::log("An app tracker request is already in progress");
    return;
  }
  if (NBStringUtil::isEmpty(advertiserId)) {
    platform::log("advertiser-id must be not null!");
    return;
  }
  if (NBStringUtil::isEmpty(iTunesId)) {
    platform::log("itunes-id must be not null!");
    return;
  }
  p->inProgress = true;
  std::string timestamp = platform::DateFormatter("yyyy-MM-dd HH:mm:ss").stringFromDate(platform::Clock::current().now());
  for (size_t at = timestamp.find(' '); at != std::string::npos; at = timestamp.find(' ', at)) {
    timestamp.replace(at, 1, "%20");
  }
  // The ids come from the host application: escaped so that neither can add query keys.
  std::string url = platform::format("%@adv_id=%@&udid=%@&app_id=%@&platform=%@&timestamp=%@",
                                     appTrackerServer() + "/nbconvert/v1?", platform::escapeQueryComponent(advertiserId),
                                     HashMD5::inputString(platform::Device::currentDevice().uniqueIdentifier()),
                                     platform::escapeQueryComponent(iTunesId), "iphone", timestamp);
  logAbove(1, "%@", url);
  if (!platform::URL::create(url)) {
    // Nothing could be sent, so nothing is under way: a later call may try again.
    logAbove(1, "invalid connection");
    p->inProgress = false;
    return;
  }
  p->received.clear();
  // Bounded, so that a server that never ends cannot hold the ping "in progress" for good.
  p->connection = platform::URLConnection::connectionWithRequestDelegate(NBURLRouting::boundedRequest(url), p);
}

}  // namespace nubira
