// The Sound Properties dialog on the real view, offscreen: opened by a double-click on a pad or
// retargeted by a drop, its controls driven with QTest, its messages reaching the drum set queued
// and in order, and what they change heard by rendering the engine's cycles here.

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "DialogUnits.h"
#include "DrumsFile.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "ScriptedAudio.h"
#include "ShortMessage.h"
#include "SoundParameter.h"
#include "SoundPropertiesDialog.h"
#include "TestSupport.h"
#include "ViewEngine.h"

namespace zumbel {
namespace {

using Messages = std::vector<std::pair<int, int>>;

QPoint centre(const skin::Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
QPoint pad(int key, int layer) { return centre(skin::padCell(key, layer)); }
QPoint row(int i) { return centre(skin::sampleRow(i)); }

class SoundProperties : public ::testing::Test {
 protected:
  SoundProperties() {
    system.mixer = &view.live()->engine.mixer();
    doc.OnNewDocument();
    view.show();
    EXPECT_TRUE(view.loadSkin());
    EXPECT_EQ(view.live()->output.InitAudioOutput(0), 1);
    // Two samples at a steady level.
    const int g = doc.appendGroup("Kit");
    for (int k = 0; k < 2; ++k) {
      EXPECT_TRUE(test::writeTestWav(path(k), 8000, 0.5f));
      doc.appendSample(g, path(k));
    }
  }

  DrumEngine& engine() { return view.live()->engine; }
  void drag(QPoint from, QPoint to) {
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    QTest::mouseMove(&view, to);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
  }
  void open(int key, int layer = 0) { QTest::mouseDClick(&view, Qt::LeftButton, {}, pad(key, layer)); }
  SoundPropertiesDialog& dialog() {
    EXPECT_NE(view.soundPropertiesDialog(), nullptr);
    return *view.soundPropertiesDialog();
  }
  template <typename T>
  T& control(const char* name) {
    T* c = dialog().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return *c;
  }
  QString label(const char* name) { return control<QLabel>(name).text(); }
  // Starts recording what the dialog sends.
  void record() { spy = std::make_unique<QSignalSpy>(&dialog(), &SoundPropertiesDialog::soundParameter); }
  Messages sent() {
    Messages m;
    for (const QList<QVariant>& args : *spy) m.emplace_back(args[0].toInt(), args[1].toInt());
    spy->clear();
    return m;
  }
  // Lets the view take the messages the dialog has posted.
  static void settle() { QCoreApplication::processEvents(); }
  std::string path(int k) const { return dir / ("Kit" + std::to_string(k) + ".wav"); }

  test::TempDir dir;
  test::ScriptedSystem system;
  test::RecordingPrompts prompts;
  CKitbeatDoc doc;
  CKitbeatView view{doc, std::make_unique<ViewEngine>(doc, system, prompts)};
  std::unique_ptr<QSignalSpy> spy;
};

TEST_F(SoundProperties, ADoubleClickOpensThePadsSoundAndOnlyTheViewClosesIt) {
  drag(row(0), pad(1, 0));
  drag(row(1), pad(1, 2));
  doc.SetModifiedFlag(false);
  open(1, 3);
  ASSERT_TRUE(view.soundPropertiesOpen());
  EXPECT_EQ(view.currentSound(), 1);
  SoundPropertiesDialog* first = &dialog();
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), "Sound Properties");
  // Laid out in dialog units, wider only as far as the font needs for its texts.
  const DialogUnits du(first->font());
  EXPECT_EQ(first->height(), du.y(246));
  EXPECT_GE(first->width(), du.x(370));
  EXPECT_EQ(control<QSlider>("pan").geometry().top(), du.y(98));
  const QString names[] = {QString::fromStdString(path(0)), "Copy of layer 1", QString::fromStdString(path(1)),
                           "Copy of layer 3", "Copy of layer 3"};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(label(("layer" + std::to_string(k + 1)).c_str()), names[k]) << k;
  EXPECT_EQ(label("octave"), "Octave 1 C#");
  EXPECT_EQ(label("midinote"), "Midinote 2 ");
  // A new set's sound: rate 0, scheme 4, compress -4000.
  EXPECT_EQ(control<QAbstractSlider>("semitone").value(), 36);
  EXPECT_EQ(label("centsLabel"), " 0 cents");
  EXPECT_EQ(control<QAbstractSlider>("scheme").value(), 5);
  EXPECT_EQ(label("compressLabel"), "Compress 50 (medium compress)");

  // Enter does nothing; the close box only asks, and the view closes the window when it gets to it.
  QTest::keyClick(first, Qt::Key_Return);
  first->close();
  EXPECT_EQ(view.soundPropertiesDialog(), first);
  EXPECT_TRUE(first->isVisible());
  const QPointer<SoundPropertiesDialog> gone(first);
  settle();
  EXPECT_FALSE(view.soundPropertiesOpen());
  EXPECT_EQ(view.soundPropertiesDialog(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
  EXPECT_EQ(doc.sound(1).playbackRate(), 0);

  // The next double-click makes it again; an empty sound names no samples, and Escape closes it.
  open(0);
  ASSERT_TRUE(view.soundPropertiesOpen());
  EXPECT_TRUE(dialog().isVisible());
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(label(("layer" + std::to_string(k)).c_str()), "EMPTY");
  dialog().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog()));
  QTest::keyClick(&dialog(), Qt::Key_Escape);
  settle();
  EXPECT_FALSE(view.soundPropertiesOpen());
  // The keyboard goes back to the main window, whether or not a window manager would give it.
  EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
  EXPECT_TRUE(view.hasFocus());
}

// A drop on a pad while the dialog is open, and the dialog's own sound slider, both make another
// sound current: the dialog shows it and what it sends goes there.
TEST_F(SoundProperties, ADropOrTheSoundSliderRetargetsTheDialog) {
  drag(row(1), pad(5, 0));
  EXPECT_FALSE(view.soundPropertiesOpen());  // a drop opens nothing
  open(2);
  doc.SetModifiedFlag(false);
  drag(row(0), pad(3, 0));
  EXPECT_EQ(view.currentSound(), 3);
  EXPECT_EQ(label("layer1"), QString::fromStdString(path(0)));
  EXPECT_EQ(label("octave"), "Octave 1 D#");
  control<QSlider>("pan").setValue(-4000);
  settle();
  EXPECT_EQ(doc.sound(3).pan(), -4000);

  doc.sound(14).settings[kPan] = 1200;
  doc.SetModifiedFlag(false);
  control<QSlider>("sound").setValue(14);
  EXPECT_EQ(view.currentSound(), 3);
  settle();
  EXPECT_EQ(view.currentSound(), 14);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(label("octave"), "Octave 2 D");
  EXPECT_EQ(label("panLabel"), "30");
  EXPECT_EQ(label("layer1"), "EMPTY");
  control<QSlider>("compress").setValue(0);
  settle();
  EXPECT_EQ(doc.sound(14).compress(), 0);
  EXPECT_EQ(doc.sound(3).compress(), kDefaultCompress);
}

TEST_F(SoundProperties, MessagesReachTheSoundQueuedAndInTheOrderSent) {
  drag(row(0), pad(2, 0));
  open(2);
  record();
  QTest::mouseClick(&control<QCheckBox>("looping"), Qt::LeftButton);
  EXPECT_EQ(sent(), (Messages{{kSoundLooping, 0}, {kSoundNoteOff, 0}}));
  EXPECT_TRUE(control<QCheckBox>("noteOff").isChecked());
  // Nothing has reached the set until the view gets to the messages.
  EXPECT_EQ(doc.sound(2).looping, 0);
  settle();
  EXPECT_EQ(doc.sound(2).looping, 1);
  EXPECT_EQ(doc.sound(2).noteOffEnabled, 1);
  EXPECT_TRUE(engine().voices().voice(2, 0)->looping());
  QTest::mouseClick(&control<QCheckBox>("looping"), Qt::LeftButton);
  EXPECT_EQ(sent(), (Messages{{kSoundLooping, 1}}));
  QTest::mouseClick(&control<QCheckBox>("noteOff"), Qt::LeftButton);
  EXPECT_EQ(sent(), (Messages{{kSoundNoteOff, 1}}));

  auto& cut = control<QAbstractSlider>("cut");
  cut.setValue(13);
  EXPECT_EQ(label("cutFirst"), "This note will cut note 13");
  EXPECT_EQ(label("cutSecond"), "(Octave 2 C)");
  cut.setFocus();
  QTest::keyClick(&cut, Qt::Key_Down);
  EXPECT_EQ(label("cutSecond"), "(Octave 1 H)");
  cut.setValue(0);
  EXPECT_EQ(label("cutFirst"), "Cut function Off");
  EXPECT_EQ(label("cutSecond"), "");
  auto& scheme = control<QAbstractSlider>("scheme");
  scheme.setFocus();
  QTest::keyClick(&scheme, Qt::Key_Down);
  EXPECT_EQ(label("schemeLabel"), "Velocity layer scheme 4");
  auto& pan = control<QSlider>("pan");
  pan.setFocus();
  QTest::keyClick(&pan, Qt::Key_End);
  EXPECT_EQ(label("panLabel"), "100");
  control<QSlider>("compress").setValue(-6080);
  EXPECT_EQ(label("compressLabel"), "Compres 24 (full dynamics)");
  EXPECT_EQ(sent(), (Messages{{kSoundCutNote, 12}, {kSoundCutNote, 11}, {kSoundCutNote, -1}, {kSoundScheme, 4},
                              {kSoundPan, 4000}, {kSoundCompress, -6080}}));
  settle();
  const Sound& s = doc.sound(2);
  EXPECT_EQ(s.noteOffEnabled, 0);
  EXPECT_EQ(s.looping, 0);
  EXPECT_EQ(s.cutNote(), -1);
  EXPECT_EQ(s.velocityScheme(), 3);
  EXPECT_EQ(s.pan(), 4000);
  EXPECT_EQ(s.compress(), -6080);
  // Shown again, the compress value reads in the other family of texts.
  view.ShowSoundProperties(2);
  EXPECT_EQ(label("compressLabel"), "Compress 24 (hi dynamics)");
}

TEST_F(SoundProperties, PitchIsRefusedWhilePitchBendHasItButTheResetStillWorks) {
  drag(row(0), pad(4, 0));
  open(4);
  record();
  auto& semitone = control<QAbstractSlider>("semitone");
  // The upper arrow raises the semitone.
  QTest::mouseClick(&semitone, Qt::LeftButton, {}, QPoint(semitone.width() / 2, 2));
  EXPECT_EQ(semitone.value(), 37);
  EXPECT_EQ(label("semitoneLabel"), "1");
  auto& cents = control<QSlider>("cents");
  cents.setValue(-1);
  EXPECT_EQ(label("centsLabel"), "-1 cents");
  QTest::mouseClick(&control<QCheckBox>("pitchBend"), Qt::LeftButton);
  EXPECT_EQ(sent(), (Messages{{kSoundRate, 46722}, {kSoundRate, 46696}, {kSoundPitchBend, 0}}));

  cents.setValue(40);
  EXPECT_EQ(cents.value(), -1);
  EXPECT_EQ(label("centsLabel"), "locked! samplerate 46696");
  semitone.setFocus();
  QTest::keyClick(&semitone, Qt::Key_Up);
  EXPECT_EQ(label("centsLabel"), "");
  EXPECT_EQ(semitone.value(), 37);
  EXPECT_TRUE(sent().empty());

  QTest::mouseClick(&control<QPushButton>("pitchReset"), Qt::LeftButton);
  EXPECT_EQ(sent(), (Messages{{kSoundRate, 44100}}));
  EXPECT_EQ(label("centsLabel"), " 0 cent");
  EXPECT_EQ(label("semitoneLabel"), "0");
  EXPECT_EQ(semitone.value(), 36);
  settle();
  EXPECT_EQ(doc.sound(4).playbackRate(), 44100);
  EXPECT_EQ(doc.sound(4).externalPitchBend, 1);
}

TEST_F(SoundProperties, ValuesADamagedFileLeftShowAsTheyPlay) {
  drag(row(0), pad(7, 0));
  Sound& s = doc.sound(7);
  s.sources[1] = INT32_MAX;
  s.settings[kVelocityScheme] = INT32_MAX;
  s.settings[kCutNote] = INT32_MAX;
  s.settings[kPlaybackRate] = INT32_MIN;
  s.settings[kCompress] = INT32_MIN;
  s.settings[kPan] = INT32_MAX;
  doc.soundExtras(7).level = -325;  // between the slider's half-decibel steps
  open(7);
  EXPECT_EQ(label("levelLabel"), "-3.25 dB");
  EXPECT_EQ(control<QSlider>("level").value(), -7);
  EXPECT_EQ(doc.soundExtras(7).level, -325);
  EXPECT_EQ(label("layer2"), "EMPTY");
  EXPECT_EQ(label("schemeLabel"), "Velocity layer scheme 5");
  EXPECT_EQ(label("cutFirst"), "Cut function Off");
  EXPECT_EQ(label("panLabel"), "100");
  EXPECT_EQ(control<QAbstractSlider>("semitone").value(), 1);
  // Shown is not stored: the set keeps what it had until the user changes it.
  EXPECT_EQ(s.velocityScheme(), INT32_MAX);
  EXPECT_EQ(s.pan(), INT32_MAX);
}

// Each layer tells its alternates; the round-robin choice is offered only while some layer has
// them. The choke group, the round robin and the set's grab threshold reach the extras queued,
// mark the set and are saved with it; another sound shows its own choke group and the same grab.
TEST_F(SoundProperties, AlternatesChokeGroupRoundRobinAndGrabReachTheExtras) {
  drag(row(0), pad(3, 0));
  drag(row(1), pad(3, 2));
  doc.soundExtras(3).alternates[2] = {path(0), path(1), path(0)};
  doc.soundExtras(3).alternates[0] = {path(1)};
  open(3);
  const QString shown[] = {"+1 alternate", "", "+3 alternates", "", ""};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(label(("alternates" + std::to_string(k + 1)).c_str()), shown[k]) << k;
  auto& order = control<QComboBox>("roundRobin");
  EXPECT_TRUE(order.isEnabled());
  EXPECT_EQ(order.currentText(), "In turn");

  doc.SetModifiedFlag(false);
  order.setFocus();
  QTest::keyClick(&order, Qt::Key_Down);
  auto& choke = control<QAbstractSlider>("chokeGroup");
  choke.setFocus();
  for (int i = 0; i < 5; ++i) QTest::keyClick(&choke, Qt::Key_Up);
  EXPECT_EQ(label("chokeLabel"), "5");
  auto& grab = control<QSlider>("grab");
  grab.setValue(100);
  EXPECT_EQ(doc.soundExtras(3).chokeGroup, kNoChokeGroup) << "nothing lands before the view takes the messages";
  settle();
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.soundExtras(3).roundRobin, kRoundRobinRandom);
  EXPECT_EQ(doc.soundExtras(3).chokeGroup, 5);
  EXPECT_TRUE(doc.extras().chokeMembers(5).contains(3));
  EXPECT_EQ(doc.extras().grabThreshold, 100);

  control<QSlider>("sound").setValue(8);
  settle();
  EXPECT_FALSE(order.isEnabled());
  EXPECT_EQ(label("chokeLabel"), "none");
  EXPECT_EQ(label("grabLabel"), "100");
  QTest::keyClick(&grab, Qt::Key_Home);
  EXPECT_EQ(label("grabLabel"), "off");
  settle();
  EXPECT_EQ(doc.extras().grabThreshold, kGrabOff);

  ASSERT_TRUE(doc.OnSaveDocument(dir / "Set.drums").ok());
  CKitbeatDoc reread;
  ASSERT_TRUE(reread.OnOpenDocument(dir / "Set.drums").ok());
  EXPECT_EQ(reread.soundExtras(3).roundRobin, kRoundRobinRandom);
  EXPECT_EQ(reread.soundExtras(3).chokeGroup, 5);
  EXPECT_EQ(reread.extras().grabThreshold, kGrabOff);
}

// The left and right peaks over one cycle's last quarter, after the cycle has been rendered.
std::pair<float, float> tail(const test::Render& r) {
  float left = 0, right = 0;
  for (std::size_t i = r.left.size() * 3 / 4; i < r.left.size(); ++i) {
    left = std::max(left, std::abs(r.left[i]));
    right = std::max(right, std::abs(r.right[i]));
  }
  return {left, right};
}

TEST_F(SoundProperties, PanMovesASoundingLoopWithinOnePeriodAndCompressReachesTheNextNote) {
  constexpr int kPeriod = 256;
  drag(row(0), pad(0, 0));
  open(0);
  QTest::mouseClick(&control<QCheckBox>("looping"), Qt::LeftButton);
  settle();
  const uint32_t note = packShortMessage(0x90, 36, 127);
  test::cycle(engine(), kPeriod, {{0, note}});
  auto [left, right] = tail(test::cycle(engine(), kPeriod));
  ASSERT_GT(left, 0.1f);
  EXPECT_FLOAT_EQ(left, right);

  auto& pan = control<QSlider>("pan");
  pan.setFocus();
  QTest::keyClick(&pan, Qt::Key_End);
  settle();
  std::tie(left, right) = tail(test::cycle(engine(), kPeriod));
  EXPECT_GT(right, 0.1f);
  EXPECT_GE(20 * std::log10(right / left), 35.0);

  // Compress 0 and a velocity of 64: the law says how loud the next note starts.
  control<QSlider>("compress").setValue(0);
  pan.setValue(0);
  QTest::mouseClick(&control<QCheckBox>("looping"), Qt::LeftButton);
  settle();
  test::cycle(engine(), kPeriod, {{0, packShortMessage(0x80, 36, 0)}});
  for (int i = 0; i < 8; ++i) test::cycle(engine(), kPeriod);
  const auto peak = [&](int velocity) {
    const test::Render r = test::cycle(engine(), kPeriod, {{0, packShortMessage(0x90, 36, velocity)}});
    float p = 0;
    for (float v : r.right) p = std::max(p, std::abs(v));
    for (int i = 0; i < 40; ++i) test::cycle(engine(), kPeriod);  // the sample plays out
    return p;
  };
  const float loudAtZero = peak(64);
  control<QSlider>("compress").setValue(-8000);
  settle();
  const float quietAtWide = peak(64);
  const auto gain = [](int32_t v) { return std::pow(10.0, v / 2000.0); };
  const double expected = gain(NoteTriggerEngine::hitVolume(-8000, 127, 64)) / gain(NoteTriggerEngine::hitVolume(0, 127, 64));
  EXPECT_NEAR(quietAtWide / loudAtZero, expected, expected * 0.02);
}

// The set's extras from the dialog reach the sound queued like every other control, mark the set
// again after a Save, and a ringing loop is heard at its new level within one period.
TEST_F(SoundProperties, NameLevelAndOutputReachTheSoundAndALevelIsHeardWithinOnePeriod) {
  constexpr int kPeriod = 256;
  drag(row(0), pad(0, 0));
  open(0);
  QTest::mouseClick(&control<QCheckBox>("looping"), Qt::LeftButton);
  settle();
  doc.SetModifiedFlag(false);  // as a Save leaves it, the dialog still open
  test::cycle(engine(), kPeriod, {{0, packShortMessage(0x90, 36, 127)}});
  const float before = tail(test::cycle(engine(), kPeriod)).first;
  record();
  auto& level = control<QSlider>("level");
  level.setFocus();
  for (int i = 0; i < 12; ++i) QTest::keyClick(&level, Qt::Key_Down);
  EXPECT_EQ(label("levelLabel"), "-6 dB");
  EXPECT_EQ(sent().back(), std::make_pair(int{kSoundLevel}, -600));
  settle();
  EXPECT_TRUE(doc.IsModified());
  EXPECT_NEAR(20 * std::log10(tail(test::cycle(engine(), kPeriod)).first / before), -6.0, 0.05);
  QTest::keyClick(&level, Qt::Key_Home);
  EXPECT_EQ(label("levelLabel"), "off");
  auto& output = control<QAbstractSlider>("output");
  output.setFocus();
  QTest::keyClick(&output, Qt::Key_End);
  EXPECT_EQ(label("outputLabel"), "8");
  EXPECT_EQ(sent(), (Messages{{kSoundLevel, kLevelOff}, {kSoundOutput, 7}}));
  // "€" is three bytes: of a hundred pasted, the box and the set keep the 85 a name's bytes hold.
  auto& name = control<QLineEdit>("name");
  name.insert(QString(100, QChar(0x20AC)));
  EXPECT_EQ(name.text(), QString(85, QChar(0x20AC)));
  settle();
  EXPECT_EQ(doc.soundExtras(0).name.size(), 255u);
  EXPECT_EQ(engine().voices().voice(0, 0)->output(), 7);
  EXPECT_EQ(tail(test::cycle(engine(), kPeriod)).first, 0.0f);
}

}  // namespace
}  // namespace zumbel
