// The "Loaded files" window: every file loaded in this run, in load order, with what each gave (lines
// read, transactions added, transactions it held that were already loaded, problems, its first and
// last date), and a total row that stays at the bottom whatever the sort. Read-only; a header click
// sorts by a column, Ctrl+C copies the selected rows as tab-separated text.
#pragma once

#include "Qv_file.h"

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QStandardItemModel;
class QSortFilterProxyModel;
class QTableView;

// A file as the window lists it: its name and folder apart, as text.
struct TLoadedFileName {
    QString name;
    QString folder;
};
TLoadedFileName qv_loaded_file_name(const std::string &path);

class TFrmLoadedFiles : public QDialog {
    Q_OBJECT

public:
    enum Column { FileName, Folder, Lines, Added, AlreadyLoaded, Problems, FirstDate, LastDate, ColumnCount };

    explicit TFrmLoadedFiles(QWidget *parent = nullptr);

    // Shows these files, in this order, and their total below them.
    void setFiles(const std::vector<qv_load_file> &files);
    QTableView *table() const { return table_; }
    // The texts of the rows shown (the total row last), one list per row, in the order shown.
    QList<QStringList> rowTexts() const;
    // The selected rows, in the order shown, tab-separated, one a line.
    QString selectedRowsText() const;

private:
    void copyRows();

    QTableView *table_ = nullptr;
    QStandardItemModel *model_ = nullptr;
    QSortFilterProxyModel *sorted_ = nullptr;
};
