// The program entry: the command line, the application object, then the three windows in their order,
// then the message loop with the files of the command line loaded first. Once the windows are up the
// program returns 0 whatever happened.
#include "App_command_line.h"
#include "Bcl.h"
#include "Dlg_date.h"
#include "Frm_main.h"
#include "Frm_report.h"

#include <QApplication>
#include <QFile>
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

// The arguments that Qt left when it took its own options, as the bytes of their names.
std::vector<std::string> argumentsAfterQt()
{
    std::vector<std::string> args;
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        args.push_back(QFile::encodeName(all[i]).toStdString());
    return args;
}

// Loads the files of the command line as an import of them would, once the message loop runs.
void importLater(const std::vector<std::string> &files)
{
    if (files.empty())
        return;
    QStringList paths;
    for (const std::string &file : files)
        paths << QFile::decodeName(file.c_str());
    QTimer::singleShot(0, FrmMain,
                       [paths] { bcl_guard(FrmMain, [&paths] { FrmMain->ImportFiles(paths); }); });
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version answer before the application object, which needs a display; a wrong option
    // is told after Qt has taken its own.
    if (qv_answer_command_line(qv_parse_command_line({argv + 1, argv + argc}), stdout, stderr) == 0)
        return 0;
    TApplication app(argc, argv);
    const TCommandLine commandLine = qv_parse_command_line(argumentsAfterQt());
    if (const int status = qv_answer_command_line(commandLine, stdout, stderr); status >= 0)
        return status;
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
