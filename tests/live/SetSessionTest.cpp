// Rebuilding a drum set's voices: relinking moved and missing samples with the user's answers,
// reloading around an output change, and the update sequence after New and Open.

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "AudioOutput.h"
#include "EngineConfig.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LayerVoiceLoader.h"
#include "Relink.h"
#include "ScriptedAudio.h"
#include "SetSession.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

namespace fs = std::filesystem;

void writeSample(const std::string& path) { ASSERT_TRUE(test::writeTestWav(path, 64)); }

using Answer = Prompts::Answer;

// Answers questions from a script in turn (No once it runs out) and records them.
class ScriptedPrompts : public test::RecordingPrompts {
 public:
  bool askYesNo(std::string_view text, std::string_view caption) override {
    return next(text, caption) == Answer::kYes;
  }
  Answer askYesNoNoToAll(std::string_view text, std::string_view caption) override { return next(text, caption); }
  std::vector<Answer> answers;
  std::vector<std::pair<std::string, std::string>> asked;

 private:
  Answer next(std::string_view text, std::string_view caption) {
    asked.emplace_back(std::string(text), std::string(caption));
    if (answers.empty()) return Answer::kNo;
    const Answer a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

class Session : public ::testing::Test {
 protected:
  Session() {
    doc.OnNewDocument();
    system.mixer = &engine.mixer();
    fs::create_directories(dir / "set");
    fs::create_directories(dir / "samples");
    doc.SetPathName(dir / "set/kit.drums");
  }
  ~Session() override {
    output.close();
    engine.voices().ReleaseAllVoices();
  }

  // Group 0 with the given files; sound n's layer 0 plays entry n, and when there are five,
  // sound 10 plays entry 0 on layer 0 and entry 4 on layer 1.
  void pool(const std::vector<std::string>& paths) {
    const int g = doc.appendGroup("Kit");
    for (const std::string& p : paths) doc.appendSample(g, p);
    for (int n = 0; n < static_cast<int>(paths.size()); ++n) doc.AssignSample(n, 0, {g, n});
    if (paths.size() > 4) {
      doc.AssignSample(10, 0, {g, 0});
      doc.AssignSample(10, 1, {g, 4});
    }
    doc.SetModifiedFlag(false);
  }
  std::string entry(int e) const { return std::string(doc.groupList(0)[static_cast<std::size_t>(e)]); }
  bool sounds(int note) {
    test::cycle(engine, 256);  // whatever sounded before has ended
    const test::Render r = test::cycle(engine, 16, {{0, packShortMessage(engine.trigger().noteOnStatus(), note, 127)}});
    return r.left[15] != 0.0f;
  }

  test::TempDir dir;
  CKitbeatDoc doc;
  DrumEngine engine{doc};
  ScriptedPrompts prompts;
  LayerVoiceLoader loader{doc, engine, &prompts};
  test::ScriptedSystem system;
  AudioOutput output{engine, system, prompts};
  SetSession session{doc, engine, loader, output, nullptr, prompts};
};

TEST_F(Session, ASetWhoseFilesAllExistAsksNothingAndGetsAVoicePerOwnLayer) {
  for (const char* f : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}) writeSample(dir / ("samples/" + std::string(f)));
  pool({dir / "samples/a.wav", dir / "samples/b.wav", dir / "samples/c.wav", dir / "samples/d.wav", dir / "samples/e.wav"});
  session.UpdateView(DeviceSettings{});
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(entry(0), dir / "samples/a.wav");
  EXPECT_EQ(engine.voices().voiceCount(), 7);  // five sounds' layer 0, sound 10's layers 0 and 1
  EXPECT_NE(engine.voices().voice(10, 1), nullptr);
  EXPECT_EQ(engine.voices().voice(2, 1), nullptr);  // borrows layer 0
  EXPECT_TRUE(output.isOpen());
  EXPECT_TRUE(sounds(36 + 1));
  EXPECT_FALSE(sounds(36 + 20));
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(Session, ASetMovedWithItsSamplesFindsThemBesideItWithoutQuestions) {
  writeSample(dir / "set/kick.wav");
  fs::create_directories(dir / "set/sub");
  writeSample(dir / "set/sub/snare.wav");
  pool({"C:\\Old Place\\kick.wav", "C:\\Old Place\\snare.wav"});
  session.UpdateView(DeviceSettings{});
  // Found beside the set, it keeps the path the set stored: saved unchanged, the set is the same.
  EXPECT_EQ(entry(0), "C:\\Old Place\\kick.wav");
  EXPECT_NE(engine.voices().voice(0, 0), nullptr);
  // A sample in a sub-folder is not beside the set: the user is asked, once.
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].first, "Do you want to locate file snare.wav it? (Yes recommended)");
  EXPECT_EQ(prompts.asked[0].second, "File snare.wav has not been found");
  // Found beside the set, the next opening finds it there again: nothing to save.
  EXPECT_FALSE(doc.IsModified());
}

// Opening a set on a machine whose memory runs out: one message names the file that could not be
// loaded for want of it (not "not a sound", not nothing); the rest of the set plays.
TEST_F(Session, ASampleThatRunsOutOfMemoryIsToldByName) {
  if (test::kSanitizedBuild) GTEST_SKIP() << "the sanitizer's own address space leaves no room for a limit";
  test::writeSparseWav(dir / "set/huge.wav", static_cast<uint32_t>(kMaxSampleFrames));
  writeSample(dir / "samples/small.wav");
  pool({"huge.wav", dir / "samples/small.wav"});
  const auto openWithLittleMemory = [&] {
    if (!test::limitAddressSpace(std::size_t{256} << 20)) ::_exit(2);
    session.UpdateView(DeviceSettings{});
    for (const auto& [text, caption] : prompts.shown) std::fprintf(stderr, "%s\n", text.c_str());
    const bool rest = engine.voices().voice(0, 0) == nullptr && engine.voices().voice(1, 0) != nullptr;
    ::_exit(rest && prompts.asked.empty() ? 0 : 1);
  };
  EXPECT_EXIT(openWithLittleMemory(), ::testing::ExitedWithCode(0),
              "^Not enough memory to load " + dir / "set/huge\\.wav\\.\n$");
}

// Answering a question about locating a file deletes nothing: No keeps the entry and its layers
// in the set, silent, and the voices are built without asking about it again. No to All answers
// the rest of the pass at once.
TEST_F(Session, SamplesNotLocatedStaySilentInTheSetAndNoToAllEndsTheQuestions) {
  for (int i : {0, 3}) writeSample(dir / ("samples/s" + std::to_string(i) + ".wav"));
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) paths.push_back(dir / ("samples/s" + std::to_string(i) + ".wav"));
  pool(paths);
  int picks = 0;
  session.setPickExistingFile([&](const std::string&) {
    ++picks;
    return std::nullopt;
  });
  prompts.answers = {Answer::kNo, Answer::kNoToAll};
  session.UpdateView(DeviceSettings{});
  ASSERT_EQ(prompts.asked.size(), 2u);  // s1 (No) and s2 (No to All); s4 is not asked about
  EXPECT_EQ(prompts.asked[1].first, "Do you want to locate file s2.wav it? (Yes recommended)");
  EXPECT_EQ(picks, 0);
  ASSERT_EQ(doc.groupSize(0), 5);
  EXPECT_EQ(entry(4), paths[4]);
  EXPECT_EQ(doc.sound(10).refs[1], (SampleRef{0, 4}));
  EXPECT_FALSE(doc.sound(2).isEmpty());
  EXPECT_EQ(engine.voices().voiceCount(), 3);  // s0 twice and s3
  EXPECT_FALSE(sounds(36 + 1));
  EXPECT_TRUE(sounds(36 + 3));
  EXPECT_FALSE(doc.IsModified());

  // A later load asks again: the files may be back, or the user may know where they are now.
  prompts.asked.clear();
  session.ReloadVoices(true);
  EXPECT_EQ(prompts.asked.size(), 3u);
}

TEST_F(Session, LocatingOneMovedFileFindsTheRestOfItsFolderWithoutQuestions) {
  fs::create_directories(dir / "moved");
  for (const char* f : {"x.wav", "y.wav", "z.wav"}) writeSample(dir / ("moved/" + std::string(f)));
  pool({"/gone/x.wav", "/gone/y.wav", "/gone/z.wav"});
  std::vector<std::string> suggested;
  session.setPickExistingFile([&](const std::string& s) {
    suggested.push_back(s);
    return std::optional<std::string>(dir / "moved/x.wav");
  });
  prompts.answers = {Answer::kYes};
  session.UpdateView(DeviceSettings{});
  EXPECT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(suggested, std::vector<std::string>{dir / "set/x.wav"});  // nothing located yet: beside the set
  EXPECT_EQ(entry(1), dir / "moved/y.wav");
  EXPECT_EQ(entry(2), dir / "moved/z.wav");
  EXPECT_EQ(engine.voices().voiceCount(), 3);
  EXPECT_EQ(loader.lastLocatedFolder(), dir / "moved/");
  // The next opening could not find them without the user: the new paths are there to be saved.
  EXPECT_TRUE(doc.IsModified());
}

// Once a file has been located, the Open dialog for the next one no probe finds starts in that
// file's folder, not beside the set.
TEST_F(Session, AfterALocatedFileTheNextIsSuggestedInItsFolder) {
  fs::create_directories(dir / "moved");
  fs::create_directories(dir / "other");
  writeSample(dir / "moved/x.wav");
  writeSample(dir / "other/w.wav");
  pool({"/gone/x.wav", "/elsewhere/w.wav"});
  std::vector<std::string> suggested;
  session.setPickExistingFile([&](const std::string& s) {
    suggested.push_back(s);
    return std::optional<std::string>(suggested.size() == 1 ? dir / "moved/x.wav" : dir / "other/w.wav");
  });
  prompts.answers = {Answer::kYes, Answer::kYes};
  session.RelinkSamplePool();
  EXPECT_EQ(suggested, (std::vector<std::string>{dir / "set/x.wav", dir / "moved/w.wav"}));
}

TEST_F(Session, ReloadAsksToSaveOnlyAModifiedSet) {
  writeSample(dir / "samples/a.wav");
  pool({dir / "samples/a.wav"});
  int saves = 0;
  session.setSave([&] { ++saves; });
  session.UpdateView(DeviceSettings{});
  ASSERT_EQ(engine.voices().voiceCount(), 1);

  session.ReloadVoices(false);  // only releases
  EXPECT_EQ(engine.voices().voiceCount(), 0);
  EXPECT_EQ(doc.groupSize(0), 1);
  session.ReloadVoices(true);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_EQ(engine.voices().voiceCount(), 1);

  doc.SetModifiedFlag(true);
  prompts.answers = {Answer::kYes};
  session.ReloadVoices(true);
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].second, "Zumbel");
  EXPECT_EQ(prompts.asked[0].first.rfind("In order to change the audio port I must reload the current set from disk.\n", 0), 0u);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(engine.voices().voiceCount(), 1);
}

TEST_F(Session, UpdateViewOpensTheStoredDevicesAndListensOnTheStoredChannel) {
  writeSample(dir / "samples/a.wav");
  pool({dir / "samples/a.wav"});
  // A stored output that no longer exists: said so, then the default plays the set.
  session.UpdateView(DeviceSettings{9, 0, 16, "", ""});
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first, "Driver not valid");
  EXPECT_TRUE(output.isOpen());
  EXPECT_EQ(engine.trigger().noteOnStatus(), 0x9F);
  EXPECT_TRUE(sounds(36));
  // A later set finds the output open and leaves it alone.
  const int opened = system.scripts["JACK"].opened;
  session.UpdateView(DeviceSettings{9, 0, 1, "", ""});
  EXPECT_EQ(system.scripts["JACK"].opened, opened);
  EXPECT_EQ(engine.trigger().noteOnStatus(), 0x90);
}

// A stored device that works: the set is read once, not again by the switch that opened the
// device (a large set would take twice as long to open).
TEST_F(Session, UpdateViewOnAStoredDeviceLoadsTheSetOnce) {
  writeSample(dir / "samples/a.wav");
  pool({dir / "samples/a.wav", "/nowhere/b.wav"});
  int loads = 0;
  loader.setProgress([&](int done, int) {
    loads += done == 0;
    return true;
  });
  session.UpdateView(DeviceSettings{2, 0, 1, "", ""});
  EXPECT_TRUE(output.isOpen());
  EXPECT_EQ(system.scripts["ALSA: Card 1"].opened, 1);
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(engine.voices().voiceCount(), 1);
  EXPECT_TRUE(sounds(36));
}

}  // namespace
}  // namespace zumbel
