// The message boxes and the wait cursor of the Bcl unit: the part of it that needs the GUI toolkit.
#include "Bcl.h"

#include <QGuiApplication>
#include <QMessageBox>

void bcl_show_message(QWidget *owner, const char *text, const char *caption)
{
    if (text == nullptr || caption == nullptr)
        return;
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(caption), QString::fromUtf8(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

void bcl_show_error(QWidget *owner, const std::string &message)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorvex history tool"),
                    QString::fromUtf8(message.data(), qsizetype(message.size())), QMessageBox::Ok, owner);
    box.exec();
}

bool bcl_guard(QWidget *owner, const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const std::exception &e) {
        bcl_show_error(owner, e.what());
    } catch (...) {
        bcl_show_error(owner, std::string());
    }
    return false;
}

Tbcl_wait_cursor::Tbcl_wait_cursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

Tbcl_wait_cursor::~Tbcl_wait_cursor()
{
    QGuiApplication::restoreOverrideCursor();
}
