// The main window's files (see Frm_main.h): the loads of the start-up folder, of imports, drops and the
// command line, with their progress dialog and the box of the problems they reported; the import
// dialog and drops; the export of the list, Ctrl+C of its selected row and the detail pane's text.
// The form's code names its window FrmMain too: it comes before the global of that name.
#include "ui_Frm_main.h"

#include "Bcl.h"
#include "Frm_loaded_files.h"
#include "Frm_main.h"
#include "Qv_export.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace {

// The problems of one file that was read: the notes on how it writes its values, and how many of its
// lines could not be loaded and how many values were left out of records that loaded, with those kept
// in the report (notes first, in the report's order).
struct FileProblems {
    std::string file;
    std::vector<const qv_load_problem *> listed;
    std::size_t unlisted = 0;
    std::size_t unlisted_values = 0;
    std::size_t count(qv_problem_kind kind) const
    {
        return static_cast<std::size_t>(std::count_if(
            listed.begin(), listed.end(), [kind](const qv_load_problem *p) { return p->kind == kind; }));
    }
    std::size_t lines() const { return count(qv_problem_kind::not_loaded) + unlisted; }
    std::size_t values() const { return count(qv_problem_kind::value_left_out) + unlisted_values; }
};

// The files that could not be read (in the order met), and the files read with problems (in the order
// their first problem was met).
void sortProblems(const qv_load_report &report, std::vector<const qv_load_problem *> &unreadable,
                  std::vector<FileProblems> &files)
{
    const auto entry = [&files](const std::string &file) -> FileProblems & {
        for (FileProblems &f : files)
            if (f.file == file)
                return f;
        files.push_back({file, {}, 0, 0});
        return files.back();
    };
    for (const qv_load_problem &p : report.problems) {
        if (p.line == 0 && p.kind != qv_problem_kind::file_form)
            unreadable.push_back(&p);
        else
            entry(p.file).listed.push_back(&p);
    }
    for (const qv_load_unlisted &u : report.unlisted) {
        entry(u.file).unlisted += u.lines;
        entry(u.file).unlisted_values += u.values;
    }
}

QString counted(std::size_t n, const char *one, const char *many)
{
    return QLocale().toString(static_cast<qulonglong>(n)) + QLatin1Char(' ') +
           QString::fromLatin1(n == 1 ? one : many);
}

// A file as the summary names it: its name without the folder unless another file of the summary has
// the same name, and at most 60 characters (the middle left out).
QString summaryName(const std::string &file, const std::vector<std::string> &all)
{
    const QString full = qv_display_text(qv_escaped_name(file));
    const QString name = QFileInfo(full).fileName();
    const bool shared = std::any_of(all.begin(), all.end(), [&](const std::string &other) {
        return other != file && QFileInfo(qv_display_text(qv_escaped_name(other))).fileName() == name;
    });
    QString shown = shared || name.isEmpty() ? full : name;
    constexpr qsizetype most = 60;
    if (shown.size() > most)
        shown = shown.left(most / 2 - 1) + QChar(0x2026) + shown.right(most / 2);
    return shown;
}

// The box's summary of the grouped problems.
QString problemsSummary(const qv_load_report &report, const std::vector<const qv_load_problem *> &unreadable,
                        const std::vector<FileProblems> &files)
{
    constexpr std::size_t shown = 10; // files named in each part; the details hold them all
    std::vector<std::string> all;
    for (const qv_load_problem *p : unreadable)
        all.push_back(p->file);
    for (const FileProblems &f : files)
        all.push_back(f.file);
    const QString indent = QStringLiteral("    ");

    QStringList out;
    if (report.cancelled)
        out << QStringLiteral("The load was cancelled.");
    if (!unreadable.empty()) {
        out << counted(unreadable.size(), "file", "files") + QStringLiteral(" could not be read:");
        for (std::size_t i = 0; i < unreadable.size() && i < shown; ++i)
            out << indent + summaryName(unreadable[i]->file, all) + QStringLiteral(": ") +
                       qv_display_text(unreadable[i]->message);
        if (unreadable.size() > shown)
            out << indent + QStringLiteral("and ") +
                       counted(unreadable.size() - shown, "more file", "more files");
    }
    std::vector<const qv_load_problem *> notes;
    for (const FileProblems &f : files)
        for (const qv_load_problem *p : f.listed)
            if (p->kind == qv_problem_kind::file_form)
                notes.push_back(p);
    if (!notes.empty()) {
        out << QStringLiteral("Values written in another form:");
        for (std::size_t i = 0; i < notes.size() && i < shown; ++i)
            out << indent + summaryName(notes[i]->file, all) + QStringLiteral(": ") +
                       qv_display_text(notes[i]->message);
        if (notes.size() > shown)
            out << indent + QStringLiteral("and ") + counted(notes.size() - shown, "more", "more");
    }
    // The files with some of the kind, as many as the summary names, and how many there are of it.
    const auto part = [&](std::size_t (FileProblems::*of)() const, const char *one, const char *many,
                          const QString &what) {
        std::size_t total = 0;
        std::vector<const FileProblems *> with;
        for (const FileProblems &f : files) {
            if ((f.*of)() > 0) {
                total += (f.*of)();
                with.push_back(&f);
            }
        }
        if (total == 0)
            return;
        out << counted(total, one, many) + what;
        for (std::size_t i = 0; i < with.size() && i < shown; ++i)
            out << indent + summaryName(with[i]->file, all) + QStringLiteral(": ") +
                       counted((with[i]->*of)(), one, many);
        if (with.size() > shown)
            out << indent + QStringLiteral("and ") + counted(with.size() - shown, "more file", "more files");
    };
    part(&FileProblems::lines, "line", "lines", QStringLiteral(" could not be loaded:"));
    part(&FileProblems::values, "value", "values",
         QStringLiteral(" could not be read; their records loaded without them:"));
    if (!out.isEmpty())
        out << QString() << QStringLiteral("The details list every problem.");
    return out.join(QLatin1Char('\n'));
}

// The box's details of the grouped problems.
QString problemsDetails(const std::vector<const qv_load_problem *> &unreadable,
                        const std::vector<FileProblems> &files)
{
    QStringList out;
    // One problem a line, the file's name escaped so that nothing in it can break the line.
    for (const qv_load_problem *p : unreadable)
        out << qv_display_text(qv_problem_text(*p));
    for (const FileProblems &f : files) {
        for (const qv_load_problem *p : f.listed)
            out << qv_display_text(qv_problem_text(*p));
        if (f.unlisted > 0)
            out << qv_display_text(qv_escaped_name(f.file)) + QStringLiteral(": ") +
                       counted(f.unlisted, "more line", "more lines") +
                       QStringLiteral(" could not be loaded (not listed)");
        if (f.unlisted_values > 0)
            out << qv_display_text(qv_escaped_name(f.file)) + QStringLiteral(": ") +
                       counted(f.unlisted_values, "more value", "more values") +
                       QStringLiteral(" could not be read (not listed)");
    }
    return out.join(QLatin1Char('\n'));
}

// The save dialog of the export. A name that may not be written (a loaded history file, a pipe or a
// device) is refused while the dialog stays open, before the dialog would ask whether to replace it.
class TExportDialog : public QFileDialog {
public:
    using Refusal = std::function<QString(const QString &path)>;
    TExportDialog(QWidget *parent, Refusal refusal)
        : QFileDialog(parent, QStringLiteral("Export list")), refusal_(std::move(refusal))
    {
    }

protected:
    void accept() override
    {
        bool refused = false;
        bcl_guard(this, [&] {
            const QStringList files = selectedFiles();
            // A folder is opened by the dialog itself.
            if (files.size() != 1 || QFileInfo(files.first()).isDir())
                return;
            const QString why = refusal_(files.first());
            if (why.isEmpty())
                return;
            refused = true;
            bcl_show_error(this, why.toStdString());
        });
        if (!refused)
            QFileDialog::accept();
    }

private:
    Refusal refusal_;
};

QString exportError(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot write the list to %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

QString qv_export_file_name(const QDate &day)
{
    return QStringLiteral("history-%1.csv").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

TLoadProblemsBox qv_load_problems_box(const qv_load_report &report)
{
    std::vector<const qv_load_problem *> unreadable;
    std::vector<FileProblems> files;
    sortProblems(report, unreadable, files);
    return {problemsSummary(report, unreadable, files), problemsDetails(unreadable, files)};
}

void TFrmMain::LoadHistoryFile(const std::string &path)
{
    qv_load_history_file(*records, path, loadReport_);
}

void TFrmMain::LoadHistoryFolder()
{
    // The current directory by bare names: its own path may be longer than the system takes.
    runLoad([this](const qv_load_progress &progress) {
        qv_load_history_folder(*records, std::string(), loadReport_, progress);
    });
}

void TFrmMain::ImportFiles(const QStringList &paths)
{
    std::vector<std::string> names;
    for (const QString &path : paths)
        names.push_back(localName(path));
    ImportFileNames(names);
}

void TFrmMain::ImportFileNames(const std::vector<std::string> &names)
{
    if (names.empty())
        return;
    rememberLoaded(names, true);
    runLoad([this, &names](const qv_load_progress &progress) {
        qv_load_history_files(*records, names, loadReport_, progress);
    });
    ShowAllRecords();
    showLoadProblems();
}

double qv_load_fraction(const qv_load_state &state)
{
    if (state.file_count == 0)
        return 0;
    const double in_file = state.bytes_total > 0 ? double(state.bytes_read) / double(state.bytes_total) : 0;
    return (double(state.file_number - 1) + std::min(in_file, 1.0)) / double(state.file_count);
}

void TFrmMain::runLoad(const std::function<void(const qv_load_progress &)> &load)
{
    const Tbcl_wait_cursor wait;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> dialog;
    constexpr int steps = 1000;
    // The records of the file being read: the store's count less what it held when the file began.
    std::size_t fileNumber = 0;
    std::size_t recordsBefore = 0;
    QElapsedTimer shown; // since the dialog last changed
    const qv_load_progress progress = [&](const qv_load_state &state) {
        if (state.file_number != fileNumber) {
            fileNumber = state.file_number;
            recordsBefore = state.records;
        }
        if (!dialog) {
            if (clock.elapsed() < loadDialogDelay_)
                return true;
            dialog.reset(bcl_new_progress_dialog(this, "LoadProgress", steps));
            dialog->show();
            // Busy, but the Cancel button can be clicked.
            QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
        }
        // Some 40 times a second at most: a folder of many small files would otherwise spend most of
        // its load redrawing the dialog.
        if (shown.isValid() && !shown.hasExpired(25))
            return true;
        shown.start();
        QString label =
            QStringLiteral("Loading %1").arg(QFileInfo(QFile::decodeName(state.file.c_str())).fileName());
        if (state.file_count > 1)
            label += QStringLiteral(" (%1 of %2)").arg(state.file_number).arg(state.file_count);
        dialog->setLabelText(
            label + QLatin1Char('\n') +
            counted(state.records - std::min(recordsBefore, state.records), "record", "records"));
        dialog->setValue(static_cast<int>(qv_load_fraction(state) * steps));
        // The dialog is modal: of the user's input only its Cancel button is taken.
        QCoreApplication::processEvents();
        return !dialog->wasCanceled();
    };
    load(progress);
}

std::size_t qv_load_problem_count(const qv_load_report &report)
{
    std::size_t count = 0;
    for (const qv_load_problem &p : report.problems)
        count += p.kind != qv_problem_kind::file_form ? 1 : 0;
    for (const qv_load_unlisted &u : report.unlisted)
        count += u.lines + u.values;
    return count;
}

QString qv_status_counts(std::size_t shown, std::size_t total, bool searched, std::size_t files)
{
    const QLocale locale;
    const auto number = [&locale](std::size_t n) { return locale.toString(static_cast<qulonglong>(n)); };
    if (total == 0 && files == 0)
        return QStringLiteral("No transactions loaded");
    QString text = searched
                       ? QStringLiteral("%1 of %2 %3")
                             .arg(number(shown), number(total),
                                  total == 1 ? QStringLiteral("transaction") : QStringLiteral("transactions"))
                       : counted(total, "transaction", "transactions");
    if (files > 0)
        text += QStringLiteral(" from ") + counted(files, "file", "files");
    return text;
}

void TFrmMain::showLoadProblems()
{
    // The files of the load join those of the run, named in full: the start-up folder's by bare names.
    const QByteArray here = QFile::encodeName(QDir::currentPath());
    for (qv_load_file &file : loadReport_.files) {
        if (!file.file.empty() && file.file.front() != '/')
            file.file = here.toStdString() + '/' + file.file;
        loadedFileFigures_.push_back(std::move(file));
    }
    const bool problems = !loadReport_.problems.empty() || !loadReport_.unlisted.empty();
    const std::size_t count = qv_load_problem_count(loadReport_);
    if (problems)
        lastProblems_ = qv_load_problems_box(loadReport_);
    loadReport_ = {};
    statusProblems_->setText(count > 0 ? counted(count, "problem", "problems") : QStringLiteral("Problems"));
    statusProblems_->setVisible(problems);
    updateStatus();
    if (loadedFilesWindow_ != nullptr)
        loadedFilesWindow_->setFiles(loadedFileFigures_);
    if (problems)
        bcl_show_error(this, lastProblems_.text.toStdString(), lastProblems_.details.toStdString());
}

void TFrmMain::updateStatus()
{
    // The files read, each counted once however often it was loaded (a folder may hold many thousands).
    std::unordered_set<std::string_view> read;
    read.reserve(loadedFileFigures_.size());
    for (const qv_load_file &file : loadedFileFigures_) {
        if (file.lines > 0)
            read.insert(file.file);
    }
    statusCounts_->setText(qv_status_counts(static_cast<std::size_t>(model_->rowCount()),
                                            records ? records->count() : 0, searchShown_, read.size()));
}

void TFrmMain::InitStatusBar()
{
    // Permanent widgets: a message shown for a while (a menu item's tip, an export's result) stands
    // beside them, never in their place.
    statusBar()->setAccessibleName(QStringLiteral("Status bar"));
    statusCounts_ = new QLabel(this);
    statusCounts_->setObjectName(QStringLiteral("StatusCounts"));
    statusCounts_->setAccessibleDescription(QStringLiteral("How many transactions are loaded and listed"));
    statusProblems_ = new QToolButton(this);
    statusProblems_->setObjectName(QStringLiteral("StatusProblems"));
    statusProblems_->setAutoRaise(true);
    statusProblems_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    statusProblems_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    statusProblems_->setToolTip(QStringLiteral("Shows the problems of the last load again"));
    statusProblems_->setAccessibleDescription(statusProblems_->toolTip());
    statusProblems_->setVisible(false);
    connect(statusProblems_, &QToolButton::clicked, this, [this] {
        bcl_guard(this, [this] {
            bcl_show_error(this, lastProblems_.text.toStdString(), lastProblems_.details.toStdString());
        });
    });
    statusBar()->addPermanentWidget(statusProblems_);
    statusBar()->addPermanentWidget(statusCounts_);
    // Tab reaches the button after the detail pane.
    setTabOrder(ui->mmDetail, statusProblems_);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { updateStatus(); });
}

void TFrmMain::actFileLoadedFilesExecute()
{
    if (loadedFilesWindow_ == nullptr)
        loadedFilesWindow_ = new TFrmLoadedFiles(this);
    loadedFilesWindow_->setFiles(loadedFileFigures_);
    loadedFilesWindow_->show();
    loadedFilesWindow_->raise();
    loadedFilesWindow_->activateWindow();
    loadedFilesWindow_->table()->setFocus();
}

namespace {

// The current folder by a name short enough for the file dialog, whatever the length of its path.
const char *const currentFolderLink = "/proc/self/cwd";

} // namespace

QString TFrmMain::FileDialogFolder() const
{
    std::error_code ec;
    const bool usable = !importFolder_.empty() && (importFolder_.size() >= PATH_MAX ||
                                                   std::filesystem::is_directory(importFolder_, ec));
    const std::string &folder = usable ? importFolder_ : startFolder_;
    // Qt's dialog cannot show a folder whose path is longer than the system takes; the program runs in
    // the start-up folder, which the link names.
    if (folder.size() >= PATH_MAX && folder == startFolder_ &&
        std::filesystem::is_directory(currentFolderLink, ec))
        return QString::fromLatin1(currentFolderLink);
    return QFile::decodeName(folder.c_str());
}

std::string TFrmMain::localName(const QString &path) const
{
    std::string name = QFile::encodeName(path).toStdString();
    const std::string link = std::string(currentFolderLink) + '/';
    if (name.rfind(link, 0) == 0 && name.size() > link.size())
        return name.substr(link.size());
    if (name.size() >= PATH_MAX && !startFolder_.empty()) {
        const std::filesystem::path full(name);
        if (full.parent_path() == std::filesystem::path(startFolder_))
            return full.filename().string();
    }
    return name;
}

void TFrmMain::actFileImportExecute()
{
    importDialog_->setDirectory(FileDialogFolder());
    if (importDialog_->exec() == QDialog::Accepted)
        actFileImportAccept(importDialog_->selectedFiles());
}

void TFrmMain::actFileImportAccept(const QStringList &files)
{
    ImportFiles(files);
}

void TFrmMain::dragEnterEvent(QDragEnterEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TFrmMain::dropEvent(QDropEvent *event)
{
    QStringList files;
    // What is not loaded is said, with the files that could not be read, in the box after the load.
    std::vector<qv_load_problem> left;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        const std::string name =
            QFile::encodeName(url.isLocalFile() ? path : url.toDisplayString()).toStdString();
        if (!url.isLocalFile())
            left.push_back({name, 0, "not loaded: not a local file"});
        else if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) && QFileInfo(path).isDir())
            left.push_back({name, 0, "not loaded: a folder, not a history file"});
        else if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
            left.push_back({name, 0, "not loaded: only .csv files are history files"});
        else
            files << path;
    }
    event->acceptProposedAction();
    bcl_guard(this, [this, &files, &left] {
        loadReport_.problems.insert(loadReport_.problems.end(), left.begin(), left.end());
        if (files.isEmpty())
            showLoadProblems();
        else
            ImportFiles(files);
    });
}

// ---- Export, copy and the detail pane's text ----------------------------------------------------------

void TFrmMain::InitDesktopActions()
{
    actFileExport_ = new QAction(QStringLiteral("&Export list..."), this);
    QAction *actFileExport = actFileExport_;
    actFileExport->setObjectName(QStringLiteral("actFileExport"));
    actFileExport->setStatusTip(
        QStringLiteral("Writes the listed records, in the list's order, as a CSV file"));
    ui->mnuFile->insertAction(ui->actFileExit, actFileExport);
    ui->mnuFile->insertSeparator(ui->actFileExit);
    connect(actFileExport, &QAction::triggered, this,
            [this] { bcl_guard(this, [this] { actFileExportExecute(); }); });

    // Ctrl+C while the list has the focus copies the selected row.
    actEditCopy_ = new QAction(QStringLiteral("&Copy"), this);
    QAction *actEditCopy = actEditCopy_;
    actEditCopy->setObjectName(QStringLiteral("actEditCopy"));
    actEditCopy->setShortcut(QKeySequence::Copy);
    actEditCopy->setShortcutContext(Qt::WidgetShortcut);
    ui->ListView->addAction(actEditCopy);
    connect(actEditCopy, &QAction::triggered, this,
            [this] { bcl_guard(this, [this] { actEditCopyExecute(); }); });

    // The list's context menu, opened by the right button, the Menu key or Shift+F10.
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("ListMenu"));
    listMenu_->addAction(actEditCopy);
    listMenu_->addAction(actFileExport);
    // Copy is offered only with a row to copy; its key stays ready whenever the menu is closed.
    connect(listMenu_, &QMenu::aboutToHide, actEditCopy, [actEditCopy] { actEditCopy->setEnabled(true); });

    // The detail pane stays read-only; its text can be selected with the mouse or the keyboard and copied.
    ui->mmDetail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    bcl_keep_dialogs_on_screen();
    std::error_code ec;
    startFolder_ = std::filesystem::current_path(ec).string();
    exportDialog_ = new TExportDialog(this, [this](const QString &path) {
        const std::string why = qv_write_refusal(localName(path), loadedFiles_);
        return why.empty() ? QString() : exportError(path, QString::fromLocal8Bit(why));
    });
    exportDialog_->setObjectName(QStringLiteral("exportDialog"));
    exportDialog_->setNameFilter(QStringLiteral("CSV files (*.csv)"));
    exportDialog_->setDefaultSuffix(QStringLiteral("csv"));
    exportDialog_->setFileMode(QFileDialog::AnyFile);
    exportDialog_->setAcceptMode(QFileDialog::AcceptSave);
    exportDialog_->setSizeGripEnabled(true);
}

void TFrmMain::rememberLoaded(const std::vector<std::string> &names, bool imported)
{
    for (const std::string &name : names) {
        std::error_code ec;
        // By bytes: the start-up folder's path may be longer than Qt takes.
        const std::filesystem::path full = std::filesystem::absolute(name, ec).lexically_normal();
        loadedFiles_.push_back(ec ? name : full.string());
        if (imported && !ec)
            importFolder_ = full.parent_path().string();
    }
}

bool TFrmMain::ExportList(const QString &path, QString &error)
{
    std::vector<const Tqv_record *> shown;
    shown.reserve(static_cast<std::size_t>(model_->rowCount()));
    for (int row = 0; row < model_->rowCount(); ++row)
        shown.push_back(&model_->record(row));
    const Tbcl_wait_cursor wait;
    // The file is written on a thread of its own while the window shows how far it has come, and
    // Cancel stops it. The records are not changed meanwhile: the window takes no input.
    Tbcl_busy busy;
    busy.total = shown.size();
    std::string reason;
    bool ok = false;
    const std::string name = localName(path);
    bcl_run_busy(this, "ExportProgress", "Exporting " + QFileInfo(path).fileName().toStdString(),
                 busyDialogDelay_, busy, [&] {
                     try {
                         ok = qv_export_records(name, shown, loadedFiles_, reason, [&](std::size_t done) {
                             busy.done.store(done);
                             return !busy.cancel.load();
                         });
                     } catch (const std::exception &e) {
                         reason = e.what(); // told as the export's error, with the file's name
                     }
                 });
    if (ok)
        return true;
    error = QString::fromLocal8Bit(reason);
    return false;
}

void TFrmMain::actFileExportExecute()
{
    if (model_->rowCount() == 0) {
        bcl_show_message(this, "No records to be exported.", "Information");
        return;
    }
    exportDialog_->setDirectory(FileDialogFolder());
    exportDialog_->selectFile(qv_export_file_name(QDate::currentDate()));
    if (exportDialog_->exec() != QDialog::Accepted || exportDialog_->selectedFiles().isEmpty())
        return;
    const QString path = exportDialog_->selectedFiles().first();
    QString error;
    if (!ExportList(path, error)) {
        constexpr int shownFor = 5000; // milliseconds
        if (error == QStringLiteral("cancelled"))
            statusBar()->showMessage(QStringLiteral("Export cancelled: nothing was written"), shownFor);
        else
            bcl_show_error(this, exportError(path, error).toStdString());
        return;
    }
    constexpr int shownFor = 5000; // milliseconds
    statusBar()->showMessage(
        QStringLiteral("Exported %1 to %2")
            .arg(counted(static_cast<std::size_t>(model_->rowCount()), "transaction", "transactions"),
                 QFileInfo(path).fileName()),
        shownFor);
}

QString TFrmMain::SelectedRowText() const
{
    const QModelIndexList selected = ui->ListView->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return {};
    QStringList texts;
    for (int column = 0; column < TRecordListModel::ColumnCount; ++column) {
        // A tab or line end inside a text would split the row when it is pasted.
        QString text = qv_display_text(model_->text(selected.first().row(), column));
        text.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        texts << text;
    }
    return texts.join(QLatin1Char('\t'));
}

void TFrmMain::actEditCopyExecute()
{
    const QString text = SelectedRowText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
