// The demo host: plays the part of the game's ad layer and analytics service against the
// sandbox servers on loopback, and prints what happened.
#include <cstdio>

int main() {
  std::printf("adhost: no client is built yet; nothing to demonstrate.\n");
  return 0;
}
