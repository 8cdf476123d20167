// The main window.
//
// TFrmMain owns the record store (Tqv_records, unit Qv_file) and shows it: the transaction list (a
// QTableView over TRecordListModel, whose rows are the records shown, their texts made when asked for), the
// detail pane and the actions of the menus and tool bar. Calls go one way: the window calls the data layer to
// load, search and total; the data layer never calls the window. The report actions (Frm_main_report.cpp)
// hand points to the report window TFrmReport after the date range dialog TDlgDate. Every handler runs
// its work through bcl_guard, so that an error is shown in the standard error box.
//
// The windows' units (src/windows/): Frm_main.cpp makes this window and handles its list, detail pane,
// search and view actions; Frm_main_files.cpp its loads with their progress and problem box, import,
// drops, export and copy; Record_list_model the list's model (its texts and sort), which calls only the
// data layer; Frm_report with Frm_report_view.cpp and Frm_report_save.cpp the report window, Report_axis
// its axis and mark arithmetic; Dlg_date the date range dialog; Bcl_message the message boxes and the
// wait cursor. main.cpp and App_command_line (src/) make the windows and pass them the command line;
// nothing in the windows calls them.
#pragma once

#include "Qv_file.h"
#include "Record_list_model.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QDate;
class QFileDialog;
class QFontMetrics;
class QLabel;
class QMenu;
class QToolButton;
class TFrmLoadedFiles;

namespace Ui {
class TFrmMain;
}

// The program's icon in every size it is drawn in, for its windows.
QIcon qv_application_icon();

// The lines of the detail pane for one record.
QStringList qv_detail_lines(const Tqv_record &rec);

// The width of a fixed list column in the list's font: the design width (laid out for a font whose
// digits and capitals average 6.5 pixels) scaled to the font, never below the design width, and never
// narrower than sample, the widest text that the column must show whole, with margin pixels beside it.
int qv_list_column_width(int design, const QFontMetrics &metrics, std::string_view sample, int margin);

// The status bar's count: "N transactions", after a search "N of M transactions", and "from F files"
// when any file was read.
QString qv_status_counts(std::size_t shown, std::size_t total, bool searched, std::size_t files);
// How many problems a load reported, listed or only counted (the notes on a file's form aside).
std::size_t qv_load_problem_count(const qv_load_report &report);

// The error box of a load's problems: its summary and its details (see qv_load_problems_box).
struct TLoadProblemsBox {
    QString text;
    QString details;
};

class TFrmMain : public QMainWindow {
    Q_OBJECT

public:
    // Without loadStartFolder the window starts empty rather than with the *.csv files of the current
    // folder (--no-folder).
    explicit TFrmMain(QWidget *parent = nullptr, bool loadStartFolder = true);
    ~TFrmMain() override;

    std::unique_ptr<Tqv_records> records;

    void LoadHistoryFile(const std::string &path);
    void LoadHistoryFolder();
    // Loads the files in order and refills the list once (import and drops).
    void ImportFiles(const QStringList &paths);
    // The same for names as the system gives them (the command line): bytes, not necessarily UTF-8.
    void ImportFileNames(const std::vector<std::string> &names);
    void ShowAllRecords();
    void AddRecordItem(const Tqv_record_object &rec);
    void ShowDetail();
    // The order of two shown rows by the last clicked column and direction: negative puts row1 first.
    int ListViewCompare(int row1, int row2) const;
    // Replaces the rows by the records whose field contains text.
    void SearchRecords(qv_search_field field, const QString &typed);

    TRecordListModel *listModel() const { return model_; }
    // How long a load runs before its progress dialog shows (tests shorten it).
    void setLoadDialogDelay(int ms) { loadDialogDelay_ = ms; }
    // Work that takes longer than this shows its progress, with Cancel (tests set 0).
    void setBusyDialogDelay(int ms) { busyDialogDelay_ = ms; }
    QFileDialog *importDialog() const { return importDialog_; }
    QFileDialog *exportDialog() const { return exportDialog_; }

    // The files loaded so far (the start-up folder's and every import's), which nothing writes over.
    const std::vector<std::string> &loadedFiles() const { return loadedFiles_; }
    // Writes the records that the list shows, in its order, as CSV to path, on a thread of its own;
    // after a quarter of a second a progress dialog shows how far it has come, and its Cancel stops
    // the write (error "cancelled"; nothing written). False with the reason in error when the file was
    // not written.
    bool ExportList(const QString &path, QString &error);
    // The folder the import and export dialogs open in: that of the last import, or the start-up
    // folder before any (and when the last import's folder is gone). Never Qt's shared memory of the
    // folder that some program's file dialog visited last.
    QString FileDialogFolder() const;
    // The nine texts of the selected row, tab-separated; empty without a selection.
    QString SelectedRowText() const;
    // The menu of a right click on the menu bar or the tool bar: the two view switches.
    QMenu *createPopupMenu() override;
    // The list's context menu: Copy, Export list...
    QMenu *listContextMenu() const { return listMenu_; }
    // Every file loaded in this run, in load order, with what each gave.
    const std::vector<qv_load_file> &loadedFileFigures() const { return loadedFileFigures_; }
    // The "Loaded files" window, once File > Loaded files... made it.
    TFrmLoadedFiles *loadedFilesWindow() const { return loadedFilesWindow_; }
    // The status bar's permanent parts: the counts, and the button that shows the last load's problems.
    QLabel *statusCounts() const { return statusCounts_; }
    QToolButton *statusProblems() const { return statusProblems_; }

    void actReportQuantityMonthExecute();
    void actReportGrossMonthExecute();
    void actReportQuantityDayExecute();
    void actReportQGrossDayExecute();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormCreate();
    void FormClose();
    void InitListView();
    void AddColumn(const char *caption, int width);
    // After every refill: rows in store order carry no sort arrow, and the list starts at its top.
    void listRefilled();
    // Keys and buttons over the list: the pane follows the release of what was pressed there.
    bool listInput(QEvent *event, bool viewport);
    // Type-ahead: the text typed into the list within the desktop's interval goes to the next row whose
    // text in the current column begins with it (the same letter again steps to the next such row).
    void typeAhead(const QString &text);
    void ListViewColumnClick(int column);
    void actFileImportExecute();
    void actFileImportAccept(const QStringList &files);
    void actSearchTransIdExecute();
    void actSearchFromEmailAddrExecute();
    void actSearchNameExecute();
    void actSearchAllExecute();
    void actViewToolbarExecute();
    void actViewDetailsExecute();
    void actHelpWebsiteExecute();
    void search(qv_search_field field, const char *prompt);
    // Runs a load with the wait cursor and, when it takes a while, a progress dialog; then shows what
    // it reported.
    void runLoad(const std::function<void(const qv_load_progress &)> &load);
    void showLoadProblems();
    // The status bar's counts after a load, a refill or a search.
    void updateStatus();
    void InitStatusBar();
    void InitAccessibleNames();
    void actFileLoadedFilesExecute();
    // Opens the list's context menu at a place of the list's viewport.
    void showListMenu(const QPoint &viewportPos);
    // Where a menu opened from the keyboard stands: at the selected row, else the current one, else the
    // top of the list.
    QPoint listMenuPlace();
    // Export, copy and the selectable detail pane.
    void InitDesktopActions();
    // Keeps the absolute names of files loaded; imported says that they are an import's, whose folder
    // the file dialogs open in next.
    void rememberLoaded(const std::vector<std::string> &names, bool imported);
    // A chosen path as the data layer takes it: its bytes, or only the file's name when it lies in the
    // start-up folder and the whole path is longer than the system takes (the program runs in that
    // folder, so the bare name reaches it).
    std::string localName(const QString &path) const;
    void actFileExportExecute();
    void actEditCopyExecute();
    void placeWindow();

    std::unique_ptr<Ui::TFrmMain> ui;
    TRecordListModel *model_ = nullptr;
    QFileDialog *importDialog_ = nullptr;
    QFileDialog *exportDialog_ = nullptr;
    std::vector<std::string> loadedFiles_;
    std::string startFolder_;  // the current folder when the window was made, absolute
    std::string importFolder_; // the folder of the last imported file, or empty
    qv_load_report loadReport_;
    std::vector<qv_load_file> loadedFileFigures_;
    TLoadProblemsBox lastProblems_;
    bool searchShown_ = false;
    QLabel *statusCounts_ = nullptr;
    QToolButton *statusProblems_ = nullptr;
    QMenu *listMenu_ = nullptr;
    QAction *actFileExport_ = nullptr;
    QAction *actEditCopy_ = nullptr;
    TFrmLoadedFiles *loadedFilesWindow_ = nullptr;
    int columnsAdded_ = 0;
    int loadDialogDelay_ = 500;
    int busyDialogDelay_ = 250; // export, sort, search or report that takes longer shows its progress
    bool loadStartFolder_ = true;
    // Keys and mouse buttons pressed over the list and not yet released: only their releases show
    // the detail, not those of a press that went to a dialog now closed.
    std::vector<int> keysDown_;
    int buttonsDown_ = 0;
    QString typed_;            // what type-ahead has been given so far
    std::int64_t typedAt_ = 0; // when, in milliseconds of typeClock_
    QElapsedTimer typeClock_;
    char website_[32];
};

// The name the export proposes for a list saved on day: history-YYYY-MM-DD.csv.
QString qv_export_file_name(const QDate &day);

// How far a load has come, from 0 to 1, by files and by the bytes of the file being read.
double qv_load_fraction(const qv_load_state &state);

// The error box for the problems of a load, from one grouping of them by file. Its text is a summary
// read at a glance: whether the load was cancelled, the files that could not be read with the reason,
// the notes on files that write their values in another form, then how many lines of which file could
// not be loaded and how many dates or times of which file were left out of records that loaded
// (unlisted ones counted). The details hold every problem on a line of its own, FILE: MESSAGE for the
// files that could not be read, first, then for each file its notes (FILE: MESSAGE) and
// FILE:LINE: MESSAGE, and how many are not listed.
TLoadProblemsBox qv_load_problems_box(const qv_load_report &report);

extern TFrmMain *FrmMain;
