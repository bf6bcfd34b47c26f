#include "HVAsyncCommandQueue.h"

#include "platform/clock.h"
#include "platform/error.h"

namespace halvern {

HVAsyncCommandQueue::~HVAsyncCommandQueue() {
  if (runLoopSource_) runLoopSource_->invalidate();
}

void HVAsyncCommandQueue::addCommandFire(Entry entry, bool fire) {
  {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    commandQueue_.push_back(std::move(entry));
  }
  if (fire) this->fire();
}

std::optional<HVAsyncCommandQueue::Entry> HVAsyncCommandQueue::nextCommand() {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  if (commandQueue_.empty() || released_ == 0) return std::nullopt;
  --released_;
  Entry entry = std::move(commandQueue_.front());
  commandQueue_.pop_front();
  return entry;
}

void HVAsyncCommandQueue::releaseAll() {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  released_ = commandQueue_.size();
}

size_t HVAsyncCommandQueue::numPendingCommands() const {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  return commandQueue_.size();
}

std::vector<HVAsyncCommandQueue::Entry> HVAsyncCommandQueue::flush() {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  std::vector<Entry> dropped(std::make_move_iterator(commandQueue_.begin()),
                             std::make_move_iterator(commandQueue_.end()));
  commandQueue_.clear();
  released_ = 0;
  return dropped;
}

void HVAsyncCommandQueue::attachToRunLoop(platform::RunLoop& loop, std::function<void()> drain) {
  std::shared_ptr<platform::RunLoopSource> source;
  {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    if (runLoop_) throw platform::Exception(kAttachedTwiceException, "");
    runLoop_ = &loop;
    runLoopSource_ = loop.addSource(std::move(drain));
    if (invalidated_) runLoopSource_->invalidate();
    // Commands let run before the worker existed have had no one to wake.
    if (released_ > 0) source = runLoopSource_;
  }
  if (source) source->signal();
}

void HVAsyncCommandQueue::fire() {
  std::shared_ptr<platform::RunLoopSource> source;
  double delay = 0;
  {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    if (invalidated_) return;
    const double now = platform::Clock::current().monotonic();
    const double elapsed = now - lastFiredTime_;
    if (!hasFired_ || elapsed >= kFireInterval) {
      hasFired_ = true;
      lastFiredTime_ = now;
      released_ = commandQueue_.size();
      // Not yet attached: attachment wakes the worker for these.
      source = runLoopSource_;
      if (!source) return;
    } else {
      // One deferred fire covers every command added within the interval.
      if (refirePending_) return;
      refirePending_ = true;
      delay = kFireInterval - elapsed;
    }
  }
  if (source) {
    source->signal();
    return;
  }
  std::weak_ptr<HVAsyncCommandQueue> weak = weak_from_this();
  platform::RunLoop::current().postAfter(delay, [weak] {
    auto self = weak.lock();
    if (!self) return;
    // The interval is over by construction; measuring it again could fall short by a
    // rounding error and put the fire off for ever.
    std::shared_ptr<platform::RunLoopSource> source;
    {
      std::lock_guard<std::mutex> lock(self->commandQueueLock_);
      self->refirePending_ = false;
      if (self->invalidated_) return;
      self->lastFiredTime_ = platform::Clock::current().monotonic();
      self->released_ = self->commandQueue_.size();
      source = self->runLoopSource_;
    }
    if (source) source->signal();
  });
}

void HVAsyncCommandQueue::fireNowForTesting() {
  std::shared_ptr<platform::RunLoopSource> source;
  {
    std::lock_guard<std::mutex> lock(commandQueueLock_);
    released_ = commandQueue_.size();
    source = runLoopSource_;
  }
  if (source) source->signal();
}

bool HVAsyncCommandQueue::isAttached() const {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  return runLoop_ != nullptr;
}

void HVAsyncCommandQueue::invalidate() {
  std::lock_guard<std::mutex> lock(commandQueueLock_);
  invalidated_ = true;
  if (runLoopSource_) runLoopSource_->invalidate();
}

}  // namespace halvern
