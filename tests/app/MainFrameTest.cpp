// The desktop program's frame, offscreen: its title and fixed size, start-up with and without a
// file, the recent-file list, and a failed open told as the program tells it.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "CKitbeatView.h"
#include "AboutDialog.h"
#include "AppIcon.h"
#include "CMainFrame.h"
#include "KitImport.h"
#include "cli/Commands.h"
#include "DrumsFile.h"
#include "ZumbelVersion.h"
#include "FileNames.h"
#include "cli/KitReport.h"
#include "EngineTestSupport.h"
#include "KitSupport.h"
#include "ScriptedAudio.h"
#include "ScriptedDialogs.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "QtPrompts.h"
#include "ViewEngine.h"
#include "WaveReader.h"

namespace zumbel {
namespace {

// Answers "Save changes?" from a script and records the questions; every yes/no question is
// answered `yes`.
class AnsweringPrompts : public test::RecordingPrompts {
 public:
  bool askYesNo(std::string_view text, std::string_view caption) override {
    asked.emplace_back(std::string(text), std::string(caption));
    return yes;
  }
  bool yes = false;
  Answer askYesNoNoToAll(std::string_view text, std::string_view caption) override {
    return askYesNo(text, caption) ? Answer::kYes : Answer::kNo;
  }
  Answer askYesNoCancel(std::string_view text, std::string_view caption) override {
    asked.emplace_back(std::string(text), std::string(caption));
    return answer;
  }
  Answer answer = Answer::kCancel;
  std::vector<std::pair<std::string, std::string>> asked;
};

// Answers the modal dialogs a command opens, as a user would, from a timer: `step` gets each
// modal widget while it is up. One still up after ten seconds is rejected, so a test whose
// dialog went wrong fails instead of hanging.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> step) : step_(std::move(step)) {
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start();
  }
  bool timedOut() const { return timedOut_; }

 private:
  static constexpr int kTickMs = 10;
  static constexpr int kMaxTicks = 1000;

  void tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (++ticks_ > kMaxTicks) {
      timedOut_ = true;
      if (auto* d = qobject_cast<QDialog*>(modal)) {
        d->reject();
      } else {
        modal->close();
      }
      return;
    }
    step_(modal);
  }

  std::function<void(QWidget*)> step_;
  QTimer timer_;
  int ticks_ = 0;
  bool timedOut_ = false;
};

// Types `name` into a file dialog's name field in `folder` and presses its default button.
void typeFileName(QFileDialog* dialog, const std::string& folder, const QString& name) {
  dialog->setDirectory(QString::fromStdString(folder));
  if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(name);
  // Queued: accepting may open a question of its own, which the driver's next tick must answer
  // (a timer does not fire again while its own handler still runs).
  QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
}

class Frame : public ::testing::Test {
 protected:
  Frame() { system.mixer = &frame.view().live()->engine.mixer(); }

  test::TempDir dir;
  test::ScriptedSystem system;
  SettingsStore settings{QString::fromStdString(dir / "Zumbel.conf")};
  AnsweringPrompts prompts;
  CMainFrame frame{system, settings, prompts};

  void writeSample(const std::string& path) { ASSERT_TRUE(test::writeTestWav(path, 64)); }

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
  const QSize fixed = frame.size();
  EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
  frame.showMaximized();
  QApplication::processEvents();
  EXPECT_FALSE(frame.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(frame.size(), fixed);
  frame.resize(fixed + QSize(100, 100));
  EXPECT_EQ(frame.size(), fixed);
  EXPECT_EQ(frame.pos(), QPoint(0, 0));
  // The update sequence ran: the default output plays, nothing was asked or shown.
  EXPECT_TRUE(frame.view().live()->output.isOpen());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(frame.view().live()->engine.trigger().noteOnStatus(), 0x90);
}

// A machine where no output opens: the failure is told once, over the drawn window, the window
// still comes up with the set, and closing it afterwards is uneventful.
TEST(FrameWithoutOutput, StartsTellsWhyAndCloses) {
  test::TempDir dir;
  test::ScriptedSystem system;
  system.scripts["JACK"].status = OpenStatus::kNoDevice;
  system.scripts["ALSA: default"].status = OpenStatus::kNoDevice;
  SettingsStore settings{QString::fromStdString(dir / "Zumbel.conf")};
  struct DrawnWhenTold : AnsweringPrompts {
    void showMessage(std::string_view text, std::string_view caption) override {
      drawn = view && view->renderer().hasSkin();
      AnsweringPrompts::showMessage(text, caption);
    }
    CKitbeatView* view = nullptr;
    bool drawn = false;
  } prompts;
  auto frame = std::make_unique<CMainFrame>(system, settings, prompts);
  system.mixer = &frame->view().live()->engine.mixer();
  prompts.view = &frame->view();
  ASSERT_TRUE(frame->start(QString()));
  EXPECT_TRUE(prompts.drawn);
  EXPECT_FALSE(frame->view().live()->output.isOpen());
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first, "Internal Error: 'Can not Create DirectSound'");
  frame.reset();
  EXPECT_EQ(prompts.shown.size(), 1u);
}

// The skin's Load Set and Save Set buttons do what the File menu's Open and Save As do.
TEST_F(Frame, TheSetButtonsSaveAndOpenLikeTheFileMenu) {
  ASSERT_TRUE(frame.start(QString()));
  test::ScriptedDialogs dialogs;
  frame.view().setDialogs(&dialogs);
  const auto click = [&](skin::Button b) {
    const skin::Rect r = skin::kButtonRects[static_cast<std::size_t>(b)];
    QTest::mouseClick(&frame.view(), Qt::LeftButton, {}, QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  };
  frame.document().appendGroup("Kit");
  frame.document().SetModifiedFlag();
  const std::string mine = dir / "Mine.drums";
  dialogs.files = {{mine}};
  click(skin::Button::kSaveSet);
  EXPECT_EQ(dialogs.asked.back().filter, "Drum set (*.drums)");
  EXPECT_EQ(dialogs.asked.back().suffix, "drums");
  EXPECT_EQ(frame.document().GetPathName(), mine);
  EXPECT_FALSE(frame.document().IsModified());
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Mine.drums - Zumbel"));
  EXPECT_EQ(settings.recentFiles().value(0), QString::fromStdString(mine));

  const QString other = saveSet("Other.drums");
  frame.document().SetModifiedFlag();
  prompts.answer = Prompts::Answer::kNo;
  dialogs.files = {{other.toStdString()}};
  click(skin::Button::kLoadSet);
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].first, "Save changes to Mine.drums?");
  EXPECT_EQ(frame.document().GetPathName(), other.toStdString());
  frame.view().setDialogs(nullptr);
}

TEST_F(Frame, TheTitleMarksUnsavedChangesAndTheEditMenuTakesThemBack) {
  ASSERT_TRUE(frame.start(saveSet("Kit.drums")));
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  test::ScriptedDialogs dialogs;
  frame.view().setDialogs(&dialogs);
  const auto action = [&](const QString& prefix) -> QAction* {
    for (QAction* a : frame.findChildren<QAction*>()) {
      if (a->text().startsWith(prefix)) return a;
    }
    return nullptr;
  };
  ASSERT_NE(action(QStringLiteral("&Undo")), nullptr);
  EXPECT_FALSE(action(QStringLiteral("&Undo"))->isEnabled());
  dialogs.names = {std::string("Toms")};
  frame.view().NewGroup();
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("*Kit.drums - Zumbel"));
  ASSERT_NE(action(QStringLiteral("&Undo New Group")), nullptr);
  EXPECT_TRUE(action(QStringLiteral("&Undo New Group"))->isEnabled());

  QTest::keyClick(&frame.view(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(frame.document().groupCount(), 1);
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Kit.drums - Zumbel")) << "back as saved";
  ASSERT_NE(action(QStringLiteral("&Redo New Group")), nullptr);
  QTest::keyClick(&frame.view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(frame.document().groupCount(), 2);
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("*Kit.drums - Zumbel"));
  ASSERT_TRUE(frame.OnFileSave());
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Kit.drums - Zumbel"));
  // Undo after the save is a change again; opening another set leaves nothing to undo.
  QTest::keyClick(&frame.view(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(frame.windowTitle().startsWith(QLatin1Char('*')));
  prompts.answer = Prompts::Answer::kNo;
  ASSERT_TRUE(frame.openDocument(saveSet("Other.drums")));
  EXPECT_FALSE(frame.view().history().canUndo());
  EXPECT_FALSE(action(QStringLiteral("&Undo"))->isEnabled());
  frame.view().setDialogs(nullptr);
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

// What of the set's extras file cannot be used is told in one message; the set opens with the rest.
TEST_F(Frame, WhatTheExtrasFileCouldNotGiveIsToldOnceAndTheSetOpens) {
  const QString path = saveSet("Rock.drums");
  std::ofstream(dir / "Rock.zumbel") << R"({"sounds": {"2": {"name": "Snare", "levelDb": 99}, "300": {}}})";
  ASSERT_TRUE(frame.openDocument(path));
  EXPECT_EQ(frame.document().soundExtras(2).name, "Snare");
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].first,
            "The set opened, but some of its extras were left out:\n"
            "\nRock.zumbel: sound 2: level 99 is not a level in dB (-60 to +12) or \"off\""
            "\nRock.zumbel: sound \"300\" is not a sound 0-127");
  std::ofstream(dir / "Rock.zumbel", std::ios::trunc) << R"({"sounds": {"2": {"levelDb": -6}}})";
  ASSERT_TRUE(frame.openDocument(path));
  EXPECT_EQ(prompts.shown.size(), 1u);  // nothing left out, nothing told
}

TEST_F(Frame, TheRecentListKeepsTheFourLatestOpens) {
  QStringList opened;
  for (int i = 1; i <= 5; ++i) {
    opened.prepend(saveSet("set" + std::to_string(i) + ".drums"));
    ASSERT_TRUE(frame.openDocument(opened.front()));
  }
  EXPECT_EQ(settings.recentFiles(), opened.mid(0, 4));
}

// The recent sets are numbered entries of the File menu itself, a greyed place holder while
// there is none. Chosen there, a set that was deleted since is reported and leaves the list.
TEST_F(Frame, ARecentSetThatNoLongerOpensLeavesTheList) {
  QMenu* file = nullptr;
  for (QMenu* m : frame.findChildren<QMenu*>()) {
    EXPECT_NE(m->title(), QStringLiteral("Recent File")) << "no submenu";
    if (m->title() == QStringLiteral("&File")) file = m;
  }
  ASSERT_NE(file, nullptr);
  const auto recent = [&] {
    QList<QAction*> entries;
    for (QAction* a : file->actions()) {
      const QString t = a->text();
      if (t == QStringLiteral("Recent File") || (t.size() > 2 && t[0] == QLatin1Char('&') && t[1].isDigit())) {
        entries.push_back(a);
      }
    }
    return entries;
  };
  ASSERT_EQ(recent().size(), 1);
  EXPECT_FALSE(recent()[0]->isEnabled());

  const QString kept = saveSet("Kept.drums");
  const QString deleted = saveSet("Deleted.drums");
  ASSERT_TRUE(frame.openDocument(kept));
  ASSERT_TRUE(frame.openDocument(deleted));
  ASSERT_TRUE(frame.openDocument(kept));
  std::filesystem::remove(deleted.toStdString());
  ASSERT_EQ(recent().size(), 2);
  EXPECT_TRUE(recent()[0]->text().startsWith(QStringLiteral("&1 ...")));
  EXPECT_EQ(recent()[0]->text().size(), 3 + 30);
  EXPECT_TRUE(recent()[1]->text().endsWith(QStringLiteral("/Deleted.drums")));
  recent()[1]->trigger();
  QApplication::processEvents();
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("Cannot find this file."), std::string::npos);
  EXPECT_EQ(prompts.icons, std::vector<MessageIcon>{MessageIcon::kWarning});
  EXPECT_EQ(settings.recentFiles(), QStringList{kept});
  EXPECT_EQ(recent().size(), 1);
  EXPECT_TRUE(recent()[0]->isEnabled());
  EXPECT_EQ(frame.document().GetPathName(), kept.toStdString());
}

// File > Open asks about the changes only once a set was chosen; a cancelled dialog asks nothing.
TEST_F(Frame, OpenAsksToSaveOnlyAfterASetIsChosen) {
  ASSERT_TRUE(frame.start(QString()));
  const QString other = saveSet("Other.drums");
  frame.document().SetModifiedFlag();
  QAction* open = nullptr;
  for (QAction* a : frame.findChildren<QAction*>()) {
    if (a->text() == QStringLiteral("&Open...")) open = a;
  }
  ASSERT_NE(open, nullptr);
  prompts.answer = Prompts::Answer::kNo;
  std::vector<std::size_t> askedBeforeDialog;
  const auto openChoosing = [&](bool choose) {
    ModalDriver user([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return;
      askedBeforeDialog.push_back(prompts.asked.size());
      if (choose) {
        typeFileName(dialog, dir.path(), QStringLiteral("Other.drums"));
      } else {
        dialog->reject();
      }
    });
    open->trigger();
    EXPECT_FALSE(user.timedOut());
  };
  openChoosing(false);
  EXPECT_TRUE(prompts.asked.empty());
  openChoosing(true);
  EXPECT_EQ(askedBeforeDialog, (std::vector<std::size_t>{0, 0}));
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].first, "Save changes to New Drumset (Not Saved)?");
  EXPECT_EQ(frame.document().GetPathName(), other.toStdString());
}

// The program's message boxes: a question looks like one, the failures of sets and sample lists
// carry a warning and a stop sign, and an unreadable sample's box the desktop's "Error".
TEST(Boxes, CarryTheirIconsAndCaptions) {
  QWidget owner;
  QtPrompts prompts(&owner);
  std::vector<std::pair<QMessageBox::Icon, QString>> seen;
  ModalDriver user([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    seen.emplace_back(box->icon(), box->windowTitle());
    box->button(box->buttons().contains(box->button(QMessageBox::Cancel)) ? QMessageBox::Cancel : QMessageBox::Ok)
        ->click();
  });
  prompts.askYesNoCancel("Save changes to Kit.drums?", kAppCaption);
  prompts.showAlert(MessageIcon::kWarning, "Unexpected file format.", kAppCaption);
  prompts.showAlert(MessageIcon::kCritical, "Kicks.slist was not found.", kAppCaption);
  prompts.showMessage(kCouldNotOpenFile, kCouldNotOpenFileCaption);
  const std::vector<std::pair<QMessageBox::Icon, QString>> expected{{QMessageBox::Question, "Zumbel"},
                                                                    {QMessageBox::Warning, "Zumbel"},
                                                                    {QMessageBox::Critical, "Zumbel"},
                                                                    {QMessageBox::NoIcon, "Error"}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(user.timedOut());
}

// The output's device goes away while the window is open: it is closed and the user told once;
// the next set opened plays again.
TEST_F(Frame, AnOutputThatGoesAwayIsClosedAndToldOnce) {
  ASSERT_TRUE(frame.start(QString()));
  ViewEngine& live = *frame.view().live();
  ASSERT_TRUE(live.output.isOpen());
  frame.view().checkOutput();
  EXPECT_TRUE(prompts.shown.empty());
  system.scripts["JACK"].alive = false;
  frame.view().checkOutput();
  frame.view().checkOutput();
  EXPECT_FALSE(live.output.isOpen());
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("audio output has gone away"), std::string::npos);
  system.scripts["JACK"].alive = true;
  ASSERT_TRUE(frame.OnFileNew());
  EXPECT_TRUE(live.output.isOpen());
}

TEST_F(Frame, AFileThatCannotBeOpenedIsReportedAndTheSetStays) {
  ASSERT_TRUE(frame.start(QString()));
  EXPECT_FALSE(frame.openDocument(QString::fromStdString(dir / "missing.drums")));
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("Cannot find this file."), std::string::npos) << prompts.shown[0].first;
  EXPECT_EQ(prompts.icons, std::vector<MessageIcon>{MessageIcon::kWarning});
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("New Drumset (Not Saved) - Zumbel"));
  EXPECT_TRUE(settings.recentFiles().isEmpty());
}

// The set's folder went away while it was open: Save reports it and the set stays modified.
TEST_F(Frame, ASaveThatFailsIsReportedAndTheChangesStayUnsaved) {
  std::filesystem::create_directories(dir / "gone");
  const std::string path = dir / "gone/Set.drums";
  {
    CKitbeatDoc doc;
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnSaveDocument(path).ok());
  }
  ASSERT_TRUE(frame.start(QString::fromStdString(path)));
  frame.document().appendGroup("Toms");
  frame.document().SetModifiedFlag(true);
  std::filesystem::remove_all(dir / "gone");
  EXPECT_FALSE(frame.OnFileSave());
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].second, "Zumbel");
  EXPECT_EQ(prompts.icons, std::vector<MessageIcon>{MessageIcon::kWarning});
  EXPECT_TRUE(prompts.shown[0].first.starts_with(path)) << prompts.shown[0].first;
  EXPECT_TRUE(frame.document().IsModified());
  EXPECT_EQ(settings.recentFiles(), QStringList{QString::fromStdString(path)});
}

TEST_F(Frame, F1AloneOpensTheBundledManual) {
  std::vector<QUrl> opened;
  frame.setHelp(QString::fromStdString(dir / "cache"), [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  frame.show();
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
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
  EXPECT_TRUE(frame.findChildren<QTextBrowser*>().isEmpty());  // the browser shows it
}

// A desktop without a browser: F1 shows the manual in a window of the program's own, beside the
// main window, and F1 again brings that window back instead of opening another.
TEST_F(Frame, F1WithoutABrowserShowsTheManualInAWindowOfItsOwn) {
  int tries = 0;
  frame.setHelp(QString::fromStdString(dir / "cache"), [&](const QUrl&) {
    ++tries;
    return false;
  });
  frame.OnHelp();
  const QList<QTextBrowser*> shown = frame.findChildren<QTextBrowser*>();
  ASSERT_EQ(shown.size(), 1);
  QWidget* window = shown[0]->window();
  ASSERT_NE(window, &frame);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Zumbel Help"));
  EXPECT_TRUE(shown[0]->toPlainText().contains(QStringLiteral("Zumbel, the drum sampler")));
  window->close();
  frame.OnHelp();
  EXPECT_EQ(tries, 2);
  EXPECT_EQ(frame.findChildren<QTextBrowser*>(), shown);
  EXPECT_TRUE(window->isVisible());
}

TEST(AppIcon, EveryWindowGetsTheThemesPicturesAtEverySize) {
  applyAppIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("org.nordwick.Zumbel"));
  QWidget window;
  const QIcon icon = window.windowIcon();
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    // The exact picture the install puts in the icon theme, not a scaled neighbour.
    const QImage installed(QStringLiteral(ZUMBEL_SOURCE_DIR "/packaging/icons/zumbel-%1.png").arg(size));
    ASSERT_FALSE(installed.isNull()) << size;
    // Premultiplied, as the pixmap holds it: converting back rounds differently on different
    // processors.
    EXPECT_EQ(icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              installed.convertToFormat(QImage::Format_ARGB32_Premultiplied))
        << size;
  }
}

TEST(AboutBox, ShowsTheLogoOnItsPanel) {
  const QImage picture = aboutPicture();
  EXPECT_EQ(picture.size(), QSize(236, 280));
  // The logo came from the skin: the picture is more than its flat panel colour.
  int differing = 0;
  for (int y = 40; y < 110; ++y) differing += picture.pixel(118, y) != picture.pixel(10, 10);
  EXPECT_GT(differing, 5);

  // The version label shows its whole text, inside the box.
  AboutDialog box;
  EXPECT_EQ(box.windowTitle(), QStringLiteral("About Zumbel"));
  QLabel* version = nullptr;
  for (QLabel* l : box.findChildren<QLabel*>()) {
    if (l->text() == QString::fromLatin1(kAboutVersion)) version = l;
  }
  ASSERT_NE(version, nullptr);
  EXPECT_GE(version->width(), version->sizeHint().width());
  EXPECT_TRUE(QRect(QPoint(0, 0), box.size()).contains(version->geometry()));
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

// Every layer of every sound has a sample of its own: the most a set can ask to be read.
TEST_F(Frame, AFullSetShowsItsProgressAndTheWindowKeepsRepainting) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const int g = doc.appendGroup("Kit");
  for (int e = 0; e < 5; ++e) {
    writeSample(dir / ("s" + std::to_string(e) + ".wav"));
    doc.appendSample(g, dir / ("s" + std::to_string(e) + ".wav"));
  }
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) doc.AssignSample(n, j, {g, j});
  }
  const std::string path = dir / "Full.drums";
  ASSERT_TRUE(doc.OnSaveDocument(path).ok());

  // A call that posts itself again runs once per pass of the event loop: a load that did not
  // let the loop run would starve it. It also reads the progress dialog while loading.
  int passesWhileLoading = 0;
  int dialogMaximum = -1;
  int dialogValue = -1;
  bool watching = true;
  std::function<void()> watch = [&] {
    if (!watching) return;
    if (frame.view().loading()) {
      ++passesWhileLoading;
      for (QProgressDialog* d : frame.findChildren<QProgressDialog*>()) {
        dialogMaximum = d->maximum();
        dialogValue = std::max(dialogValue, d->value());
      }
    }
    QMetaObject::invokeMethod(&frame, watch, Qt::QueuedConnection);
  };
  QMetaObject::invokeMethod(&frame, watch, Qt::QueuedConnection);
  frame.show();
  ASSERT_TRUE(frame.openDocument(QString::fromStdString(path)));
  watching = false;

  int voices = 0;
  for (int n = 0; n < kSoundCount; ++n) {
    for (int j = 0; j < kLayerCount; ++j) voices += frame.view().live()->engine.voices().voice(n, j) != nullptr;
  }
  EXPECT_EQ(voices, kSoundCount * kLayerCount);
  EXPECT_GT(passesWhileLoading, kSoundCount * kLayerCount / 2);
  // The dialog counted the layers (it shows itself only once loading has lasted a while).
  EXPECT_EQ(dialogMaximum, kSoundCount * kLayerCount);
  EXPECT_GE(dialogValue, kSoundCount * kLayerCount - 1);
  EXPECT_TRUE(frame.findChildren<QProgressDialog*>().isEmpty());
  EXPECT_FALSE(frame.view().loading());
}

// The user says Yes to "locate it?" and picks the file in the real Open dialog; the next missing
// file of the same folder is then found without a question.
TEST_F(Frame, AMissingSampleIsLocatedInTheOpenDialog) {
  std::filesystem::create_directories(dir / "moved");
  writeSample(dir / "moved/kick.wav");
  writeSample(dir / "moved/snare.wav");
  CKitbeatDoc doc;
  doc.OnNewDocument();
  const int g = doc.appendGroup("Kit");
  doc.appendSample(g, "/nowhere/kick.wav");
  doc.appendSample(g, "/nowhere/snare.wav");
  doc.AssignSample(36, 0, {g, 0});
  doc.AssignSample(38, 0, {g, 1});
  const std::string path = dir / "Lost.drums";
  ASSERT_TRUE(doc.OnSaveDocument(path).ok());

  prompts.yes = true;
  QStringList filters;
  QString startedAt;
  QString startFolder;
  int dialogs = 0;
  {
    ModalDriver user([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return;
      ++dialogs;
      filters = dialog->nameFilters();
      startedAt = dialog->selectedFiles().value(0);
      startFolder = dialog->directory().absolutePath();
      typeFileName(dialog, dir / "moved", QStringLiteral("kick.wav"));
    });
    ASSERT_TRUE(frame.openDocument(QString::fromStdString(path)));
    EXPECT_FALSE(user.timedOut());
  }

  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(filters, QStringList{QString::fromLatin1(kWavFilter)});
  EXPECT_TRUE(startedAt.endsWith(QStringLiteral("kick.wav"))) << startedAt.toStdString();
  // Nothing located yet: the dialog starts beside the set, where moved samples most often are.
  EXPECT_EQ(startFolder, QString::fromStdString(dir.path())) << startFolder.toStdString();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].second, "File kick.wav has not been found");
  EXPECT_EQ(frame.document().groupList(0)[0], dir / "moved/kick.wav");
  EXPECT_EQ(frame.document().groupList(0)[1], dir / "moved/snare.wav");
  EXPECT_NE(frame.view().live()->engine.voices().voice(36, 0), nullptr);
  EXPECT_NE(frame.view().live()->engine.voices().voice(38, 0), nullptr);
  // Only this session knows the new paths: New, Open and Exit ask to save them.
  EXPECT_TRUE(frame.document().IsModified());
}

// File > Import Kit: a Hydrogen kit becomes a new set, unsaved and titled after the kit, that
// plays at once; Save proposes the path the import was given. A kit that cannot be read is told
// and leaves the set as it was.
TEST_F(Frame, AnImportedKitOpensAsANewUnsavedSet) {
  std::filesystem::create_directories(dir / "kit");
  writeSample(dir / "kit/kick.wav");
  std::ofstream(dir / "kit/drumkit.xml") << "<drumkit_info><name>Tiny Kit</name><instrumentList><instrument>"
                                            "<name>Kick</name><volume>0.5</volume><filename>kick.wav</filename></instrument>"
                                            "</instrumentList></drumkit_info>";
  const QString path = saveSet("Jazz.drums");
  ASSERT_TRUE(frame.start(path));
  frame.document().SetModifiedFlag(true);
  EXPECT_FALSE(frame.OnFileImportKit());  // "Save changes?" cancelled: no dialog, nothing imported
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(frame.document().GetPathName(), path.toStdString());
  frame.document().SetModifiedFlag(false);

  const QString target = QString::fromStdString(dir / "Tiny.drums");
  ASSERT_TRUE(frame.importKit(QString::fromStdString(dir / "kit/drumkit.xml"), target));
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("*Tiny Kit - Zumbel"));
  EXPECT_TRUE(frame.document().IsModified());
  EXPECT_TRUE(frame.document().GetPathName().empty());
  EXPECT_EQ(frame.document().groupList(0)[0], dir / "kit/kick.wav");
  ASSERT_NE(frame.view().live()->engine.voices().voice(0, 0), nullptr);
  // The kit's name and volume came with it, and its voice plays at that level.
  EXPECT_EQ(frame.document().soundExtras(0).name, "Kick");
  EXPECT_EQ(frame.document().soundExtras(0).level, -602);
  EXPECT_EQ(frame.view().live()->engine.voices().voice(0, 0)->trim(), -602);
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].first.find("Imported Tiny Kit: 1 sound, 1 sample in 1 group (files at 44100 Hz)."), std::string::npos) << prompts.shown[0].first;
  EXPECT_FALSE(std::filesystem::exists(target.toStdString()));

  QString proposed;
  {
    ModalDriver user([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        proposed = dialog->selectedFiles().value(0);
        dialog->reject();
      }
    });
    EXPECT_FALSE(frame.OnFileSaveAs());
  }
  EXPECT_EQ(proposed, target);

  // A folder without a kit file: told, and the imported set stays.
  std::filesystem::create_directories(dir / "empty");
  EXPECT_FALSE(frame.importKit(QString::fromStdString(dir / "empty"), target));
  ASSERT_EQ(prompts.shown.size(), 2u);
  EXPECT_NE(prompts.shown[1].first.find("drumkit.xml"), std::string::npos);
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("*Tiny Kit - Zumbel"));

  // An archive whose kit has nothing to play: told, and the folder unpacked for it goes again.
  test::writeArchive(dir / "empty.h2drumkit", {{"Empty/drumkit.xml", test::kitXml("Empty Kit", "")}});
  std::filesystem::create_directories(dir / "sets");
  EXPECT_FALSE(frame.importKit(QString::fromStdString(dir / "empty.h2drumkit"), QString::fromStdString(dir / "sets/E.drums")));
  ASSERT_EQ(prompts.shown.size(), 3u);
  EXPECT_NE(prompts.shown[2].first.find("nothing to import"), std::string::npos) << prompts.shown[2].first;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "sets"));
}

// Import Kit asks which notes the instruments go on, Kit order first and the default, before it
// asks where the set goes; the kit is read with the answer, and Cancel ends the import there.
TEST_F(Frame, ImportKitAsksForTheNotePlacementAndReadsTheKitWithIt) {
  std::filesystem::create_directories(dir / "kit");
  writeSample(dir / "kit/kick.wav");
  std::ofstream(dir / "kit/drumkit.xml") << test::kitXml("Tiny Kit", "<instrument><name>Kick</name><filename>kick.wav</filename></instrument>");
  std::vector<import::NotePlacement> readWith;
  frame.setKitImporter([&](const std::string& folder, CKitbeatDoc& doc, const import::ImportOptions& options) {
    readWith.push_back(options.notes);
    return import::importHydrogenFolder(folder, doc, options);
  });
  ASSERT_TRUE(frame.start(QString()));
  // The kit dialog starts among the user's Hydrogen kits when there are any, else the system's.
  frame.setKitFolders({QString::fromStdString(dir / "user-kits"), QString::fromStdString(dir / "system-kits")});
  std::filesystem::create_directories(dir / "system-kits");
  QStringList startedIn;
  const auto importAnswering = [&](const QString& button, QString& defaultButton, int& saveDialogs) {
    ModalDriver user([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (box->defaultButton()) defaultButton = box->defaultButton()->text();
        QAbstractButton* chosen = button.isEmpty() ? box->button(QMessageBox::Cancel) : box->findChild<QAbstractButton*>(button);
        ASSERT_NE(chosen, nullptr);
        chosen->click();
      } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        if (dialog->acceptMode() == QFileDialog::AcceptSave) {
          ++saveDialogs;
          typeFileName(dialog, dir.path(), QStringLiteral("Tiny"));
        } else {
          startedIn.push_back(dialog->directory().absolutePath());
          typeFileName(dialog, dir / "kit", QStringLiteral("drumkit.xml"));
        }
      }
    });
    const bool imported = frame.OnFileImportKit();
    EXPECT_FALSE(user.timedOut());
    return imported;
  };
  QString defaultButton;
  int saveDialogs = 0;
  EXPECT_FALSE(importAnswering(QString(), defaultButton, saveDialogs));
  EXPECT_EQ(defaultButton, "Kit order");
  EXPECT_EQ(saveDialogs, 0);
  EXPECT_TRUE(readWith.empty());

  std::filesystem::create_directories(dir / "user-kits");
  ASSERT_TRUE(importAnswering(QStringLiteral("generalMidi"), defaultButton, saveDialogs));
  EXPECT_EQ(startedIn, (QStringList{QString::fromStdString(dir / "system-kits"), QString::fromStdString(dir / "user-kits")}));
  EXPECT_EQ(saveDialogs, 1);
  EXPECT_EQ(readWith, std::vector<import::NotePlacement>{import::NotePlacement::kGeneralMidi});
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("*Tiny Kit - Zumbel"));
}

// Save As through its dialog, with the name typed without its extension: the file read back is
// the set the window holds, and the demo kit's own file but for the paths the opening relinked.
TEST_F(Frame, SaveAsWritesWhatTheWindowHolds) {
  const std::string demo = ZUMBEL_SOURCE_DIR "/resources/demo/Demo.drums";
  ASSERT_TRUE(frame.start(QString::fromStdString(demo)));
  EXPECT_TRUE(prompts.asked.empty());
  QString proposed;
  {
    ModalDriver user([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return;
      proposed = dialog->selectedFiles().value(0);
      typeFileName(dialog, dir.path(), QStringLiteral("Copy"));
    });
    ASSERT_TRUE(frame.OnFileSaveAs());
    EXPECT_FALSE(user.timedOut());
  }
  // An opened set is proposed where it lies.
  EXPECT_EQ(proposed.toStdString(), demo);

  const std::string saved = dir / "Copy.drums";
  EXPECT_EQ(frame.windowTitle(), QStringLiteral("Copy.drums - Zumbel"));
  EXPECT_EQ(settings.recentFiles().value(0), QString::fromStdString(saved));
  std::ostringstream info, err, held;
  ASSERT_EQ(runInfo({saved, "--json"}, info, err), kExitOk) << err.str();
  writeKitJson(held, frame.document().content(), frame.document().extras());
  EXPECT_EQ(info.str(), held.str());

  CKitbeatDoc original, reread;
  ASSERT_TRUE(original.OnOpenDocument(demo).ok());
  ASSERT_TRUE(reread.OnOpenDocument(saved).ok());
  for (int g = 0; g < original.groupCount(); ++g) {
    ASSERT_EQ(original.groupSize(g), reread.groupSize(g));
    for (int e = 0; e < original.groupSize(g); ++e) {
      EXPECT_EQ(FileNamePart(original.groupList(g)[static_cast<std::size_t>(e)]),
                FileNamePart(reread.groupList(g)[static_cast<std::size_t>(e)]));
    }
  }
  DrumSetContent expected = original.content();
  expected.groupLists = reread.content().groupLists;
  EXPECT_TRUE(expected == reread.content());

  // The same name typed again, without its extension: the dialog asks before replacing the
  // file, and No leaves it as it was.
  frame.document().appendGroup("Extra");
  frame.document().SetModifiedFlag(true);
  bool askedToReplace = false;
  {
    ModalDriver user([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        askedToReplace = true;
        box->button(QMessageBox::No)->click();
      } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        if (askedToReplace) {
          dialog->reject();
        } else {
          typeFileName(dialog, dir.path(), QStringLiteral("Copy"));
        }
      }
    });
    EXPECT_FALSE(frame.OnFileSaveAs());
    EXPECT_FALSE(user.timedOut());
  }
  EXPECT_TRUE(askedToReplace);
  CKitbeatDoc untouched;
  ASSERT_TRUE(untouched.OnOpenDocument(saved).ok());
  EXPECT_EQ(untouched.groupCount(), original.groupCount());
}

// `make run` opens the demo by a relative path. Its samples, found beside it, keep the paths the
// set stored: Ctrl+S with no edit writes the same file, from whatever folder the program was
// started, and a copy saved into another folder still finds them from anywhere.
TEST_F(Frame, ASetOpenedByARelativePathSavesUnchangedFromAnyWorkingFolder) {
  for (const char* d : {"a/set", "b", "c"}) std::filesystem::create_directories(dir / d);
  for (const auto& f : std::filesystem::directory_iterator(ZUMBEL_SOURCE_DIR "/resources/demo")) {
    std::filesystem::copy_file(f.path(), dir / ("a/set/" + f.path().filename().string()));
  }
  const std::string set = dir / "a/set/Demo.drums";
  const std::vector<uint8_t> original = test::readBytes(set);
  const auto voices = [&] { return frame.view().live()->engine.voices().voiceCount(); };
  const auto saveWithCtrlS = [&] {
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
  };

  const test::WorkingFolder in(dir / "a");
  ASSERT_TRUE(frame.start(QStringLiteral("set/Demo.drums")));
  const int loaded = voices();
  EXPECT_GT(loaded, 30);
  EXPECT_FALSE(frame.document().IsModified());
  saveWithCtrlS();
  EXPECT_EQ(test::readBytes(set), original);
  EXPECT_EQ(settings.recentFiles().value(0), QString::fromStdString(set));

  {
    ModalDriver user([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) typeFileName(dialog, dir / "b", QStringLiteral("Copy"));
    });
    ASSERT_TRUE(frame.OnFileSaveAs());
    EXPECT_FALSE(user.timedOut());
  }
  CKitbeatDoc copy;
  ASSERT_TRUE(copy.OnOpenDocument(dir / "b/Copy.drums").ok());
  EXPECT_EQ(copy.groupList(0)[0], dir / "a/set/Kick Hard.wav");

  // From a third folder: the copy through the recent list, then the set by a relative path.
  const test::WorkingFolder away(dir / "c");
  ASSERT_TRUE(frame.openRecentFile(QString::fromStdString(dir / "b/Copy.drums")));
  EXPECT_EQ(voices(), loaded);
  ASSERT_TRUE(frame.openDocument(QStringLiteral("../a/set/Demo.drums")));
  EXPECT_EQ(voices(), loaded);
  saveWithCtrlS();
  EXPECT_EQ(test::readBytes(set), original);
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_TRUE(prompts.shown.empty());
}

// Keys the window binds to nothing (undo, clipboard, print, pane switching) change nothing.
TEST_F(Frame, UnboundAcceleratorsDoNothing) {
  const QString path = saveSet("Keys.drums");
  ASSERT_TRUE(frame.start(path));
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  const QImage before = frame.view().renderer().backing();
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
      {Qt::Key_P, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier},      {Qt::Key_Backspace, Qt::AltModifier},
      {Qt::Key_X, Qt::ControlModifier}, {Qt::Key_Delete, Qt::ShiftModifier},   {Qt::Key_C, Qt::ControlModifier},
      {Qt::Key_Insert, Qt::ControlModifier}, {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ShiftModifier},
      {Qt::Key_F6, Qt::NoModifier},     {Qt::Key_F6, Qt::ShiftModifier}};
  for (const auto& [key, modifiers] : keys) QTest::keyClick(&frame.view(), key, modifiers);
  QApplication::processEvents();
  EXPECT_FALSE(frame.document().IsModified());
  EXPECT_EQ(frame.document().groupCount(), 1);
  EXPECT_EQ(frame.document().GetPathName(), path.toStdString());
  EXPECT_TRUE(prompts.asked.empty());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(frame.view().renderer().backing(), before);
}

}  // namespace
}  // namespace zumbel
