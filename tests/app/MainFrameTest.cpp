// The desktop program's frame, offscreen: its title and fixed size, start-up with and without a
// file, the recent-file list, and a failed open told as the program tells it.

#include <QApplication>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "AboutDialog.h"
#include "CMainFrame.h"
#include "DrumsFile.h"
#include "EngineTestSupport.h"
#include "ScriptedAudio.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "ViewEngine.h"

namespace zumbel {
namespace {

// Answers "Save changes?" from a script and records the questions.
class AnsweringPrompts : public test::RecordingPrompts {
 public:
  Answer askYesNoCancel(std::string_view text, std::string_view caption) override {
    asked.emplace_back(std::string(text), std::string(caption));
    return answer;
  }
  Answer answer = Answer::kCancel;
  std::vector<std::pair<std::string, std::string>> asked;
};

class Frame : public ::testing::Test {
 protected:
  Frame() { system.mixer = &frame.view().live()->engine.mixer(); }

  test::TempDir dir;
  test::ScriptedSystem system;
  SettingsStore settings{QString::fromStdString(dir / "Zumbel.conf")};
  AnsweringPrompts prompts;
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

TEST_F(Frame, F1AloneOpensTheBundledManual) {
  std::vector<QUrl> opened;
  frame.setHelp(QString::fromStdString(dir / "cache"), [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  for (Qt::KeyboardModifier m : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
    QTest::keyClick(&frame, Qt::Key_F1, m);
  }
  EXPECT_TRUE(opened.empty());
  QTest::keyClick(&frame, Qt::Key_F1);
  ASSERT_EQ(opened.size(), 1u);
  ASSERT_TRUE(opened[0].isLocalFile());
  QFile manual(opened[0].toLocalFile());
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
  EXPECT_TRUE(manual.readAll().contains("Zumbel, the drum sampler"));
}

TEST(AboutBox, ShowsTheLogoOnItsPanel) {
  const QImage picture = aboutPicture();
  EXPECT_EQ(picture.size(), QSize(236, 280));
  // The logo came from the skin: the picture is more than its flat panel colour.
  int differing = 0;
  for (int y = 40; y < 110; ++y) differing += picture.pixel(118, y) != picture.pixel(10, 10);
  EXPECT_GT(differing, 5);
}

TEST_F(Frame, NewAsksToSaveAModifiedSetAndCancelKeepsIt) {
  const QString path = saveSet("Jazz.drums");
  ASSERT_TRUE(frame.start(path));
  EXPECT_TRUE(frame.OnFileNew());  // unmodified: nothing asked
  EXPECT_TRUE(prompts.asked.empty());

  ASSERT_TRUE(frame.openDocument(path));
  frame.document().SetModifiedFlag(true);
  EXPECT_FALSE(frame.OnFileNew());
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0], (std::pair<std::string, std::string>{"Save changes to Jazz.drums?", "Zumbel"}));
  EXPECT_EQ(frame.document().GetPathName(), path.toStdString());  // cancelled: the set stays

  prompts.answer = Prompts::Answer::kNo;
  EXPECT_TRUE(frame.OnFileNew());
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("New Drumset (Not Saved) - Zumbel"));

  // Yes saves to the set's own path first.
  ASSERT_TRUE(frame.openDocument(path));
  frame.document().appendGroup("Brushes");
  frame.document().SetModifiedFlag(true);
  prompts.answer = Prompts::Answer::kYes;
  EXPECT_TRUE(frame.OnFileNew());
  CKitbeatDoc reread;
  ASSERT_TRUE(reread.OnOpenDocument(path.toStdString()).ok());
  EXPECT_EQ(reread.groupCount(), 2);
}

}  // namespace
}  // namespace zumbel

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
