// The "Loaded files" window (see Frm_loaded_files.h).
#include "Frm_loaded_files.h"

#include "Accessible_names.h"
#include "Bcl.h"
#include "Record_list_model.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int sortRole = Qt::UserRole + 1;
constexpr int totalRole = Qt::UserRole + 2;

// Sorts by the column's value and keeps the total row at the bottom in either direction.
class TTotalLastProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        const bool leftTotal = left.data(totalRole).toBool();
        const bool rightTotal = right.data(totalRole).toBool();
        if (leftTotal != rightTotal) {
            // In descending order the proxy asks lessThan(right, left).
            const bool descending = sortOrder() == Qt::DescendingOrder;
            return leftTotal ? descending : !descending;
        }
        return QSortFilterProxyModel::lessThan(left, right);
    }
};

QString dateText(const qv_date &date)
{
    return qv_date_is_valid(date) ? QString::fromStdString(qv_date_text(date)) : QString();
}

QList<QStandardItem *> rowItems(const TLoadedFileName &name, const qv_load_file &figures, bool total)
{
    const QLocale locale;
    QList<QStandardItem *> items;
    const auto text = [&](const QString &shown, const QVariant &key) {
        auto *item = new QStandardItem(shown);
        item->setData(key, sortRole);
        item->setData(total, totalRole);
        item->setEditable(false);
        items << item;
    };
    const auto number = [&](std::size_t n) {
        text(locale.toString(static_cast<qulonglong>(n)), static_cast<qulonglong>(n));
        items.back()->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    const auto date = [&](const qv_date &d) {
        text(dateText(d), static_cast<qlonglong>(qv_date_is_valid(d) ? qv_date_key(d) : 0));
    };
    text(name.name, name.name.toLower());
    text(name.folder, name.folder.toLower());
    items.back()->setToolTip(name.folder);
    number(figures.lines);
    number(figures.added);
    number(figures.duplicates);
    number(figures.problems);
    date(figures.first);
    date(figures.last);
    if (total) {
        for (QStandardItem *item : items) {
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
        }
    }
    return items;
}

} // namespace

TLoadedFileName qv_loaded_file_name(const std::string &path)
{
    const std::string escaped = qv_escaped_name(path);
    const std::size_t slash = escaped.find_last_of('/');
    if (slash == std::string::npos)
        return {qv_display_text(escaped), QString()};
    return {qv_display_text(std::string_view(escaped).substr(slash + 1)),
            qv_display_text(slash == 0 ? std::string_view("/") : std::string_view(escaped).substr(0, slash))};
}

TFrmLoadedFiles::TFrmLoadedFiles(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmLoadedFiles"));
    setWindowTitle(QStringLiteral("Loaded files"));
    setSizeGripEnabled(true);
    resize(900, 320);

    model_ = new QStandardItemModel(0, ColumnCount, this);
    const char *const captions[ColumnCount] = {"File",           "Folder",   "Lines read", "Added",
                                               "Already loaded", "Problems", "First date", "Last date"};
    for (int c = 0; c < ColumnCount; ++c) {
        auto *header = new QStandardItem(QString::fromLatin1(captions[c]));
        if (c >= Lines && c <= Problems)
            header->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        else
            header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        model_->setHorizontalHeaderItem(c, header);
    }
    sorted_ = new TTotalLastProxy(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(sortRole);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("FileList"));
    table_->setAccessibleName(QStringLiteral("Loaded files"));
    table_->setAccessibleDescription(
        QStringLiteral("Every file loaded in this run, in load order, with the total in the last row"));
    table_->setModel(sorted_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(false);
    // A long folder keeps its start and its end, where the names differ.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->verticalHeader()->hide();
    // Shown, on no column until a click, so that the columns have room for the arrow.
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setStretchLastSection(false);
    // The first click on a header sorts ascending, the next descending.
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this, last = -1, order = Qt::AscendingOrder](int column) mutable {
                order =
                    column == last && order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
                last = column;
                table_->horizontalHeader()->setSortIndicator(column, order);
                sorted_->sort(column, order);
            });

    auto *copy = new QAction(QStringLiteral("&Copy"), table_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(copy);
    connect(copy, &QAction::triggered, this, [this] { bcl_guard(this, [this] { copyRows(); }); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setAccessibleName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    setFocusProxy(table_);
    qv_name_accessible_parts(this);
}

void TFrmLoadedFiles::setFiles(const std::vector<qv_load_file> &files)
{
    model_->removeRows(0, model_->rowCount());
    qv_load_file total;
    for (const qv_load_file &file : files) {
        model_->appendRow(rowItems(qv_loaded_file_name(file.file), file, false));
        total.lines += file.lines;
        total.added += file.added;
        total.duplicates += file.duplicates;
        total.problems += file.problems;
        if (qv_date_is_valid(file.first) &&
            (!qv_date_is_valid(total.first) || qv_date_key(file.first) < qv_date_key(total.first)))
            total.first = file.first;
        if (qv_date_is_valid(file.last) &&
            (!qv_date_is_valid(total.last) || qv_date_key(file.last) > qv_date_key(total.last)))
            total.last = file.last;
    }
    const QString files_text = files.size() == 1
                                   ? QStringLiteral("Total: 1 file")
                                   : QStringLiteral("Total: %1 files")
                                         .arg(QLocale().toString(static_cast<qulonglong>(files.size())));
    // The total row sorts by load order among none: its name only tells how many files it sums.
    model_->appendRow(rowItems({files_text, QString()}, total, true));
    for (int c = 0; c < ColumnCount; ++c) {
        if (c != Folder)
            table_->resizeColumnToContents(c);
    }
    table_->horizontalHeader()->setSectionResizeMode(Folder, QHeaderView::Stretch);
    if (!table_->currentIndex().isValid() && sorted_->rowCount() > 0)
        table_->setCurrentIndex(sorted_->index(0, 0));
}

QList<QStringList> TFrmLoadedFiles::rowTexts() const
{
    QList<QStringList> rows;
    for (int r = 0; r < sorted_->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < ColumnCount; ++c)
            row << sorted_->index(r, c).data().toString();
        rows << row;
    }
    return rows;
}

QString TFrmLoadedFiles::selectedRowsText() const
{
    QModelIndexList selected = table_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex &index : selected) {
        QStringList texts;
        for (int c = 0; c < ColumnCount; ++c)
            texts << sorted_->index(index.row(), c).data().toString();
        lines << texts.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

void TFrmLoadedFiles::copyRows()
{
    const QString text = selectedRowsText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
