// The program entry: the application object, then the three windows in their order, then the message
// loop. The program returns 0 whatever happened.
#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"

#include <QApplication>

namespace {

// Shows an error that escaped an event handler instead of letting it unwind through Qt.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        bool handled = false;
        bcl_guard(activeWindow(), [&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    // No display name: the platform would add it to every window's title, which is its caption alone.
    QApplication::setApplicationName(QStringLiteral("Quorvex history tool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/website32.png")));
    bcl_guard(nullptr, [] {
        FrmMain = new TFrmMain;
        FrmReport = new TFrmReport(FrmMain);
        DlgDate = new TDlgDate(FrmMain);
        FrmMain->show();
        QApplication::exec();
    });
    delete FrmMain;
    FrmMain = nullptr;
    return 0;
}
