// The desktop program's frame, offscreen: its title and fixed size, start-up with and without a
// file, the recent-file list, and a failed open told as the program tells it.

#include <QApplication>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "CMainFrame.h"
#include "DrumsFile.h"
#include "EngineTestSupport.h"
#include "ScriptedAudio.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "ViewEngine.h"

namespace zumbel {
namespace {

class Frame : public ::testing::Test {
 protected:
  Frame() { system.mixer = &frame.view().live()->engine.mixer(); }

  test::TempDir dir;
  test::ScriptedSystem system;
  SettingsStore settings{QString::fromStdString(dir / "Zumbel.conf")};
  test::RecordingPrompts prompts;
  CMainFrame frame{system, settings, prompts};

  QString saveSet(const std::string& name) {
    CKitbeatDoc doc;
    doc.OnNewDocument();
    doc.appendGroup("Kit");
    const std::string path = dir / name;
    EXPECT_TRUE(doc.OnSaveDocument(path).ok());
    return QString::fromStdString(path);
  }
};

TEST_F(Frame, ANewSetIsNamedInTheTitleAndTheWindowCannotBeResized) {
  ASSERT_TRUE(frame.start(QString()));
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("New Drumset (Not Saved) - Zumbel"));
  EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
  EXPECT_EQ(frame.view().size(), QSize(727, 487));
  // The update sequence ran: the default output plays, nothing was asked or shown.
  EXPECT_TRUE(frame.view().live()->output.isOpen());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(frame.view().live()->engine.trigger().noteOnStatus(), 0x90);
}

TEST_F(Frame, StartingWithAFileOpensItAndRemembersIt) {
  const QString path = saveSet("Rock.drums");
  ASSERT_TRUE(frame.start(path));
  EXPECT_EQ(frame.document().GetPathName(), path.toStdString());
  EXPECT_EQ(frame.windowTitle(), frameTitle(frame.document()));
  EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("Rock")));
  EXPECT_EQ(frame.document().groupCount(), 1);
  EXPECT_EQ(settings.recentFiles(), QStringList{path});
}

TEST_F(Frame, TheRecentListKeepsTheFourLatestOpens) {
  QStringList opened;
  for (int i = 1; i <= 5; ++i) {
    opened.prepend(saveSet("set" + std::to_string(i) + ".drums"));
    ASSERT_TRUE(frame.openDocument(opened.front()));
  }
  EXPECT_EQ(settings.recentFiles(), opened.mid(0, 4));
}

TEST_F(Frame, AFileThatCannotBeOpenedIsReportedAndTheSetStays) {
  ASSERT_TRUE(frame.start(QString()));
  EXPECT_FALSE(frame.openDocument(QString::fromStdString(dir / "missing.drums")));
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("Cannot find this file."), std::string::npos) << prompts.shown[0].first;
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("New Drumset (Not Saved) - Zumbel"));
  EXPECT_TRUE(settings.recentFiles().isEmpty());
}

}  // namespace
}  // namespace zumbel

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
