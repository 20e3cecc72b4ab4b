// Writes a starting corpus for the file fuzzers: well-formed files that reach every branch of
// the readers (groups, long and wide strings, an older set without its extension).
//   make_fuzz_seeds DRUMS_DIR SLIST_DIR [MIDI_DIR]

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

// Standard MIDI files written byte by byte: running status, a tempo map in its own track, sysex,
// meta events, an unknown chunk, SMPTE time and a track cut short.
void writeMidiSeeds(const std::string& dir) {
  const std::vector<uint8_t> format0 = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                        'M', 'T', 'r', 'k', 0, 0, 0, 21,
                                        0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0x99, 36, 100, 48, 38, 90,
                                        0, 0xC9, 5, 0x60, 0xFF, 0x2F, 0};
  write(dir + "/format0.mid", format0);

  const std::vector<uint8_t> format1 = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,
      'X', 'F', 'I', 'H', 0, 0, 0, 2, 1, 2,
      'M', 'T', 'r', 'k', 0, 0, 0, 19, 0, 0xFF, 0x51, 3, 0x04, 0x93, 0xE0, 0x83, 0x60, 0xFF, 0x51, 3, 0x0F,
      0x42, 0x40, 0, 0xFF, 0x2F, 0,
      'M', 'T', 'r', 'k', 0, 0, 0, 30, 0, 0xF0, 3, 0x7E, 0x7F, 0xF7, 0, 0x90, 60, 100, 0x81, 0x40, 60, 0,
      0, 0xFF, 0x01, 2, 'h', 'i', 0, 0xB0, 7, 127, 0x8F, 0xFF, 0x7F, 0x80, 0x40, 0};
  write(dir + "/format1.mid", format1);

  const std::vector<uint8_t> smpte = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0xE3, 0x50,
                                      'M', 'T', 'r', 'k', 0, 0, 0, 40, 0, 0xE0, 0, 0x40, 10, 0xD0, 50};
  write(dir + "/smpte-cut.mid", smpte);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DRUMS_DIR SLIST_DIR [MIDI_DIR]\n");
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
  if (argc == 4) writeMidiSeeds(argv[3]);
  return 0;
}
