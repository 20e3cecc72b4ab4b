// Making a layer's voice from a pool sample: the probes, the locate question and what a failure
// leaves behind.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "EngineConfig.h"
#include "LayerVoiceLoader.h"
#include "TestSupport.h"
#include "WaveReader.h"

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

// Reading on every core changes nothing a user sees: the same voices from the same files, the
// same questions in the same order, the same progress. Layers of one file share one block.
TEST_F(Loader, AParallelLoadEqualsAOneAtATimeLoad) {
  std::filesystem::create_directories(dir / "moved");
  const int g = doc.appendGroup("Kit");
  for (int i = 0; i < 12; ++i) {
    const std::string name = "s" + std::to_string(i) + ".wav";
    // Every third file has moved; the user points at its folder once and the rest are found there.
    writeSample(dir / (i % 3 == 0 ? "moved/" : "set/") + name, 500 + 97 * i);
    doc.appendSample(g, i % 3 == 0 ? "/gone/" + name : name);
  }
  test::writeBytes(dir / "set/junk.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
  doc.appendSample(g, "junk.wav");
  doc.appendSample(g, "/gone/nowhere.wav");
  for (int n = 0; n < 40; ++n) {
    for (int j = 0; j < kLayerCount; j += 1 + n % 3) doc.AssignSample(n, j, {g, (n * 3 + j * 5) % 14});
  }

  struct Load {
    DrumEngine engine;
    test::RecordingPrompts prompts;
    LayerVoiceLoader loader;
    std::vector<std::string> asked;
    std::vector<int> progress;
    int failed;
    Load(CKitbeatDoc& d, const std::filesystem::path& moved, int threads) : engine(d), loader(d, engine, &prompts) {
      loader.setReadThreads(threads);
      loader.setLocate([this, moved](const std::string& suggested) -> std::optional<std::string> {
        asked.push_back(suggested);
        const auto file = moved / std::filesystem::path(suggested).filename();
        return std::filesystem::exists(file) ? std::optional<std::string>(file) : std::nullopt;
      });
      loader.setProgress([this](int done, int) {
        progress.push_back(done);
        return true;
      });
      failed = loader.loadAllVoices();
    }
  };
  Load one(doc, dir / "moved", 1), many(doc, dir / "moved", 4);

  EXPECT_EQ(many.failed, one.failed);
  EXPECT_GT(one.failed, 0);
  EXPECT_EQ(many.asked, one.asked);
  // Asked once for the first file that moved, then for the one that is nowhere, layer by layer.
  ASSERT_GT(one.asked.size(), 2u);
  EXPECT_EQ(one.asked.front(), "s0.wav");
  EXPECT_EQ(std::count(one.asked.begin(), one.asked.end(), dir / "moved/nowhere.wav"), std::ssize(one.asked) - 1);
  EXPECT_EQ(many.progress, one.progress);
  EXPECT_EQ(many.prompts.shown, one.prompts.shown);
  std::map<std::string, const PcmBlock*> blockOf;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const SampleVoice* a = one.engine.voices().voice(n, j);
      const SampleVoice* b = many.engine.voices().voice(n, j);
      ASSERT_EQ(a == nullptr, b == nullptr) << n << "/" << j;
      if (!a) continue;
      ASSERT_EQ(a->path(), b->path());
      ASSERT_EQ(a->frameCount(), b->frameCount());
      ASSERT_EQ(0, std::memcmp(a->pcm()->frames(), b->pcm()->frames(), static_cast<std::size_t>(4 * a->frameCount())));
      EXPECT_EQ(blockOf.try_emplace(b->path(), b->pcm().get()).first->second, b->pcm().get()) << b->path();
    }
  }
  EXPECT_EQ(blockOf.size(), 12u);
  std::set<const PcmBlock*> distinct;
  for (const auto& [path, block] : blockOf) distinct.insert(block);
  EXPECT_EQ(distinct.size(), 12u);
}

// A file rewritten on disk is read again; voices made from the old file keep playing the old one.
TEST_F(Loader, AChangedFileGetsANewBlock) {
  writeSample(dir / "set/a.wav", 100);
  ASSERT_TRUE(loader.LoadLayerVoice("a.wav", 0, 0, 0, 0, false));
  ASSERT_TRUE(loader.LoadLayerVoice("a.wav", 1, 0, 0, 0, false));
  const std::shared_ptr<const PcmBlock> first = engine.voices().voice(0, 0)->pcm();
  EXPECT_EQ(engine.voices().voice(1, 0)->pcm(), first);

  writeSample(dir / "set/a.wav", 100);
  std::filesystem::last_write_time(dir / "set/a.wav", std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
  ASSERT_TRUE(loader.LoadLayerVoice("a.wav", 2, 0, 0, 0, false));
  EXPECT_NE(engine.voices().voice(2, 0)->pcm(), first);
  EXPECT_EQ(engine.voices().voice(0, 0)->pcm(), first);
}

// A load the user cancels stops before the next layer: the layers made so far play, the rest
// stay silent, and the progress still ends.
TEST_F(Loader, AStoppedLoadBuildsNoFurtherVoice) {
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

// A file too large for the memory left is said to be so, by name, in the preview and in a load;
// it is not taken for a file that is no sound. In a child process with little address space.
TEST_F(Loader, MemoryRunningOutIsToldByNameNotTakenForAFileThatIsNoSound) {
  if (test::kSanitizedBuild) GTEST_SKIP() << "the sanitizer's own address space leaves no room for a limit";
  const std::string huge = dir / "set/huge.wav";
  test::writeSparseWav(huge, static_cast<uint32_t>(kMaxSampleFrames));
  writeSample(dir / "set/small.wav", 100);
  const auto readWithLittleMemory = [&] {
    if (!test::limitAddressSpace(std::size_t{256} << 20)) ::_exit(2);
    const bool decodedAsNoMemory = DecodeSampleFile(huge).status == DecodedSample::Status::kNoMemory;
    WaveReader preview(&prompts);
    const bool previewed = preview.ReadWave(huge) == 0;
    const bool loaded = loader.LoadLayerVoice("huge.wav", 0, 0, 0, 0, false);
    const bool namedByTheLoader = loader.outOfMemory() == std::vector<std::string>{huge};
    const bool smallLoaded = loader.LoadLayerVoice("small.wav", 1, 0, 0, 1, false) && loader.outOfMemory().empty();
    for (const auto& [text, caption] : prompts.shown) std::fprintf(stderr, "%s\n", text.c_str());
    ::_exit(decodedAsNoMemory && !previewed && !loaded && namedByTheLoader && smallLoaded ? 0 : 1);
  };
  EXPECT_EXIT(readWithLittleMemory(), ::testing::ExitedWithCode(0), "^Not enough memory to load .*/set/huge\\.wav\\.\n$");
}

}  // namespace
}  // namespace zumbel
