#pragma once
// The work the two worker threads do, as command objects: SQL on the database thread; file
// reads, writes, unzips and JSON on the file thread. A command runs on its worker and hands
// back what its callback context should hear on the main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "HVCallbackContext.h"
#include "platform/value.h"

namespace halvern {

class HVDatabase;

class HVAsyncCommand {
 public:
  enum Type { kCallback = 0, kDBQuery = 1, kIORead = 2, kIOWrite = 3, kIOUnzip = 4, kJSON = 5 };
  virtual ~HVAsyncCommand() = default;

  int type() const { return type_; }
  const std::shared_ptr<HVCallbackContext>& callbackContext() const { return callbackContext_; }
  // On the worker thread. nullopt when nothing is to be delivered.
  virtual std::optional<HVCommandResult> execute() = 0;

 protected:
  HVAsyncCommand(int type, std::shared_ptr<HVCallbackContext> context)
      : type_(type), callbackContext_(std::move(context)) {}

 private:
  int type_;
  std::shared_ptr<HVCallbackContext> callbackContext_;
};

// A call made on the main thread, in turn with the other commands' results.
class HVCallbackCommand final : public HVAsyncCommand {
 public:
  // An empty `selector` is a target that does not respond: nothing is called.
  HVCallbackCommand(std::shared_ptr<void> callbackTarget, std::function<void(const platform::Value&)> callbackSelector,
                    platform::Value callbackArg);
  std::optional<HVCommandResult> execute() override;
};

// One statement with its parameters bound in order ("?" placeholders).
class HVDBQuery final : public HVAsyncCommand {
 public:
  // How much of a statement that fails is quoted in the log.
  static constexpr size_t kMaxLoggedStatementLength = 256;
  static std::shared_ptr<HVDBQuery> queryWithQueryCallbackContext(std::shared_ptr<HVDatabase> database,
                                                                  std::string query, platform::Array parameters,
                                                                  std::shared_ptr<HVCallbackContext> context);
  HVDBQuery(std::shared_ptr<HVDatabase> database, std::string query, platform::Array parameters,
            std::shared_ptr<HVCallbackContext> context);
  // A statement refused before it reached SQLite: it fails with `reason` on the worker, in
  // turn with the other commands.
  // A page's statement, run under the page's limits (HVDatabase::pageSqlExecute).
  static std::shared_ptr<HVDBQuery> pageQueryWithQueryCallbackContext(std::shared_ptr<HVDatabase> database,
                                                                      std::string query,
                                                                      std::shared_ptr<HVCallbackContext> context);
  static std::shared_ptr<HVDBQuery> rejectedQuery(std::string reason, std::shared_ptr<HVCallbackContext> context);
  const std::string& query() const { return query_; }
  const platform::Array& parameters() const { return parameters_; }
  // The rows, as an array of row arrays; a statement that fails reports it.
  std::optional<HVCommandResult> execute() override;

 private:
  std::shared_ptr<HVDatabase> database_;
  std::string query_;
  platform::Array parameters_;
  std::string rejection_;
  bool fromPage_ = false;
};

class HVIOReadRequest final : public HVAsyncCommand {
 public:
  static std::shared_ptr<HVIOReadRequest> requestWithPathToReadCallbackContext(
      std::string path, std::shared_ptr<HVCallbackContext> context);
  HVIOReadRequest(std::string path, std::shared_ptr<HVCallbackContext> context)
      : HVAsyncCommand(kIORead, std::move(context)), path_(std::move(path)) {}
  // The file's bytes. A missing file, or no context, delivers nothing at all.
  std::optional<HVCommandResult> execute() override;

 private:
  std::string path_;
};

class HVIOWriteRequest final : public HVAsyncCommand {
 public:
  static std::shared_ptr<HVIOWriteRequest> requestWithPathDataAppendCallbackContext(
      std::string path, platform::Bytes data, bool append, std::shared_ptr<HVCallbackContext> context);
  HVIOWriteRequest(std::string path, platform::Bytes data, bool append, std::shared_ptr<HVCallbackContext> context)
      : HVAsyncCommand(kIOWrite, std::move(context)), path_(std::move(path)), data_(std::move(data)), append_(append) {}
  // A replacing write goes through a temporary file, so a failure leaves the old file whole.
  std::optional<HVCommandResult> execute() override;

 private:
  std::string path_;
  platform::Bytes data_;
  bool append_;
};

class HVIOUnzipRequest final : public HVAsyncCommand {
 public:
  static std::shared_ptr<HVIOUnzipRequest> requestWithSourceZipFilePathDestinationFolderPathCallbackContext(
      std::string sourceZipFilePath, std::string destinationFolderPath, std::shared_ptr<HVCallbackContext> context);
  HVIOUnzipRequest(std::string source, std::string destination, std::shared_ptr<HVCallbackContext> context)
      : HVAsyncCommand(kIOUnzip, std::move(context)), source_(std::move(source)), destination_(std::move(destination)) {}
  // The zip is deleted only once every entry is out; a bad archive is kept and reported,
  // unless the zip is a transit file the client alone names, which goes either way.
  std::optional<HVCommandResult> execute() override;
  void setSourceIsTransit(bool transit) { sourceIsTransit_ = transit; }

 private:
  std::string source_;
  std::string destination_;
  bool sourceIsTransit_ = false;
};

class HVJSONCommand final : public HVAsyncCommand {
 public:
  enum JSONCommandType { kDecode = 0, kEncode = 1 };
  static std::shared_ptr<HVJSONCommand> jsonCommandWithTypeInputCallbackContext(
      int jsonCommandType, platform::Value input, std::shared_ptr<HVCallbackContext> context);
  HVJSONCommand(int jsonCommandType, platform::Value input, std::shared_ptr<HVCallbackContext> context)
      : HVAsyncCommand(kJSON, std::move(context)), jsonCommandType_(jsonCommandType), input_(std::move(input)) {}
  // Decoding text that is no JSON reports a failure; an unknown type does nothing at all.
  std::optional<HVCommandResult> execute() override;

 private:
  int jsonCommandType_;
  platform::Value input_;
};

}  // namespace halvern
