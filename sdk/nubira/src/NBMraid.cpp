#include "NBMraid.h"

namespace nubira {

extern const char* const kNBMraidScript;

std::string NBMraid::nbMraidString() { return kNBMraidScript; }

}  // namespace nubira
