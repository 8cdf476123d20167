// The four report actions of the main window. Each gathers its input (the date range dialog, the store),
// has FillReport put the points into the report window and shows that window; the reports themselves
// are computed by the data layer (qv_report_month, qv_report_day).
#include "Frm_main.h"

#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_report.h"

#include <QApplication>

namespace {

const char *const noRecords = "No records to be reported.";

// Runs one report over the whole store. The month reports look at the store only after the date range
// dialog, the day reports before it.
void runReport(QWidget *owner, Tqv_records &store, qv_report_kind kind, int busyDelay)
{
    const bool month = kind == qv_report_kind::quantity_month || kind == qv_report_kind::gross_month;
    if (!month && store.count() == 0) {
        bcl_show_message(owner, noRecords, "Information");
        return;
    }
    if (DlgDate->exec() != QDialog::Accepted)
        return;
    const qv_date from = DlgDate->FromDate;
    const qv_date to = DlgDate->ToDate;
    if (!qv_date_is_valid(from) || !qv_date_is_valid(to))
        return;
    if (month && store.count() == 0) {
        bcl_show_message(owner, noRecords, "Information");
        return;
    }
    {
        // The walk of the store runs on a thread of its own, behind a progress dialog with Cancel when
        // it takes long; a cancelled report shows nothing.
        const Tbcl_wait_cursor wait;
        Tbcl_busy busy;
        busy.total = store.count();
        std::vector<qv_report_point> points;
        const bool cancelled =
            bcl_run_busy(owner, "ReportProgress", "Adding up the report", busyDelay, busy, [&] {
                points = ReportPoints(store, kind, from, to, [&](std::size_t walked) {
                    busy.done.store(walked);
                    return !busy.cancel.load();
                });
            });
        if (cancelled)
            return;
        FillReportPoints(*FrmReport, kind, from, to, points);
    }
    if (const auto *main = qobject_cast<const TFrmMain *>(owner))
        FrmReport->setLoadedFiles(main->loadedFiles());
    FrmReport->exec();
}

} // namespace

void TFrmMain::actReportQuantityMonthExecute()
{
    bcl_guard(this, [this] { runReport(this, *records, qv_report_kind::quantity_month, busyDialogDelay_); });
}

void TFrmMain::actReportGrossMonthExecute()
{
    bcl_guard(this, [this] { runReport(this, *records, qv_report_kind::gross_month, busyDialogDelay_); });
}

void TFrmMain::actReportQuantityDayExecute()
{
    bcl_guard(this, [this] { runReport(this, *records, qv_report_kind::quantity_day, busyDialogDelay_); });
}

void TFrmMain::actReportQGrossDayExecute()
{
    bcl_guard(this, [this] { runReport(this, *records, qv_report_kind::gross_day, busyDialogDelay_); });
}
