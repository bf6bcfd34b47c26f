#include "HVStandardCommandHandler.h"

#include <cmath>
#include <limits>

#include "HVAsyncCommand.h"
#include "HVBase64.h"
#include "HVController.h"
#include "HVDatabase.h"
#include "HVJSON.h"
#include "HVJavascriptBridge.h"
#include "HVReachability.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/sandbox.h"
#include "platform/url.h"

namespace halvern {

namespace {

using platform::FileManager;
using platform::Value;

constexpr const char* kSettingsTable = "settings";

// Page functions and the commands they queue; the base URL is filled in once.
constexpr const char* kBridgeLibScript =
    "var BridgeLib = function()\n{\n\tvar self = {};\n"
    "\tfunction q(v) { return '\"' + v + '\"'; }\n"
    "\tfunction send(parts) { sendCommand(parts.join(' ') + ';'); }\n"
    "\tself.getLocalFileBaseURL = function() { return LOCAL_FILE_BASE_URL; };\n"
    "\tself.log = function(s) { send(['log:' + q(s)]); };\n"
    "\tself.sqlExecute = function(s) { send(['sqlExecute:' + q(s)]); };\n"
    "\tself.sqlExecuteWithCallback = function(s, cb) { send(['sqlExecute:' + q(s), 'callback:' + q(cb)]); };\n"
    "\tself.setSettingBase64String = function(id, b) { send(['setSetting:' + q(id), 'base64Data:' + q(b)]); };\n"
    "\tself.setSettingString = function(id, s) { send(['setSetting:' + q(id), 'string:' + q(s)]); };\n"
    "\tself.setSettingNumber = function(id, n) { send(['setSetting:' + q(id), 'number:' + q(n)]); };\n"
    "\tself.getSettingWithCallback = function(id, cb) { send(['getSetting:' + q(id), 'callback:' + q(cb)]); };\n"
    "\tself.setControllerProperty = function(k, v) { send(['setControllerProperty:' + q(k), 'value:' + q(v)]); };\n"
    "\tself.getControllerPropertyWithCallback = function(k, cb) { send(['getControllerProperty:' + q(k), 'callback:' + q(cb)]); };\n"
    "\tself.getNetworkReachabilityWithCallback = function(u, cb) { send(['getNetworkReachabilityForURL:' + q(u), 'callback:' + q(cb)]); };\n"
    "\tself.getExecModeWithCallback = function(cb) { send(['getExecModeWithCallback:' + q(cb)]); };\n"
    "\tself.setExecMode = function(m) { send(['setExecMode:' + m]); };\n"
    "\tself.writeFileWithContentsOfURLWithCallback = function(p, u, cb) { send(['writeFile:' + q(p), 'withContentsOfURL:' + q(u), 'callback:' + q(cb)]); };\n"
    "\tself.unzipContentsOfURLToFolderWithCallback = function(u, f, cb) { send(['unzipContentsOfURL:' + q(u), 'toFolder:' + q(f), 'callback:' + q(cb)]); };\n"
    "\tself.fileWriteString = function(p, s) { send(['fileWrite:' + q(p), 'string:' + q(s)]); };\n"
    "\tself.fileWriteBase64String = function(p, b) { send(['fileWrite:' + q(p), 'base64String:' + q(b)]); };\n"
    "\tself.unzipFileToFolderWithCallback = function(z, f, cb) { send(['unzipFile:' + q(z), 'toFolder:' + q(f), 'callback:' + q(cb)]); };\n"
    "\tself.loadStringFromFileWithCallback = function(p, cb) { send(['loadStringFromFile:' + q(p), 'callback:' + q(cb)]); };\n"
    "\tself.loadBase64StringFromFileWithCallback = function(p, cb) { send(['loadBase64StringFromFile:' + q(p), 'callback:' + q(cb)]); };\n"
    "\tself.deleteFile = function(p) { send(['deleteFile:' + q(p)]); };\n"
    "\tself.getLogContentsWithCallback = function(cb) { send(['getLogContentsWithCallback:' + q(cb)]); };\n"
    "\tself.resetLogContents = function() { send(['resetLogContents']); };\n"
    "\tself.callback = function(js) { send(['callback:' + q(js)]); };\n"
    "\treturn self;\n}();";

std::shared_ptr<HVController> controller() { return HVController::sharedController(); }

}  // namespace

HVStandardCommandHandler::HVStandardCommandHandler() : HVCommandHandler("BridgeLib") {
  using A = const HVCommandArguments&;
  declareCommand("log:", [](A) {});
  declareCommand("sqlExecute:", [](A args) {
    auto c = controller();
    c->dbQueryManager()->sendAsyncCommand(
        HVDBQuery::pageQueryWithQueryCallbackContext(c->database(), stringArgument(args, 0), nullptr));
  });
  declareCommand("sqlExecute:callback:", [this](A args) {
    auto c = controller();
    auto context = contextCallingBack(
        [callback = args[1]](HVCommandHandler& self, const HVCommandResult& result) {
          const Value rows = result.value ? *result.value : Value(platform::Array{});
          self.answerCallback(callback, platform::quoteScriptString(HVJSON::stringWithObject(rows)));
        },
        true);
    c->dbQueryManager()->sendAsyncCommand(
        HVDBQuery::pageQueryWithQueryCallbackContext(c->database(), stringArgument(args, 0), context));
  });
  // The stored-answer callbacks are the page's own text, sent back once the value is stored.
  auto storedContext = [this](const Value& callback) -> std::shared_ptr<HVCallbackContext> {
    if (!callback.isString()) return nullptr;
    return contextCallingBack(
        [text = callback.string().str()](HVCommandHandler& self, const HVCommandResult& result) {
          if (auto bridge = self.bridge(); bridge && result.succeeded) bridge->sendJavascriptCommand(text);
        },
        false);
  };
  // A page's setting never replaces one the client keeps: a changed version would wipe the
  // client and its content at the next launch, and the switches are the server's and the
  // application's to set.
  auto pageSetting = [storedContext](A args, auto store) {
    const std::string id = stringArgument(args, 0);
    if (HVDatabase::isClientSetting(id)) {
      platform::log("HVAdEngine: refusing the page's setting \"" + id + "\"; the client keeps it.");
      return;
    }
    store(*controller()->database(), id, args.size() > 2 ? storedContext(args[2]) : nullptr);
  };
  auto setBase64 = [pageSetting](A args) {
    pageSetting(args, [&](HVDatabase& db, const std::string& id, std::shared_ptr<HVCallbackContext> context) {
      db.setRecordIDTableDataCallbackContext(id, kSettingsTable, HVBase64::dataWithBase64String(stringArgument(args, 1)),
                                             std::move(context));
    });
  };
  auto setString = [pageSetting](A args) {
    pageSetting(args, [&](HVDatabase& db, const std::string& id, std::shared_ptr<HVCallbackContext> context) {
      db.setRecordIDTableStringCallbackContext(id, kSettingsTable, stringArgument(args, 1), std::move(context));
    });
  };
  auto setNumber = [pageSetting](A args) {
    // A number no 64-bit integer can hold is not stored as some other number.
    const auto number = integerArgument(args, 1);
    if (!number) return;
    pageSetting(args, [&](HVDatabase& db, const std::string& id, std::shared_ptr<HVCallbackContext> context) {
      db.setRecordIDTableNumberCallbackContext(id, kSettingsTable, *number, std::move(context));
    });
  };
  declareCommand("setSetting:base64Data:", setBase64);
  declareCommand("setSetting:string:", setString);
  declareCommand("setSetting:number:", setNumber);
  declareCommand("setSetting:base64Data:callback:", setBase64);
  declareCommand("setSetting:string:callback:", setString);
  declareCommand("setSetting:number:callback:", setNumber);
  declareCommand("getSetting:callback:", [this](A args) {
    auto c = controller();
    auto context = contextCallingBack(
        [callback = args[1]](HVCommandHandler& self, const HVCommandResult& result) {
          if (!result.value || !result.value->isArray() || result.value->array().empty()) return;
          const Value& row = result.value->array()[0];
          if (!row.isArray() || row.array().empty()) return;
          const Value& value = row.array()[0];
          const bool number = value.type() == Value::Type::Integer || value.type() == Value::Type::Double ||
                              value.type() == Value::Type::Unsigned;
          self.answerCallback(callback, number ? std::to_string(value.integerValue()) : platform::quoteScriptString(value.description()));
        },
        true);
    // The id is bound, never formatted into the statement.
    c->dbQueryManager()->sendAsyncCommand(HVDBQuery::queryWithQueryCallbackContext(
        c->database(), "SELECT data FROM settings WHERE id=?", platform::Array{Value(stringArgument(args, 0))}, context));
  });
  declareCommand("setControllerProperty:value:", [](A args) {
    const std::string key = stringArgument(args, 0);
    if (!isSettableControllerProperty(key)) {
      platform::log("HVAdEngine: refusing the page's controller property \"" + key + "\".");
      return;
    }
    if (key == "sbwPropName") {
      // The status-bar window's key; an empty one forgets the stored key.
      controller()->setSbwPropName(stringArgument(args, 1));
      return;
    }
    const double value = numberArgument(args, 1);
    if (!std::isfinite(value)) return;
    // A negative menu time is the server's way of hiding the "Menu" button; the exit item
    // waits for no time before the present.
    if (key == "menuDisplayTime") controller()->setMenuDisplayTime(value);
    else if (value >= 0) controller()->setExitItemDisplayTime(value);
  });
  declareCommand("getControllerProperty:callback:", [this](A args) {
    const std::string key = stringArgument(args, 0);
    if (!isReadableControllerProperty(key)) return;
    auto c = controller();
    Value value;
    if (key == "exitItemDisplayTime") value = Value(c->exitItemDisplayTime());
    else if (key == "menuDisplayTime") value = Value(c->menuDisplayTime());
    else if (key == "applicationID") value = Value(c->applicationID());
    else if (key == "serverURL") value = Value(c->serverURL());
    else if (key == "execMode") value = Value(static_cast<int64_t>(c->execMode()));
    else if (key == "disabled") value = Value(static_cast<int64_t>(c->disabled()));
    else if (key == "sbwPropName" && c->sbwPropName()) value = Value(*c->sbwPropName());
    answerCallback(args[1], platform::quoteScriptString(value.description()));
  });
  declareCommand("getNetworkReachabilityForURL:callback:", [this](A args) {
    auto url = platform::URL::create(stringArgument(args, 0));
    auto reachability = HVReachability::sharedReachability();
    reachability->setHostName(url && url->host() ? *url->host() : std::string());
    answerCallback(args[1], std::to_string(reachability->internetConnectionStatus()));
  });
  declareCommand("getExecModeWithCallback:", [this](A args) {
    auto b = bridge();
    if (b) answerCallback(args[0], std::to_string(b->execMode()));
  });
  declareCommand("writeFile:withContentsOfURL:callback:", [this](A args) {
    download(stringArgument(args, 1), stringArgument(args, 0), std::nullopt, args[2]);
  });
  declareCommand("unzipContentsOfURL:toFolder:callback:", [this](A args) {
    download(stringArgument(args, 0), std::nullopt, stringArgument(args, 1), args[2]);
  });
  declareCommand("fileWrite:string:", [this](A args) {
    const std::string text = stringArgument(args, 1);
    writeFile(stringArgument(args, 0), platform::Bytes(text.begin(), text.end()));
  });
  declareCommand("fileWrite:base64String:", [this](A args) {
    writeFile(stringArgument(args, 0), HVBase64::dataWithBase64String(stringArgument(args, 1)));
  });
  declareCommand("unzipFile:toFolder:callback:", [this](A args) {
    auto zip = confinedPagePath(stringArgument(args, 0));
    auto folder = zip ? confinedPagePath(stringArgument(args, 1)) : std::nullopt;
    if (!zip || !folder) return;
    auto context = contextCallingBack(
        [callback = args[2]](HVCommandHandler& self, const HVCommandResult& result) {
          // A broken archive is not reported as unpacked.
          auto bridge = self.bridge();
          if (bridge && result.succeeded && callback.isString()) bridge->sendJavascriptCommand(callback.string());
        },
        false);
    controller()->ioRequestManager()->sendAsyncCommand(
        HVIOUnzipRequest::requestWithSourceZipFilePathDestinationFolderPathCallbackContext(*zip, *folder, context));
  });
  declareCommand("loadStringFromFile:callback:", [this](A args) {
    auto path = confinedPagePath(stringArgument(args, 0));
    auto bytes = path ? FileManager::contentsAtPath(*path) : std::nullopt;
    answerCallback(args[1], platform::quoteScriptString(bytes ? std::string(bytes->begin(), bytes->end()) : "(null)"));
  });
  declareCommand("loadBase64StringFromFile:callback:", [this](A args) {
    auto path = confinedPagePath(stringArgument(args, 0));
    auto bytes = path ? FileManager::contentsAtPath(*path) : std::nullopt;
    answerCallback(args[1], platform::quoteScriptString(bytes ? HVBase64::base64StringWithData(*bytes) : "(null)"));
  });
  declareCommand("deleteFile:", [](A args) {
    if (auto path = confinedPagePath(stringArgument(args, 0))) FileManager::removeItemAtPath(*path);
  });
  declareCommand("callback:", [this](A args) { sendToPage(stringArgument(args, 0)); });
}

HVStandardCommandHandler::~HVStandardCommandHandler() {
  for (const auto& connection : m_downloads) connection->cancel();
}

std::string HVStandardCommandHandler::bridgeScript() {
  // Made afresh each time: the Documents folder is fixed for a real process but not for a
  // test's sandbox, and the text is cheap.
  return "var LOCAL_FILE_BASE_URL = " + platform::quoteScriptString(HVController::localFileBaseURL()) + ";\n" + kBridgeLibScript;
}

std::optional<std::string> HVStandardCommandHandler::confinedPagePath(const std::string& relative) {
  const std::string documents = HVController::localFileBasePath();
  auto path = FileManager::confinedPath(documents, relative);
  const std::string clientFolder = HVController::hvBaseDir() + "/";
  // The store (and SQLite's files beside it) is the client's own: a page reaches it through
  // the statements it sends, never as a file it may overwrite or delete.
  const std::string store = clientFolder + HVDatabase::kFileName;
  if (!path || path->rfind(clientFolder, 0) != 0 || path->size() == clientFolder.size() || path->rfind(store, 0) == 0) {
    platform::log("HVAdEngine: refusing the page's path \"" + relative + "\"; it leaves the client's folder.");
    return std::nullopt;
  }
  return path;
}

bool HVStandardCommandHandler::isSettableControllerProperty(const std::string& key) {
  return key == "exitItemDisplayTime" || key == "menuDisplayTime" || key == "sbwPropName";
}

bool HVStandardCommandHandler::isReadableControllerProperty(const std::string& key) {
  return isSettableControllerProperty(key) || key == "applicationID" || key == "serverURL" || key == "execMode" ||
         key == "disabled";
}

void HVStandardCommandHandler::sendToPage(const std::string& script) {
  if (auto b = bridge()) b->sendJavascriptCommand(script);
}

void HVStandardCommandHandler::writeFile(const std::string& relativePath, platform::Bytes bytes) {
  auto path = confinedPagePath(relativePath);
  if (!path) return;
  FileManager::createDirectoryAtPath(FileManager::stringByDeletingLastPathComponent(*path), true);
  controller()->ioRequestManager()->sendAsyncCommand(
      HVIOWriteRequest::requestWithPathDataAppendCallbackContext(*path, std::move(bytes), false, nullptr));
}

void HVStandardCommandHandler::download(const std::string& url, const std::optional<std::string>& path,
                                        const std::optional<std::string>& unzipTo, const Value& callback) {
  platform::Dictionary userData;
  if (!path) {
    // Packages pass through the transit file, which only this handler names.
    userData.set("path", Value(FileManager::stringByAppendingPathComponent(HVController::localFileBasePath(),
                                                                           kTransitZipName)));
  } else if (auto confined = confinedPagePath(*path)) {
    userData.set("path", Value(*confined));
  } else {
    answerCallback(callback, "0");
    return;
  }
  if (unzipTo) {
    auto folder = confinedPagePath(*unzipTo);
    if (!folder) {
      answerCallback(callback, "0");
      return;
    }
    userData.set("unzipTo", Value(*folder));
  }
  userData.set("callback", callback);
  auto parsed = platform::URL::create(url);
  platform::URLRequest request(parsed ? parsed->absoluteString() : url);
  request.setHTTPMethod("GET");
  auto self = std::static_pointer_cast<HVStandardCommandHandler>(shared_from_this());
  m_downloads.insert(HVDownloadConnection::connectionWithURLRequestDelegateUserData(
      request, std::weak_ptr<HVDownloadConnectionDelegate>(self), Value(std::move(userData))));
}

void HVStandardCommandHandler::downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) {
  auto self = shared_from_this();
  m_downloads.erase(connection);
  const auto& userData = connection->userData().dictionary();
  const std::string path = userData.get("path").string();
  const Value callback = userData.get("callback");
  const Value unzipTo = userData.get("unzipTo");
  auto answering = [this, callback] {
    return contextCallingBack(
        [callback](HVCommandHandler& handler, const HVCommandResult& result) {
          handler.answerCallback(callback, result.succeeded ? "1" : "0");
        },
        false);
  };
  // A download that ends after the client was shut down writes nothing: making the
  // controller again here would start worker threads nobody stops before the process exits.
  auto current = HVController::existingSharedController();
  if (!current) {
    answerCallback(callback, "0");
    return;
  }
  FileManager::createDirectoryAtPath(FileManager::stringByDeletingLastPathComponent(path), true);
  auto io = current->ioRequestManager();
  if (!unzipTo.isString()) {
    io->sendAsyncCommand(HVIOWriteRequest::requestWithPathDataAppendCallbackContext(
        path, connection->receivedData(), false, answering()));
    return;
  }
  io->sendAsyncCommand(HVIOWriteRequest::requestWithPathDataAppendCallbackContext(path, connection->receivedData(), false, nullptr));
  // The unpacking makes the folder itself, so that a package that fails takes it away again.
  auto unzip = HVIOUnzipRequest::requestWithSourceZipFilePathDestinationFolderPathCallbackContext(
      path, unzipTo.string(), answering());
  // A package's transit file is gone afterwards, unpacked or not.
  unzip->setSourceIsTransit(true);
  io->sendAsyncCommand(unzip);
}

void HVStandardCommandHandler::downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) {
  auto self = shared_from_this();
  m_downloads.erase(connection);
  answerCallback(connection->userData().dictionary().get("callback"), "0");
}

void HVStandardCommandHandler::downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) {
  // Downloads now have a time limit; the page hears of one that ran out as of any failure.
  downloadFailed(connection);
}

}  // namespace halvern
