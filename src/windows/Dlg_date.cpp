// The date range dialog (see Dlg_date.h): a fixed frame, two pickers in the locale's short date format
// with four-digit years, both on today when the dialog is made, and OK refused for a range that ends
// before it begins.
#include "Dlg_date.h"

#include "Bcl.h"
#include "ui_Dlg_date.h"

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
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

QDate qv_typed_date(const QString &text)
{
    static const QRegularExpression monthFirst(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4})\\s*$"));
    static const QRegularExpression yearFirst(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
    if (const QRegularExpressionMatch m = monthFirst.match(text); m.hasMatch())
        return QDate(m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    if (const QRegularExpressionMatch m = yearFirst.match(text); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return {};
}

namespace {

// Lets a date picker take a date typed whole. The picker edits its date section by section, so that
// 3/15/2021 typed over the whole date changes nothing. Once the whole text is selected, digits, '/'
// and '-' go into a typed text of their own, shown in the picker; on Enter, on the loss of the focus,
// on another key or a click the typed text becomes the date (qv_typed_date) when it names one, else
// the date stays as it was. Esc drops the typed text. The drop-down calendar, the arrow keys and
// section editing stay the picker's own.
class TTypedDate : public QObject {
public:
    explicit TTypedDate(QDateEdit *picker) : QObject(picker), picker_(picker)
    {
        picker->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        bool consumed = false;
        bcl_guard(picker_, [&] { consumed = handle(event); });
        return consumed;
    }

private:
    QLineEdit *edit() const { return picker_->findChild<QLineEdit *>(); }

    bool handle(QEvent *event)
    {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            const bool dateChar = text.size() == 1 && (text[0].isDigit() || text[0] == QLatin1Char('/') ||
                                                       text[0] == QLatin1Char('-'));
            const bool plain = (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
            if (dateChar && plain) {
                QLineEdit *line = edit();
                const bool whole =
                    line != nullptr && !line->text().isEmpty() && line->selectedText() == line->text();
                if (!typing_ && !whole)
                    return false;
                typing_ = true;
                typed_ += text;
                show();
                return true;
            }
            if (!typing_)
                return false;
            if (key->key() == Qt::Key_Backspace) {
                typed_.chop(1);
                show();
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                end(false);
                return true;
            }
            // Enter goes on to the dialog's OK once the date is taken.
            end(true);
            return false;
        }
        case QEvent::FocusOut:
        case QEvent::MouseButtonPress:
            if (typing_)
                end(true);
            return false;
        default:
            return false;
        }
    }

    void show()
    {
        if (QLineEdit *line = edit()) {
            const QSignalBlocker quiet(line);
            line->setText(typed_);
            line->setCursorPosition(int(typed_.size()));
        }
    }

    // Takes the typed date when take and it names one; the picker shows its date again either way.
    void end(bool take)
    {
        const QDate typed = take ? qv_typed_date(typed_) : QDate();
        typing_ = false;
        typed_.clear();
        const QDate date = typed.isValid() ? typed : picker_->date();
        // Setting the date it has would not redraw the text.
        picker_->setDate(date.addDays(date == picker_->minimumDate() ? 1 : -1));
        picker_->setDate(date);
    }

    QDateEdit *picker_;
    QString typed_;
    bool typing_ = false;
};

} // namespace

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
        new TTypedDate(picker);
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
