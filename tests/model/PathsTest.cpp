#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DrumsFile.h"
#include "FileNames.h"
#include "PoolPaths.h"
#include "SampleFinder.h"
#include "SampleProbe.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using test::TempDir;
using test::touch;
using test::WorkingFolder;

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

// Files of the same names in the working folder are never taken for the set's.
TEST(SampleProbe, NothingDependsOnTheWorkingFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "set/sub");
  std::filesystem::create_directories(dir / "cwd/sub");
  for (const char* f : {"set/Kick.wav", "set/sub/Tom.wav", "cwd/Kick.wav", "cwd/sub/Tom.wav", "cwd/Snare.wav"}) {
    touch(dir / f);
  }
  const WorkingFolder in(dir / "cwd");
  // A relative stored path is read from the set's folder.
  EXPECT_EQ(FindSampleBesideSet("Kick.wav", dir / "set/"), dir / "set/Kick.wav");
  EXPECT_EQ(FindSampleBesideSet("sub/Tom.wav", dir / "set/"), dir / "set/sub/Tom.wav");
  // Nothing located yet: no folder to look in, the working folder least of all.
  EXPECT_EQ(ProbeSamplePath("C:\\Old\\Snare.wav", dir / "set/", ""), std::nullopt);
  EXPECT_EQ(AbsolutePath("sub/Tom.wav"), dir / "cwd/sub/Tom.wav");
  EXPECT_EQ(AbsolutePath("/x/y.wav"), "/x/y.wav");
  EXPECT_EQ(AbsolutePath("../set/./Kick.wav"), dir / "set/Kick.wav");
  // Through a link, ".." is the parent of where the link leads: such a path stays as it is.
  std::filesystem::create_directory_symlink(dir / "set/sub", dir / "cwd/link");
  EXPECT_EQ(AbsolutePath("link/../Kick.wav"), dir / "cwd/link/../Kick.wav");
}

// A set in a/set whose samples are: one stored by its name beside it, one stored by a Windows
// path and found beside it, one stored absolute elsewhere, one found nowhere.
class SetOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"a/set", "b", "samples", "elsewhere"}) std::filesystem::create_directories(dir / d);
    for (const char* f : {"a/set/Kick.wav", "a/set/Snare.wav", "samples/Hat.wav"}) touch(dir / f);
    std::ofstream(dir / "b/Kick.wav") << "another kick";
    CKitbeatDoc doc;
    doc.OnNewDocument();
    const int g = doc.appendGroup("Kit");
    for (const std::string& p : stored) doc.appendSample(g, p);
    original = serializeDrumSet(doc.content());
    test::writeBytes(dir / "a/set/Set.drums", original);
  }
  TempDir dir;
  const std::vector<std::string> stored{"Kick.wav", "C:\\Old\\Snare.wav", dir / "samples/Hat.wav",
                                        "/nowhere/Lost.wav"};
  std::vector<uint8_t> original;
};

TEST_F(SetOnDisk, OpenedByARelativePathItSavesUnchangedAndElsewhereKeepsFindingItsSamples) {
  const WorkingFolder in(dir / "a");
  CKitbeatDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument("set/Set.drums").ok());
  EXPECT_EQ(doc.GetPathName(), dir / "a/set/Set.drums");
  ASSERT_TRUE(doc.OnSaveDocument("set/Set.drums").ok());
  EXPECT_EQ(test::readBytes(dir / "a/set/Set.drums"), original);

  // A save that fails leaves the set as it was.
  EXPECT_FALSE(doc.OnSaveDocument("../no/such/Set.drums").ok());
  EXPECT_EQ(doc.groupList(0)[0], "Kick.wav");

  // Into another folder: what was found beside the set is kept by its full path, even where a
  // file of the same name lies beside the copy; the rest as stored.
  ASSERT_TRUE(doc.OnSaveDocument("../b/Copy.drums").ok());
  EXPECT_EQ(doc.GetPathName(), dir / "b/Copy.drums");
  CKitbeatDoc copy;
  const WorkingFolder away(dir / "elsewhere");
  ASSERT_TRUE(copy.OnOpenDocument("../b/Copy.drums").ok());
  const std::vector<std::string> expected{dir / "a/set/Kick.wav", dir / "a/set/Snare.wav", stored[2], stored[3]};
  for (std::size_t e = 0; e < expected.size(); ++e) {
    EXPECT_EQ(copy.groupList(0)[e], expected[e]) << e;
    EXPECT_EQ(FindSampleBesideSet(std::string(copy.groupList(0)[e]), copy.folder()).has_value(), e < 3) << e;
  }
  EXPECT_EQ(PathOutsideSet("Kick.wav", dir / "a/set/"), dir / "a/set/Kick.wav");
  EXPECT_EQ(PathOutsideSet(stored[2], dir / "a/set/"), stored[2]);
  EXPECT_EQ(PathOutsideSet(stored[3], dir / "a/set/"), stored[3]);
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
