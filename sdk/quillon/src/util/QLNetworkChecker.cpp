#include "QLNetworkChecker.h"

#include "QLConfiguration.h"
#include "platform/reachability.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"

namespace quillon {

using platform::Reachability;

namespace {
platform::ResettableSingleton<QLNetworkChecker> gShared;
}

std::shared_ptr<QLNetworkChecker> QLNetworkChecker::sharedChecker() {
  bool made = false;
  auto checker = gShared.get([] { return std::make_shared<QLNetworkChecker>(Passkey{}); },
                             [](QLNetworkChecker& c) { c.stopNetworkChecking(); }, &made);
  if (made) checker->setEnabled(true);
  return checker;
}

QLNetworkChecker::~QLNetworkChecker() { stopNetworkChecking(); }

void QLNetworkChecker::setEnabled(bool enabled) {
  if (enabled == isEnabled()) return;
  if (enabled) {
    startNetworkChecking();
  } else {
    stopNetworkChecking();
  }
}

void QLNetworkChecker::startNetworkChecking() {
  stopNetworkChecking();
  auto target = Reachability::createWithName(QLConfiguration::current().networkCheckHost);
  if (!target) return;
  networkRef_ = target;
  std::weak_ptr<QLNetworkChecker> weak = weak_from_this();
  std::weak_ptr<Reachability> weakTarget = target;
  target->setCallback(
      [weak](Reachability&, uint32_t flags) {
        if (auto self = weak.lock()) self->setNetworkTypeFromFlags(flags);
      },
      platform::RunLoop::main());
  // A host target makes its first report once the name is looked up, never inside the call
  // that scheduled it: the request being built now goes without "net".
  platform::RunLoop::main().post([weak, weakTarget] {
    auto self = weak.lock();
    auto t = weakTarget.lock();
    if (!self || !t || self->networkRef_ != t) return;
    if (auto flags = t->flags()) self->setNetworkTypeFromFlags(*flags);
  });
}

void QLNetworkChecker::stopNetworkChecking() {
  if (networkRef_) {
    networkRef_->unschedule();
    networkRef_.reset();
  }
  networkType_ = kUnknown;
}

void QLNetworkChecker::setNetworkTypeFromFlags(uint32_t flags) {
  ++changeCount_;
  if (!(flags & Reachability::kReachable)) {
    networkType_ = kNotReachable;
  } else {
    networkType_ = (flags & Reachability::kIsWWAN) ? kCellular : kWiFi;
  }
}

std::optional<std::string> QLNetworkChecker::networkTypeString() const {
  switch (networkType_) {
    case kWiFi: return "wi";
    case kCellular: return "ed";
    default: return std::nullopt;
  }
}

}  // namespace quillon
