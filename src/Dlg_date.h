// The date range dialog: two date pickers, From and To, checked on OK.
#pragma once

#include "Qv_file.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TDlgDate;
}

class TDlgDate : public QDialog {
    Q_OBJECT

public:
    explicit TDlgDate(QWidget *parent = nullptr);
    ~TDlgDate() override;

    // The range of the last OK; all zero before the first.
    qv_date FromDate;
    qv_date ToDate;

private:
    void FormCreate();
    void btnOKClick();

    std::unique_ptr<Ui::TDlgDate> ui;
};

extern TDlgDate *DlgDate;
