#include "HVAsyncCommand.h"

#include "HVDatabase.h"
#include "HVJSON.h"
#include "HVZip.h"
#include "platform/file_manager.h"
#include "platform/log.h"

namespace halvern {

using platform::FileManager;
using platform::Value;

HVCallbackCommand::HVCallbackCommand(std::shared_ptr<void> callbackTarget,
                                     std::function<void(const Value&)> callbackSelector, Value callbackArg)
    : HVAsyncCommand(kCallback,
                     callbackSelector
                         ? std::make_shared<HVTargSelCallbackContext>(
                               std::move(callbackTarget),
                               [selector = std::move(callbackSelector), arg = std::move(callbackArg)](
                                   const HVCommandResult&) { selector(arg); },
                               false)
                         : nullptr) {}

std::optional<HVCommandResult> HVCallbackCommand::execute() { return HVCommandResult{}; }

std::shared_ptr<HVDBQuery> HVDBQuery::queryWithQueryCallbackContext(std::shared_ptr<HVDatabase> database,
                                                                    std::string query, platform::Array parameters,
                                                                    std::shared_ptr<HVCallbackContext> context) {
  return std::make_shared<HVDBQuery>(std::move(database), std::move(query), std::move(parameters), std::move(context));
}

HVDBQuery::HVDBQuery(std::shared_ptr<HVDatabase> database, std::string query, platform::Array parameters,
                     std::shared_ptr<HVCallbackContext> context)
    : HVAsyncCommand(kDBQuery, std::move(context)), database_(std::move(database)), query_(std::move(query)),
      parameters_(std::move(parameters)) {}

std::shared_ptr<HVDBQuery> HVDBQuery::pageQueryWithQueryCallbackContext(std::shared_ptr<HVDatabase> database,
                                                                        std::string query,
                                                                        std::shared_ptr<HVCallbackContext> context) {
  auto page = queryWithQueryCallbackContext(std::move(database), std::move(query), {}, std::move(context));
  page->fromPage_ = true;
  return page;
}

std::shared_ptr<HVDBQuery> HVDBQuery::rejectedQuery(std::string reason, std::shared_ptr<HVCallbackContext> context) {
  auto query = std::make_shared<HVDBQuery>(nullptr, std::string(), platform::Array(), std::move(context));
  query->rejection_ = std::move(reason);
  return query;
}

std::optional<HVCommandResult> HVDBQuery::execute() {
  if (!rejection_.empty() || !database_) return HVCommandResult::failure(rejection_.empty() ? "no database" : rejection_);
  auto outcome = fromPage_ ? database_->pageSqlExecute(query_) : database_->sqlExecuteWithParameters(query_, parameters_);
  // Statements come from pages too; what they send is quoted up to a bound.
  if (!outcome.succeeded)
    platform::log("HVDatabase: the statement " + query_.substr(0, kMaxLoggedStatementLength) + " failed: " +
                  outcome.errorMessage);
  return HVCommandResult{outcome.succeeded, Value(std::move(outcome.rows)), std::move(outcome.errorMessage)};
}

std::shared_ptr<HVIOReadRequest> HVIOReadRequest::requestWithPathToReadCallbackContext(
    std::string path, std::shared_ptr<HVCallbackContext> context) {
  return std::make_shared<HVIOReadRequest>(std::move(path), std::move(context));
}

std::optional<HVCommandResult> HVIOReadRequest::execute() {
  if (!callbackContext() || !FileManager::fileExistsAtPath(path_)) return std::nullopt;
  auto bytes = FileManager::contentsAtPath(path_);
  if (!bytes) return HVCommandResult::failure("cannot read " + path_);
  return HVCommandResult{true, Value(std::move(*bytes)), {}};
}

std::shared_ptr<HVIOWriteRequest> HVIOWriteRequest::requestWithPathDataAppendCallbackContext(
    std::string path, platform::Bytes data, bool append, std::shared_ptr<HVCallbackContext> context) {
  return std::make_shared<HVIOWriteRequest>(std::move(path), std::move(data), append, std::move(context));
}

std::optional<HVCommandResult> HVIOWriteRequest::execute() {
  const bool written = append_ ? FileManager::appendToFile(path_, data_.data(), data_.size())
                               : FileManager::writeAtomically(path_, data_);
  if (!written) return HVCommandResult::failure("cannot write " + path_);
  return HVCommandResult{};
}

std::shared_ptr<HVIOUnzipRequest> HVIOUnzipRequest::requestWithSourceZipFilePathDestinationFolderPathCallbackContext(
    std::string sourceZipFilePath, std::string destinationFolderPath, std::shared_ptr<HVCallbackContext> context) {
  return std::make_shared<HVIOUnzipRequest>(std::move(sourceZipFilePath), std::move(destinationFolderPath),
                                            std::move(context));
}

std::optional<HVCommandResult> HVIOUnzipRequest::execute() {
  std::string error;
  if (!HVZip::unzipPackageToPath(source_, destination_, &error)) {
    platform::log("HVZip: cannot unpack " + source_ + " into " + destination_ + ": " + error);
    if (sourceIsTransit_) FileManager::removeItemAtPath(source_);
    return HVCommandResult::failure(std::move(error));
  }
  FileManager::removeItemAtPath(source_);
  return HVCommandResult{};
}

std::shared_ptr<HVJSONCommand> HVJSONCommand::jsonCommandWithTypeInputCallbackContext(
    int jsonCommandType, Value input, std::shared_ptr<HVCallbackContext> context) {
  return std::make_shared<HVJSONCommand>(jsonCommandType, std::move(input), std::move(context));
}

std::optional<HVCommandResult> HVJSONCommand::execute() {
  switch (jsonCommandType_) {
    case kDecode: {
      auto parsed = HVJSON::objectWithString(input_.string());
      if (!parsed) return HVCommandResult::failure("not JSON");
      return HVCommandResult{true, std::move(*parsed), {}};
    }
    case kEncode: return HVCommandResult{true, Value(HVJSON::stringWithObject(input_)), {}};
    default: return std::nullopt;
  }
}

}  // namespace halvern
