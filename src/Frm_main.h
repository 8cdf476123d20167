// The main window.
//
// TFrmMain owns the record store (Tqv_records, unit Qv_file) and shows it: the transaction list (a
// QTableView over TRecordListModel, whose rows are the records shown, their texts made when asked for), the
// detail pane and the actions of the menus and tool bar. Calls go one way: the window calls the data layer to
// load, search and total; the data layer never calls the window. The report actions (Frm_main_report.cpp)
// hand points to the report window TFrmReport after the date range dialog TDlgDate. Every handler runs
// its work through bcl_guard, so that an error is shown in the standard error box.
#pragma once

#include "Qv_file.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;
class QFontMetrics;
class QMenu;

namespace Ui {
class TFrmMain;
}

// The program's icon in every size it is drawn in, for its windows.
QIcon qv_application_icon();

// Shows record bytes: as UTF-8 where they are valid UTF-8 (a last character cut short is dropped),
// otherwise as Windows-1252.
QString qv_display_text(std::string_view bytes);

// The lines of the detail pane for one record.
QStringList qv_detail_lines(const Tqv_record &rec);

// Eight bytes of a row's text in a list column, as the list orders them, in a number that compares like
// them; where the row stood before the sort, which decides between equals; and for a column of the
// records' own texts, the whole text.
struct TListSortKey {
    std::uint64_t prefix = 0;
    const char *text = nullptr;
    std::uint32_t position = 0;
    std::uint16_t size = 0;  // of text (a record's text has 127 bytes at most)
    std::uint8_t length = 0; // of the text's rest that prefix begins; 9: longer than prefix holds
};

// The transaction list: one row per record, in the order shown. A row holds no text of its own. The
// store never changes or removes a record while the program runs, so a row is the record's address and
// its texts are made when a view asks for them; a sort or a search permutes addresses. A million rows
// take 8 MB.
class TRecordListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TransId, Date, Time, Status, ItemTitle, Gross, Fee, Balance, FromEmail, ColumnCount };

    explicit TRecordListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A refill for as long as it lives: it begins by emptying the list and ends when it goes, so that
    // views see one reset whatever happens. Unless done() was called, the list ends empty: a refill
    // cut short by an error shows no rows rather than some of them.
    class Refill {
    public:
        explicit Refill(TRecordListModel &model);
        ~Refill();
        Refill(const Refill &) = delete;
        Refill &operator=(const Refill &) = delete;
        void done() { done_ = true; }

    private:
        TRecordListModel &model_;
        bool done_ = false;
    };

    // Refills go between begin and end, so that views see one reset.
    void beginRefill();
    // Empties the list; the room its rows took stays for the next fill.
    void clearRows();
    void reserveRows(std::size_t rows);
    // Appends a row for rec, which must outlive the row (a record of the store does).
    void appendRow(const Tqv_record &rec) { rows_.push_back(&rec); }
    void endRefill();

    const Tqv_record &record(int row) const { return *rows_[static_cast<std::size_t>(row)]; }
    // The text of a row in a column, as the bytes the record holds or, for dates, times and amounts,
    // as their list texts.
    std::string text(int row, int column) const;
    // Orders the rows by a column: amounts by value, the rest by their text with ASCII letters compared
    // as capitals; direction +1 or -1. Rows that compare equal keep their order.
    void sortRows(int column, int direction);
    // The ascending order of two shown rows in a column, as sortRows orders them: negative, 0, positive.
    int compareRows(int row1, int row2, int column) const;
    // From how many rows on a sort makes their keys and sorts them on two threads (tests lower it).
    void setSplitFrom(std::size_t rows) { splitFrom_ = rows; }

private:
    std::vector<const Tqv_record *> rows_;
    std::size_t splitFrom_ = 65536;
    // The room a sort works in, kept for the next: fresh memory costs more than the sort itself.
    std::vector<TListSortKey> keys_;
    std::vector<TListSortKey> merged_;
    std::vector<const Tqv_record *> sorted_;
};

// The text of a record in a list column: a view of the record's bytes, or of its date, time or amount
// text made into room (32 bytes hold any of them).
std::string_view qv_list_text(const Tqv_record &rec, int column, char (&room)[32]);

// Compares two list texts as the list sorts them: byte by byte, ASCII a to z as capitals.
int qv_list_text_compare(std::string_view a, std::string_view b);

// The width of a fixed list column in the list's font: the design width (laid out for a font whose
// digits and capitals average 6.5 pixels) scaled to the font, never below the design width, and never
// narrower than sample, the widest text that the column must show whole, with margin pixels beside it.
int qv_list_column_width(int design, const QFontMetrics &metrics, std::string_view sample, int margin);

class TFrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TFrmMain(QWidget *parent = nullptr);
    ~TFrmMain() override;

    std::unique_ptr<Tqv_records> records;

    void LoadHistoryFile(const std::string &path);
    void LoadHistoryFolder();
    // Loads the files in order and refills the list once (import and drops).
    void ImportFiles(const QStringList &paths);
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
    QFileDialog *importDialog() const { return importDialog_; }
    QFileDialog *exportDialog() const { return exportDialog_; }

    // The files loaded so far (the start-up folder's and every import's), which nothing writes over.
    const std::vector<std::string> &loadedFiles() const { return loadedFiles_; }
    // Writes the records that the list shows, in its order, as CSV to path. False with the reason in
    // error when the file was not written.
    bool ExportList(const QString &path, QString &error) const;
    // The nine texts of the selected row, tab-separated; empty without a selection.
    QString SelectedRowText() const;
    // The menu of a right click on the menu bar or the tool bar: the two view switches.
    QMenu *createPopupMenu() override;

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
    // Export, copy and the selectable detail pane.
    void InitDesktopActions();
    void rememberLoaded(const QStringList &paths);
    void actFileExportExecute();
    void actEditCopyExecute();
    void placeWindow();

    std::unique_ptr<Ui::TFrmMain> ui;
    TRecordListModel *model_ = nullptr;
    QFileDialog *importDialog_ = nullptr;
    QFileDialog *exportDialog_ = nullptr;
    std::vector<std::string> loadedFiles_;
    qv_load_report loadReport_;
    int columnsAdded_ = 0;
    int loadDialogDelay_ = 500;
    // Keys and mouse buttons pressed over the list and not yet released: only their releases show
    // the detail, not those of a press that went to a dialog now closed.
    std::vector<int> keysDown_;
    int buttonsDown_ = 0;
    char website_[32];
};

// How far a load has come, from 0 to 1, by files and by the bytes of the file being read.
double qv_load_fraction(const qv_load_state &state);

// The error box for the problems of a load. Its text is a summary read at a glance: whether the load
// was cancelled, the files that could not be read with the reason, the notes on files that write their
// values in another form, then how many lines of which file could not be loaded and how many dates or
// times of which file were left out of records that loaded (unlisted ones counted). The details hold
// every problem on a line of its own, FILE: MESSAGE for the files that could not be read, first, then
// for each file its notes (FILE: MESSAGE) and FILE:LINE: MESSAGE, and how many are not listed.
QString qv_load_problems_text(const qv_load_report &report);
QString qv_load_problems_details(const qv_load_report &report);

extern TFrmMain *FrmMain;
