// The Options dialog: its lists and its check of the channel, offscreen; and the view applying
// what it gives back on a scripted machine (outputs that open or fail, sequencer sources), with
// the order of every close and open logged and the settings read back from the store's file.

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

#include "AlsaMidiInput.h"
#include "CKitbeatView.h"
#include "DialogUnits.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "OptionsDialog.h"
#include "ScriptedAudio.h"
#include "ScriptedDialogs.h"
#include "SetSession.h"
#include "SettingsStore.h"
#include "ShortMessage.h"
#include "TestSupport.h"
#include "ViewEngine.h"

namespace zumbel {
namespace {

std::vector<std::string> numbered(const std::string& stem, int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back(stem + std::to_string(i));
  return v;
}

TEST(OptionsDialog, ListsKeepDeviceOrderAndOkRefusesAChannelOutside1To16) {
  const OptionsValues given{{"ALSA: Zumbel:MIDI in", "ALSA: Keys"}, 1, {"System default", "PulseAudio", "JACK: system"}, 2, 5};
  OptionsDialog dialog(given);
  std::vector<QString> complaints;
  dialog.setComplaint([&](const QString& text) { complaints.push_back(text); });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  const DialogUnits du(dialog.font());
  EXPECT_EQ(dialog.size(), du.size(187, 146));
  EXPECT_EQ(dialog.windowTitle(), "Options");
  EXPECT_EQ(dialog.midiList()->count(), 2);
  EXPECT_EQ(dialog.midiList()->itemText(1), "ALSA: Keys");
  EXPECT_EQ(dialog.midiList()->currentIndex(), 1);
  EXPECT_EQ(dialog.outputList()->itemText(2), "JACK: system");
  EXPECT_EQ(dialog.outputList()->currentIndex(), 2);
  EXPECT_EQ(dialog.channelBox()->text(), "5");

  dialog.outputList()->setCurrentIndex(1);
  dialog.midiList()->setCurrentIndex(0);
  for (const char* typed : {"", "ten", "1.5", "99999999999", "0", "17", "-3"}) {
    dialog.channelBox()->setText(QString::fromLatin1(typed));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << typed;
    EXPECT_TRUE(dialog.channelBox()->hasFocus()) << typed;
  }
  const std::vector<QString> expected{
      "Please enter an integer.", "Please enter an integer.", "Please enter an integer.", "Please enter an integer.",
      "Please enter an integer between 1 and 16.", "Please enter an integer between 1 and 16.",
      "Please enter an integer between 1 and 16."};
  EXPECT_EQ(complaints, expected);

  dialog.channelBox()->setText(" 16 ");
  EXPECT_EQ(dialog.outputPairsBox()->text(), "1");
  dialog.outputPairsBox()->setText("9");
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(complaints.back(), "Please enter an integer between 1 and 8.");
  EXPECT_TRUE(dialog.outputPairsBox()->hasFocus());
  dialog.outputPairsBox()->setText("8");
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().channel, 16);
  EXPECT_EQ(dialog.values().midiDevice, 0);
  EXPECT_EQ(dialog.values().output, 1);
  EXPECT_EQ(dialog.values().jackOutputPairs, 8);
}

TEST(OptionsDialog, TwentyThreeMidiDevicesAtMostAndOneEmptyEntryForNone) {
  EXPECT_EQ(optionsMidiList(numbered("In ", 25)), numbered("In ", 23));
  OptionsDialog none({optionsMidiList({}), 0, {}, 0, 1});
  EXPECT_EQ(none.midiList()->count(), 1);
  EXPECT_EQ(none.midiList()->itemText(0), "");
  EXPECT_EQ(none.midiList()->currentIndex(), 0);
  // A stored device past the list leaves it without a selection, and OK keeps the number.
  OptionsDialog gone({{"ALSA: Zumbel:MIDI in"}, 4, {"System default"}, 7, 1});
  EXPECT_EQ(gone.midiList()->currentIndex(), -1);
  EXPECT_EQ(gone.outputList()->currentIndex(), -1);
  EXPECT_EQ(gone.values().midiDevice, 4);
  EXPECT_EQ(gone.values().output, 7);
}

// The sequencer's sources as a test says, each open and each client let go logged.
struct FakeSequencer {
  std::vector<std::string> sources{"Keys A", "Keys B"};
  std::vector<std::string>* log = nullptr;
};

class FakeSequencerClient final : public SequencerClient {
 public:
  explicit FakeSequencerClient(FakeSequencer& seq) : seq_(seq) {}
  ~FakeSequencerClient() override {
    if (port_) seq_.log->push_back("midi drop");
  }
  std::vector<std::string> sources() override { return seq_.sources; }
  std::string openPort(int source) override {
    port_ = true;
    seq_.log->push_back(source < 0 ? std::string("midi own") : "midi source " + std::to_string(source));
    return {};
  }

 private:
  FakeSequencer& seq_;
  bool port_ = false;
};

class Options : public ::testing::Test {
 protected:
  Options() {
    system.mixer = &live().engine.mixer();
    seq.log = &system.log;
    doc.OnNewDocument();
    view.setDialogs(&dialogs);
    view.setSettings(&settings);
  }

  ViewEngine& live() { return *view.live(); }
  // What a start with these stored devices opens, then a clean log.
  void start(DeviceSettings stored) {
    view.UpdateView(stored);
    system.log.clear();
  }
  // OK in the dialog after `change` made the user's choices.
  void choose(const std::function<void(OptionsValues&)>& change) {
    dialogs.options = [change](const OptionsValues& shown) {
      OptionsValues v = shown;
      change(v);
      return std::optional<OptionsValues>(v);
    };
    view.OnOptions();
  }
  QVariant stored(const QString& entry) {
    settings.sync();
    return QSettings(QString::fromStdString(dir / "Zumbel.conf"), QSettings::IniFormat).value(kSettingsSection + "/" + entry);
  }
  // A sample in the pool on the first sound (note 36) at its first layer, with its voice.
  bool loadKick() {
    const std::string wav = dir / "kick.wav";
    if (!test::writeTestWav(wav, 4000, 0.5f)) return false;
    const int g = doc.appendGroup("Kit");
    doc.appendSample(g, wav);
    if (!live().loader.LoadLayerVoice(wav, 0, 0, g, 0, false)) return false;
    doc.AssignSample(0, 0, SampleRef{g, 0});
    return true;
  }
  float peakOf(uint32_t message) {
    test::cycle(live().engine, 256, {{0, message}});
    float p = 0;
    for (float v : test::cycle(live().engine, 256).left) p = std::max(p, std::abs(v));
    for (int i = 0; i < 40; ++i) test::cycle(live().engine, 256);
    return p;
  }

  test::TempDir dir;
  test::ScriptedSystem system;
  FakeSequencer seq;
  test::RecordingPrompts prompts;
  test::ScriptedDialogs dialogs;
  SettingsStore settings{QString::fromStdString(dir / "Zumbel.conf")};
  CKitbeatDoc doc;
  CKitbeatView view{doc, std::make_unique<ViewEngine>(doc, system, prompts, [this](AlsaMidiInput&, std::string&) {
                      return std::make_unique<FakeSequencerClient>(seq);
                    })};
};

TEST_F(Options, OkUnchangedWritesOnlyTheChannelAndCancelChangesNothing) {
  start({0, 1, 1, "", ""});
  dialogs.options = [](const OptionsValues& v) {
    OptionsValues changed = v;
    changed.channel = 9;
    changed.output = 2;
    return std::optional<OptionsValues>();  // Cancel, whatever was typed
  };
  view.OnOptions();
  ASSERT_EQ(dialogs.optionsShown.size(), 1u);
  const OptionsValues& shown = dialogs.optionsShown[0];
  EXPECT_EQ(shown.midiDevices, (std::vector<std::string>{"ALSA: Zumbel:MIDI in", "ALSA: Keys A", "ALSA: Keys B"}));
  EXPECT_EQ(shown.midiDevice, 1);
  EXPECT_EQ(shown.outputs, (std::vector<std::string>{"System default", "ALSA: Card 0", "ALSA: Card 1", "ALSA: Card 2"}));
  EXPECT_EQ(shown.output, 0);
  EXPECT_EQ(shown.channel, 1);
  EXPECT_FALSE(stored(kMidiChannelEntry).isValid());
  EXPECT_EQ(live().engine.trigger().noteOnStatus(), 0x90);

  choose([](OptionsValues&) {});
  EXPECT_EQ(stored(kMidiChannelEntry).toInt(), 1);
  EXPECT_FALSE(stored(kMidiPortEntry).isValid());
  EXPECT_FALSE(stored(kOutputEntry).isValid());
  EXPECT_TRUE(system.log.empty()) << system.log.front();
}

TEST_F(Options, ChannelTenPlaysNotesOnChannelTenOnly) {
  start({0, 0, 1, "", ""});
  ASSERT_TRUE(loadKick());
  ASSERT_GT(peakOf(packShortMessage(0x90, 36, 127)), 0.1f);

  choose([](OptionsValues& v) { v.channel = 10; });
  EXPECT_EQ(stored(kMidiChannelEntry).toInt(), 10);
  EXPECT_EQ(live().engine.trigger().noteOnStatus(), 0x99);
  EXPECT_EQ(peakOf(packShortMessage(0x90, 36, 127)), 0.0f);
  EXPECT_GT(peakOf(packShortMessage(0x99, 36, 127)), 0.1f);
}

TEST_F(Options, AnotherMidiDeviceClosesTheOldPortBeforeOpeningAndIsStoredWithItsName) {
  start({0, 1, 1, "", ""});
  choose([](OptionsValues& v) { v.midiDevice = 2; });
  EXPECT_EQ(system.log, (std::vector<std::string>{"midi drop", "midi source 1"}));
  EXPECT_TRUE(live().midi.isOpen());
  EXPECT_EQ(stored(kMidiPortEntry).toInt(), 2);
  EXPECT_EQ(stored(kMidiPortNameEntry).toString(), "ALSA: Keys B");
  EXPECT_FALSE(stored(kOutputEntry).isValid());
}

TEST_F(Options, AnotherOutputOpensWithMidiClosedAroundTheSwitch) {
  start({0, 1, 1, "", ""});
  doc.SetModifiedFlag(true);
  choose([](OptionsValues& v) { v.output = 2; });
  EXPECT_EQ(system.log, (std::vector<std::string>{"midi drop", "close JACK", "open ALSA: Card 1", "midi source 0"}));
  EXPECT_EQ(stored(kOutputEntry).toInt(), 2);
  EXPECT_EQ(stored(kOutputNameEntry).toString(), "ALSA: Card 1");
  EXPECT_FALSE(stored(kMidiPortEntry).isValid());
  EXPECT_TRUE(live().midi.isOpen());

  // The next run shows the output in use selected, also after a probe missed it as busy.
  system.busy = {"Card 1"};
  view.OnOptions();
  ASSERT_EQ(dialogs.optionsShown.size(), 2u);
  EXPECT_EQ(dialogs.optionsShown[1].outputs[2], "ALSA: Card 1");
  EXPECT_EQ(dialogs.optionsShown[1].output, 2);
}

TEST_F(Options, AFailingOutputFallsBackToTheDefaultRebuildsTheVoicesAndKeepsTheStoredNumber) {
  settings.WriteProfileInt(kSettingsSection, kOutputEntry, 1);
  settings.WriteProfileString(kSettingsSection, kOutputNameEntry, "ALSA: Card 0");
  start({1, 1, 1, "ALSA: Card 0", "ALSA: Keys A"});
  ASSERT_TRUE(loadKick());
  system.scripts["ALSA: Card 2"].status = OpenStatus::kNoDevice;

  choose([](OptionsValues& v) { v.output = 3; });
  ASSERT_FALSE(prompts.shown.empty());
  EXPECT_EQ(prompts.shown.back().first,
            "ALSA: Card 2 does not seem to work.\n(Please check manufacturer for updated driver).\n"
            "Changing to default audio driver.");
  EXPECT_EQ(system.log, (std::vector<std::string>{"midi drop", "close ALSA: Card 0", "open ALSA: Card 2", "open JACK",
                                                  "midi source 0"}));
  EXPECT_EQ(stored(kOutputEntry).toInt(), 1);
  EXPECT_EQ(stored(kOutputNameEntry).toString(), "ALSA: Card 0");
  EXPECT_GT(peakOf(packShortMessage(0x90, 36, 127)), 0.1f);
}

TEST_F(Options, JackOutputPairsAreStoredAndTakenByTheJackOutputWhenItOpensAgain) {
  start({0, 1, 1, "", ""});
  ASSERT_TRUE(loadKick());
  // Only the pairs change: JACK opens again with MIDI closed around it, and the voices stay.
  choose([](OptionsValues& v) { v.jackOutputPairs = 3; });
  EXPECT_EQ(system.log, (std::vector<std::string>{"midi drop", "close JACK", "open JACK", "midi source 0"}));
  EXPECT_EQ(system.scripts["JACK"].outputPairs, 3);
  EXPECT_EQ(stored(kJackOutputPairsEntry).toInt(), 3);
  EXPECT_GT(peakOf(packShortMessage(0x90, 36, 127)), 0.1f);
  // ALSA has one pair: a change is only stored, for JACK's next open.
  choose([](OptionsValues& v) { v.output = 2; });
  system.log.clear();
  choose([](OptionsValues& v) { v.jackOutputPairs = 5; });
  EXPECT_TRUE(system.log.empty()) << system.log.front();
  EXPECT_EQ(stored(kJackOutputPairsEntry).toInt(), 5);
}

TEST_F(Options, StoredDevicesAreFoundByNameWhenTheirNumbersMoveAndDroppedWhenGone) {
  // Since they were chosen a card came before the stored one and a source before the keyboard.
  system.cards = {"USB", "Card 0", "Card 1"};
  seq.sources = {"Pads", "Keys A", "Keys B"};
  start({2, 2, 1, "ALSA: Card 1", "ALSA: Keys B"});
  EXPECT_EQ(system.scripts["ALSA: Card 1"].opened, 1);
  EXPECT_EQ(system.scripts["ALSA: Card 0"].opened, 0);
  EXPECT_EQ(live().midi.selectedDevice(), 3);
  EXPECT_TRUE(prompts.shown.empty());

  // Both gone: the output says so and plays on the default, MIDI takes the program's own port.
  ViewEngine& engine = live();
  engine.output.close();
  system.cards = {"USB"};
  system.listed = 1;
  seq.sources = {"Pads"};
  start({2, 2, 1, "ALSA: Card 1", "ALSA: Keys B"});
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first, "Driver not valid");
  EXPECT_EQ(system.scripts["JACK"].opened, 1);
  EXPECT_EQ(live().midi.selectedDevice(), 0);
  EXPECT_TRUE(live().midi.isOpen());
}

}  // namespace
}  // namespace zumbel
