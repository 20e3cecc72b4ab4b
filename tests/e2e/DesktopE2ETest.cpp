// The desktop program end to end through JACK, in this process: the main frame opens the demo kit
// on a private server as it does for a user, a note from another JACK client sounds and lights
// its pad on the window, and closing the window while notes keep arriving ends cleanly.

#include <jack/jack.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "AudioSystem.h"
#include "ChildProcess.h"
#include "CKitbeatView.h"
#include "CMainFrame.h"
#include "EngineConfig.h"
#include "EngineTestSupport.h"
#include "JackRig.h"
#include "JackTestServer.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "SkinLayout.h"
#include "SoundPropertiesDialog.h"
#include "TestSupport.h"
#include "ViewEngine.h"

namespace zumbel {
namespace {

using namespace std::chrono_literals;
using test::JackRig;
using test::JackTestServer;

const QString kDemoKit = QStringLiteral(ZUMBEL_SOURCE_DIR "/resources/demo/Demo.drums");
constexpr int kRate = JackTestServer::kRate;
constexpr int kPeriod = 256;
constexpr int kKick = 36;  // sound 0: the first pad of the left keyboard
constexpr jack_nframes_t kLeadFrames = kRate / 4;

std::string port(const char* name) { return std::string(kClientName) + ":" + name; }

#define REQUIRE_JACKD()                                                                       \
  if (JackTestServer::jackdPath().empty()) GTEST_SKIP() << "jackd is not installed (Debian: jackd2)"

QImage region(const QImage& image, const skin::Rect& r) {
  return image.copy(r.left, r.top, r.width(), r.height()).convertToFormat(QImage::Format_RGB32);
}

class DesktopE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (JackTestServer::jackdPath().empty()) return;
    server_ = std::make_unique<JackTestServer>(kPeriod, dir_ / "jackd.log");
    std::string error;
    ASSERT_TRUE(server_->start(error)) << error;
    rig_ = std::make_unique<JackRig>(server_->name(), 4 * kRate);
    ASSERT_TRUE(rig_->open(error)) << error;
    // As a user's session would: the program finds the running server by its name.
    setenv("JACK_DEFAULT_SERVER", server_->name().c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
  }
  void TearDown() override {
    frame_.reset();
    rig_.reset();
    server_.reset();
    unsetenv("JACK_DEFAULT_SERVER");
    unsetenv("JACK_NO_START_SERVER");
    if (HasFailure()) std::cout << "--- jackd log:\n" << test::readText(dir_ / "jackd.log");
  }

  // The window on a kit (none: a new set) with fresh settings, its ports connected to the rig.
  void openWindow(const QString& kit = kDemoKit) {
    frame_ = std::make_unique<CMainFrame>(system_, settings_, prompts_);
    frame_->show();
    ASSERT_TRUE(frame_->start(kit));
    EXPECT_TRUE(prompts_.shown.empty()) << prompts_.shown[0].first;
    ViewEngine& live = *frame_->view().live();
    ASSERT_NE(live.output.jack(), nullptr) << "the default output did not choose JACK";
    ASSERT_TRUE(live.midi.isOpen());
    ASSERT_TRUE(rig_->waitForPorts({port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort)}, 10s));
    std::string error;
    ASSERT_TRUE(rig_->connect(port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort), error)) << error;
  }

  // Sends one kick and records a second from before it, letting the window run meanwhile. The
  // server freewheels through the take, so a busy machine cannot make the kick late.
  test::Recording kickAndRecord(jack_nframes_t& sentAt, int note = kKick) {
    EXPECT_TRUE(rig_->setFreewheel(true));
    const std::optional<JackRig::TakeStart> start = rig_->startTake({test::noteOn(0, note, 127)}, kLeadFrames);
    EXPECT_TRUE(start.has_value());
    sentAt = start ? start->origin : 0;
    // Without real-time priority a freewheeling server on a loaded machine can be slower than the
    // clock; only a stalled one fails.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (rig_->recordedFrames() < static_cast<std::size_t>(kRate) && std::chrono::steady_clock::now() < deadline) {
      QTest::qWait(10);
    }
    EXPECT_TRUE(rig_->waitSendDone(10s));
    test::Recording r = rig_->stopRecording();
    EXPECT_TRUE(rig_->setFreewheel(false));
    EXPECT_EQ(rig_->lateMessages(), 0u);
    return r;
  }

  test::TempDir dir_;
  std::unique_ptr<JackTestServer> server_;
  std::unique_ptr<JackRig> rig_;
  SystemAudio system_;
  SettingsStore settings_{QString::fromStdString(dir_ / "Zumbel.conf")};
  test::RecordingPrompts prompts_;
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(DesktopE2E, ANoteFromAnotherClientSoundsAndLightsItsPad) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(openWindow());
  CKitbeatView& view = frame_->view();
  const QImage skinImage = QImage(QStringLiteral(":/skin.png")).convertToFormat(QImage::Format_RGB32);
  const QImage padBefore = region(view.renderer().backing(), skin::padCell(0, 0));

  jack_nframes_t sentAt = 0;
  const test::Recording r = kickAndRecord(sentAt);
  EXPECT_TRUE(test::findOnset(r, sentAt, 16, kRate / 10, 1e-7f).has_value()) << "the kick was not heard";

  // The lamps are drawn from the engine within a display frame.
  QTest::qWait(50);
  EXPECT_GT(view.live()->engine.indicators().padFlashes(0, 0), 0u);
  EXPECT_NE(region(view.renderer().backing(), skin::padCell(0, 0)), padBefore);
  const skin::Blit lit = skin::kMidiLampLit;
  EXPECT_EQ(region(view.renderer().backing(), {lit.x, lit.y, lit.x + lit.w, lit.y + lit.h}),
            region(skinImage, {lit.sx, lit.sy, lit.sx + lit.w, lit.sy + lit.h}));
}

// A kit made with the mouse plays from the first note: a WAV imported into a new set and
// dragged from the sample list onto the first pad is heard when another client plays its note.
TEST_F(DesktopE2E, ASampleDroppedOnAPadIsHeardFromAJackNote) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(openWindow(QString()));
  CKitbeatView& view = frame_->view();
  test::ScriptedDialogs dialogs;
  view.setDialogs(&dialogs);
  const std::string tom = dir_ / "tom.wav";
  ASSERT_TRUE(test::writeTestWav(tom, 2000, 0.25f));
  dialogs.names = {"Toms"};
  dialogs.files = {{tom}};
  view.ImportSamples();
  ASSERT_EQ(frame_->document().groupSize(0), 1);
  const auto centre = [](const skin::Rect& r) { return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); };
  QTest::mousePress(&view, Qt::LeftButton, {}, centre(skin::sampleRow(0)));
  QTest::mouseMove(&view, centre(skin::padCell(0, 0)));
  QTest::mouseRelease(&view, Qt::LeftButton, {}, centre(skin::padCell(0, 0)));
  view.setDialogs(nullptr);
  ASSERT_TRUE(frame_->document().sound(0).hasOwnSample(0));
  QTest::qWait(100);  // the drop's quiet confirmation is over

  jack_nframes_t sentAt = 0;
  const test::Recording r = kickAndRecord(sentAt);
  const std::optional<jack_nframes_t> onset = test::findOnset(r, sentAt, 16, kRate / 10, 1e-3f);
  ASSERT_TRUE(onset.has_value()) << "the dropped sample was not heard";
  float peak = 0;
  for (std::size_t i = r.indexOf(*onset); i < r.frames(); ++i) peak = std::max(peak, std::abs(r.left[i]));
  // At the volume law's level for a full-velocity hit on a new sound.
  const double gain = std::pow(10.0, NoteTriggerEngine::hitVolume(kDefaultCompress, 127, 127) / 2000.0);
  EXPECT_NEAR(peak, 0.25 * gain, 0.005);
}

// Tuning a sound as a new user does: a double-click on its pad opens Sound Properties, the pan
// goes fully right with the keyboard and the semitones up an octave. The next note is heard so,
// and the values travel with the saved set.
TEST_F(DesktopE2E, SoundPropertiesTuneTheNextNoteAndAreSavedWithTheSet) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(openWindow(QString()));
  CKitbeatView& view = frame_->view();
  test::ScriptedDialogs dialogs;
  view.setDialogs(&dialogs);
  constexpr int kSampleFrames = 4000;
  const std::string tom = dir_ / "tom.wav";
  ASSERT_TRUE(test::writeTestWav(tom, kSampleFrames, 0.25f));
  dialogs.names = {"Toms"};
  dialogs.files = {{tom}};
  view.ImportSamples();
  const auto centre = [](const skin::Rect& r) { return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); };
  const QPoint pad = centre(skin::padCell(0, 0));
  QTest::mousePress(&view, Qt::LeftButton, {}, centre(skin::sampleRow(0)));
  QTest::mouseMove(&view, pad);
  QTest::mouseRelease(&view, Qt::LeftButton, {}, pad);
  QTest::mouseDClick(&view, Qt::LeftButton, {}, pad);
  SoundPropertiesDialog* dialog = view.soundPropertiesDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), "Sound Properties");
  auto* pan = dialog->findChild<QSlider*>("pan");
  auto* semitone = dialog->findChild<QAbstractSlider*>("semitone");
  ASSERT_TRUE(pan && semitone);
  pan->setFocus();
  QTest::keyClick(pan, Qt::Key_End);
  semitone->setFocus();
  for (int i = 0; i < 12; ++i) QTest::keyClick(semitone, Qt::Key_Up);
  QTest::qWait(100);  // the view has taken the changes and the drop's confirmation is over

  // Heard fully right and an octave up, in half its frames; or nothing at all.
  const auto expectTuned = [&](int note, bool heard) {
    jack_nframes_t sentAt = 0;
    const test::Recording r = kickAndRecord(sentAt, note);
    const std::optional<jack_nframes_t> onset = test::findOnset(r, sentAt, 16, kRate / 10, 1e-4f);
    ASSERT_EQ(onset.has_value(), heard) << "note " << note;
    if (!heard) return;
    float left = 0, right = 0;
    for (std::size_t i = r.indexOf(*onset); i < r.frames(); ++i) {
      left = std::max(left, std::abs(r.left[i]));
      right = std::max(right, std::abs(r.right[i]));
    }
    ASSERT_GT(right, 0.1f);
    EXPECT_GE(20 * std::log10(right / left), 35.0);
    std::size_t sounding = 0;
    for (std::size_t i = r.indexOf(*onset); i < r.frames(); ++i) sounding += std::abs(r.right[i]) > right / 2 ? 1 : 0;
    EXPECT_NEAR(static_cast<double>(sounding), kSampleFrames / 2, 16);
  };
  expectTuned(kKick, true);

  const std::string saved = dir_ / "Tuned.drums";
  dialogs.files = {{saved}};
  view.OnSaveSet();
  view.setDialogs(nullptr);
  test::ChildProcess info;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, "info", saved, "--json"};
  options.stdoutPath = dir_ / "info.json";
  std::string error;
  ASSERT_TRUE(info.start(options, error)) << error;
  const std::optional<test::ChildExit> exit = info.wait(30s);
  ASSERT_TRUE(exit.has_value());
  EXPECT_EQ(exit->status, 0);
  const std::string json = test::readText(dir_ / "info.json");
  EXPECT_NE(json.find("\"pan\":4000"), std::string::npos) << json.substr(0, 400);
  EXPECT_NE(json.find("\"rate\":88200"), std::string::npos);

  // Carried with Shift to the pad two keys up, the sound plays there as tuned and its old key is
  // silent; Ctrl+Z brings it back.
  const QPoint target = centre(skin::padCell(2, 0));
  QTest::mousePress(&view, Qt::LeftButton, {}, pad);
  QTest::mouseMove(&view, target);
  QTest::mouseRelease(&view, Qt::LeftButton, Qt::ShiftModifier, target);
  ASSERT_TRUE(frame_->document().sound(2).hasOwnSample(0));
  QTest::qWait(100);
  expectTuned(kKick + 2, true);
  expectTuned(kKick, false);
  QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(frame_->document().sound(2).isEmpty());
  expectTuned(kKick, true);
}

// The window closes its MIDI input before the audio output: once the input is closed, a note
// sent while the output still runs is not played. Then the window goes while notes stream in.
TEST_F(DesktopE2E, AClosedInputPlaysNothingAndClosingWhileNotesArriveEndsCleanly) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(openWindow());
  ViewEngine& live = *frame_->view().live();
  live.midi.SetMidiInput(0, 0);
  ASSERT_TRUE(live.output.isOpen());
  jack_nframes_t sentAt = 0;
  const test::Recording silent = kickAndRecord(sentAt);
  ASSERT_GT(silent.frames(), static_cast<std::size_t>(kRate / 2));
  float loudest = 0.0f;
  for (std::size_t i = 0; i < silent.frames(); ++i) loudest = std::max({loudest, std::abs(silent.left[i]), std::abs(silent.right[i])});
  EXPECT_EQ(loudest, 0.0f);

  live.midi.SetMidiInput(0, 1);
  std::vector<test::ScheduledMessage> stream;
  const jack_nframes_t now = rig_->frameTime();
  for (int i = 0; i < 400; ++i) stream.push_back(test::noteOn(now + static_cast<jack_nframes_t>(i * kRate / 200), kKick + i % 16, 100));
  ASSERT_TRUE(rig_->send(stream));
  QTest::qWait(300);
  // As the user closes it: the close box, then the program ends.
  EXPECT_TRUE(frame_->close());
  frame_.reset();

  // The program's client has left the server.
  jack_client_t* probe = jack_client_open("zumbel-e2e-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          nullptr, server_->name().c_str());
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(jack_port_by_name(probe, port(kJackLeftPort).c_str()), nullptr);
  EXPECT_EQ(jack_port_by_name(probe, port(kJackMidiPort).c_str()), nullptr);
  jack_client_close(probe);
}

// Options moves the output to another JACK client: the window's ports now feed that client
// without anyone patching them, the sender patched into the MIDI input still plays, and the
// next note is recorded there and not on the sound card.
TEST_F(DesktopE2E, OptionsMoveTheOutputToAnotherJackClient) {
  REQUIRE_JACKD();
  ASSERT_NO_FATAL_FAILURE(openWindow());
  CKitbeatView& view = frame_->view();
  test::ScriptedDialogs dialogs;
  view.setDialogs(&dialogs);
  const std::string recorder = "JACK: zumbel-rig-rec";
  int chosen = -1;
  dialogs.options = [&](const OptionsValues& shown) {
    OptionsValues v = shown;
    chosen = static_cast<int>(std::find(shown.outputs.begin(), shown.outputs.end(), recorder) - shown.outputs.begin());
    v.output = chosen;
    return std::optional<OptionsValues>(v);
  };
  view.OnOptions();
  view.setDialogs(nullptr);
  ASSERT_EQ(dialogs.optionsShown.size(), 1u);
  ASSERT_LT(chosen, static_cast<int>(dialogs.optionsShown[0].outputs.size())) << "the recorder was not offered";
  EXPECT_TRUE(prompts_.shown.empty()) << prompts_.shown[0].first;
  EXPECT_EQ(settings_.outputDevice(), chosen);
  EXPECT_EQ(settings_.outputName().toStdString(), recorder);
  ViewEngine& live = *view.live();
  ASSERT_NE(live.output.jack(), nullptr);
  ASSERT_TRUE(live.midi.isOpen());

  jack_client_t* probe = jack_client_open("zumbel-e2e-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          nullptr, server_->name().c_str());
  ASSERT_NE(probe, nullptr);
  jack_port_t* left = jack_port_by_name(probe, port(kJackLeftPort).c_str());
  ASSERT_NE(left, nullptr);
  EXPECT_TRUE(jack_port_connected_to(left, "zumbel-rig-rec:in_left"));
  EXPECT_FALSE(jack_port_connected_to(left, "system:playback_1"));
  jack_client_close(probe);

  jack_nframes_t sentAt = 0;
  const test::Recording r = kickAndRecord(sentAt);
  EXPECT_TRUE(test::findOnset(r, sentAt, 16, kRate / 10, 1e-7f).has_value()) << "the kick was not heard at the recorder";
}

// Ended by a signal (a session ending, `kill`), the program closes as on Exit: it leaves the
// server's graph instead of leaving the server waiting for a client that is gone.
TEST_F(DesktopE2E, TheProgramLeavesTheServerCleanlyWhenTerminated) {
  REQUIRE_JACKD();
  test::ChildProcess program;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, kDemoKit.toStdString()};
  options.setEnv = {{"JACK_DEFAULT_SERVER", server_->name()},
                    {"JACK_NO_START_SERVER", "1"},
                    {"QT_QPA_PLATFORM", "offscreen"},
                    {"XDG_CONFIG_HOME", dir_ / "config"}};
  options.stdoutPath = dir_ / "zumbel.out";
  std::string error;
  ASSERT_TRUE(program.start(options, error)) << error;
  ASSERT_TRUE(rig_->waitForPorts({port(kJackMidiPort), port(kJackLeftPort), port(kJackRightPort)}, 10s))
      << test::readText(dir_ / "zumbel.out");
  const test::ChildExit exit = program.stop(10s);
  EXPECT_TRUE(exit.exited) << "ended by signal " << exit.signal;
  EXPECT_EQ(exit.status, 0) << test::readText(dir_ / "zumbel.out");
  jack_client_t* probe = jack_client_open("zumbel-e2e-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          nullptr, server_->name().c_str());
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(jack_port_by_name(probe, port(kJackLeftPort).c_str()), nullptr);
  jack_client_close(probe);
}

// Ended by a signal while it waits on a question (no audio output here, then the set's samples
// missing), the program closes the question and ends, instead of waiting for an answer that a
// session going away will never give.
TEST(DesktopEnd, ASignalEndsTheProgramWhileItAsksSomething) {
  test::TempDir dir;
  std::filesystem::copy_file(kDemoKit.toStdString(), dir / "Moved.drums");
  test::ChildProcess program;
  test::ChildProcess::Options options;
  options.argv = {ZUMBEL_BINARY, dir / "Moved.drums"};
  options.setEnv = {{"JACK_DEFAULT_SERVER", "zumbel-e2e-nobody-" + std::to_string(::getpid())},
                    {"JACK_NO_START_SERVER", "1"},
                    {"PULSE_SERVER", "unix:/nonexistent"},
                    {"QT_QPA_PLATFORM", "offscreen"},
                    {"XDG_CONFIG_HOME", dir / "config"}};
  options.stdoutPath = dir / "zumbel.out";
  std::string error;
  ASSERT_TRUE(program.start(options, error)) << error;
  EXPECT_FALSE(program.wait(3s).has_value()) << "it should be waiting on a question";
  const test::ChildExit exit = program.stop(5s);
  EXPECT_TRUE(exit.exited) << "killed after the grace period, or by signal " << exit.signal;
  EXPECT_EQ(exit.status, 0) << test::readText(dir / "zumbel.out");
}

}  // namespace
}  // namespace zumbel
