#include "CMainFrame.h"

#include <QAction>
#include <QDesktopServices>
#include <QShortcut>
#include <QStandardPaths>
#include <QCloseEvent>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include "AboutDialog.h"
#include "CKitbeatView.h"
#include "HelpWindow.h"
#include "DrumsFile.h"
#include "FileNames.h"
#include "KitArchive.h"
#include "KitImport.h"
#include "Prompts.h"
#include "SetSession.h"
#include "SettingsStore.h"
#include "ViewEngine.h"

namespace zumbel {

namespace {

const QString kFilter = QStringLiteral("FileEx Files (*.drums)");
constexpr int kRecentNameChars = 30;
// Report lines an import shows; `zumbel import-kit` prints them all.
constexpr std::size_t kImportLinesShown = 24;

std::string local(const QString& s) { return s.toStdString(); }

DeviceSettings storedDevices(const SettingsStore& settings) {
  return DeviceSettings{settings.outputDevice(),
                        settings.midiPort(),
                        settings.midiChannel(),
                        settings.outputName().toStdString(),
                        settings.midiPortName().toStdString(),
                        settings.jackOutputPairs()};
}

}  // namespace

QString frameTitle(const CKitbeatDoc& doc) {
  return (doc.IsModified() ? QStringLiteral("*") : QString()) + QString::fromStdString(doc.GetTitle()) + QStringLiteral(" - ") + QString::fromLatin1(kAppCaption.data(), static_cast<int>(kAppCaption.size()));
}

CMainFrame::CMainFrame(AudioSystem& system, SettingsStore& settings, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), settings_(settings), prompts_(prompts) {
  doc_.OnNewDocument();
  view_ = new CKitbeatView(doc_, std::make_unique<ViewEngine>(doc_, system, prompts), this);
  setCentralWidget(view_);
  view_->setSettings(&settings_);
  // Keeping the changes before an output switch reloads the set from disk is a Save.
  view_->live()->session.setSave([this] { OnFileSave(); });
  // The skin's Load set and Save set buttons: the same open and save as the File menu's.
  view_->setDocumentCommands(
      [this](const std::string& path) {
        if (SaveModified()) openDocument(QString::fromStdString(path));
      },
      [this](const std::string& path) { saveTo(QString::fromStdString(path)); });
  helpFolder_ = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  kitFolders_ = {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                     QStringLiteral("/hydrogen/data/drumkits"),
                 QStringLiteral("/usr/share/hydrogen/data/drumkits")};
  importer_ = [](const std::string& folder, CKitbeatDoc& doc, const import::ImportOptions& options) {
    return import::importHydrogenFolder(folder, doc, options);
  };
  buildMenus();
  doc_.setModifiedListener([this] { updateTitle(); });
  view_->setHistoryListener([this] { updateEditMenu(); });
  // F1 alone; with Shift, Ctrl or Alt it does nothing.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &CMainFrame::OnHelp);
  // A pad's note and an entry's path are told on hover even while a sequencer has the focus.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  // The layout is fixed: the frame is exactly what the view and the menu bar need.
  setFixedSize(sizeHint());
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  move(0, 0);
  updateTitle();
}

CMainFrame::~CMainFrame() {
  // The view's audio thread reads the drum set until the view has closed it: the view goes
  // before the set, which the members' own order would destroy first.
  delete view_;
  view_ = nullptr;
}

void CMainFrame::buildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&New"), QKeySequence(Qt::CTRL | Qt::Key_N), this, [this] { OnFileNew(); });
  file->addAction(tr("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O), this, [this] {
    // The set is chosen first, as the Load set button does; only then is the current one at stake.
    const QString path = QFileDialog::getOpenFileName(this, tr("Open"), QString(), kFilter);
    if (!path.isEmpty() && SaveModified()) openDocument(path);
  });
  file->addAction(tr("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S), this, [this] { OnFileSave(); });
  file->addAction(tr("Save &As..."), this, [this] { OnFileSaveAs(); });
  file->addSeparator();
  file->addAction(tr("&Import Kit..."), this, [this] { OnFileImportKit(); });
  file->addSeparator();
  // The recent files are listed here, in the menu itself (updateRecentMenu).
  fileMenu_ = file;
  recentEnd_ = file->addSeparator();
  file->addAction(tr("E&xit"), this, &QWidget::close);
  updateRecentMenu();
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  undoAction_ = edit->addAction(tr("&Undo"), this, [this] { view_->Undo(); });
  undoAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)});
  redoAction_ = edit->addAction(tr("&Redo"), this, [this] { view_->Redo(); });
  redoAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  // Also from the Sound Properties window, where most edits are made (its name field keeps Ctrl+Z
  // for the text typed).
  for (QAction* a : {undoAction_, redoAction_}) a->setShortcutContext(Qt::ApplicationShortcut);
  updateEditMenu();
  QMenu* about = menuBar()->addMenu(tr("&About"));
  about->addAction(tr("&About Zumbel..."), this, &CMainFrame::OnAppAbout);
}

void CMainFrame::updateRecentMenu() {
  // Deleted later: the chosen entry's own signal may still be running.
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const QStringList files = settings_.recentFiles();
  // While there is none, a greyed place holder keeps the spot.
  if (files.isEmpty()) {
    auto* placeholder = new QAction(tr("Recent File"), fileMenu_);
    placeholder->setEnabled(false);
    recentActions_.push_back(placeholder);
  }
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QString shown = path.size() > kRecentNameChars ? QStringLiteral("...") + path.right(kRecentNameChars - 3) : path;
    auto* entry = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown), fileMenu_);
    connect(entry, &QAction::triggered, this, [this, path] {
      // Opening rebuilds these entries, which must not happen inside the chosen one's own signal.
      QMetaObject::invokeMethod(this, [this, path] { openRecentFile(path); }, Qt::QueuedConnection);
    });
    recentActions_.push_back(entry);
  }
  fileMenu_->insertActions(recentEnd_, recentActions_);
}

void CMainFrame::updateTitle() { setWindowTitle(frameTitle(doc_)); }

void CMainFrame::updateEditMenu() {
  if (!undoAction_ || !view_) return;
  const EditHistory& history = view_->history();
  // Each names the step it takes back or does again, as "Undo Pan of note 38".
  undoAction_->setText(history.canUndo() ? tr("&Undo %1").arg(QString::fromStdString(history.undoLabel())) : tr("&Undo"));
  undoAction_->setEnabled(history.canUndo());
  redoAction_->setText(history.canRedo() ? tr("&Redo %1").arg(QString::fromStdString(history.redoLabel())) : tr("&Redo"));
  redoAction_->setEnabled(history.canRedo());
  // Undo may bring the set back to what was saved, or away from it.
  updateTitle();
}

void CMainFrame::afterLoad() {
  view_->UpdateView(storedDevices(settings_));
  // Another set: nothing of the last one can be undone into it.
  view_->clearHistory(!doc_.IsModified());
  updateTitle();
}

bool CMainFrame::SaveModified() {
  if (!doc_.IsModified()) return true;
  switch (prompts_.askYesNoCancel("Save changes to " + doc_.GetTitle() + "?", kAppCaption)) {
    case Prompts::Answer::kYes: return OnFileSave();
    case Prompts::Answer::kNo:
    case Prompts::Answer::kNoToAll: return true;
    case Prompts::Answer::kCancel: return false;
  }
  return false;
}

bool CMainFrame::start(const QString& file) {
  if (file.isEmpty()) {
    afterLoad();
    return true;
  }
  return openDocument(file);
}

bool CMainFrame::OnFileNew() {
  if (!SaveModified()) return false;
  doc_.OnNewDocument();
  proposedPath_.clear();
  afterLoad();
  return true;
}

bool CMainFrame::openDocument(const QString& path) {
  const FileOutcome outcome = doc_.OnOpenDocument(local(path));
  if (!outcome.ok()) {
    prompts_.showAlert(MessageIcon::kWarning, outcome.message, kAppCaption);
    return false;
  }
  proposedPath_.clear();
  settings_.addRecentFile(path);
  updateRecentMenu();
  afterLoad();
  // The set opened; what of its extras file could not be used is told once, over the drawn
  // window. The lines are already few: the reader counts the rest in its last one.
  if (!outcome.notices.empty()) {
    std::string text = "The set opened, but some of its extras were left out:\n";
    for (const std::string& line : outcome.notices) text += "\n" + line;
    prompts_.showMessage(text, kAppCaption);
  }
  return true;
}

bool CMainFrame::openRecentFile(const QString& path) {
  if (!SaveModified()) return false;
  if (openDocument(path)) return true;
  // A set that no longer opens leaves the list, as its failure has just been shown.
  settings_.removeRecentFile(path);
  updateRecentMenu();
  return false;
}

bool CMainFrame::saveTo(const QString& path) {
  const FileOutcome outcome = doc_.OnSaveDocument(local(path));
  if (!outcome.ok()) {
    prompts_.showAlert(MessageIcon::kWarning, outcome.message, kAppCaption);
    return false;
  }
  proposedPath_.clear();
  view_->historySaved();
  settings_.addRecentFile(path);
  updateRecentMenu();
  updateTitle();
  return true;
}

bool CMainFrame::OnFileSave() {
  if (doc_.GetPathName().empty()) return OnFileSaveAs();
  return saveTo(QString::fromStdString(doc_.GetPathName()));
}

bool CMainFrame::OnFileSaveAs() {
  // An opened set is proposed where it lies, an imported one where its import was asked to put
  // it; a new one by its title in the current folder.
  const std::string& current = doc_.GetPathName();
  const QString proposed = !current.empty()           ? QString::fromStdString(current)
                           : !proposedPath_.isEmpty() ? proposedPath_
                                                      : QString::fromStdString(doc_.GetTitle());
  QFileDialog dialog(this, tr("Save As"), proposed, kFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // The dialog adds the extension before it checks for a file to replace, so a name typed
  // without it still asks before overwriting.
  dialog.setDefaultSuffix(QStringLiteral("drums"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  return saveTo(dialog.selectedFiles().front());
}

bool CMainFrame::OnFileImportKit() {
  if (!SaveModified()) return false;
  // Where Hydrogen keeps kits: the user's own first, then those installed with the system.
  QString kits;
  for (const QString& folder : kitFolders_) {
    if (QFileInfo(folder).isDir()) {
      kits = folder;
      break;
    }
  }
  const QString source = QFileDialog::getOpenFileName(this, tr("Import Kit"), kits,
                                                      tr("Hydrogen kits (drumkit.xml *.h2drumkit);;All files (*)"));
  if (source.isEmpty()) return false;
  import::ImportOptions options;
  if (!askImportOptions(options)) return false;
  // The set is proposed beside the kit, named after its folder or archive.
  const QFileInfo picked(source);
  const QFileInfo kit = picked.fileName() == QStringLiteral("drumkit.xml") ? QFileInfo(picked.absolutePath()) : picked;
  const QString name = kit.isDir() ? kit.fileName() : kit.completeBaseName();
  // Kits installed with the system lie where a user cannot write: the set goes home instead.
  const QString folder = QFileInfo(kit.absolutePath()).isWritable() ? kit.absolutePath() : QDir::homePath();
  QFileDialog dialog(this, tr("Save the Imported Set As"), folder + QLatin1Char('/') + name + QStringLiteral(".drums"),
                     kFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("drums"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  return importKit(source, dialog.selectedFiles().front(), options);
}

bool CMainFrame::askImportOptions(import::ImportOptions& options) {
  QMessageBox box(QMessageBox::Question, tr("Import Kit"), tr("Which notes should the kit's instruments play on?"),
                  QMessageBox::NoButton, this);
  box.setInformativeText(
      tr("Kit order puts the kit's first instrument on the first key (note 36) and the others on the keys after "
         "it.\nGeneral MIDI notes puts each instrument on the note its name says (a kick on 36, a snare on 38), "
         "so songs written for General MIDI drums play it."));
  QPushButton* kitOrder = box.addButton(tr("Kit order"), QMessageBox::AcceptRole);
  kitOrder->setObjectName(QStringLiteral("kitOrder"));
  QPushButton* generalMidi = box.addButton(tr("General MIDI notes"), QMessageBox::AcceptRole);
  generalMidi->setObjectName(QStringLiteral("generalMidi"));
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(kitOrder);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == generalMidi) {
    options.notes = import::NotePlacement::kGeneralMidi;
  } else if (box.clickedButton() == kitOrder) {
    options.notes = import::NotePlacement::kKitOrder;
  } else {
    return false;
  }
  return true;
}

bool CMainFrame::importKit(const QString& source, const QString& setPath) {
  return importKit(source, setPath, import::ImportOptions{});
}

bool CMainFrame::importKit(const QString& source, const QString& setPath, const import::ImportOptions& options) {
  const QFileInfo info(source);
  std::string folder = local(source), unpackedInto;
  if (info.isFile() && info.fileName() == QStringLiteral("drumkit.xml")) {
    folder = local(info.absolutePath());
  } else if (!info.isDir()) {
    const import::UnpackResult unpacked = import::unpackKitArchive(local(source), LocalFolderPart(local(setPath)));
    if (!unpacked.ok) {
      prompts_.showMessage(unpacked.error, kAppCaption);
      return false;
    }
    folder = unpacked.folder;
    unpackedInto = "\nUnpacked into " + folder + ".";
  }
  // Built apart, so a kit that cannot be read leaves the set as it was.
  auto imported = std::make_unique<CKitbeatDoc>();
  imported->OnNewDocument();
  const import::ImportResult result = importer_(folder, *imported, options);
  if (!result.ok) {
    // Nothing imported: the folder unpacked for it goes too, so a second try finds the name free.
    if (!unpackedInto.empty()) import::removeUnpackedKit(folder);
    prompts_.showMessage(result.error, kAppCaption);
    return false;
  }
  doc_.OnNewDocument();
  doc_.replaceContent(imported->content());
  // The kit's names and levels are the set's extras: without them the window would play the kit
  // flat and a save would leave them behind.
  doc_.replaceExtras(imported->extras());
  doc_.SetTitle(result.kitName);
  doc_.SetModifiedFlag(true);
  proposedPath_ = setPath;
  afterLoad();
  // The summary first, then as much of the report as a message box holds.
  std::string text = "Imported " + result.kitName + ": " + result.report.back() + unpackedInto + "\n";
  for (std::size_t i = 0; i + 1 < result.report.size() && i < kImportLinesShown; ++i) text += "\n" + result.report[i];
  if (result.report.size() > kImportLinesShown + 1) {
    text += "\n... (" + std::to_string(result.report.size() - kImportLinesShown - 1) +
            " more lines; zumbel import-kit prints them all)";
  }
  prompts_.showMessage(text, kAppCaption);
  return true;
}

void CMainFrame::setHelp(const QString& cacheFolder, UrlOpener opener) {
  helpFolder_ = cacheFolder;
  openUrl_ = std::move(opener);
}

void CMainFrame::OnHelp() {
  // A manual the browser cannot show is the browser's to report; but a desktop with no browser
  // at all (or no cache folder to write the manual to) would otherwise show nothing.
  const QUrl url = helpFileUrl(helpFolder_);
  if (!url.isEmpty() && openUrl_ && openUrl_(url)) return;
  if (!helpWindow_) helpWindow_ = new HelpWindow(this);
  helpWindow_->show();
  helpWindow_->raise();
  helpWindow_->activateWindow();
}

void CMainFrame::OnAppAbout() {
  AboutDialog box(this);
  box.exec();
}

void CMainFrame::changeEvent(QEvent* event) {
  // Some window managers maximise a window whatever its size hints say (a double-click on the
  // title, a keyboard shortcut); the layout is fixed, so the frame goes back to its own size.
  if (event->type() == QEvent::WindowStateChange && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    resize(minimumSize());
  }
  QMainWindow::changeEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Closing half-way through reading the samples would pull the engine from under the loader.
  if (view_->loading() || !SaveModified()) {
    event->ignore();
    return;
  }
  settings_.sync();
  event->accept();
}

}  // namespace zumbel
