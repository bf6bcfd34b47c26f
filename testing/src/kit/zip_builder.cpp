// minizip writes the archive into memory through its I/O hooks, so no temporary file is
// needed; the lies are then patched into the bytes, because minizip refuses to write them.
#include "testing/zip_builder.h"

#include <minizip/zip.h>

#include <cstring>
#include <fstream>

namespace testkit {
namespace {

struct MemoryFile {
  std::string data;
  size_t pos = 0;
};

voidpf memOpen(voidpf opaque, const char*, int) { return opaque; }

uLong memRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* f = static_cast<MemoryFile*>(stream);
  uLong n = static_cast<uLong>(std::min<size_t>(size, f->data.size() - std::min(f->pos, f->data.size())));
  std::memcpy(buf, f->data.data() + f->pos, n);
  f->pos += n;
  return n;
}

uLong memWrite(voidpf, voidpf stream, const void* buf, uLong size) {
  auto* f = static_cast<MemoryFile*>(stream);
  if (f->pos + size > f->data.size()) f->data.resize(f->pos + size);
  std::memcpy(f->data.data() + f->pos, buf, size);
  f->pos += size;
  return size;
}

long memTell(voidpf, voidpf stream) { return static_cast<long>(static_cast<MemoryFile*>(stream)->pos); }

long memSeek(voidpf, voidpf stream, uLong offset, int origin) {
  auto* f = static_cast<MemoryFile*>(stream);
  size_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? f->pos : origin == ZLIB_FILEFUNC_SEEK_END ? f->data.size() : 0;
  f->pos = base + offset;
  return 0;
}

int memClose(voidpf, voidpf) { return 0; }
int memError(voidpf, voidpf) { return 0; }

uint32_t read32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t read16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

void write32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

ZipBuilder& ZipBuilder::addFile(std::string name, std::string content, bool compress) {
  entries_.push_back({std::move(name), std::move(content), compress, std::nullopt, false});
  return *this;
}

ZipBuilder::Entry* ZipBuilder::find(const std::string& name) {
  for (auto& e : entries_) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

ZipBuilder& ZipBuilder::declareUncompressedSize(const std::string& name, uint32_t size) {
  if (Entry* e = find(name)) e->declaredSize = size;
  return *this;
}

ZipBuilder& ZipBuilder::corruptCrc(const std::string& name) {
  if (Entry* e = find(name)) e->badCrc = true;
  return *this;
}

std::string ZipBuilder::bytes() const {
  MemoryFile file;
  zlib_filefunc_def io{memOpen, memRead, memWrite, memTell, memSeek, memClose, memError, &file};
  zipFile zip = zipOpen2("memory", APPEND_STATUS_CREATE, nullptr, &io);
  if (!zip) return "";
  for (const Entry& e : entries_) {
    zip_fileinfo info{};
    zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, e.compress ? Z_DEFLATED : 0,
                        e.compress ? Z_DEFAULT_COMPRESSION : 0);
    zipWriteInFileInZip(zip, e.content.data(), static_cast<unsigned>(e.content.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  std::string& b = file.data;

  // The central directory (located by the end record, which has no comment here) names each
  // entry and points at its local header; both carry the CRC at +16/+14 and the uncompressed
  // size at +24/+22.
  if (b.size() < 22 || read32(b, b.size() - 22) != 0x06054b50) return b;
  const size_t end = b.size() - 22;
  size_t at = read32(b, end + 16);
  for (uint16_t n = read16(b, end + 10); n > 0 && at + 46 <= end && read32(b, at) == 0x02014b50; --n) {
    const size_t nameLength = read16(b, at + 28);
    const std::string name = b.substr(at + 46, nameLength);
    const size_t local = read32(b, at + 42);
    for (const Entry& e : entries_) {
      if (e.name != name) continue;
      if (e.badCrc) {
        write32(b, at + 16, ~read32(b, at + 16));
        write32(b, local + 14, ~read32(b, local + 14));
      }
      if (e.declaredSize) {
        write32(b, at + 24, *e.declaredSize);
        write32(b, local + 22, *e.declaredSize);
      }
    }
    at += 46 + nameLength + read16(b, at + 30) + read16(b, at + 32);
  }
  return b;
}

bool ZipBuilder::writeTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string b = bytes();
  out.write(b.data(), static_cast<std::streamsize>(b.size()));
  return static_cast<bool>(out);
}

}  // namespace testkit
