// The report window: one line chart of (date, value) points, refilled by each report and shown modally.
#pragma once

#include "Qv_file.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TFrmReport;
}

class TFrmReport : public QDialog {
    Q_OBJECT

public:
    explicit TFrmReport(QWidget *parent = nullptr);
    ~TFrmReport() override;

    // Empties the series, sets the chart title (its one line) and the series name.
    void BeginReport(const QString &title, const QString &seriesName);
    // A point on the first day of date's month, labelled "year-month". Throws for a month outside 1..12.
    void AddMonthPoint(const qv_date &date, double value);
    // A point at date, unlabelled. Throws for a date that does not exist.
    void AddDayPoint(const qv_date &date, double value);

private:
    std::unique_ptr<Ui::TFrmReport> ui;
};

extern TFrmReport *FrmReport;
