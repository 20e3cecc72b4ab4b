// Writes a starting corpus for the fuzzers: well-formed files that reach every branch of the
// readers (groups, long and wide strings, an older set without its extension), and a host's
// sessions with the LV2 plugin.
//   make_fuzz_seeds DRUMS_DIR SLIST_DIR [MIDI_DIR [WAVE_DIR [KIT_DIR [LV2_DIR]]]]

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

// Hydrogen kit files in each form found in the wild: one <filename> per instrument, <layer>s under
// the instrument, <instrumentComponent>s, a single <pan>, and a DOCTYPE declaring entities.
void writeKitSeeds(const std::string& dir) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const std::string ns = " xmlns=\"http://www.hydrogen-music.org/drumkit\"";
  std::ofstream(dir + "/old.xml") << head << "<drumkit_info><name>Old</name><instrumentList>"
      "<instrument><id>0</id><name>Kick</name><volume>1</volume><pan_L>1</pan_L><pan_R>0.5</pan_R>"
      "<filename>kick.flac</filename><exclude/></instrument><instrument><id>1</id><name>2</name></instrument>"
      "</instrumentList></drumkit_info>\n";
  std::ofstream(dir + "/layers.xml") << head << "<drumkit_info" << ns << "><name>Layers</name><instrumentList>"
      "<instrument><id>0</id><name>Snare</name><muteGroup>0</muteGroup><midiOutNote>38</midiOutNote>"
      "<isStopNote>false</isStopNote><Attack>0</Attack><Release>1000</Release><randomPitchFactor>0.1</randomPitchFactor>"
      "<layer><filename>s1.wav</filename><min>0</min><max>0.5</max><gain>1.2</gain><pitch>-3</pitch></layer>"
      "<layer><filename>s2.wav</filename><min>0.5</min><max>1</max><gain>1</gain><pitch>0</pitch></layer>"
      "</instrument></instrumentList></drumkit_info>\n";
  std::ofstream(dir + "/components.xml") << head << "<drumkit_info" << ns << "><name>Comp</name>"
      "<componentList><drumkitComponent><id>0</id><name>Main</name></drumkitComponent></componentList><instrumentList>"
      "<instrument><id>0</id><name>Hat</name><pan>-0.25</pan><sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>"
      "<instrumentComponent><component_id>0</component_id><gain>1</gain><layer><filename>h.flac</filename>"
      "<min>0</min><max>1</max></layer></instrumentComponent><instrumentComponent><component_id>1</component_id>"
      "<layer><filename>oh.flac</filename></layer></instrumentComponent></instrument></instrumentList></drumkit_info>\n";
  std::ofstream(dir + "/doctype.xml") << "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;\">]>"
      "<drumkit_info><name>&b;&#233;&amp;</name><instrumentList><instrument><name>&b;</name>"
      "<layer><filename>&a;.wav</filename></layer></instrument></instrumentList></drumkit_info>\n";
}

}  // namespace

// A small RIFF WAVE image; `extra` goes between "fmt " and "data" when not empty.
std::vector<uint8_t> wav(uint16_t tag, uint16_t channels, uint16_t bits, std::size_t frames, bool extra) {
  std::vector<uint8_t> b;
  auto tag4 = [&](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
  };
  auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t align = channels * bits / 8u;
  const auto data = static_cast<uint32_t>(frames * align);
  tag4("RIFF");
  put(4 + 24 + (extra ? 12 : 0) + 8 + data, 4);
  tag4("WAVE");
  tag4("fmt ");
  put(16, 4);
  put(tag, 2);
  put(channels, 2);
  put(22050, 4);
  put(22050 * align, 4);
  put(align, 2);
  put(bits, 2);
  if (extra) {
    tag4("LIST");
    put(4, 4);
    tag4("INFO");
  }
  tag4("data");
  put(data, 4);
  for (uint32_t i = 0; i < data; ++i) b.push_back(static_cast<uint8_t>(i * 37));
  return b;
}

// Kits carrying a sample after a NUL byte: the kit fuzzer puts it beside the kit file as "s.wav"
// and imports the kit, so its probe reads the sample.
void writeKitSampleSeeds(const std::string& dir) {
  const std::string xml = "<drumkit_info><name>With</name><instrumentList><instrument><name>Kick</name>"
                          "<layer><filename>s.wav</filename><min>0</min><max>0.5</max></layer>"
                          "<layer><filename>s.wav</filename><min>0.5</min><max>1</max><pitch>2</pitch></layer>"
                          "</instrument><instrument><name>Gone</name><filename>gone.wav</filename></instrument>"
                          "</instrumentList></drumkit_info>";
  // Volumes, gains and names no set holds as they are: not numbers, below zero, zero, far too
  // large, a control character.
  const std::string levels = "<drumkit_info><name>Levels</name><instrumentList><instrument><name>Ki&#1;ck</name>"
                             "<volume>nan</volume><gain>1e300</gain><pan_L>0</pan_L><pan_R>-1</pan_R>"
                             "<layer><filename>s.wav</filename><min>0</min><max>0.5</max><gain>0</gain></layer>"
                             "<layer><filename>s.wav</filename><min>0.5</min><max>1</max><gain>-1</gain></layer>"
                             "</instrument><instrument><name>Snare</name><volume>1e-300</volume><gain>0,5</gain>"
                             "<instrumentComponent><gain>inf</gain><layer><filename>s.wav</filename><gain>1e9</gain>"
                             "</layer></instrumentComponent></instrument></instrumentList></drumkit_info>";
  auto kitWith = [](const std::string& kit, const std::vector<uint8_t>& sample) {
    std::vector<uint8_t> b(kit.begin(), kit.end());
    b.push_back(0);
    b.insert(b.end(), sample.begin(), sample.end());
    return b;
  };
  write(dir + "/sample-mono16.kit", kitWith(xml, wav(1, 1, 16, 64, false)));
  write(dir + "/sample-list.kit", kitWith(xml, wav(1, 2, 16, 16, true)));
  write(dir + "/sample-levels.kit", kitWith(levels, wav(1, 1, 16, 64, false)));
  // Takes sharing a range picked in turn, mute groups, and names General MIDI places (imported by
  // name when the seed's length is odd, which the padding sees to).
  std::string takes = "<drumkit_info><name>Takes</name><instrumentList>";
  for (const char* name : {"Closed HH", "Open HH", "Tom Hi", "Tom 2", "Crash 2"}) {
    takes += std::string("<instrument><name>") + name + "</name><muteGroup>3</muteGroup>"
             "<sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>"
             "<layer><filename>s.wav</filename></layer><layer><filename>s.wav</filename></layer></instrument>";
  }
  takes += "</instrumentList></drumkit_info>";
  std::vector<uint8_t> seed = kitWith(takes, wav(1, 1, 16, 64, false));
  if (seed.size() % 2 == 0) seed.push_back(0);
  write(dir + "/sample-takes.kit", seed);
}

void writeWaveSeeds(const std::string& dir) {
  write(dir + "/mono16.wav", wav(1, 1, 16, 64, false));
  write(dir + "/stereo16-list.wav", wav(1, 2, 16, 64, true));
  write(dir + "/unsigned8.wav", wav(1, 1, 8, 100, false));
  write(dir + "/float32.wav", wav(3, 2, 32, 32, false));
  write(dir + "/three24.wav", wav(1, 3, 24, 20, true));
}

// The plugin first (0 the stereo one, 1 Multi), then a host's actions, one byte each and their
// arguments after them, as fuzz_lv2_plugin reads them: 0 MIDI (frame/64, length-1, bytes, size
// lie), 1 patch:Set (path), 2 patch:Get, 3 an atom, 5 run (frames), 7 the worker, 8 full ring on
// or off, 9 restore (broken, ports), 10 restart or a port, 11 the channel. Each seed is written
// for both plugins.
void writeLv2Seeds(const std::string& dir) {
  auto seed = [&dir](const std::string& name, const std::vector<uint8_t>& actions) {
    for (const uint8_t plugin : {0, 1}) {
      std::vector<uint8_t> bytes{plugin};
      bytes.insert(bytes.end(), actions.begin(), actions.end());
      write(dir + "/" + name + (plugin != 0 ? "-multi" : ""), bytes);
    }
  };
  const std::vector<uint8_t> playing = {1, 0, 5, 4, 7, 5, 4, 5, 4, 0, 0, 2, 0x90, 36, 100, 0, 5, 6,
                                        0, 1, 2, 0x90, 38, 100, 0, 5, 8, 2, 5, 4};
  seed("playing", playing);
  // A state restored while a chosen set loads, then one whose set is gone.
  seed("restoring", {1, 0, 5, 4, 9, 0, 0, 7, 5, 4, 5, 4, 2, 5, 4, 9, 1, 0, 5, 4, 7, 5, 4, 2, 5, 4});
  seed("full-ring", {8, 1, 0, 5, 4, 1, 1, 5, 4, 8, 5, 4, 7, 5, 4, 5, 4, 2, 5, 4});
  // A crash ringing when the host restarts the plugin, then the left output unplugged and back.
  seed("restarting", {1, 0, 5, 4, 7, 5, 4, 5, 4, 0, 0, 2, 0x90, 49, 127, 0, 5, 4, 10, 0, 5, 4, 10, 42,
                       0, 0, 2, 0x90, 38, 100, 0, 5, 9, 10, 132, 5, 4});
  // patch:Set forged by hand: an object holding the property and a path.
  seed("forged-set", {3, 3, 2, 7, 2, 9, 2, 1, 12, 0, 10, 0, 0, 0, 1, 0, 0, 0, 0, 5, 4, 7, 5, 4, 5, 4, 2, 5, 4});
}

int main(int argc, char** argv) {
  if (argc < 3 || argc > 7) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DRUMS_DIR SLIST_DIR [MIDI_DIR [WAVE_DIR [KIT_DIR [LV2_DIR]]]]\n");
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
  if (argc >= 4) writeMidiSeeds(argv[3]);
  if (argc >= 5) writeWaveSeeds(argv[4]);
  if (argc >= 6) {
    writeKitSeeds(argv[5]);
    writeKitSampleSeeds(argv[5]);
  }
  if (argc >= 7) writeLv2Seeds(argv[6]);
  return 0;
}
