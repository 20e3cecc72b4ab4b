// Shows the main window on a drum set with a few notes held, for looking at the skin and for the
// README's screenshot (tools/make-screenshot runs it under Xvfb). No sound: the notes go straight
// into the engine, which lights the pads as a MIDI keyboard would.
//   show_window KIT.drums [--seconds N]

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CKitbeatView.h"
#include "DrumEngine.h"
#include "DrumsFile.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "ShortMessage.h"

namespace {

using namespace zumbel;

// A long list to scroll: the set's own samples listed again under a group of their own.
constexpr int kLongListEntries = 40;
constexpr int kLongListTopRow = 6;
// Held notes: a soft and a hard one on the left keyboard, one on the right, one on an empty sound.
constexpr int kHeldNotes[][2] = {{36, 127}, {38, 40}, {42, 100}, {49, 120}, {58, 90}};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: show_window KIT.drums [--seconds N]\n");
    return 2;
  }
  int seconds = 0;
  if (argc >= 4 && std::string(argv[2]) == "--seconds") seconds = std::atoi(argv[3]);

  CKitbeatDoc doc;
  if (!doc.OnOpenDocument(argv[1]).ok()) {
    std::fprintf(stderr, "show_window: cannot open %s\n", argv[1]);
    return 2;
  }
  DrumEngine engine(doc);
  LayerVoiceLoader loader(doc, engine, nullptr);
  loader.loadAllVoices();

  const int longGroup = doc.appendGroup("Long list");
  for (int i = 0; i < kLongListEntries; ++i) {
    const int g = i % std::max(1, longGroup);
    const int size = doc.groupSize(g);
    const std::string path = size > 0 ? std::string(doc.groupList(g)[static_cast<std::size_t>(i % size)]) : "sample.wav";
    doc.appendSample(longGroup, "take " + std::to_string(i + 1) + " - " + path);
  }

  CKitbeatView view(doc, &engine);
  view.setWindowTitle(QStringLiteral("Zumbel"));
  view.state().currentGroup = longGroup;
  view.state().topRow = kLongListTopRow;
  view.show();
  if (!view.loadSkin()) {
    std::fprintf(stderr, "show_window: the skin is missing from the program\n");
    return 1;
  }
  view.FullRedraw();

  std::vector<TimedMessage> notes;
  for (const auto& n : kHeldNotes) notes.push_back(TimedMessage{0, packShortMessage(0x90, n[0], n[1])});
  std::vector<float> left(64), right(64);
  engine.process(left.data(), right.data(), 64, notes);

  if (seconds > 0) QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  const int status = QApplication::exec();
  engine.voices().ReleaseAllVoices();
  return status;
}
