#pragma once
// A native object that offers commands to the Halvern pages through the bridge. C++ has no
// runtime to ask which methods an object has, so each handler declares its commands in a
// table, in order; that table is what the bridge routes to and what the page proxies are
// generated from. Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HVCallbackContext.h"
#include "platform/text_quoting.h"
#include "platform/value.h"

namespace halvern {

class HVJavascriptBridge;

// Every argument a page sends is a string or a number holding a double.
using HVCommandArguments = std::vector<platform::Value>;

class HVCommandHandler : public std::enable_shared_from_this<HVCommandHandler> {
 public:
  using Command = std::function<void(const HVCommandArguments&)>;

  explicit HVCommandHandler(std::string name) : m_name(std::move(name)) {}
  virtual ~HVCommandHandler() = default;

  const std::string& name() const { return m_name; }
  std::shared_ptr<HVJavascriptBridge> bridge() const { return m_bridge.lock(); }
  void setBridge(std::weak_ptr<HVJavascriptBridge> bridge) { m_bridge = std::move(bridge); }

  // The page object's script; by default the proxies of the "bridge_" commands.
  virtual std::string bridgeScript();

  // Selectors in the order they were declared.
  const std::vector<std::string>& selectors() const { return m_selectors; }
  bool respondsToSelector(std::string_view selector) const;
  // False when the handler has no such command. Arguments past the selector's keywords
  // are refused; missing ones arrive as null.
  bool performSelector(std::string_view selector, HVCommandArguments arguments);

  // A callback template with its one placeholder replaced by `value` as plain text: the
  // template comes from a page, so it is never used as a format. Recognised placeholders:
  // %s, %@, %d, %i, %ld, %lld, %qi, %u, %f, %lf; "%%" is a literal "%".
  static std::string fillCallbackTemplate(std::string_view callbackTemplate, std::string_view value);
  // `text` as a single-quoted script string literal (platform::escapeScriptString), for the
  // templates that put text between single quotes; platform::quoteScriptString gives the
  // double-quoted one.
  static std::string singleQuoted(std::string_view text);
  // Sends the filled template to the page through the bridge; nothing without one.
  void answerCallback(const platform::Value& callbackTemplate, std::string_view value);

  static std::string stringArgument(const HVCommandArguments& arguments, size_t index);
  static double numberArgument(const HVCommandArguments& arguments, size_t index);
  // A page's number checked before it is converted: the whole part when the number is finite
  // and within the signed 64-bit range (text keeps every digit), nullopt otherwise.
  static std::optional<int64_t> integerArgument(const HVCommandArguments& arguments, size_t index);
  // The number when it is finite, nullopt otherwise.
  static std::optional<double> finiteNumberArgument(const HVCommandArguments& arguments, size_t index);
  static bool hasArgument(const HVCommandArguments& arguments, size_t index);

 protected:
  void declareCommand(std::string selector, Command command);
  // A worker callback that reaches this handler only while it lives.
  std::shared_ptr<HVCallbackContext> contextCallingBack(std::function<void(HVCommandHandler&, const HVCommandResult&)> fn,
                                                        bool passResults);

 private:
  std::string m_name;
  std::weak_ptr<HVJavascriptBridge> m_bridge;
  std::vector<std::string> m_selectors;
  std::vector<Command> m_commands;
};

}  // namespace halvern
