// The four report actions of the main window.
#include "Frm_main.h"

void TFrmMain::actReportQuantityMonthExecute() {}
void TFrmMain::actReportGrossMonthExecute() {}
void TFrmMain::actReportQuantityDayExecute() {}
void TFrmMain::actReportQGrossDayExecute() {}
