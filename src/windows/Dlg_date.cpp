// The date range dialog (see Dlg_date.h): a fixed frame, two pickers in the locale's short date format
// with four-digit years, both on today when the dialog is made, and OK refused for a range that ends
// before it begins.
#include "Dlg_date.h"

#include "Bcl.h"
#include "ui_Dlg_date.h"

#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QStyle>

TDlgDate *DlgDate = nullptr;

QString shortDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // "yy" alone becomes "yyyy"; a format that has four digits already is left as it is.
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

TDlgDate::TDlgDate(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TDlgDate>())
{
    ui->setupUi(this);
    // A fixed dialog frame: a close box, no minimise, maximise or help boxes, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(310, 143);

    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("Tahoma"), dialogFont.family()});
    dialogFont.setPixelSize(13);
    setFont(dialogFont);

    ui->btnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton, nullptr, ui->btnOK));
    ui->btnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton, nullptr, ui->btnCancel));

    const QString format = shortDateFormat(QLocale());
    for (QDateEdit *picker : {ui->dtFrom, ui->dtTo}) {
        picker->setLocale(QLocale());
        picker->setDisplayFormat(format);
    }

    connect(ui->btnOK, &QPushButton::clicked, this, &TDlgDate::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &TDlgDate::reject);

    FormCreate();
}

TDlgDate::~TDlgDate() = default;

void TDlgDate::FormCreate()
{
    ui->dtTo->setDate(QDate::currentDate());
    ui->dtFrom->setDate(QDate::currentDate());
}

static qv_date decode(const QDate &date)
{
    qv_date result;
    result.year = static_cast<std::uint16_t>(date.year());
    result.month = static_cast<std::uint16_t>(date.month());
    result.day = static_cast<std::uint16_t>(date.day());
    return result;
}

void TDlgDate::btnOKClick()
{
    ToDate = decode(ui->dtTo->date());
    FromDate = decode(ui->dtFrom->date());
    if (qv_date_diff(ToDate, FromDate) < 0) {
        bcl_show_message(this, "The date range you have entered is invalid. Please try again.", "Warning");
        return;
    }
    accept();
}

void TDlgDate::showEvent(QShowEvent *event)
{
    // A dialog with a parent is centred over it by QDialog; one without is centred over the active window.
    if (parentWidget() == nullptr && !testAttribute(Qt::WA_Moved)) {
        if (const QWidget *over = QApplication::activeWindow(); over != nullptr && over != this) {
            const QRect area = over->frameGeometry();
            move(area.center() - rect().center());
        }
    }
    QDialog::showEvent(event);
}
