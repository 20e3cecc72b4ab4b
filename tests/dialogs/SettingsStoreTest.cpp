// The settings store: defaults on a fresh store, what start-up makes of stored values, and the
// recent-file list.

#include <climits>

#include <QDir>

#include <gtest/gtest.h>

#include "SettingsStore.h"
#include "TestSupport.h"

namespace zumbel {
namespace {

class Store : public ::testing::Test {
 protected:
  QString path() const { return QString::fromStdString(dir / "Zumbel.conf"); }
  test::TempDir dir;
};

TEST_F(Store, AFreshStoreGivesTheDefaultOutputFirstMidiPortAndChannelOne) {
  const SettingsStore store(path());
  EXPECT_EQ(store.outputDevice(), 0);
  EXPECT_EQ(store.midiPort(), 0);
  EXPECT_EQ(store.midiChannel(), 1);
  EXPECT_EQ(store.jackOutputPairs(), 1);
  EXPECT_EQ(store.GetProfileInt(kSettingsSection, kOutputEntry, -1), -1);
  EXPECT_TRUE(store.recentFiles().isEmpty());
}

TEST_F(Store, StoredValuesComeBackUncheckedAndUnreadableOnesGiveTheirDefaults) {
  {
    SettingsStore store(path());
    store.WriteProfileInt(kSettingsSection, kOutputEntry, 0);
    store.WriteProfileInt(kSettingsSection, kMidiPortEntry, 3);
    store.WriteProfileInt(kSettingsSection, kMidiChannelEntry, 16);
    store.WriteProfileInt(kSettingsSection, kJackOutputPairsEntry, 3);
    store.sync();
  }
  SettingsStore store(path());
  EXPECT_EQ(store.outputDevice(), 0);  // stored 0 is the default device, as absent is
  EXPECT_EQ(store.midiPort(), 3);
  EXPECT_EQ(store.midiChannel(), 16);
  EXPECT_EQ(store.jackOutputPairs(), 3);
  // A channel outside 1..16 (the file can hold any integer) reads as the nearest channel, and
  // output pairs outside 1..8 as the nearest number of pairs.
  for (const auto& [stored, read] : {std::pair{99, 16}, {INT_MAX, 16}, {0, 1}, {INT_MIN, 1}}) {
    store.WriteProfileInt(kSettingsSection, kMidiChannelEntry, stored);
    EXPECT_EQ(store.midiChannel(), read) << stored;
  }
  for (const auto& [stored, read] : {std::pair{9, 8}, {INT_MAX, 8}, {0, 1}, {-2, 1}}) {
    store.WriteProfileInt(kSettingsSection, kJackOutputPairsEntry, stored);
    EXPECT_EQ(store.jackOutputPairs(), read) << stored;
  }

  // A value someone wrote by hand that is no number reads as its default.
  QSettings raw(path(), QSettings::IniFormat);
  raw.setValue(QStringLiteral("Settings/MidiPortInUse"), QStringLiteral("abc"));
  raw.sync();
  EXPECT_EQ(SettingsStore(path()).midiPort(), 0);
}

TEST_F(Store, RecentFilesKeepTheFourLatestMostRecentFirstAcrossRuns) {
  {
    SettingsStore store(path());
    for (const char* f : {"/kits/a.drums", "/kits/b.drums", "/kits/c.drums", "/kits/d.drums", "/kits/e.drums"}) {
      store.addRecentFile(QString::fromLatin1(f));
    }
    EXPECT_EQ(store.recentFiles(),
              (QStringList{"/kits/e.drums", "/kits/d.drums", "/kits/c.drums", "/kits/b.drums"}));
    // Opening one again moves it to the front without a duplicate.
    store.addRecentFile(QStringLiteral("/kits/c.drums"));
    store.sync();
  }
  const SettingsStore store(path());
  EXPECT_EQ(store.recentFiles(), (QStringList{"/kits/c.drums", "/kits/e.drums", "/kits/d.drums", "/kits/b.drums"}));
  EXPECT_EQ(store.GetProfileInt(kRecentSection, QStringLiteral("File5"), -7), -7);
}

// A set named on the command line relative to where the program started, or with "." and ".." in
// it, is kept as its absolute clean path: it opens from any folder, and is one entry with the
// same file opened from a dialog.
TEST_F(Store, RecentFilesAreKeptAsAbsoluteCleanPaths) {
  SettingsStore store(path());
  const QString absolute = QDir::current().absoluteFilePath(QStringLiteral("kit/Demo.drums"));
  store.addRecentFile(QStringLiteral("kit/Demo.drums"));
  EXPECT_EQ(store.recentFiles(), QStringList{absolute});
  store.addRecentFile(QStringLiteral("./kit/../kit//Demo.drums"));
  store.addRecentFile(absolute);
  EXPECT_EQ(store.recentFiles(), QStringList{absolute});
  store.removeRecentFile(QStringLiteral("kit/./Demo.drums"));
  EXPECT_TRUE(store.recentFiles().isEmpty());

  // One an older version stored as typed still leaves the list when it fails to open.
  QSettings raw(path(), QSettings::IniFormat);
  raw.setValue(QStringLiteral("Recent File List/File1"), QStringLiteral("mv/kit/Demo.drums"));
  raw.sync();
  SettingsStore older(path());
  older.removeRecentFile(QStringLiteral("mv/kit/Demo.drums"));
  EXPECT_TRUE(older.recentFiles().isEmpty());
}

}  // namespace
}  // namespace zumbel
