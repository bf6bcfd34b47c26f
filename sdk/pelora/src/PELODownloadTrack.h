#pragma once
// The install ping: one GET to the ad host's "/pelora/install" per session start, telling
// whether this installation has ever had a ping answered with status 200 ("PELOStartResult"
// in the user defaults). A failed ping changes nothing, so the next session reports a first
// start again. The ping ends within kDeadline seconds and takes a small answer; the pings of
// one run are bounded by a shared budget (past it they are dropped and
// kPingBudgetExceededLine is logged once). Main thread only; the connection keeps the ping
// alive until it ends.
#include <memory>
#include <string>

#include "platform/request_budget.h"
#include "platform/url_connection.h"

namespace pelora {

class PELODownloadTrack : public platform::URLConnectionDelegate,
                          public std::enable_shared_from_this<PELODownloadTrack> {
 public:
  static constexpr const char* kStartResultKey = "PELOStartResult";
  static constexpr double kDeadline = platform::kURLDefaultDeadlineInterval;
  static constexpr const char* kPingBudgetExceededLine =
      "[iPELO  WARN] More install pings than sessions need; the rest are dropped";

  void sendPingToPELOServer();
  void connectionDidReceiveResponse(platform::URLConnection& connection,
                                    const platform::HTTPURLResponse& response) override;

  // The ping's URL, its values escaped.
  static std::string pingURL();
  // The pings this run may still send (shared by every ping object of the process).
  static std::shared_ptr<platform::RequestBudget> pingBudget();
};

}  // namespace pelora
