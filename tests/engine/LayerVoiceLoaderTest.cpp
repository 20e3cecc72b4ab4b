// Making a layer's voice from a pool sample: the probes, the locate question and what a failure
// leaves behind.

#include <filesystem>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "LayerVoiceLoader.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

void writeSample(const std::string& path, int frames) { ASSERT_TRUE(test::writeTestWav(path, frames, 0.25f)); }

class Loader : public ::testing::Test {
 protected:
  Loader() {
    doc.OnNewDocument();
    std::filesystem::create_directories(dir / "set");
    std::filesystem::create_directories(dir / "elsewhere");
    doc.SetPathName(dir / "set/kit.drums");
    doc.sound(3).settings[kPan] = -2500;
    doc.sound(3).settings[kPlaybackRate] = 22050;
  }
  test::TempDir dir;
  CKitbeatDoc doc;
  DrumEngine engine{doc};
  test::RecordingPrompts prompts;
  LayerVoiceLoader loader{doc, engine, &prompts};
};

TEST_F(Loader, ProbesTheStoredPathTheSetsFolderAndTheLastLocatedFolder) {
  writeSample(dir / "set/beside.wav", 100);
  writeSample(dir / "elsewhere/located.wav", 200);
  EXPECT_TRUE(loader.LoadLayerVoice("C:\\Old\\beside.wav", 3, 2, 0, 7, true));
  const SampleVoice* v = engine.voices().voice(3, 2);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->path(), dir / "set/beside.wav");
  EXPECT_EQ(v->frameCount(), 100);
  EXPECT_EQ(v->pan(), -2500);  // the sound's settings
  EXPECT_EQ(v->baseRate(), 22050);
  EXPECT_EQ(doc.sound(3).refs[2], (SampleRef{0, 7}));

  EXPECT_FALSE(loader.LoadLayerVoice("/gone/located.wav", 3, 0, 0, 0, false));  // no locate function
  loader.setLastLocatedFolder(dir / "elsewhere/");
  EXPECT_TRUE(loader.LoadLayerVoice("/gone/located.wav", 3, 0, 0, 0, false));
  EXPECT_EQ(engine.voices().voice(3, 0)->frameCount(), 200);
  EXPECT_EQ(doc.sound(3).refs[0], kNoSample);  // references are set only when asked
  EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(Loader, LocatingRemembersTheFolderAndCancellingChangesNothing) {
  std::filesystem::create_directories(dir / "moved");
  writeSample(dir / "moved/a.wav", 10);
  writeSample(dir / "moved/b.wav", 20);
  std::vector<std::string> asked;
  std::optional<std::string> answer;
  loader.setLocate([&](const std::string& suggested) {
    asked.push_back(suggested);
    return answer;
  });
  EXPECT_FALSE(loader.LoadLayerVoice("D:\\Kit\\a.wav", 1, 0, 0, 0, true));
  EXPECT_EQ(asked, std::vector<std::string>{"a.wav"});
  EXPECT_EQ(engine.voices().voice(1, 0), nullptr);
  EXPECT_EQ(doc.sound(1).refs[0], kNoSample);

  answer = dir / "moved/a.wav";
  EXPECT_TRUE(loader.LoadLayerVoice("D:\\Kit\\a.wav", 1, 0, 2, 3, true));
  EXPECT_EQ(loader.lastLocatedFolder(), dir / "moved/");
  // The next sample of that folder is found without asking.
  EXPECT_TRUE(loader.LoadLayerVoice("D:\\Kit\\b.wav", 1, 1, 2, 4, true));
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(engine.voices().voice(1, 1)->frameCount(), 20);
}

TEST_F(Loader, AFileThatIsNotAWaveGivesNoVoiceAndLoadAllSkipsReferencesOutsideThePool) {
  test::writeBytes(dir / "set/junk.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
  EXPECT_FALSE(loader.LoadLayerVoice("junk.wav", 0, 0, 0, 0, true));
  EXPECT_EQ(doc.sound(0).refs[0], kNoSample);
  EXPECT_TRUE(prompts.shown.empty());  // only an unopenable file is worth a message

  writeSample(dir / "set/ok.wav", 5);
  const int g = doc.appendGroup("G");
  doc.appendSample(g, "ok.wav");
  doc.AssignSample(4, 0, {g, 0});
  doc.sound(5).refs[0] = {g, 99};  // a damaged file's reference
  doc.sound(5).refs[1] = {7, 0};
  EXPECT_EQ(loader.loadAllVoices(), 2);
  EXPECT_NE(engine.voices().voice(4, 0), nullptr);
  EXPECT_EQ(engine.voices().voiceCount(), 1);
}

// A load the user cancels stops before the next sample: the layers read so far play, the rest
// stay silent, and the progress still ends.
TEST_F(Loader, AStoppedLoadReadsNoFurtherSample) {
  writeSample(dir / "set/a.wav", 10);
  const int g = doc.appendGroup("Kit");
  doc.appendSample(g, dir / "set/a.wav");
  for (int n = 0; n < 5; ++n) doc.AssignSample(n, 0, {g, 0});
  std::vector<std::pair<int, int>> told;
  loader.setProgress([&](int done, int total) {
    told.emplace_back(done, total);
    return done < 2;
  });
  EXPECT_EQ(loader.loadAllVoices(), 3);
  EXPECT_EQ(engine.voices().voiceCount(), 2);
  EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{0, 5}, {1, 5}, {2, 5}, {5, 5}}));
}

}  // namespace
}  // namespace zumbel
