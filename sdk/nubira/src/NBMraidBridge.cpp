#include "NBMraidBridge.h"

namespace nubira {

extern const char* const kNBMraidBridgeScript;

std::string NBMraidBridge::nbMraidBridgeString() { return kNBMraidBridgeScript; }

}  // namespace nubira
