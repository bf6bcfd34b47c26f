#pragma once
// The demo's scenes. Each returns true when everything it expected happened. A scene file
// registers itself with ADHOST_SCENE, so adding a client's scene touches no shared file.
#include <string>
#include <vector>

namespace adhost {

struct Options {
  // Empty: the embedded sandbox server on loopback.
  std::string cadenzoServer;
  std::string cadenzoAppId;
  std::string cadenzoAppSignature;
  // Empty: the embedded collector on loopback. Else "host:port".
  std::string collector;
  // Empty: every scene. Else only the scene of that name.
  std::string only;
};

struct Scene {
  std::string name;
  // Scenes run in ascending order.
  int order = 0;
  bool (*run)(const Options&) = nullptr;
};

// Adds a scene; returns true so that it can initialise a namespace-scope constant.
bool registerScene(Scene scene);
// Every registered scene, in order.
std::vector<Scene> scenes();

}  // namespace adhost

#define ADHOST_SCENE(name, order, function) \
  static const bool adhostSceneRegistered_##function = ::adhost::registerScene({name, order, function})
