#pragma once
// The main frame: the one window of the program, fixed in size, holding the view and the File,
// Edit and About menus. It runs the drum set's New, Open, Save, Save As and Import Kit as a desktop
// program does: asking to save changes first, reporting failures, keeping the four most recent files.

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

#include "HelpCommand.h"
#include "KitbeatDoc.h"

class QAction;
class QMenu;

namespace zumbel {

namespace import {
struct ImportOptions;
struct ImportResult;
}  // namespace import

class AudioSystem;
class CKitbeatView;
class HelpWindow;
class Prompts;
class SettingsStore;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The frame creates the view; `system`, `settings` and `prompts` outlive it.
  CMainFrame(AudioSystem& system, SettingsStore& settings, Prompts& prompts, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CKitbeatDoc& document() { return doc_; }
  CKitbeatView& view() { return *view_; }

  // Start-up: a new drum set, or the one at `file`; false when that file could not be opened.
  bool start(const QString& file);

  // The document commands. False when nothing changed (cancelled or failed, with the reason
  // already shown).
  bool OnFileNew();
  bool openDocument(const QString& path);
  // File > Recent File: a set that fails to open is dropped from the list.
  bool openRecentFile(const QString& path);
  bool OnFileSave();
  bool OnFileSaveAs();
  // File > Import Kit: asks to save changes, then for a Hydrogen kit, which notes its
  // instruments go on, and where its set goes.
  bool OnFileImportKit();
  // Makes a new, unsaved set of the Hydrogen kit at `source` (its folder, its drumkit.xml or an
  // archive, unpacked beside `setPath`), titled after the kit; Save proposes `setPath`. What went
  // where is shown. False, with the reason shown and the set as it was, when nothing was imported.
  bool importKit(const QString& source, const QString& setPath);
  bool importKit(const QString& source, const QString& setPath, const import::ImportOptions& options);
  // The question Import Kit asks: the kit's own order (the default) or General MIDI notes, set
  // in `options`; false when the user cancelled.
  bool askImportOptions(import::ImportOptions& options);
  // What reads a kit folder into a set: importHydrogenFolder unless a test puts its own in.
  using KitImporter = std::function<import::ImportResult(const std::string& folder, CKitbeatDoc& doc,
                                                          const import::ImportOptions& options)>;
  void setKitImporter(KitImporter importer) { importer_ = std::move(importer); }
  // The folders Import Kit's dialog may start in, the first that exists winning: Hydrogen's kits
  // of the user (~/.local/share/hydrogen/data/drumkits), then the system's.
  void setKitFolders(QStringList folders) { kitFolders_ = std::move(folders); }

  // "Save changes to <title>?" for a modified set; false when the user cancelled.
  bool SaveModified();

  // F1: the manual in the browser, or in a window of our own when no browser opens it. Where it
  // is written and what opens it can be changed.
  void OnHelp();
  void setHelp(const QString& cacheFolder, UrlOpener opener);
  void OnAppAbout();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void updateRecentMenu();
  void updateTitle();
  void updateEditMenu();
  bool saveTo(const QString& path);
  void afterLoad();

  CKitbeatDoc doc_;
  SettingsStore& settings_;
  Prompts& prompts_;
  CKitbeatView* view_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QAction* recentEnd_ = nullptr;  // the separator after the recent files
  QList<QAction*> recentActions_;  // the numbered recent files, or the place holder
  QAction* undoAction_ = nullptr;
  QAction* redoAction_ = nullptr;
  QString helpFolder_;
  UrlOpener openUrl_;
  HelpWindow* helpWindow_ = nullptr;  // made on the first F1 without a browser, then kept
  QString proposedPath_;  // where an imported set, never saved yet, is proposed to go
  KitImporter importer_;
  QStringList kitFolders_;
};

// The title bar: the drum set's title, " - ", the program's name; a set with unsaved changes has
// "*" before its title.
QString frameTitle(const CKitbeatDoc& doc);

}  // namespace zumbel
