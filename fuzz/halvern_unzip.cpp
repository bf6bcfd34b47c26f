// HVZip over arbitrary archives: whatever it makes of them, nothing may appear outside the
// destination folder, and a package it refuses leaves no destination behind.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// Internal to the client; the target reaches it by path.
#include "../sdk/halvern/src/storage/HVZip.h"

namespace {
std::filesystem::path gRoot;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "halvern-unzip-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  gRoot = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(gRoot, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto zip = gRoot / "package.zip";
  const auto out = gRoot / "jail" / "out";
  std::filesystem::create_directories(gRoot / "jail");
  if (FILE* f = std::fopen(zip.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const bool ok = halvern::HVZip::unzipPackageToPath(zip.string(), out.string(), nullptr, 1 << 20);
  if (!ok && std::filesystem::exists(out)) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(gRoot)) {
    const auto name = entry.path().filename();
    if (name != "package.zip" && name != "jail") std::abort();
  }
  for (const auto& entry : std::filesystem::directory_iterator(gRoot / "jail"))
    if (entry.path().filename() != "out") std::abort();
  std::filesystem::remove_all(gRoot / "jail");
  return 0;
}
