#include "DemoFiles.h"

#include "DemoConfig.h"
#include "DemoKit.h"
#include "DemoSong.h"
#include "DrumSynth.h"
#include "DrumsFile.h"
#include "FileIO.h"
#include "WavWriter.h"

namespace zumbel::demo {

namespace {

std::string write(const std::string& path, const std::vector<uint8_t>& bytes) {
  const FileError error = writeFileAtomically(path, bytes);
  return error == FileError::None ? std::string() : documentErrorText(error, false, path);
}

}  // namespace

std::string writeDemoFiles(const std::string& folder) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const DemoPad& pad : demoPads()) {
    for (Layer layer : pad.layers) {
      const std::vector<uint8_t> wav = wavImage(synthesise(pad.instrument, layer), kSampleRate, kChannels);
      if (std::string error = write(prefix + sampleFileName(pad, layer), wav); !error.empty()) return error;
    }
  }
  CKitbeatDoc doc;
  buildDemoKit(doc);
  if (const FileOutcome saved = doc.OnSaveDocument(prefix + kSetFileName); !saved.ok()) return saved.message;
  return write(prefix + kSongFileName, demoSongImage());
}

}  // namespace zumbel::demo
