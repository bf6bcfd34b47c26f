#include "PELOLogger.h"

#include "pelora/PELOGlobalSettings.h"
#include "platform/log.h"

namespace pelora {
namespace {

void write(int threshold, const char* fmt, const std::string& message) {
  if (PELOGlobalSettings::globalSettings()->logLevel() >= threshold) platform::logf(fmt, message);
}

}  // namespace

void PELOLogger::error(const std::string& message) { write(1, "[iPELO ERROR] %@", message); }
void PELOLogger::warn(const std::string& message) { write(2, "[iPELO  WARN] %@", message); }
void PELOLogger::info(const std::string& message) { write(3, "[iPELO  INFO] %@", message); }
void PELOLogger::debug(const std::string& message) { write(4, "[iPELO DEBUG] %@", message); }

}  // namespace pelora
