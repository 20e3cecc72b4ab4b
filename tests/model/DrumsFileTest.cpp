#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "DrumsFile.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

using test::i32At;
using test::putI32;
using test::TempDir;

constexpr std::size_t kNewSetSize = 14440;
constexpr std::size_t kLayerBlockAt = 24;  // in a set without groups
constexpr std::size_t kThresholdsAt = kLayerBlockAt + kLayerBlockBytes;
constexpr std::size_t kExtensionAt = kThresholdsAt + kThresholdBlockBytes;

std::vector<uint8_t> newSetBytes() {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  return serializeDrumSet(doc.content());
}

std::string str(const std::vector<uint8_t>& b, std::size_t off, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}

// A set that uses every field with values a fresh set does not have, including ones the window
// would never produce, so a round trip that drops or mixes up any field shows.
CKitbeatDoc richSet() {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> any(-100000, 100000);
  for (int g = 0; g < 3; ++g) {
    doc.appendGroup(g == 1 ? "" : "Group " + std::to_string(g));
    for (int e = 0; e <= g * 3; ++e) doc.appendSample(g, "C:\\Kit\\g" + std::to_string(g) + "\\s" + std::to_string(e) + ".wav");
  }
  for (int n = 0; n < kSoundCount; ++n) {
    Sound& s = doc.sound(n);
    for (int j = 0; j < kLayerCount; ++j) {
      s.refs[j] = SampleRef{any(rng), any(rng)};
      s.sources[j] = any(rng);
    }
    for (int i = 0; i < kSoundSettingCount; ++i) s.settings[i] = any(rng);
    s.noteOffEnabled = any(rng);
    s.looping = any(rng);
    s.externalPitchBend = any(rng);
  }
  doc.sound(0).settings[kFormatMarker] = 1;
  return doc;
}

FileError parse(const std::vector<uint8_t>& bytes, DrumSetContent& into) { return parseDrumSet(bytes, into); }

TEST(DrumsFile, NewSetIsExactly14440BytesInTheArchiveLayout) {
  const std::vector<uint8_t> b = newSetBytes();
  ASSERT_EQ(b.size(), kNewSetSize);
  EXPECT_EQ(i32At(b, 0), 1);
  EXPECT_EQ(str(b, 4, 6), std::string("\xFF\xFF\x00\x00\x0C\x00", 6));
  EXPECT_EQ(str(b, 10, 12), "CStringArray");
  EXPECT_EQ(str(b, 22, 2), std::string("\x00\x00", 2));
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) {
      const std::size_t at = kLayerBlockAt + static_cast<std::size_t>(n * kLayerCount + j) * 16;
      const int32_t settings[] = {-1, 4, -4000, 0, 1};
      ASSERT_EQ(i32At(b, at), -1);
      ASSERT_EQ(i32At(b, at + 4), -1);
      ASSERT_EQ(i32At(b, at + 8), -1);
      ASSERT_EQ(i32At(b, at + 12), settings[j]) << "sound " << n << " layer " << j;
    }
    const int32_t extension[] = {0, 4, -4000, 0, 1, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
      ASSERT_EQ(i32At(b, kExtensionAt + static_cast<std::size_t>(n * 8 + i) * 4), extension[i]);
    }
  }
  const int32_t thresholds[] = {90, 50, 30, 10, 100, 65, 40, 20, 110, 80, 50, 25, 115, 95, 60, 30, 120, 105, 75, 40};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(i32At(b, kThresholdsAt + static_cast<std::size_t>(i) * 4), thresholds[i]);
}

TEST(DrumsFile, GroupsAddTheirStringsAndClassTags) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("Kick");
  doc.appendSample(0, "C:\\Drums\\KickAB1.wav");  // 20 characters
  const std::vector<uint8_t> b = serializeDrumSet(doc.content());
  ASSERT_EQ(b.size(), 14470u);
  EXPECT_EQ(str(b, 22, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(str(b, 24, 5), std::string("\x04Kick"));
  EXPECT_EQ(str(b, 29, 4), std::string("\x01\x80\x01\x00", 4));
  EXPECT_EQ(str(b, 33, 21), std::string("\x14") + "C:\\Drums\\KickAB1.wav");

  // Every length form, at its boundaries.
  for (auto [length, prefix] : std::vector<std::pair<std::size_t, std::string>>{
           {254, "\xFE"},
           {255, std::string("\xFF\xFF\x00", 3)},
           {300, std::string("\xFF\x2C\x01", 3)},
           {65533, std::string("\xFF\xFD\xFF", 3)},
           {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
           {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)}}) {
    doc.OnNewDocument();
    doc.appendGroup(std::string(length, 'n'));
    const std::vector<uint8_t> long_ = serializeDrumSet(doc.content());
    EXPECT_EQ(str(long_, 24, prefix.size()), prefix) << length;
    EXPECT_EQ(long_.size(), kNewSetSize + 4 + prefix.size() + length) << length;
    DrumSetContent back = CKitbeatDoc().content();
    ASSERT_EQ(parse(long_, back), FileError::None) << length;
    EXPECT_EQ(back.groupNames[0].size(), length);
  }
}

TEST(DrumsFile, SaveThenLoadGivesTheSameSetFieldForField) {
  TempDir dir;
  CKitbeatDoc original = richSet();
  original.SetModifiedFlag();
  ASSERT_TRUE(original.OnSaveDocument(dir / "Rich.drums").ok());
  EXPECT_FALSE(original.IsModified());
  EXPECT_EQ(original.GetTitle(), "Rich.drums");

  CKitbeatDoc loaded;
  loaded.OnNewDocument();
  loaded.SetModifiedFlag();
  const FileOutcome outcome = loaded.OnOpenDocument(dir / "Rich.drums");
  ASSERT_TRUE(outcome.ok()) << outcome.message;
  EXPECT_TRUE(loaded.content() == original.content());
  EXPECT_FALSE(loaded.IsModified());
  EXPECT_EQ(loaded.GetPathName(), dir / "Rich.drums");
  EXPECT_EQ(serializeDrumSet(loaded.content()), test::readBytes(dir / "Rich.drums"));
}

TEST(DrumsFile, OlderSetsWithoutTheExtensionKeepTheCurrentValues) {
  std::vector<uint8_t> b = newSetBytes();
  putI32(b, kLayerBlockAt + 16 * 4 + 12, 0);  // sound 0, layer 4: the format marker
  putI32(b, kLayerBlockAt + 16 * 5 + 12, 77);  // sound 1's cut note comes from the file
  b.resize(kExtensionAt);

  CKitbeatDoc doc = richSet();
  const DrumSetContent before = doc.content();
  TempDir dir;
  test::writeBytes(dir / "old.drums", b);
  ASSERT_TRUE(doc.OnOpenDocument(dir / "old.drums").ok());
  EXPECT_EQ(doc.sound(0).settings[kFormatMarker], 1);
  EXPECT_EQ(doc.sound(1).cutNote(), 77);
  for (int n = 0; n < kSoundCount; ++n) {
    for (int i = kPlaybackRate; i < kSoundSettingCount; ++i) {
      ASSERT_EQ(doc.sound(n).settings[i], before.sounds[n].settings[i]);
    }
    ASSERT_EQ(doc.sound(n).looping, before.sounds[n].looping);
    ASSERT_EQ(doc.sound(n).noteOffEnabled, before.sounds[n].noteOffEnabled);
    ASSERT_EQ(doc.sound(n).externalPitchBend, before.sounds[n].externalPitchBend);
  }
  // Saved again, it has the extension.
  const std::vector<uint8_t> again = serializeDrumSet(doc.content());
  EXPECT_EQ(again.size(), kNewSetSize);
  EXPECT_EQ(i32At(again, kLayerBlockAt + 16 * 4 + 12), 1);
}

TEST(DrumsFile, ReadsWideStringsAndTheLongCountForm) {
  std::vector<uint8_t> b = newSetBytes();
  // Replace the empty name list with 1 name in the 16-bit form, the count in its 4-byte form.
  const std::vector<uint8_t> names = {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00,  // count 0xFFFF, then 1
                                      0xFF, 0xFE, 0xFF, 0x03,              // 16-bit string, 3 chars
                                      'D', 0, 0x16, 0x04, 0xAC, 0x20};     // D, Ж, €
  const std::vector<uint8_t> list = {0x01, 0x80, 0x01, 0x00, 0x05, 'a', '.', 'w', 'a', 'v'};
  b.erase(b.begin() + 22, b.begin() + 24);
  b.insert(b.begin() + 22, names.begin(), names.end());
  b.insert(b.begin() + 22 + static_cast<std::ptrdiff_t>(names.size()), list.begin(), list.end());
  DrumSetContent set;
  ASSERT_EQ(parse(b, set), FileError::None);
  ASSERT_EQ(set.groupNames.size(), 1u);
  EXPECT_EQ(set.groupNames[0], "D\xD0\x96\xE2\x82\xAC");
  EXPECT_EQ(set.groupLists[0][0], "a.wav");
}

TEST(DrumsFile, StringsKeepEveryCharacter) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  doc.appendGroup("Caf\xC3\xA9 \xE2\x82\xAC");                          // Windows-1252 holds it
  doc.appendSample(0, "/home/\xE5\xA4\xAA\xE9\xBC\x93/kick.wav");    // it does not
  doc.appendSample(0, std::string("/mnt/old/\xE9t\xE9.wav"));          // not UTF-8 at all
  doc.appendSample(0, "/x/\xF0\x9F\xA5\x81.wav");                      // outside the BMP
  const std::vector<uint8_t> b = serializeDrumSet(doc.content());
  EXPECT_EQ(str(b, 24, 7), std::string("\x06" "Caf\xE9 \x80"));
  DrumSetContent back;
  ASSERT_EQ(parse(b, back), FileError::None);
  EXPECT_TRUE(back == doc.content());
  // The 8-bit bytes Windows-1252 leaves undefined still survive.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::vector<uint8_t> raw = newSetBytes();
  std::vector<uint8_t> names = {0x01, 0x00, 0xFF, 0xFF, 0x00};
  names.insert(names.end(), all.begin(), all.end());
  raw.erase(raw.begin() + 22, raw.begin() + 24);
  raw.insert(raw.begin() + 22, names.begin(), names.end());
  raw.insert(raw.begin() + 22 + static_cast<std::ptrdiff_t>(names.size()), {0x01, 0x80, 0x00, 0x00});
  ASSERT_EQ(parse(raw, back), FileError::None);
  EXPECT_EQ(serializeDrumSet(back), raw);
}

TEST(DrumsFile, MalformedFilesAreRefused) {
  const std::vector<uint8_t> good = newSetBytes();
  const auto refused = [](std::vector<uint8_t> b) {
    DrumSetContent set;
    return parse(b, set) == FileError::BadFormat;
  };
  // Every truncation of a valid file.
  for (std::size_t n = 0; n < good.size(); ++n) {
    ASSERT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
  }
  const auto patched = [&](std::size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  EXPECT_TRUE(refused(patched(10, {'X'})));                 // another class
  EXPECT_TRUE(refused(patched(6, {1})));                    // another schema
  EXPECT_TRUE(refused(patched(4, {0x01, 0x80})));           // class never defined
  EXPECT_TRUE(refused(patched(4, {0x00, 0x00})));           // the null object
  EXPECT_TRUE(refused(patched(8, {0x0B, 0x00})));           // class name of another length
  EXPECT_TRUE(refused(patched(22, {0x11, 0x00})));          // 17 group names
  EXPECT_TRUE(refused(patched(22, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})));  // a huge count

  // One group whose list is a reference back to the name list: two groups would share a list.
  std::vector<uint8_t> backRef = good;
  backRef[22] = 1;
  backRef.insert(backRef.begin() + 24, {0x01, 'A', 0x02, 0x00});
  EXPECT_TRUE(refused(backRef));
  backRef[26] = 0x01, backRef[27] = 0x80, backRef.insert(backRef.begin() + 28, {0x00, 0x00});
  EXPECT_FALSE(refused(backRef));  // the same file with a proper class tag loads

  // A string longer than what is left of the file.
  std::vector<uint8_t> longString = good;
  longString[22] = 1;
  longString.insert(longString.begin() + 24, {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x7F});
  EXPECT_TRUE(refused(longString));
}

TEST(DrumsFile, FailedLoadLeavesTheSetAsItWas) {
  TempDir dir;
  CKitbeatDoc doc = richSet();
  doc.SetPathName("/kits/Mine.drums");
  doc.SetModifiedFlag();
  const DrumSetContent before = doc.content();

  std::vector<uint8_t> broken = serializeDrumSet(doc.content());
  broken.resize(broken.size() - 1);
  test::writeBytes(dir / "broken.drums", broken);
  FileOutcome outcome = doc.OnOpenDocument(dir / "broken.drums");
  EXPECT_EQ(outcome.message, "Unexpected file format.");
  EXPECT_TRUE(doc.content() == before);
  EXPECT_EQ(doc.GetPathName(), "/kits/Mine.drums");
  EXPECT_TRUE(doc.IsModified());

  outcome = doc.OnOpenDocument(dir / "absent.drums");
  EXPECT_EQ(outcome.error, FileError::NotFound);
  EXPECT_EQ(outcome.message, dir / "absent.drums" +
                                 "\nCannot find this file.\nPlease verify that the correct path and file name are given.");
  EXPECT_EQ(doc.OnOpenDocument(dir.path()).message, "Failed to open document.");
  EXPECT_TRUE(doc.content() == before);
}

TEST(DrumsFile, SaveFailuresLeaveTheOldFileAndNoLeftovers) {
  TempDir dir;
  const std::string path = dir / "Kit.drums";
  CKitbeatDoc doc = richSet();
  ASSERT_TRUE(doc.OnSaveDocument(path).ok());
  const std::vector<uint8_t> before = test::readBytes(path);

  // The disk refuses the write half-way: here through the file size limit.
  CKitbeatDoc bigger = richSet();
  bigger.appendSample(0, std::string(20000, 'x'));
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 8192;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const FileOutcome failed = bigger.OnSaveDocument(path);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(failed.message, "Failed to save document.");
  EXPECT_EQ(test::readBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_EQ(doc.OnSaveDocument(dir / "no/such/folder/Kit.drums").error, FileError::NotFound);
  EXPECT_EQ(documentErrorText(FileError::AccessDenied, false, "K.drums"),
            "Unable to write to K.drums, it is read-only or opened by someone else.");
  EXPECT_EQ(documentErrorText(FileError::AccessDenied, true, "K.drums"),
            "Unable to read from K.drums, it is opened by someone else.");
  EXPECT_EQ(documentErrorText(fileErrorFromErrno(ENOSPC), false, "K.drums"), "Destination disk drive is full.");
}

TEST(DrumsFile, LocalPathsAndLongNames) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  // A backslash is an ordinary character in a Linux file name.
  ASSERT_TRUE(doc.OnSaveDocument(dir / "a\\b.drums").ok());
  EXPECT_EQ(doc.folder(), dir / "");
  EXPECT_EQ(doc.GetTitle(), "a\\b.drums");
  const std::string longName = std::string(245, 'k') + ".drums";
  EXPECT_TRUE(doc.OnSaveDocument(dir / longName).ok());
  EXPECT_EQ(test::readBytes(dir / longName).size(), kNewSetSize);
}

TEST(DrumsFile, SavingThroughALinkReplacesTheTargetAndKeepsItsMode) {
  TempDir dir;
  CKitbeatDoc doc;
  doc.OnNewDocument();
  ASSERT_TRUE(doc.OnSaveDocument(dir / "real.drums").ok());
  std::filesystem::permissions(dir / "real.drums", std::filesystem::perms(0640));
  std::filesystem::create_symlink(dir / "real.drums", dir / "link.drums");
  doc.appendGroup("Toms");
  ASSERT_TRUE(doc.OnSaveDocument(dir / "link.drums").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.drums"));
  EXPECT_EQ(test::readBytes(dir / "real.drums").size(), kNewSetSize + 5 + 4);
  EXPECT_EQ(std::filesystem::status(dir / "real.drums").permissions(), std::filesystem::perms(0640));

  // A link to a file not made yet: the file appears where the link points.
  std::filesystem::create_symlink("later.drums", dir / "dangling.drums");
  ASSERT_TRUE(doc.OnSaveDocument(dir / "dangling.drums").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.drums"));
  EXPECT_EQ(test::readBytes(dir / "later.drums").size(), kNewSetSize + 5 + 4);

  // A loop of links leads nowhere: the save fails and replaces none of them.
  std::filesystem::create_directories(dir / "x");
  std::filesystem::create_symlink("l2", dir / "x/l1");
  std::filesystem::create_symlink("l1", dir / "x/l2");
  std::filesystem::create_symlink("x/l1", dir / "looped.drums");
  EXPECT_EQ(doc.OnSaveDocument(dir / "looped.drums").message, "Failed to save document.");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "x/l1"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "x/l2"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "x"), {}), 2);
}

}  // namespace
}  // namespace zumbel
