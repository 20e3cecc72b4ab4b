#include <gtest/gtest.h>

#include <filesystem>

#include "FileNames.h"
#include "SampleFinder.h"
#include "SampleProbe.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using test::TempDir;
using test::touch;

TEST(FileNames, SplitAtTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(FileNamePart("C:\\Drums\\Kick.wav"), "Kick.wav");
  EXPECT_EQ(FileNamePart("Kick.wav"), "Kick.wav");
  EXPECT_EQ(FileNamePart("C:\\Drums\\"), "");
  EXPECT_EQ(FileNamePart("/home/me/kit/Snare 2.wav"), "Snare 2.wav");
  EXPECT_EQ(FileNamePart("D:/mixed\\dir/Hat.wav"), "Hat.wav");
  EXPECT_EQ(FolderPart("C:\\Drums\\Kick.wav"), "C:\\Drums\\");
  EXPECT_EQ(FolderPart("/kits/a.drums"), "/kits/");
  EXPECT_EQ(FolderPart("a.drums"), "");
  EXPECT_EQ(FileTitle("/lists/Toms.slist"), "Toms");
  EXPECT_EQ(FileTitle("C:\\x.y\\a.b.slist"), "a.b");
  EXPECT_EQ(FileTitle("/lists/NoDot"), "NoDot");
}

TEST(SampleProbe, TriesStoredPathThenSetFolderThenLastLocatedFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "set");
  std::filesystem::create_directories(dir / "located");
  std::filesystem::create_directories(dir / "set/sub");
  touch(dir / "set/Kick.wav");
  touch(dir / "located/Kick.wav");
  touch(dir / "located/Snare.wav");
  touch(dir / "set/sub/Tom.wav");

  EXPECT_EQ(ProbeSamplePath(dir / "located/Kick.wav", dir / "set/", dir / "located/"), dir / "located/Kick.wav");
  EXPECT_EQ(ProbeSamplePath("C:\\Old\\Kick.wav", dir / "set/", dir / "located/"), dir / "set/Kick.wav");
  EXPECT_EQ(ProbeSamplePath("C:\\Old\\Snare.wav", dir / "set/", dir / "located/"), dir / "located/Snare.wav");
  // A sub-folder of the set's folder is not searched.
  EXPECT_EQ(ProbeSamplePath("C:\\Old\\Tom.wav", dir / "set/", dir / "located/"), std::nullopt);
  // A folder with the sample's name is not a sample.
  std::filesystem::create_directories(dir / "set/Ride.wav");
  EXPECT_EQ(ProbeSamplePath("/x/Ride.wav", dir / "set/", ""), std::nullopt);
  EXPECT_FALSE(CanOpenForReading(""));
}

TEST(SampleFinder, PrefersExactNamesThenIgnoresCase) {
  TempDir dir;
  std::filesystem::create_directories(dir / "a/deep/er");
  std::filesystem::create_directories(dir / "b");
  touch(dir / "a/deep/er/kick.wav");
  touch(dir / "b/Kick.wav");
  touch(dir / "a/deep/CRASH.WAV");
  touch(dir / "a/deep/\xC3\x89t\xC3\xA9.wav");
  std::filesystem::create_directory_symlink(dir / "a", dir / "a/deep/loop");

  SampleFinder finder({dir / "a", dir / "b"});
  EXPECT_EQ(finder.find("Kick.wav"), dir / "b/Kick.wav");
  EXPECT_EQ(finder.find("kick.wav"), dir / "a/deep/er/kick.wav");
  EXPECT_EQ(finder.find("Crash.wav"), dir / "a/deep/CRASH.WAV");
  EXPECT_EQ(finder.find("\xC3\xA9T\xC3\x89.WAV"), dir / "a/deep/\xC3\x89t\xC3\xA9.wav");
  EXPECT_EQ(finder.find("Ride.wav"), std::nullopt);
  EXPECT_EQ(SampleFinder({dir / "missing"}).find("kick.wav"), std::nullopt);
}

}  // namespace
}  // namespace zumbel
