#include "HVAsyncCommandManager.h"

#include <exception>

#include "platform/run_loop.h"

namespace halvern {

std::shared_ptr<HVAsyncCommandManager> HVAsyncCommandManager::createWithCommandQueueThreadName(
    std::shared_ptr<HVAsyncCommandQueue> queue, std::string threadName, std::shared_ptr<HVCallbackSequencer> sequencer) {
  if (!sequencer) sequencer = std::make_shared<HVCallbackSequencer>();
  auto manager = std::make_shared<HVAsyncCommandManager>(platform::Passkey<HVAsyncCommandManager>{}, std::move(queue),
                                                         std::move(threadName), std::move(sequencer));
  manager->start();
  return manager;
}

HVAsyncCommandManager::HVAsyncCommandManager(platform::Passkey<HVAsyncCommandManager>,
                                             std::shared_ptr<HVAsyncCommandQueue> queue, std::string threadName,
                                             std::shared_ptr<HVCallbackSequencer> sequencer)
    : threadName_(std::move(threadName)), commandQueue_(std::move(queue)), sequencer_(std::move(sequencer)),
      commandExecThread_(threadName_) {}

HVAsyncCommandManager::~HVAsyncCommandManager() { shutdown(); }

void HVAsyncCommandManager::start() {
  commandExecThread_.start();
  // The worker holds the manager only weakly: the owner's shutdown decides when it ends.
  std::weak_ptr<HVAsyncCommandManager> weak = weak_from_this();
  commandExecThread_.post([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->workerThreadId_.store(std::this_thread::get_id());
    auto drain = [weak] {
      if (auto manager = weak.lock()) manager->drainQueue();
    };
    self->commandQueue_->attachToRunLoop(platform::RunLoop::current(), drain);
    // Even if no signal ever came, nothing waits longer than this.
    self->runTimeout_ = platform::Timer::scheduledTimer(kRunTimeout, true, [weak](platform::Timer&) {
      if (auto manager = weak.lock()) {
        manager->commandQueue_->releaseAll();
        manager->drainQueue();
      }
    });
  });
}

bool HVAsyncCommandManager::sendAsyncCommand(std::shared_ptr<HVAsyncCommand> command) {
  if (!command) return false;
  {
    // Under the intake lock, so that shutdown never misses a command it let in.
    std::lock_guard<std::mutex> lock(intakeMutex_);
    if (!accepting_) return false;
    commandQueue_->addCommandFire({std::move(command), sequencer_->takeTicket()}, false);
  }
  commandQueue_->fire();
  return true;
}

void HVAsyncCommandManager::drainQueue() {
  while (auto entry = commandQueue_->nextCommand()) {
    std::optional<HVCommandResult> result;
    try {
      result = entry->command->execute();
    } catch (const std::exception& e) {
      result = HVCommandResult::failure(e.what());
    }
    settle(*entry, std::move(result));
  }
}

void HVAsyncCommandManager::settle(const HVAsyncCommandQueue::Entry& entry, std::optional<HVCommandResult> result) {
  auto context = entry.command->callbackContext();
  if (!context || !result) {
    sequencer_->settle(entry.ticket, nullptr);
    return;
  }
  sequencer_->settle(entry.ticket, [context, result = std::move(*result)] { context->deliver(result); });
}

void HVAsyncCommandManager::shutdown() {
  if (shutDown_.exchange(true)) return;
  {
    std::lock_guard<std::mutex> lock(intakeMutex_);
    accepting_ = false;
  }
  if (workerThreadId_.load() == std::this_thread::get_id()) {
    // Released by its own worker (the last owner let go while a command ran): finish in
    // place; the thread ends after this turn.
    finishOnWorker();
  } else if (commandExecThread_.isRunning()) {
    // The last task on the worker: what is queued runs, then the loop ends.
    commandExecThread_.post([this] { finishOnWorker(); });
    commandExecThread_.join();
  }
  commandQueue_->invalidate();
  // Only if the worker could not run them: their tickets must not hold back later outcomes.
  for (auto& entry : commandQueue_->flush()) sequencer_->settle(entry.ticket, nullptr);
}

void HVAsyncCommandManager::finishOnWorker() {
  commandQueue_->releaseAll();
  drainQueue();
  if (runTimeout_) runTimeout_->invalidate();
  runTimeout_.reset();
  commandQueue_->invalidate();
  commandExecThread_.stop();
}

void HVAsyncCommandManager::reset() {
  for (auto& entry : commandQueue_->flush()) sequencer_->settle(entry.ticket, nullptr);
}

bool HVAsyncCommandManager::drainForTesting(double timeoutSeconds) {
  commandQueue_->fireNowForTesting();
  return platform::RunLoop::main().runUntil([this] { return sequencer_->isIdle(); }, timeoutSeconds);
}

}  // namespace halvern
