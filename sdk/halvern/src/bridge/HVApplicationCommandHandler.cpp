#include "HVApplicationCommandHandler.h"

#include "platform/bundle.h"

namespace halvern {

HVApplicationCommandHandler::HVApplicationCommandHandler() : HVCommandHandler("BridgeApp") {
  declareCommand("bridge_infoDictionaryValueForKey:withCallback:", [this](const HVCommandArguments& args) {
    const auto value = platform::Bundle::mainBundle().objectForInfoDictionaryKey(stringArgument(args, 0));
    answerCallback(args[1], platform::quoteScriptString(value.description()));
  });
}

}  // namespace halvern
