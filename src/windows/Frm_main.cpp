// The main window (see Frm_main.h): its making, its list (columns, refills, the sort of a header click,
// keys and buttons), the detail pane and its lines, the search and the view and help actions. Loads,
// import, export and copy are in Frm_main_files.cpp, the report actions in Frm_main_report.cpp.
// The form's code names its window FrmMain too: it comes before the global of that name.
#include "ui_Frm_main.h"

#include "Accessible_names.h"
#include "Bcl.h"
#include "Frm_main.h"
#include "List_placeholder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

TFrmMain *FrmMain = nullptr;

namespace {

// The list's sort state: the column last clicked and the direction, flipped on every click.
int SortColumn = 0;
int SortDirection = 1;

// The product web site, kept scrambled with one key byte.
constexpr unsigned char websiteKey = 0x5A;
constexpr std::array<char, 32> scrambled(const char (&text)[32])
{
    std::array<char, 32> out{};
    for (std::size_t i = 0; i < 32; ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ websiteKey);
    return out;
}
constexpr std::array<char, 32> websiteScrambled = scrambled("https://quorvex.example/history");

QString cString(std::string_view bytes)
{
    return bytes.empty() ? QStringLiteral("(null)") : qv_display_text(bytes);
}

// Prints one detail line: the format with the values as UTF-8, into a buffer of 1024.
template <class... Args> QString detailLine(Cbcl_str &line, const char *format, Args... values)
{
    line.clear();
    std::snprintf(line.buffer(), 1024, format, values...);
    return QString::fromUtf8(line.buffer());
}

} // namespace

QIcon qv_application_icon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/icons/quorvex-history-%1.png").arg(size), QSize(size, size));
    return icon;
}

QStringList qv_detail_lines(const Tqv_record &r)
{
    Cbcl_str line(1024);
    QStringList lines;
    const auto s = [](std::string_view text) { return cString(text).toUtf8(); };
    lines << detailLine(line, "Transaction ID: %s (%s - %s)", s(r.trans_id()).constData(),
                        s(r.status()).constData(), s(r.status_note()).constData());
    if (!r.ref_trans_id().empty())
        lines << detailLine(line, "Reference Transaction ID: %s", s(r.ref_trans_id()).constData());
    lines << detailLine(line, "Date Time (%s): %u-%02u-%02u %02u:%02u:%02u", s(r.time_zone()).constData(),
                        unsigned{r.date.year}, unsigned{r.date.month}, unsigned{r.date.day},
                        unsigned{r.time.hour}, unsigned{r.time.minute}, unsigned{r.time.second});
    lines << QString();
    lines << detailLine(line, "Item Title: %s", s(r.item_title()).constData());
    lines << detailLine(line, "Item ID: %s", s(r.item_id()).constData());
    lines << detailLine(line, "Quantity: %d", r.quantity);
    lines << detailLine(line, "From Email Address: %s", s(r.from_email()).constData());
    if (!r.to_email().empty())
        lines << detailLine(line, "To Email Address: %s", s(r.to_email()).constData());
    lines << QString();
    const auto amountLine = [&line](const char *format, amount value) {
        return detailLine(line, format, qv_amount_text(value).c_str());
    };
    lines << amountLine("Gross: %s", r.gross) << amountLine("Fee: %s", r.fee) << amountLine("Net: %s", r.net)
          << amountLine("Shipping and Handling Amount: %s", r.shipping)
          << amountLine("Sales Tax: %s", r.sales_tax) << amountLine("Balance: %s", r.balance);
    lines << QString();
    lines << detailLine(line, "Buyer Name: %s (%s)", s(r.name()).constData(), s(r.name_note()).constData());
    // The parenthesis of the buyer ID and phone lines names the buyer they belong to.
    if (!r.buyer_id().empty())
        lines << detailLine(line, "Buyer ID: %s (%s)", s(r.buyer_id()).constData(), s(r.name()).constData());
    if (!r.phone().empty())
        lines << detailLine(line, "Contact Phone Number: %s (%s)", s(r.phone()).constData(),
                            s(r.name()).constData());
    if (!r.address1().empty()) {
        line.clear();
        char *buf = line.buffer();
        std::snprintf(buf, 1024, "Address: %s ", s(r.address1()).constData());
        if (!r.address2().empty()) {
            const std::size_t used = std::strlen(buf);
            std::snprintf(buf + used, 1024 - used, "%s ", s(r.address2()).constData());
        }
        const std::size_t used = std::strlen(buf);
        std::snprintf(buf + used, 1024 - used, "(%s)", s(r.address_note()).constData());
        lines << QString::fromUtf8(buf);
    }
    if (!r.city().empty())
        lines << detailLine(line, "City: %s ", s(r.city()).constData());
    if (!r.province().empty())
        lines << detailLine(line, "Province: %s ", s(r.province()).constData());
    if (!r.zip_code().empty())
        lines << detailLine(line, "ZIP Code: %s ", s(r.zip_code()).constData());
    if (!r.country().empty())
        lines << detailLine(line, "Country: %s ", s(r.country()).constData());
    return lines;
}

int qv_list_column_width(int design, const QFontMetrics &metrics, std::string_view sample, int margin)
{
    // "MS Sans Serif" at a character height of 13 pixels, the font the widths were laid out for.
    constexpr double designAverage = 6.5;
    const QString average = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double scale = metrics.horizontalAdvance(average) / double(average.size()) / designAverage;
    int width = std::max(design, static_cast<int>(std::ceil(design * scale)));
    if (!sample.empty())
        width = std::max(width, metrics.horizontalAdvance(QString::fromLatin1(sample)) + margin);
    return width;
}

// ---- The window ----------------------------------------------------------------------------------------

TFrmMain::TFrmMain(QWidget *parent, bool loadStartFolder)
    : QMainWindow(parent), ui(std::make_unique<Ui::TFrmMain>()), loadStartFolder_(loadStartFolder)
{
    ui->setupUi(this);
    // Menus take the 16-pixel drawings, the tool bar the 32-pixel ones; on a screen at 200 % they take
    // the 32- and 64-pixel ones.
    const std::pair<QAction *, const char *> drawings[] = {{ui->actFileImport, "import"},
                                                           {ui->actSearchTransId, "search"},
                                                           {ui->actSearchFromEmailAddr, "search"},
                                                           {ui->actSearchName, "search"},
                                                           {ui->actSearchAll, "all"},
                                                           {ui->actHelpWebsite, "website"}};
    for (const auto &[action, name] : drawings) {
        QIcon icon;
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("16.png"),
                     QSize(16, 16));
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("32.png"),
                     QSize(32, 32));
        icon.addFile(QStringLiteral(":/images/") + QLatin1String(name) + QStringLiteral("64.png"),
                     QSize(64, 64));
        action->setIcon(icon);
    }
    setAcceptDrops(true);
    model_ = new TRecordListModel(this);
    ui->ListView->setModel(model_);
    // The empty list says how to load files, or after a search that matched none, how to list them all.
    new TListPlaceholder(ui->ListView, [this] { return records ? records->count() : std::size_t{0}; });
    ui->ListView->installEventFilter(this);
    ui->ListView->viewport()->installEventFilter(this);
    // Tab goes from the list to the detail pane and back, not from cell to cell.
    ui->ListView->setTabKeyNavigation(false);
    ui->mmDetail->setTabChangesFocus(true);
    setTabOrder(ui->ListView, ui->mmDetail);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { listRefilled(); });
    // The tool bar shows and hides through View > Toolbar alone.
    ui->ToolBar1->setFloatable(false);
    ui->ToolBar1->toggleViewAction()->setEnabled(false);
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setSizes({666 - 274, 274});

    importDialog_ = new QFileDialog(this, QStringLiteral("Import Quorvex history files"));
    importDialog_->setNameFilter(QStringLiteral("Quorvex history files (.csv) (*.csv)"));
    importDialog_->setDefaultSuffix(QStringLiteral("csv"));
    importDialog_->setFileMode(QFileDialog::ExistingFiles);
    importDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    importDialog_->setSizeGripEnabled(true);

    const auto guarded = [this](void (TFrmMain::*handler)()) {
        return [this, handler] { bcl_guard(this, [this, handler] { (this->*handler)(); }); };
    };
    // The standard key of the standard exit action, shown in the File menu.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (!quitKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q)))
        quitKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_Q));
    ui->actFileExit->setShortcuts(quitKeys);
    connect(ui->actFileExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actFileLoadedFiles, &QAction::triggered, this, guarded(&TFrmMain::actFileLoadedFilesExecute));
    connect(ui->actFileImport, &QAction::triggered, this, guarded(&TFrmMain::actFileImportExecute));
    connect(ui->actSearchTransId, &QAction::triggered, this, guarded(&TFrmMain::actSearchTransIdExecute));
    connect(ui->actSearchFromEmailAddr, &QAction::triggered, this,
            guarded(&TFrmMain::actSearchFromEmailAddrExecute));
    connect(ui->actSearchName, &QAction::triggered, this, guarded(&TFrmMain::actSearchNameExecute));
    connect(ui->actSearchAll, &QAction::triggered, this, guarded(&TFrmMain::actSearchAllExecute));
    connect(ui->actViewToolbar, &QAction::triggered, this, guarded(&TFrmMain::actViewToolbarExecute));
    connect(ui->actViewDetails, &QAction::triggered, this, guarded(&TFrmMain::actViewDetailsExecute));
    connect(ui->actHelpWebsite, &QAction::triggered, this, guarded(&TFrmMain::actHelpWebsiteExecute));
    // The report actions guard themselves.
    connect(ui->actReportQuantityMonth, &QAction::triggered, this, &TFrmMain::actReportQuantityMonthExecute);
    connect(ui->actReportGrossMonth, &QAction::triggered, this, &TFrmMain::actReportGrossMonthExecute);
    connect(ui->actReportQuantityDay, &QAction::triggered, this, &TFrmMain::actReportQuantityDayExecute);
    connect(ui->actReportQGrossDay, &QAction::triggered, this, &TFrmMain::actReportQGrossDayExecute);
    connect(ui->ListView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { bcl_guard(this, [this, column] { ListViewColumnClick(column); }); });

    InitDesktopActions();
    InitStatusBar();
    InitAccessibleNames();
    bcl_guard(this, [this] { FormCreate(); });
    placeWindow();
}

void TFrmMain::placeWindow()
{
    // Centred on the screen, and never larger than it.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        resize(std::min(width(), room.width()), std::min(height(), room.height()));
        move(room.center() - rect().center());
    }
}

TFrmMain::~TFrmMain()
{
    FormClose();
}

void TFrmMain::FormCreate()
{
    std::memcpy(website_, websiteScrambled.data(), sizeof website_);
    for (char &c : website_)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ websiteKey);
    InitListView();
    records = std::make_unique<Tqv_records>();
    if (loadStartFolder_) {
        LoadHistoryFolder();
        // The files the folder load took, by the listing it used.
        rememberLoaded(qv_history_files(std::string()), false);
    }
    ShowAllRecords();
    // The window has its size and place before a problem box is centred on it.
    placeWindow();
    showLoadProblems();
}

void TFrmMain::FormClose()
{
    // The rows are the store's records: the list goes before them.
    if (model_ != nullptr) {
        const TRecordListModel::Refill empty(*model_);
    }
    records.reset();
}

void TFrmMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TFrmMain::InitListView()
{
    ui->mmDetail->clear();
    QFont font = ui->ListView->font();
    font.setPointSize(10);
    ui->ListView->setFont(font);
    ui->ListView->horizontalHeader()->setFont(font);
    ui->ListView->setShowGrid(true);
    ui->ListView->verticalHeader()->hide();
    ui->ListView->verticalHeader()->setDefaultSectionSize(ui->ListView->fontMetrics().height() + 6);
    ui->ListView->horizontalHeader()->setSortIndicatorShown(false);
    ui->ListView->horizontalHeader()->setSectionsClickable(true);
    resize(747, 666);
    AddColumn("Transaction ID", 150);
    AddColumn("Date", 100);
    AddColumn("Time", 100);
    AddColumn("Status", 100);
    AddColumn("Item title", 200);
    AddColumn("Gross", 80);
    AddColumn("Fee", 80);
    AddColumn("Balance", 80);
    AddColumn("From Email address", 0);
}

void TFrmMain::AddColumn(const char *caption, int width)
{
    // The model holds the captions in this order; each call sizes the next column.
    if (bcl_is_empty(caption) || columnsAdded_ >= TRecordListModel::ColumnCount)
        return;
    const int column = columnsAdded_++;
    QHeaderView *header = ui->ListView->horizontalHeader();
    if (width != 0) {
        // The longest texts that the fixed columns must show whole.
        static const char *const samples[TRecordListModel::ColumnCount] = {
            "00MU32VKYD8F5FXQW", "2009-06-05",   "23:59:59",     "", "",
            "-21474836.48",      "-21474836.48", "-21474836.48", ""};
        // The cell's text margins and a grid line.
        const int margin =
            2 * (ui->ListView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ui->ListView) +
                 1) +
            2;
        width = qv_list_column_width(width, ui->ListView->fontMetrics(), samples[column], margin);
        header->resizeSection(column, width);
    } else {
        header->setStretchLastSection(true);
    }
    resize(this->width() + width, height());
}

void TFrmMain::listRefilled()
{
    ui->ListView->horizontalHeader()->setSortIndicatorShown(false);
    ui->ListView->scrollToTop();
}

QMenu *TFrmMain::createPopupMenu()
{
    auto *menu = new QMenu(this);
    menu->addAction(ui->actViewToolbar);
    menu->addAction(ui->actViewDetails);
    return menu;
}

void TFrmMain::ShowAllRecords()
{
    if (!records || records->count() == 0)
        return;
    const Tbcl_wait_cursor wait;
    searchShown_ = false;
    TRecordListModel::Refill refill(*model_);
    // A row is the record's address: a million rows are made in milliseconds.
    const Tqv_records &store = *records;
    const std::size_t n = store.count();
    model_->reserveRows(n);
    for (std::size_t i = 0; i < n; ++i)
        AddRecordItem(*store.record_at(i));
    refill.done();
}

void TFrmMain::AddRecordItem(const Tqv_record_object &rec)
{
    model_->appendRow(rec.data);
}

void TFrmMain::ListViewColumnClick(int column)
{
    QHeaderView *header = ui->ListView->horizontalHeader();
    const int direction = -SortDirection;
    {
        const Tbcl_wait_cursor wait;
        // A long list is ordered on a thread of its own; the window shows, after a moment, that it
        // sorts, with Cancel, which leaves the list and the arrow as they were.
        Tbcl_busy busy;
        bool ordered = false;
        const std::string caption =
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().toStdString();
        bcl_run_busy(this, "SortProgress", "Sorting by " + caption, busyDialogDelay_, busy,
                     [&] { ordered = model_->orderRows(column, direction, &busy.cancel); });
        if (!ordered) {
            // The header turns its arrow round by itself when clicked.
            header->setSortIndicator(SortColumn,
                                     SortDirection > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
        model_->applyOrder(column, direction);
    }
    SortColumn = column;
    SortDirection = direction;
    // The arrow shows only over rows that are in the order it claims; the style draws it the way the
    // desktop shows ascending (smallest first) and descending order.
    header->setSortIndicatorShown(model_->rowCount() > 0);
    header->setSortIndicator(column, SortDirection > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

int TFrmMain::ListViewCompare(int row1, int row2) const
{
    return model_->compareRows(row1, row2, SortColumn) * SortDirection;
}

void TFrmMain::ShowDetail()
{
    const QModelIndexList selected = ui->ListView->selectionModel()->selectedRows();
    if (!records || selected.isEmpty()) {
        ui->mmDetail->clear();
        return;
    }
    const Tqv_record_object *rec = records->find(model_->record(selected.first().row()).trans_id());
    if (rec == nullptr)
        return;
    ui->mmDetail->setPlainText(qv_detail_lines(rec->data).join(QLatin1Char('\n')));
    ui->mmDetail->verticalScrollBar()->setValue(0);
}

bool TFrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->ListView || watched == ui->ListView->viewport()) {
        bool consumed = false;
        bcl_guard(this, [&] { consumed = listInput(event, watched != ui->ListView); });
        if (consumed)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFrmMain::typeAhead(const QString &text)
{
    if (!typeClock_.isValid())
        typeClock_.start();
    const std::int64_t now = typeClock_.elapsed();
    if (now - typedAt_ > QApplication::keyboardInputInterval())
        typed_.clear();
    typedAt_ = now;
    typed_ += text;
    if (model_->rowCount() == 0)
        return;
    const QModelIndex current = ui->ListView->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const int column = current.isValid() ? current.column() : 0;
    // A new search, or the same letter typed again, begins after the current row; a longer text at it.
    const bool oneLetter = typed_.count(typed_.at(0)) == typed_.size();
    const QString prefix = oneLetter ? typed_.left(1) : typed_;
    const int from = oneLetter || row < 0 ? row + 1 : row;
    const int found = model_->findRow(column, prefix.toUtf8().toStdString(), from);
    if (found < 0)
        return;
    const QModelIndex index = model_->index(found, column);
    ui->ListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    ui->ListView->scrollTo(index);
}

bool TFrmMain::listInput(QEvent *event, bool viewport)
{
    bool release = false;
    switch (event->type()) {
    case QEvent::ContextMenu: {
        // The right button opens the menu where it was pressed; a key (the Menu key where the window
        // system makes it a context menu event) at the selected row.
        const auto *menu = static_cast<QContextMenuEvent *>(event);
        if (menu->reason() == QContextMenuEvent::Mouse)
            showListMenu(viewport ? menu->pos()
                                  : ui->ListView->viewport()->mapFrom(ui->ListView, menu->pos()));
        else
            showListMenu(listMenuPlace());
        return true;
    }
    case QEvent::KeyPress: {
        if (viewport)
            break;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool menuKey = key->key() == Qt::Key_Menu ||
                             (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
        if (menuKey && QApplication::activePopupWidget() == nullptr) {
            showListMenu(listMenuPlace());
            return true;
        }
        if (std::find(keysDown_.begin(), keysDown_.end(), key->key()) == keysDown_.end())
            keysDown_.push_back(key->key());
        // Printable text goes to type-ahead, which finds its row in the list's own bytes rather than
        // asking the view for every row's text.
        const Qt::KeyboardModifiers command = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if (!key->text().isEmpty() && key->text().at(0).isPrint() && (key->modifiers() & command) == 0 &&
            !(key->text() == QStringLiteral(" ") && typed_.isEmpty())) {
            typeAhead(key->text());
            return true;
        }
        // Any other key but a modifier (Shift for a capital) ends the text typed so far.
        const int k = key->key();
        if (k != Qt::Key_Shift && k != Qt::Key_Control && k != Qt::Key_Alt && k != Qt::Key_AltGr &&
            k != Qt::Key_Meta && k != Qt::Key_CapsLock)
            typed_.clear();
        // With no row selected, the first Up or Down selects the current row (the first one at
        // start-up) instead of moving past it.
        const bool upDown = key->key() == Qt::Key_Down || key->key() == Qt::Key_Up;
        QItemSelectionModel *selection = ui->ListView->selectionModel();
        if (upDown && key->modifiers() == Qt::NoModifier && model_->rowCount() > 0 &&
            !selection->hasSelection()) {
            const QModelIndex current = ui->ListView->currentIndex();
            const QModelIndex row = model_->index(current.isValid() ? current.row() : 0, 0);
            selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ui->ListView->scrollTo(row);
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        if (viewport)
            break;
        const auto *key = static_cast<QKeyEvent *>(event);
        const auto down = std::find(keysDown_.begin(), keysDown_.end(), key->key());
        if (down != keysDown_.end()) {
            if (!key->isAutoRepeat())
                keysDown_.erase(down);
            release = true;
        }
        break;
    }
    case QEvent::FocusOut:
        keysDown_.clear();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (viewport)
            buttonsDown_ |= static_cast<const QMouseEvent *>(event)->button();
        break;
    case QEvent::MouseButtonRelease: {
        const int button = static_cast<const QMouseEvent *>(event)->button();
        if (viewport && (buttonsDown_ & button) != 0) {
            buttonsDown_ &= ~button;
            release = true;
        }
        break;
    }
    default:
        break;
    }
    if (release) {
        // The selection follows the press; the pane follows the release.
        QMetaObject::invokeMethod(
            this, [this] { bcl_guard(this, [this] { ShowDetail(); }); }, Qt::QueuedConnection);
    }
    return false;
}

void TFrmMain::SearchRecords(qv_search_field field, const QString &typed)
{
    const qv_lower_fn lower = [](std::string_view name) {
        return qv_display_text(name).toLower().toUtf8().toStdString();
    };
    // The typed text is UTF-8; a field is matched as the list shows it, whichever encoding it came in.
    const qv_lower_fn shown = [](std::string_view bytes) {
        return qv_display_text(bytes).toUtf8().toStdString();
    };
    // The walk runs on a thread of its own, behind a progress dialog with Cancel when it takes long;
    // a cancelled search leaves the list as it was.
    const Tbcl_wait_cursor wait;
    Tbcl_busy busy;
    busy.total = records->count();
    std::vector<std::size_t> found;
    const bool cancelled = bcl_run_busy(this, "SearchProgress", "Searching", busyDialogDelay_, busy, [&] {
        found = qv_search_records(*records, field, typed.toUtf8().toStdString(), lower, shown,
                                  [&](std::size_t walked) {
                                      busy.done.store(walked);
                                      return !busy.cancel.load();
                                  });
    });
    if (cancelled)
        return;
    searchShown_ = true;
    TRecordListModel::Refill refill(*model_);
    for (const std::size_t pos : found)
        AddRecordItem(*records->record_at(pos));
    refill.done();
}

void TFrmMain::search(qv_search_field field, const char *prompt)
{
    if (!records || records->count() == 0) {
        bcl_show_message(this, "No records to be searched.", "Information");
        return;
    }
    QInputDialog input(this);
    input.setWindowTitle(QStringLiteral("Search"));
    input.setLabelText(QString::fromLatin1(prompt));
    input.setInputMode(QInputDialog::TextInput);
    input.setTextValue(QString());
    if (auto *edit = input.findChild<QLineEdit *>()) {
        edit->setMaxLength(255);
        edit->setAccessibleName(QString::fromLatin1(prompt));
    }
    // The box makes its buttons when it is laid out.
    (void)input.sizeHint();
    qv_name_accessible_parts(&input);
    if (input.exec() != QDialog::Accepted)
        return;
    const QString typed = input.textValue().left(255);
    if (typed.isEmpty())
        return;
    SearchRecords(field, typed);
}

void TFrmMain::actSearchTransIdExecute()
{
    search(qv_search_field::trans_id, "Please input Transaction ID:");
}

void TFrmMain::actSearchFromEmailAddrExecute()
{
    search(qv_search_field::from_email, "Please input From Email Address:");
}

void TFrmMain::actSearchNameExecute()
{
    search(qv_search_field::name, "Please input Name:");
}

void TFrmMain::actSearchAllExecute()
{
    ShowAllRecords();
}

void TFrmMain::actViewToolbarExecute()
{
    ui->ToolBar1->setVisible(ui->actViewToolbar->isChecked());
}

void TFrmMain::actViewDetailsExecute()
{
    // Hiding the pane hides the splitter's handle with it.
    ui->mmDetail->setVisible(ui->actViewDetails->isChecked());
}

void TFrmMain::actHelpWebsiteExecute()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(website_)));
}

void TFrmMain::showListMenu(const QPoint &viewportPos)
{
    actEditCopy_->setEnabled(ui->ListView->selectionModel()->hasSelection());
    listMenu_->popup(ui->ListView->viewport()->mapToGlobal(viewportPos));
}

QPoint TFrmMain::listMenuPlace()
{
    const QModelIndexList selected = ui->ListView->selectionModel()->selectedRows();
    const QModelIndex at = !selected.isEmpty() ? selected.first() : ui->ListView->currentIndex();
    if (!at.isValid())
        return {8, 8};
    const QModelIndex first = model_->index(at.row(), 0);
    ui->ListView->scrollTo(first);
    const QRect row = ui->ListView->visualRect(first);
    // Below the row's text, which stays readable.
    return {row.left() + 8, row.bottom()};
}

void TFrmMain::InitAccessibleNames()
{
    // What a screen reader says for each part of the window; the actions name their own buttons, and
    // the parts Qt makes (scroll bars, menus, the grip...) are named after the control they belong to.
    ui->MainMenu1->setAccessibleName(QStringLiteral("Menu bar"));
    ui->ToolBar1->setAccessibleName(QStringLiteral("Tool bar"));
    // The list's description is what its empty area says (List_placeholder).
    ui->ListView->setAccessibleName(QStringLiteral("Transactions"));
    ui->mmDetail->setAccessibleName(QStringLiteral("Transaction details"));
    ui->mmDetail->setAccessibleDescription(QStringLiteral("Every field of the selected transaction"));
    ui->Splitter1->setAccessibleName(QStringLiteral("Transactions and details"));
    ui->centralwidget->setAccessibleName(QStringLiteral("Transactions and details"));
    qv_name_accessible_parts(this);
}
