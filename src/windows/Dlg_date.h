// The date range dialog: two date pickers, From and To, checked on OK.
#pragma once

#include "Qv_file.h"

#include <QDate>
#include <QDialog>
#include <QString>
#include <memory>

class QLocale;

namespace Ui {
class TDlgDate;
}

// A date typed whole, in the form of the history files (3/15/2021, month/day/year) or year first
// (2021-03-15); invalid when the text is neither or names no real day.
QDate qv_typed_date(const QString &text);

class TDlgDate : public QDialog {
    Q_OBJECT

public:
    explicit TDlgDate(QWidget *parent = nullptr);
    ~TDlgDate() override;

    // The range of the last OK; all zero before the first.
    qv_date FromDate;
    qv_date ToDate;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void btnOKClick();

    std::unique_ptr<Ui::TDlgDate> ui;
};

extern TDlgDate *DlgDate;

// The locale's short date format with the year always in four digits: a two-digit year is ambiguous
// across the decades that a history spans, and a date picker cannot enter the century otherwise.
QString shortDateFormat(const QLocale &locale);
