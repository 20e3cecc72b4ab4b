// Writes a starting corpus for the file fuzzers: well-formed files that reach every branch of
// the readers (groups, long and wide strings, an older set without its extension).
//   make_fuzz_seeds DRUMS_DIR SLIST_DIR

#include <cstdio>
#include <fstream>
#include <string>

#include "DrumsFile.h"
#include "SampleListFile.h"

using namespace zumbel;

namespace {

void write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DRUMS_DIR SLIST_DIR\n");
    return 2;
  }
  const std::string drums = argv[1], slist = argv[2];
  CKitbeatDoc doc;
  doc.OnNewDocument();
  write(drums + "/new.drums", serializeDrumSet(doc.content()));

  doc.appendGroup("Kicks");
  doc.appendGroup("\xE5\xA4\xAA\xE9\xBC\x93");
  doc.appendSample(0, "C:\\Drums\\Kick.wav");
  doc.appendSample(0, std::string(300, 'p'));
  doc.appendSample(1, "/home/me/\xC3\xA9t\xC3\xA9.wav");
  doc.AssignSample(0, 0, SampleRef{0, 0});
  doc.AssignSample(0, 2, SampleRef{1, 0});
  doc.sound(3).settings[kCutNote] = 0;
  write(drums + "/groups.drums", serializeDrumSet(doc.content()));

  doc.sound(0).settings[kFormatMarker] = 0;
  std::vector<uint8_t> legacy = serializeDrumSet(doc.content());
  legacy.resize(legacy.size() - kExtensionBlockBytes);
  write(drums + "/legacy.drums", legacy);

  write(slist + "/two.slist", serializeSampleList({"C:\\a.wav", "C:\\b.wav"}));
  write(slist + "/wide.slist", serializeSampleList({"\xE5\xA4\xAA.wav", std::string(70000, 'x')}));
  write(slist + "/empty.slist", serializeSampleList({}));
  return 0;
}
