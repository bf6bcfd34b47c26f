#include "HVCommandHandler.h"

#include <cmath>

#include <algorithm>

#include "HVJavascriptBridge.h"

namespace halvern {

std::string HVCommandHandler::bridgeScript() { return HVJavascriptBridge::generateBridgeScriptFromObject(m_name, *this); }

void HVCommandHandler::declareCommand(std::string selector, Command command) {
  m_selectors.push_back(std::move(selector));
  m_commands.push_back(std::move(command));
}

std::shared_ptr<HVCallbackContext> HVCommandHandler::contextCallingBack(
    std::function<void(HVCommandHandler&, const HVCommandResult&)> fn, bool passResults) {
  std::weak_ptr<HVCommandHandler> weak = weak_from_this();
  return HVCallbackContext::contextWithCallbackInvocationPassResults(
      [weak, fn = std::move(fn)](const HVCommandResult& result) {
        if (auto self = weak.lock()) fn(*self, result);
      },
      passResults);
}

bool HVCommandHandler::respondsToSelector(std::string_view selector) const {
  return std::find(m_selectors.begin(), m_selectors.end(), selector) != m_selectors.end();
}

bool HVCommandHandler::performSelector(std::string_view selector, HVCommandArguments arguments) {
  auto it = std::find(m_selectors.begin(), m_selectors.end(), selector);
  if (it == m_selectors.end()) return false;
  const size_t keywords = static_cast<size_t>(std::count(selector.begin(), selector.end(), ':'));
  if (arguments.size() > keywords) return false;
  arguments.resize(keywords);
  // A command may end the page that owns this handler.
  auto self = shared_from_this();
  m_commands[static_cast<size_t>(it - m_selectors.begin())](arguments);
  return true;
}

std::string HVCommandHandler::fillCallbackTemplate(std::string_view tmpl, std::string_view value) {
  static const std::string_view kPlaceholders[] = {"%lld", "%qi", "%ld", "%lf", "%s", "%@", "%d", "%i", "%u", "%f"};
  std::string out;
  out.reserve(tmpl.size() + value.size());
  bool filled = false;
  for (size_t i = 0; i < tmpl.size();) {
    if (tmpl[i] != '%') {
      out += tmpl[i++];
      continue;
    }
    if (i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    bool matched = false;
    if (!filled) {
      for (auto placeholder : kPlaceholders) {
        if (tmpl.substr(i, placeholder.size()) == placeholder) {
          out += value;
          i += placeholder.size();
          filled = matched = true;
          break;
        }
      }
    }
    if (!matched) out += tmpl[i++];
  }
  return out;
}

std::string HVCommandHandler::singleQuoted(std::string_view text) {
  return "'" + platform::escapeScriptString(text) + "'";
}

void HVCommandHandler::answerCallback(const platform::Value& callbackTemplate, std::string_view value) {
  if (!callbackTemplate.isString() || callbackTemplate.string().empty()) return;
  if (auto b = bridge()) b->sendJavascriptCommand(fillCallbackTemplate(callbackTemplate.string(), value));
}

bool HVCommandHandler::hasArgument(const HVCommandArguments& arguments, size_t index) {
  return index < arguments.size() && !arguments[index].isNull();
}

std::string HVCommandHandler::stringArgument(const HVCommandArguments& arguments, size_t index) {
  if (index >= arguments.size()) return {};
  const auto& v = arguments[index];
  if (v.isString()) return v.string();
  if (v.isNull()) return {};
  return v.stringValue();
}

double HVCommandHandler::numberArgument(const HVCommandArguments& arguments, size_t index) {
  if (index >= arguments.size()) return 0;
  return arguments[index].doubleValue();
}

std::optional<double> HVCommandHandler::finiteNumberArgument(const HVCommandArguments& arguments, size_t index) {
  const double number = numberArgument(arguments, index);
  if (!std::isfinite(number)) return std::nullopt;
  return number;
}

std::optional<int64_t> HVCommandHandler::integerArgument(const HVCommandArguments& arguments, size_t index) {
  auto number = finiteNumberArgument(arguments, index);
  // 2^63 is exact as a double; anything at or past it has no 64-bit integer.
  constexpr double kLimit = 9223372036854775808.0;
  if (!number || *number >= kLimit || *number < -kLimit) return std::nullopt;
  // Text is read digit by digit, so that times past 2^53 keep their last digits.
  if (arguments[index].isString()) return arguments[index].integerValue();
  return static_cast<int64_t>(*number);
}

}  // namespace halvern
