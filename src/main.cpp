// The program entry: the command line, the application object, then the three windows in their order,
// then the message loop with the files of the command line loaded first. Once the windows are up the
// program returns 0 whatever happened.
#include "App_command_line.h"
#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"

#include <QApplication>
#include <QTimer>

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

// Loads the files of the command line as an import of them would, once the message loop runs. The
// names stay the bytes the system gave: a name that is not valid UTF-8 opens too.
void importLater(const std::vector<std::string> &files)
{
    if (files.empty())
        return;
    QTimer::singleShot(0, FrmMain,
                       [files] { bcl_guard(FrmMain, [&files] { FrmMain->ImportFileNames(files); }); });
}

} // namespace

int main(int argc, char *argv[])
{
    // --help, --version and a wrong option are answered before the application object, which needs a
    // display; Qt's own options are left to it.
    const TCommandLine commandLine = qv_parse_command_line(qv_without_qt_options({argv + 1, argv + argc}));
    if (const int status = qv_answer_command_line(commandLine, stdout, stderr); status >= 0)
        return status;
    TApplication app(argc, argv);
    // No display name: the platform would add it to every window's title, which is its caption alone.
    QApplication::setApplicationName(QStringLiteral("Quorvex history tool"));
    QApplication::setWindowIcon(qv_application_icon());
    // Ties the windows to the desktop entry, so that the task bar shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvex-history"));
    bcl_guard(nullptr, [&commandLine] {
        FrmMain = new TFrmMain(nullptr, !commandLine.noFolder);
        FrmReport = new TFrmReport(FrmMain);
        DlgDate = new TDlgDate(FrmMain);
        FrmMain->show();
        importLater(commandLine.files);
        QApplication::exec();
    });
    delete FrmMain;
    FrmMain = nullptr;
    return 0;
}
