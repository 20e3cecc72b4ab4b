// The audio output's rules, against a scripted machine: which device a number means, what the
// user is told for each failure, and how a switch releases and rebuilds the voices.

#include <map>

#include <gtest/gtest.h>

#include "AudioOutput.h"
#include "AudioSystem.h"
#include "ScriptedAudio.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"

namespace zumbel {
namespace {

using test::Script;
using test::ScriptedSystem;

class Output : public ::testing::Test {
 protected:
  Output() {
    doc.OnNewDocument();
    system.mixer = &engine.mixer();
    output.setReloadVoices([this](bool reload) { log.push_back(reload ? "reload" : "release"); });
  }
  ~Output() override { output.close(); }

  std::vector<std::pair<std::string, std::string>>& shown() { return prompts.shown; }

  CKitbeatDoc doc;
  DrumEngine engine{doc};
  ScriptedSystem system;
  test::RecordingPrompts prompts;
  AudioOutput output{engine, system, prompts};
  std::vector<std::string>& log = system.log;
};

TEST_F(Output, DefaultTriesJackThenTheNextAndPlaysAtTheDeviceRate) {
  system.scripts["JACK"].status = OpenStatus::kNoDevice;
  system.scripts["ALSA: default"].rate = 48000;
  EXPECT_EQ(output.InitAudioOutput(0), 1);
  EXPECT_TRUE(output.isOpen());
  EXPECT_EQ(output.backend()->openedName(), "ALSA: default");
  EXPECT_TRUE(engine.mixer().running());
  EXPECT_EQ(engine.mixer().deviceRate(), 48000);
  EXPECT_TRUE(shown().empty());
  // The default opens without touching the voices.
  EXPECT_EQ(log, (std::vector<std::string>{"open JACK", "open ALSA: default"}));

  output.close();
  EXPECT_FALSE(output.isOpen());
  EXPECT_FALSE(engine.mixer().running());
  EXPECT_EQ(system.scripts["ALSA: default"].closed, 1);
  EXPECT_TRUE(system.scripts["ALSA: default"].runningAtStart);
  EXPECT_TRUE(system.scripts["ALSA: default"].runningAtClose);
}

TEST_F(Output, ADeviceThatWentAwayIsClosedWhenNoticed) {
  ASSERT_EQ(output.InitAudioOutput(0), 1);
  EXPECT_FALSE(output.closeIfLost());
  EXPECT_TRUE(output.isOpen());
  system.scripts["JACK"].alive = false;
  EXPECT_TRUE(output.closeIfLost());
  EXPECT_FALSE(output.isOpen());
  EXPECT_FALSE(engine.mixer().running());
  EXPECT_EQ(system.scripts["JACK"].closed, 1);
}

TEST_F(Output, DefaultFailureSaysHowFarTheBestAttemptGot) {
  struct Case {
    OpenStatus jack, alsa;
    bool alsaStartFails;
    std::string text, caption;
  };
  const Case cases[] = {
      {OpenStatus::kNoDevice, OpenStatus::kNoDevice, false, "Internal Error: 'Can not Create DirectSound'", "Zumbel"},
      {OpenStatus::kNoDevice, OpenStatus::kNoStream, false, "Internal Error: 'Could not create a primary_buffer'.", "Error"},
      {OpenStatus::kNoRate, OpenStatus::kNoStream, false, "Internal Error: 'Output for 44.1kHz not found'.", "Error"},
      {OpenStatus::kNoDevice, OpenStatus::kOk, true, "Internal Error: 'Could not create a primary_buffer'.", "Error"},
  };
  for (const Case& c : cases) {
    system.scripts["JACK"].status = c.jack;
    system.scripts["ALSA: default"].status = c.alsa;
    system.scripts["ALSA: default"].startFails = c.alsaStartFails;
    shown().clear();
    EXPECT_EQ(output.InitAudioOutput(0), 0);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].first, c.text);
    EXPECT_EQ(shown()[0].second, c.caption);
    EXPECT_FALSE(output.isOpen());
    EXPECT_FALSE(engine.mixer().running());
    EXPECT_NE(output.lastDetail().find("scripted"), std::string::npos);
  }
}

TEST_F(Output, ListStartsWithTheDefaultAndHoldsAtMostTwentyEntries) {
  system.listed = 30;
  const std::optional<AudioDeviceList> list = output.ListAudioDevices();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->count(), 20);
  EXPECT_EQ(list->devices[0].description, "System default");
  EXPECT_EQ(list->devices[1].description, "ALSA: Card 0");
  EXPECT_EQ(list->devices[19].description, "ALSA: Card 18");
}

TEST_F(Output, SwitchRefusesBadNumbersWithoutTouchingTheVoices) {
  ASSERT_EQ(output.InitAudioOutput(0), 1);
  log.clear();
  for (int bad : {-1, 4, 99}) {  // three listed devices plus the default: 0..3
    shown().clear();
    EXPECT_EQ(output.InitAudioOutput(bad), 0);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0], (std::pair<std::string, std::string>{"Driver not valid", "Error"}));
  }
  system.listFails = true;
  shown().clear();
  EXPECT_EQ(output.InitAudioOutput(2), 0);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].first, "Internal Error: 'Failed to scan DX devices'.");
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(output.isOpen());  // the device that played keeps playing
}

TEST_F(Output, SwitchReleasesClosesOpensAndReloadsInThatOrder) {
  ASSERT_EQ(output.InitAudioOutput(0), 1);
  log.clear();
  EXPECT_EQ(output.InitAudioOutput(2), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"release", "close JACK", "open ALSA: Card 1", "reload"}));
  EXPECT_EQ(output.backend()->openedName(), "ALSA: Card 1");
  EXPECT_TRUE(engine.mixer().running());
}

TEST_F(Output, SwitchToADeadDeviceSaysSoAndLeavesNoOutput) {
  ASSERT_EQ(output.InitAudioOutput(0), 1);
  system.scripts["ALSA: Card 0"].status = OpenStatus::kNoDevice;
  system.scripts["ALSA: Card 2"].status = OpenStatus::kNoRate;
  log.clear();
  EXPECT_EQ(output.InitAudioOutput(1), 0);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].first,
            "ALSA: Card 0 does not seem to work.\n(Please check manufacturer for updated driver).\n"
            "Changing to default audio driver.");
  EXPECT_EQ(shown()[0].second, "Error");
  EXPECT_EQ(log, (std::vector<std::string>{"release", "close JACK", "open ALSA: Card 0"}));
  EXPECT_FALSE(output.isOpen());
  EXPECT_FALSE(engine.mixer().running());

  shown().clear();
  EXPECT_EQ(output.InitAudioOutput(3), 0);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].first, "Internal Error: 'Output for 44.1kHz not found'.");
  // What the caller does next: the default again.
  EXPECT_EQ(output.InitAudioOutput(0), 1);
}

TEST_F(Output, VoicesReleasedWhilePlayingAreFreedWhenTheOutputCloses) {
  ASSERT_EQ(output.InitAudioOutput(0), 1);
  engine.voices().publish(0, 0, test::makeVoice(engine.mixer(), test::dc(100, 1000)));
  const int freeBefore = engine.mixer().freeSlotCount();
  engine.voices().release(0, 0);
  // No cycle runs in the scripted backend, so the voice waits for the audio thread...
  EXPECT_EQ(engine.voices().retiredCount(), 1u);
  // ...until the output stops and nothing can reach it any more.
  output.close();
  EXPECT_EQ(engine.voices().retiredCount(), 0u);
  EXPECT_GT(engine.mixer().freeSlotCount(), freeBefore);
}

}  // namespace
}  // namespace zumbel
