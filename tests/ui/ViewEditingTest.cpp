// Building a drum set with the mouse, offscreen: QTest presses, moves and releases on the real
// view with its real engine, the dialogs and questions answered by script, the sound checked by
// rendering the engine's cycles here.

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "CreateGroupDialog.h"
#include "DragCursors.h"
#include "DrumsFile.h"
#include "ExtrasFile.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "QtViewDialogs.h"
#include "SampleListFile.h"
#include "ScriptedAudio.h"
#include "ScriptedDialogs.h"
#include "SetEditor.h"
#include "SoundParameter.h"
#include "TestSupport.h"
#include "ViewEngine.h"
#include "WavFileWriter.h"

namespace zumbel {
namespace {

using skin::Rect;

QPoint centre(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
QPoint row(int i) { return centre(skin::sampleRow(i)); }
QPoint groupRowAt(int i) { return centre(skin::groupRow(i)); }
QPoint pad(int key, int layer, bool right = false) {
  return centre(skin::padCell(key, layer).moved(right ? skin::kRightKeyboardOffset : 0, 0));
}
QPoint button(skin::Button b) { return centre(skin::kButtonRects[static_cast<std::size_t>(b)]); }
QImage area(const QImage& image, const Rect& r) { return image.copy(r.left, r.top, r.width(), r.height()); }

class Editing : public ::testing::Test {
 protected:
  Editing() {
    system.mixer = &live().engine.mixer();
    doc.OnNewDocument();
    view.setDialogs(&dialogs);
    // The memory meter is redrawn with the lists; a fixed reading keeps pictures comparable.
    view.renderer().setFreeMemory([] { return uint64_t{1} << 30; });
    view.show();
    EXPECT_TRUE(view.loadSkin());
    view.FullRedraw();
    // A scripted device that plays: the test renders the cycles itself.
    EXPECT_EQ(live().output.InitAudioOutput(0), 1);
  }
  ~Editing() override { view.setDialogs(nullptr); }

  ViewEngine& live() { return *view.live(); }
  DrumEngine& engine() { return live().engine; }

  std::string wav(const std::string& name, int rate = 44100, float level = 0.5f, int frames = 8000) {
    const std::vector<float> v(static_cast<std::size_t>(frames), level);
    WavFileWriter w;
    EXPECT_TRUE(w.open(dir / name, rate, SampleFormat::kS16));
    w.write(v.data(), v.data(), frames);
    EXPECT_TRUE(w.close());
    return dir / name;
  }
  // A group of `n` entries naming real files, the k-th at level (k + 1) / 100.
  int group(const std::string& name, int n) {
    const int g = doc.appendGroup(name);
    for (int k = 0; k < n; ++k) doc.appendSample(g, wav(name + std::to_string(k) + ".wav", 44100, (k + 1) / 100.0f));
    return g;
  }

  void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(&view, b, {}, p); }
  void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(&view, b, {}, p); }
  void click(QPoint p) {
    press(p);
    release(p);
  }
  void drag(QPoint from, QPoint to) {
    press(from);
    QTest::mouseMove(&view, to);
    release(to);
  }
  // The loudest frame of the left channel over the next few cycles.
  float loudest(int cycles = 8) {
    float peak = 0;
    for (int i = 0; i < cycles; ++i) {
      for (float v : test::cycle(engine(), 256).left) peak = std::max(peak, std::abs(v));
    }
    return peak;
  }
  std::array<int, kLayerCount> sources(int s) const {
    std::array<int, kLayerCount> a{};
    for (int j = 0; j < kLayerCount; ++j) a[j] = doc.sound(s).sources[j];
    return a;
  }

  test::TempDir dir;
  test::ScriptedSystem system;
  test::OkCancelPrompts prompts;
  test::ScriptedDialogs dialogs;
  CKitbeatDoc doc;
  CKitbeatView view{doc, std::make_unique<ViewEngine>(doc, system, prompts)};
};

TEST_F(Editing, PressesPickOnlyWhatTheListsShow) {
  group("A", 40);
  group("B", 3);
  // Row 3 of two groups holds no group; row 1 shows the second group from its top.
  drag(groupRowAt(3), groupRowAt(3));
  EXPECT_EQ(view.state().currentGroup, 0);
  view.state().topRow = 30;
  drag(row(5), pad(0, 0));
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{0, 35}));
  drag(groupRowAt(1), groupRowAt(1));
  EXPECT_EQ(view.state().currentGroup, 1);
  EXPECT_EQ(view.state().topRow, 0);
  // Row 5 of a three-entry list is empty: nothing is picked up, nothing lands.
  drag(row(5), pad(1, 0));
  EXPECT_TRUE(doc.sound(1).isEmpty());
  // Any release over a keyboard counts as a change, even between pads.
  doc.SetModifiedFlag(false);
  drag(row(0), QPoint(skin::kLeftKeyboard.left + 1, skin::kLeftKeyboard.top + 1));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_TRUE(doc.sound(0).refs[0] == (SampleRef{0, 35}));
}

TEST_F(Editing, TheThumbScrollsByItsFractionalStep) {
  group("Short", 10);
  group("Long", 32);
  const QPoint thumb = centre(skin::kInitialScrollThumb);
  press(thumb);
  QTest::mouseMove(&view, thumb + QPoint(0, 30));
  release(thumb + QPoint(0, 30));
  EXPECT_EQ(view.state().topRow, 0) << "a list of 16 or fewer does not scroll";

  view.state().currentGroup = 1;
  view.renderer().DrawSampleAndGroupLists(false);
  press(thumb);
  QTest::mouseMove(&view, thumb + QPoint(0, 52));
  EXPECT_EQ(view.state().topRow, 10);  // 52 / 5.1875
  EXPECT_EQ(view.state().scrollThumb.top, 41 + 52);
  QTest::mouseMove(&view, thumb + QPoint(0, 150));
  release(thumb + QPoint(0, 150));
  EXPECT_EQ(view.state().topRow, 16);
  EXPECT_EQ(view.state().scrollThumb.bottom, 207);
}

TEST_F(Editing, OctaveButtonsPageTheKeyboardsForTheEditsAndTheLamps) {
  group("Kit", 1);
  click(centre(skin::kOctaveButtons[2]));
  EXPECT_EQ(view.state().firstShownSound, 48);
  EXPECT_EQ(engine().trigger().firstShownSound(), 48);
  drag(row(0), pad(0, 0, true));
  EXPECT_TRUE(doc.sound(60).hasOwnSample(0));
  // Note 96 plays sound 60, the first key of the right keyboard on this page.
  test::cycle(engine(), 64, {{0, 0x90 | (96 << 8) | (127 << 16)}});
  EXPECT_EQ(engine().indicators().padFlashes(skin::kKeys, 0), 1u);
}

TEST_F(Editing, TheButtonUnderThePointerLightsInTheirOrder) {
  const auto lit = [&](skin::Button b) {
    const skin::Blit l = skin::kButtonLit[static_cast<std::size_t>(b)];
    return area(view.renderer().backing(), {l.x, l.y, l.x + l.w, l.y + l.h}) ==
           area(view.renderer().skinSurface(), {l.sx, l.sy, l.sx + l.w, l.sy + l.h});
  };
  QTest::mouseMove(&view, button(skin::Button::kOptions));
  EXPECT_EQ(view.state().hoveredButton, 3);
  EXPECT_TRUE(lit(skin::Button::kOptions));
  QTest::mouseMove(&view, button(skin::Button::kLoadSet));
  EXPECT_EQ(view.state().hoveredButton, 2);
  EXPECT_TRUE(lit(skin::Button::kLoadSet));
  EXPECT_FALSE(lit(skin::Button::kOptions));
  QTest::mouseMove(&view, QPoint(611, 150));  // between the two set buttons
  EXPECT_TRUE(lit(skin::Button::kLoadSet));
  QTest::mouseMove(&view, QPoint(400, 100));
  EXPECT_EQ(view.state().hoveredButton, -1);
  EXPECT_FALSE(lit(skin::Button::kLoadSet));
}

TEST_F(Editing, DropsFollowTheLayerSources) {
  group("Kit", 3);
  // An empty sound takes the sample in layer 0 whichever pad is hit, and confirms it at -20 dB.
  drag(row(0), pad(5, 3));
  EXPECT_EQ(sources(5), (std::array<int, 5>{0, 0, 0, 0, 0}));
  EXPECT_EQ(doc.sound(5).refs[0], (SampleRef{0, 0}));
  EXPECT_NEAR(loudest(), 0.01f * 0.1f, 2e-4f);

  const auto reset = [&] {
    Sound& s = doc.sound(5);
    for (int j = 0; j < 5; ++j) s.sources[j] = j < 2 ? 0 : 2;
    s.refs[2] = SampleRef{0, 2};
    engine().voices().publish(5, 2, test::makeVoice(engine().mixer(), test::dc(100, 1000)));
  };
  reset();
  drag(row(1), pad(5, 1));
  EXPECT_EQ(sources(5), (std::array<int, 5>{0, 1, 2, 2, 2}));
  reset();
  drag(row(1), pad(5, 3));
  EXPECT_EQ(sources(5), (std::array<int, 5>{0, 0, 2, 3, 3}));
  EXPECT_NE(engine().voices().voice(5, 3), nullptr);

  // A layer with its own sample is replaced only after OK; its sources stay.
  loudest(40);
  reset();
  SampleVoice* before = engine().voices().voice(5, 2);
  drag(row(1), pad(5, 2));
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0], std::make_pair(std::string("There already is a sound in this layer! \nReplace?"),
                                                 std::string("Replace sound?")));
  EXPECT_EQ(engine().voices().voice(5, 2), before);
  EXPECT_EQ(doc.sound(5).refs[2], (SampleRef{0, 2}));
  prompts.answers = {true};
  drag(row(1), pad(5, 2));
  EXPECT_EQ(sources(5), (std::array<int, 5>{0, 0, 2, 2, 2}));
  EXPECT_EQ(doc.sound(5).refs[2], (SampleRef{0, 1}));
  EXPECT_NE(engine().voices().voice(5, 2), before);
  EXPECT_NEAR(loudest(), 0.02f * 0.1f, 2e-4f);
}

// A file that is not a sample is named with why when it is imported, and kept out of the list;
// one that got into the list all the same (a sample list, a set) is named when it is dropped.
TEST_F(Editing, FilesThatDoNotPlayAreNamedAndLeftOut) {
  const std::string good = wav("good.wav");
  const std::string text = dir / "broken.wav";
  std::ofstream(text) << "not a sound at all\n";
  dialogs.names = {"Kit"};
  dialogs.files = {{text, good, dir / "gone.wav"}};
  view.ImportSamples();
  ASSERT_EQ(doc.groupSize(0), 1);
  EXPECT_EQ(doc.groupList(0)[0], good);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first,
            "These files were not added:\nbroken.wav is not a WAV, AIFF or FLAC sound file"
            "\ngone.wav cannot be opened (No such file or directory)");
  // A drop of nothing playable asks for no group and adds nothing.
  doc.DeleteGroup(0);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(text))});
  QDragEnterEvent enter(row(0), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QCoreApplication::sendEvent(&view, &enter);
  QDropEvent drop(row(0), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QCoreApplication::sendEvent(&view, &drop);
  QCoreApplication::processEvents();
  EXPECT_EQ(doc.groupCount(), 0);
  EXPECT_EQ(dialogs.presets.size(), 1u);
  ASSERT_EQ(prompts.shown.size(), 2u);
  EXPECT_EQ(prompts.shown[1].first, "This file was not added:\nbroken.wav is not a WAV, AIFF or FLAC sound file");

  const int g = doc.appendGroup("Listed");
  doc.appendSample(g, text);
  drag(row(0), pad(2, 0));
  EXPECT_TRUE(doc.sound(2).isEmpty());
  ASSERT_EQ(prompts.shown.size(), 3u);
  EXPECT_EQ(prompts.shown[2].first, "The pad keeps what it had: the sample\n" + text + "\nis not a WAV, AIFF or FLAC sound file.");
}

TEST_F(Editing, ADropThatCannotLoadLeavesTheSoundAsItWas) {
  const int g = group("Kit", 1);
  doc.appendSample(g, dir / "gone.wav");
  drag(row(1), pad(2, 0));  // the locate dialog is cancelled
  EXPECT_TRUE(doc.sound(2).isEmpty());
  EXPECT_EQ(engine().voices().voice(2, 0), nullptr);
  EXPECT_EQ(dialogs.asked.back().filter, kWavFilter);
  EXPECT_EQ(loudest(), 0.0f);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first, "The pad keeps what it had: the sample\n" + dir / "gone.wav" + "\ncould not be found.");
}

TEST_F(Editing, AnEmptySoundTakesItsFirstSamplesRate) {
  const int g = doc.appendGroup("Kit");
  doc.appendSample(g, wav("k48.wav", 48000));
  doc.appendSample(g, wav("k44.wav", 44100));
  drag(row(0), pad(0, 0));
  EXPECT_EQ(doc.sound(0).playbackRate(), 48000);
  drag(row(1), pad(0, 1));
  EXPECT_EQ(doc.sound(0).playbackRate(), 48000) << "a sound's rate stays once it has one";
  doc.sound(1).settings[kPlaybackRate] = 30000;
  drag(row(0), pad(1, 0));
  EXPECT_EQ(doc.sound(1).playbackRate(), 30000);
}

TEST_F(Editing, TheTrashAsksBeforeEveryDeletion) {
  group("A", 2);
  group("B", 6);
  view.state().currentGroup = 1;
  drag(row(5), pad(7, 0));  // (1, 5)
  drag(row(1), pad(8, 0));  // (1, 1)
  view.state().currentGroup = 0;
  drag(row(0), pad(9, 0));  // (0, 0)
  const QPoint trash = centre(skin::kTrashArea);

  drag(row(0), trash);  // Cancel
  EXPECT_EQ(prompts.questions.back(), std::make_pair(std::string("This will remove sample from list and Drumset.\nProceed?"),
                                                     std::string("Deleting")));
  EXPECT_EQ(doc.groupSize(0), 2);
  prompts.answers = {true};
  drag(row(0), trash);
  EXPECT_EQ(doc.groupSize(0), 1);
  EXPECT_TRUE(doc.sound(9).isEmpty());
  EXPECT_EQ(engine().voices().voice(9, 0), nullptr);

  prompts.answers = {true};
  drag(groupRowAt(0), trash);
  EXPECT_EQ(prompts.questions.back().first,
            "This will remove all samples belonging to the group (also from sounds!).\nProceed?");
  ASSERT_EQ(doc.groupCount(), 1);
  EXPECT_EQ(doc.sound(7).refs[0], (SampleRef{0, 5}));
  EXPECT_EQ(view.state().currentGroup, 0);

  // A pad asks about the whole sound for layer 0, about one layer above; Cancel still counts as
  // a change.
  doc.SetModifiedFlag(false);
  drag(pad(7, 0), trash);
  EXPECT_EQ(prompts.questions.back().first, "This will remove all samples belonging to the sound.\nProceed?");
  EXPECT_TRUE(doc.IsModified());
  EXPECT_FALSE(doc.sound(7).isEmpty());
  drag(row(3), pad(7, 2));
  prompts.answers = {true};
  drag(pad(7, 2), trash);
  EXPECT_EQ(prompts.questions.back().first, "This will remove sample From sound 7 layer 3.\nProceed?");
  EXPECT_EQ(sources(7), (std::array<int, 5>{0, 0, 0, 0, 0}));
  EXPECT_EQ(engine().voices().voice(7, 2), nullptr);
  prompts.answers = {true};
  drag(pad(7, 0), trash);
  EXPECT_TRUE(doc.sound(7).isEmpty());
  EXPECT_EQ(engine().voices().voice(7, 0), nullptr);

  // Backspace deletes the current group after its own question; with none left it asks nothing.
  prompts.answers = {true};
  QTest::keyClick(&view, Qt::Key_Backspace);
  EXPECT_EQ(prompts.questions.back().first, "This will remove all samples belonging to the group \n(also from sounds!). Proceed?");
  EXPECT_EQ(doc.groupCount(), 0);
  const std::size_t asked = prompts.questions.size();
  QTest::keyClick(&view, Qt::Key_Backspace);
  EXPECT_EQ(prompts.questions.size(), asked);
}

// Ctrl on a drop adds the entry to the layer's takes, heard from the next hits in turn, up to
// the limit; Ctrl on the trash takes the alternates and nothing else. A layer without a sample
// of its own is told to get one first. A drop without Ctrl replaces as ever and leaves them be.
TEST_F(Editing, CtrlAddsAlternatesAndCtrlOnTheTrashTakesOnlyThem) {
  group("Kit", 3);
  const auto ctrlDrag = [&](QPoint from, QPoint to) {
    press(from);
    QTest::mouseMove(&view, to);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::ControlModifier, to);
  };
  const auto takes = [&] { return doc.soundExtras(4).alternates[0]; };
  const QPoint trash = centre(skin::kTrashArea);

  ctrlDrag(row(1), pad(4, 0));
  EXPECT_TRUE(doc.sound(4).isEmpty());
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("without Ctrl first"), std::string::npos) << prompts.shown[0].first;
  drag(row(0), pad(4, 0));
  ctrlDrag(row(1), pad(4, 1));  // layer 2 only borrows layer 1's sample
  EXPECT_EQ(prompts.shown.size(), 2u);
  EXPECT_TRUE(doc.soundExtras(4).alternates[1].empty());

  doc.SetModifiedFlag(false);
  ctrlDrag(row(1), pad(4, 0));
  ctrlDrag(row(2), pad(4, 0));
  EXPECT_EQ(takes(), (std::vector<std::string>{dir / "Kit1.wav", dir / "Kit2.wav"}));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_TRUE(prompts.questions.empty()) << "an alternate replaces nothing";
  // The layer's voice was rebuilt with them, as takes after its own sample.
  const SampleVoice* voice = engine().voices().voice(4, 0);
  ASSERT_NE(voice, nullptr);
  ASSERT_EQ(voice->takeCount(), 3);
  EXPECT_EQ(voice->take(0)->path(), dir / "Kit0.wav");
  EXPECT_EQ(voice->take(2)->path(), dir / "Kit2.wav");
  // A file that is gone is not kept, and the user is told; the layer plays the takes it had.
  doc.appendSample(0, dir / "gone.wav");
  ctrlDrag(row(3), pad(4, 0));
  EXPECT_EQ(takes().size(), 2u);
  EXPECT_EQ(prompts.shown.back().first, "This sample could not be loaded as an alternate:\n" + dir / "gone.wav");
  EXPECT_EQ(engine().voices().voice(4, 0)->takeCount(), 3);

  doc.soundExtras(4).alternates[0].resize(kMaxAlternates, dir / "Kit1.wav");
  ctrlDrag(row(2), pad(4, 0));
  EXPECT_EQ(takes().size(), static_cast<std::size_t>(kMaxAlternates));
  EXPECT_EQ(prompts.shown.back().first, "Sound 4 layer 1 already has 15 alternates, as many as a layer can play.");

  // A plain drop asks to replace the layer's own sample, as ever, and keeps its alternates.
  prompts.answers = {true};
  drag(row(2), pad(4, 0));
  EXPECT_EQ(doc.sound(4).refs[0], (SampleRef{0, 2}));
  EXPECT_EQ(takes().size(), static_cast<std::size_t>(kMaxAlternates));

  ctrlDrag(pad(4, 0), trash);  // Cancel
  EXPECT_EQ(prompts.questions.back().first, "This will remove the 15 alternates of sound 4 layer 1.\nIts own sample stays. Proceed?");
  EXPECT_EQ(takes().size(), static_cast<std::size_t>(kMaxAlternates));
  prompts.answers = {true};
  ctrlDrag(pad(4, 0), trash);
  EXPECT_TRUE(takes().empty());
  EXPECT_EQ(doc.sound(4).refs[0], (SampleRef{0, 2}));
  EXPECT_EQ(engine().voices().voice(4, 0)->takeCount(), 1);
  const std::size_t asked = prompts.questions.size();
  ctrlDrag(pad(4, 0), trash);
  EXPECT_EQ(prompts.questions.size(), asked);
  EXPECT_EQ(prompts.shown.back().first, "Sound 4 layer 1 has no alternates to remove.");
}

// Shift carries a pad's whole sound to another key, where it plays at once with its extras while
// the key it left falls silent; onto a sound, the answer decides. Without Shift nothing moves.
TEST_F(Editing, ShiftCarriesAWholeSoundToAnotherKey) {
  group("Kit", 2);
  drag(row(0), pad(2, 0));  // Kit0 at 0.01
  drag(row(1), pad(7, 0));  // Kit1 at 0.02
  const auto carry = [&](int from, int to, Qt::KeyboardModifiers keys) {
    press(pad(from, 0));
    QTest::mouseMove(&view, pad(to, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, keys, pad(to, 0));
  };
  const auto hit = [&](int sound) {
    loudest(40);  // whatever played before is over
    test::cycle(engine(), 64, {{0, static_cast<uint32_t>(0x90 | ((sound + kFirstNote) << 8) | (127 << 16))}});
    return loudest(2);
  };
  const float kick = hit(2), halved = kick * std::pow(10.0f, -600 / 2000.0f);
  ASSERT_GT(kick, 0.0f);
  carry(2, 9, {});
  EXPECT_TRUE(doc.sound(9).isEmpty()) << "a pad dropped without Shift moves nothing";

  // The voices are rebuilt from the set, so an extra changed without them is heard at the new key.
  doc.soundExtras(2).level = -600;
  QTest::mouseDClick(&view, Qt::LeftButton, {}, pad(2, 0));
  carry(2, 10, Qt::ShiftModifier);
  EXPECT_TRUE(doc.sound(2).isEmpty());
  EXPECT_EQ(view.currentSound(), 10) << "the open dialog follows the sound";
  EXPECT_EQ(hit(2), 0.0f);
  EXPECT_NEAR(hit(10), halved, 0.05f * kick);
  EXPECT_TRUE(dialogs.padQuestions.empty()) << "an empty key asks nothing";

  dialogs.padAnswers = {OccupiedPadAnswer::kSwap};
  carry(10, 7, Qt::ShiftModifier);
  EXPECT_EQ(dialogs.padQuestions.back(),
            std::make_pair(std::string("G1 (note 43) already has a sound.\nReplace it with the sound of A#1 (note 46), or "
                                       "swap the two?"),
                           true));
  EXPECT_NEAR(hit(10), 2 * kick, 0.05f * kick);
  EXPECT_NEAR(hit(7), halved, 0.05f * kick);

  // Ctrl+Shift copies; onto a sound it may only replace it.
  dialogs.padAnswers = {OccupiedPadAnswer::kReplace};
  carry(7, 10, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_FALSE(dialogs.padQuestions.back().second);
  EXPECT_NEAR(hit(10), halved, 0.05f * kick);
  EXPECT_NEAR(hit(7), halved, 0.05f * kick);
}

// A sample the user pointed at in a folder of its own still plays after a swap: each sound's new
// voice is found where its old one was, never through the sound that was at that key before.
TEST_F(Editing, ASwappedSoundKeepsTheFileItsVoiceWasFoundIn) {
  std::filesystem::create_directories(dir / "x");
  std::filesystem::create_directories(dir / "y");
  const int g = doc.appendGroup("Lost");
  doc.appendSample(g, "/nowhere/a.wav");
  doc.appendSample(g, "/nowhere/b.wav");
  dialogs.files = {{wav("x/a.wav")}, {wav("y/b.wav")}};
  drag(row(0), pad(1, 0));
  drag(row(1), pad(2, 0));
  dialogs.padAnswers = {OccupiedPadAnswer::kSwap};
  press(pad(1, 0));
  QTest::mouseRelease(&view, Qt::LeftButton, Qt::ShiftModifier, pad(2, 0));
  ASSERT_NE(engine().voices().voice(1, 0), nullptr);
  ASSERT_NE(engine().voices().voice(2, 0), nullptr);
  EXPECT_EQ(engine().voices().voice(2, 0)->path(), dir / "x/a.wav");
  EXPECT_EQ(engine().voices().voice(1, 0)->path(), dir / "y/b.wav");
  EXPECT_EQ(dialogs.asked.size(), 2u) << "nothing is asked again";
}

TEST_F(Editing, TheRightButtonLocatesAPadsSampleAndPreviewsARow) {
  group("A", 2);
  group("B", 24);
  view.state().currentGroup = 1;
  view.state().topRow = 8;
  drag(row(12), pad(4, 0));  // entry 20
  view.state().currentGroup = 0;
  view.state().topRow = 0;
  view.renderer().DrawSampleAndGroupLists(false);
  press(pad(4, 0), Qt::RightButton);
  EXPECT_EQ(view.state().currentGroup, 1);
  EXPECT_EQ(view.state().topRow, 5);
  EXPECT_EQ(view.state().locatedRow, 20);
  release(pad(4, 0), Qt::RightButton);
  EXPECT_EQ(view.state().locatedRow, -1);
  EXPECT_EQ(view.state().topRow, 5);

  loudest(40);  // the drop's confirmation is over
  const QImage before = view.renderer().backing().copy();
  press(row(2), Qt::RightButton);
  EXPECT_NE(view.renderer().backing(), before) << "the full path is drawn over the row";
  EXPECT_NEAR(loudest(2), 0.08f * 0.1f, 2e-4f);  // entry 7 at -20 dB
  // Released outside the window, as Qt delivers it to the view that was pressed.
  release(QPoint(-50, -50), Qt::RightButton);
  EXPECT_EQ(engine().voices().preview(), nullptr);
  EXPECT_EQ(view.renderer().backing(), before);
  loudest(1);
  EXPECT_EQ(loudest(), 0.0f);
}

TEST_F(Editing, ImportAsksForAFirstGroupAndTakesEverySelectedFile) {
  click(button(skin::Button::kLoadSample));
  EXPECT_EQ(dialogs.presets, std::vector<std::string>{"New Group"});
  EXPECT_EQ(doc.groupCount(), 0);
  EXPECT_FALSE(doc.IsModified());

  dialogs.names = {"Kicks"};
  view.ImportSamples();  // the file dialog is cancelled
  ASSERT_EQ(doc.groupCount(), 1);
  EXPECT_EQ(doc.groupName(0), "Kicks");
  EXPECT_EQ(doc.groupSize(0), 0);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(dialogs.asked.back().title, "Select one or more files to open");
  EXPECT_EQ(dialogs.asked.back().filter, kWaveImportFilter);

  std::vector<std::string> many;
  const std::string one = wav("one.wav", 44100, 0.5f, 16);
  for (int i = 0; i < 400; ++i) {
    many.push_back(dir / ("a-rather-long-sample-file-name-" + std::to_string(i) + ".WAV"));
    std::filesystem::copy_file(one, many.back());
  }
  dialogs.files = {many, {many[0]}};
  view.ImportSamples();
  view.ImportSamples();
  ASSERT_EQ(doc.groupSize(0), 401) << "a selection of any length is taken whole";
  EXPECT_EQ(doc.groupList(0)[399], many[399]);
  EXPECT_EQ(doc.groupList(0)[400], many[0]);
  EXPECT_EQ(dialogs.presets.size(), 2u);
}

TEST_F(Editing, GroupsStopAtSixteen) {
  for (int g = 0; g < 15; ++g) doc.appendGroup("G");
  dialogs.names = {"Toms"};
  click(button(skin::Button::kCreateGroup));
  EXPECT_EQ(dialogs.presets, std::vector<std::string>{"Group.."});
  ASSERT_EQ(doc.groupCount(), 16);
  EXPECT_EQ(view.state().currentGroup, 15);
  view.NewGroup();
  view.LoadSampleList();
  ASSERT_EQ(prompts.shown.size(), 2u);
  EXPECT_EQ(prompts.shown[0], std::make_pair(std::string("Try to manage with 16 lists (sorry)"), std::string("Zumbel")));
  EXPECT_EQ(prompts.shown[1].first, "Please try to manage with 16 Groups (sorry!)");
  EXPECT_EQ(doc.groupCount(), 16);
  EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(Editing, SampleListsAreSavedAndLoadedThroughTheirDialogs) {
  view.SaveSampleList();
  EXPECT_TRUE(dialogs.asked.empty()) << "no group: nothing to save, no file chosen";
  ASSERT_EQ(prompts.shown.size(), 1u);
  dialogs.files = {{}};
  view.LoadSampleList();
  EXPECT_EQ(dialogs.asked.back().initial, "First");

  group("Kicks", 2);
  dialogs.files = {{dir / "MyKicks.slist"}};
  click(button(skin::Button::kSaveGroup));
  EXPECT_EQ(dialogs.asked.back().initial, "Kicks");
  EXPECT_EQ(dialogs.asked.back().filter, kSampleListFilter);
  EXPECT_EQ(doc.groupName(0), "MyKicks");
  std::filesystem::copy_file(dir / "MyKicks.slist", dir / "a.b.slist");
  dialogs.files = {{dir / "a.b.slist"}};
  click(button(skin::Button::kLoadGroup));
  ASSERT_EQ(doc.groupCount(), 2);
  EXPECT_EQ(doc.groupName(1), "a.b");
  EXPECT_EQ(view.state().currentGroup, 1);
  EXPECT_EQ(doc.groupList(1), doc.groupList(0));
  EXPECT_FALSE(doc.IsModified());

  // A damaged file keeps what was read in its group and says why it stopped.
  auto bytes = test::readBytes(dir / "a.b.slist");
  bytes.resize(bytes.size() - 3);
  test::writeBytes(dir / "cut.slist", bytes);
  dialogs.files = {{dir / "cut.slist"}};
  view.LoadSampleList();
  ASSERT_EQ(doc.groupCount(), 3);
  EXPECT_EQ(doc.groupSize(2), 1);
  EXPECT_EQ(prompts.shown.size(), 2u);
  EXPECT_EQ(prompts.icons.back(), MessageIcon::kCritical);
}

// A set keeps a sample found beside it by the path it stored; the preview plays that file all
// the same, and a sample list, which any set may load, gets its full path.
TEST_F(Editing, PathsKeptAsTheSetStoredThemPreviewAndLeaveInFull) {
  doc.SetPathName(dir / "Set.drums");
  wav("Kick.wav");
  const int g = doc.appendGroup("Kicks");
  doc.appendSample(g, "C:\\Kit\\Kick.wav");
  press(row(0), Qt::RightButton);
  EXPECT_NE(engine().voices().preview(), nullptr);
  release(row(0), Qt::RightButton);
  dialogs.files = {{dir / "Kicks.slist"}};
  view.SaveSampleList();
  StringList saved;
  ASSERT_TRUE(LoadSampleList(dir / "Kicks.slist", saved).ok());
  EXPECT_EQ(saved, StringList{dir / "Kick.wav"});
  EXPECT_EQ(doc.groupList(0)[0], "C:\\Kit\\Kick.wav");
}

TEST_F(Editing, FilesDroppedFromAFileManagerAreImported) {
  const auto dropFiles = [&](QPoint at, const QStringList& names) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& n : names) urls << QUrl::fromLocalFile(n);
    mime.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
  };
  const QString a = QString::fromStdString(wav("a.wav")), b = QString::fromStdString(wav("B.WAV"));
  dialogs.names = {"Dropped"};
  EXPECT_TRUE(dropFiles(row(3), {a, QString::fromStdString(dir / "notes.txt"), b}));
  ASSERT_EQ(doc.groupCount(), 1);
  EXPECT_EQ(doc.groupName(0), "Dropped");
  ASSERT_EQ(doc.groupSize(0), 2);
  EXPECT_EQ(doc.groupList(0)[1], b.toStdString());

  EXPECT_TRUE(dropFiles(pad(6, 0), {b, a}));
  EXPECT_EQ(doc.groupSize(0), 4);
  EXPECT_EQ(doc.sound(6).refs[0], (SampleRef{0, 2}));
  EXPECT_FALSE(dropFiles(centre(skin::kTrashArea), {a}));
  EXPECT_EQ(doc.groupSize(0), 4);
}

TEST_F(Editing, PadsAndRowsTellWhatTheyAreAndHowTheyAreCarried) {
  group("Kit", 1);
  QTest::mouseDClick(&view, Qt::LeftButton, {}, pad(2, 1, true));
  ASSERT_TRUE(view.soundPropertiesOpen());
  EXPECT_EQ(view.currentSound(), 14);

  const auto tip = [&](QPoint at) {
    QHelpEvent help(QEvent::ToolTip, at, view.mapToGlobal(at));
    QCoreApplication::sendEvent(&view, &help);
    return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tip(pad(0, 2, true)), "C2 (note 48), layer 3");
  // A named sound says its name first; a name that looks like markup is shown as typed.
  doc.soundExtras(12).name = "Snare";
  EXPECT_EQ(tip(pad(0, 2, true)), "Snare: C2 (note 48), layer 3");
  doc.soundExtras(12).name = "<b>Ride</b>";
  EXPECT_EQ(tip(pad(0, 2, true)), Qt::convertFromPlainText("<b>Ride</b>: C2 (note 48), layer 3"));
  doc.soundExtras(12).alternates[2] = {"a.wav", "b.wav"};
  EXPECT_EQ(tip(pad(0, 2, true)), Qt::convertFromPlainText("<b>Ride</b>: C2 (note 48), layer 3, 2 alternates"));
  EXPECT_EQ(tip(row(0)), QString::fromStdString(dir / "Kit0.wav"));
  EXPECT_EQ(tip(centre(skin::kTrashArea)), QString());

  // A pad names its sample as the list does; a layer that borrows says whose it plays.
  drag(row(0), pad(0, 0));
  EXPECT_EQ(tip(pad(0, 0)), "C1 (note 36), layer 1, Kit0.wav");
  EXPECT_EQ(tip(pad(0, 3)), "C1 (note 36), layer 4 plays layer 1, Kit0.wav");

  // The two drags carry different pointers; both are drawn sharp at 2x.
  press(row(0));
  const QPixmap entry = QGuiApplication::overrideCursor()->pixmap();
  release(row(0));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  press(pad(0, 0));
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_NE(QGuiApplication::overrideCursor()->pixmap().toImage(), entry.toImage());
  release(pad(0, 0));
  // An entry carried with Ctrl held is badged as an alternate, and loses the badge with Ctrl.
  press(row(0));
  QTest::keyPress(&view, Qt::Key_Control, Qt::ControlModifier);
  const QImage badged = QGuiApplication::overrideCursor()->pixmap().toImage();
  EXPECT_NE(badged, entry.toImage());
  QTest::keyRelease(&view, Qt::Key_Control);
  EXPECT_EQ(QGuiApplication::overrideCursor()->pixmap().toImage(), entry.toImage());
  release(row(0));
  EXPECT_EQ(padDragCursor(2.0).pixmap().size(), 2 * padDragCursor(1.0).pixmap().size());
  EXPECT_EQ(entryDragCursor(2.0).pixmap().devicePixelRatio(), 2.0);
}

// The Create Group dialog as the program shows it: the preset name, at most 50 characters.
TEST(CreateGroup, TakesAtMostFiftyCharacters) {
  QWidget owner;
  QtViewDialogs dialogs(&owner);
  QString shownPreset;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CreateGroupDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Create Group");
    shownPreset = dialog->name();
    auto* edit = dialog->findChild<QLineEdit*>();
    edit->clear();
    QTest::keyClicks(edit, QString(60, QLatin1Char('x')));
    QTest::keyClick(edit, Qt::Key_Return);
  });
  const std::optional<std::string> name = dialogs.askGroupName("Group..");
  EXPECT_EQ(shownPreset, "Group..");
  EXPECT_EQ(name, std::string(50, 'x'));
}


// Every kind of edit is one step; walking back and forth through them gives, at each step, exactly
// the bytes a save wrote there, with the voices following what the set says.
TEST_F(Editing, UndoAndRedoWalkEveryEditBackToTheBytesSavedThere) {
  const auto bytes = [&] {
    const std::vector<uint8_t> set = serializeDrumSet(doc.content());
    return std::string(set.begin(), set.end()) + SerializeExtras(doc.extras());
  };
  // Every layer with a sample of its own has a voice, and no other layer has one.
  const auto voicesFollow = [&] {
    for (int n = 0; n < kSoundCount; ++n) {
      for (int j = 0; j < kLayerCount; ++j) {
        const Sound& s = doc.sound(n);
        const bool own = s.sources[0] != kNone && s.hasOwnSample(j);
        if (own != (engine().voices().voice(n, j) != nullptr)) return false;
      }
    }
    return true;
  };
  const auto settle = [] { QCoreApplication::processEvents(); };
  view.clearHistory(true);
  std::vector<std::string> states{bytes()};
  std::vector<std::string> labels;
  const auto stepped = [&](const std::string& label) {
    settle();
    ASSERT_NE(bytes(), states.back()) << label;
    states.push_back(bytes());
    labels.push_back(view.history().undoLabel());
    EXPECT_EQ(labels.back(), label);
    EXPECT_EQ(view.history().steps(), static_cast<int>(states.size()) - 1) << label;
  };

  wav("a.wav", 44100, 0.1f);
  wav("b.wav", 44100, 0.2f);
  wav("c.wav", 44100, 0.3f);
  dialogs.names = {std::string("Drums")};
  dialogs.files = {{dir / "a.wav", dir / "b.wav", dir / "c.wav"}};
  view.ImportSamples();  // the first group is made by the same step
  stepped("Import Samples");
  drag(row(0), pad(2, 0));
  stepped("Drop on note 38 layer 1");
  drag(row(1), pad(2, 2));
  stepped("Drop on note 38 layer 3");
  view.state().pickedEntry = 2;
  view.AddAlternate(2, 0);
  stepped("Add Alternate to note 38 layer 1");
  drag(row(2), pad(4, 0));
  stepped("Drop on note 40 layer 1");

  // The dialog: a slider dragged through three positions and a name typed in two goes are one
  // step each; a second drag of the same slider is a step of its own.
  QTest::mouseDClick(&view, Qt::LeftButton, {}, pad(2, 0));
  settle();
  SoundPropertiesDialog* dialog = view.soundPropertiesDialog();
  ASSERT_NE(dialog, nullptr);
  emit dialog->gesture(true);
  for (int pan : {500, 1500, 2500}) emit dialog->soundParameter(kSoundPan, pan);
  emit dialog->gesture(false);
  stepped("Pan of note 38");
  emit dialog->gesture(true);
  emit dialog->soundParameter(kSoundPan, -1000);
  emit dialog->gesture(false);
  stepped("Pan of note 38");
  emit dialog->soundParameter(kSoundRate, 30000);
  stepped("Pitch of note 38");
  emit dialog->soundName(QStringLiteral("Sn"));
  emit dialog->soundName(QStringLiteral("Snare"));
  stepped("Name of note 38");
  emit dialog->chokeGroup(3);
  stepped("Choke Group of Snare");
  emit dialog->soundParameter(kSoundLevel, -600);
  stepped("Level of Snare");
  view.MoveSound(4, 5, SoundMove::kMove);
  stepped("Move note 40 to note 41");

  // Saved here: coming back to this point later is unmodified and saves the same file.
  ASSERT_TRUE(doc.OnSaveDocument(dir / "Mid.drums").ok());
  view.historySaved();
  const size_t saved = states.size() - 1;

  prompts.answers = {true, true, true};
  drag(pad(2, 2), centre(skin::kTrashArea));
  stepped("Clear Snare layer 3");
  dialogs.files = {{dir / "Mid.slist"}};
  ASSERT_TRUE(SaveSampleList(dir / "Mid.slist", doc.groupList(0)).ok());
  view.LoadSampleList();
  stepped("Load List");
  dialogs.names = {std::string("Extra")};
  view.NewGroup();
  stepped("New Group");
  view.state().currentGroup = 0;
  view.DeleteGroup();  // the group every pad plays from
  stepped("Delete Group");
  EXPECT_EQ(engine().voices().voice(2, 0), nullptr);
  EXPECT_TRUE(voicesFollow());
  // An edit that changes nothing leaves no step.
  view.ClearLayer(2, 0);
  settle();
  EXPECT_EQ(view.history().steps(), static_cast<int>(states.size()) - 1);

  for (size_t k = states.size() - 1; k > 0; --k) {
    EXPECT_EQ(view.history().undoLabel(), labels[k - 1]);
    view.Undo();
    EXPECT_EQ(bytes(), states[k - 1]) << "undoing " << labels[k - 1];
    EXPECT_TRUE(voicesFollow()) << "undoing " << labels[k - 1];
    EXPECT_EQ(doc.IsModified(), k - 1 != saved) << k;
    if (k - 1 == saved) {
      // The deleted group's sample plays on its pad again, taken from the file it was.
      ASSERT_NE(engine().voices().voice(2, 0), nullptr);
      EXPECT_EQ(doc.soundExtras(2).chokeGroup, 3);
      EXPECT_TRUE(doc.extras().chokeMembers(3).contains(2));
      ASSERT_TRUE(doc.OnSaveDocument(dir / "Again.drums").ok());
      EXPECT_EQ(test::readBytes(dir / "Again.drums"), test::readBytes(dir / "Mid.drums"));
      EXPECT_EQ(test::readBytes(dir / "Again.zumbel"), test::readBytes(dir / "Mid.zumbel"));
    }
  }
  EXPECT_FALSE(view.history().canUndo());
  EXPECT_TRUE(doc.sound(2).isEmpty());
  for (size_t k = 1; k < states.size(); ++k) {
    EXPECT_EQ(view.history().redoLabel(), labels[k - 1]);
    view.Redo();
    EXPECT_EQ(bytes(), states[k]) << "redoing " << labels[k - 1];
    EXPECT_TRUE(voicesFollow()) << "redoing " << labels[k - 1];
  }
  EXPECT_FALSE(view.history().canRedo());

  // Undo reaches the sounding voices in place: the snare's pan and pitch come back while it plays.
  for (size_t k = states.size() - 1; k > saved; --k) view.Undo();
  const SampleVoice* voice = engine().voices().voice(2, 0);
  view.Undo();  // the level
  EXPECT_EQ(engine().voices().voice(2, 0), voice) << "a level undone retunes, it does not rebuild";
  // An edit after undoing drops the steps that were undone.
  emit dialog->soundParameter(kSoundCompress, -1234);
  settle();
  EXPECT_FALSE(view.history().canRedo());
  EXPECT_EQ(view.history().undoLabel(), "Dynamics of note 41") << "the dialog followed the moved sound";
}

}  // namespace
}  // namespace zumbel
