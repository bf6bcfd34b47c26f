#pragma once
// "BridgeAudio": a display page's sounds, played by the shared audio engine from the ad's own
// folder. Names from the page stay inside that folder.
#include <optional>
#include <string>

#include "HVCommandHandler.h"

namespace halvern {

class HVAudioCommandHandler final : public HVCommandHandler {
 public:
  HVAudioCommandHandler();
  const std::string& resourcePath() const { return m_resourcePath; }
  // The file `name` in the ad's folder; nullopt before initialisation or for a name that
  // would leave it.
  std::optional<std::string> pathForFileName(const std::string& name) const;

 private:
  void play(const HVCommandArguments& args, bool music, std::optional<long> loops, std::optional<double> volume);
  std::string m_resourcePath;
};

}  // namespace halvern
