// The message boxes and the wait cursor of the Bcl unit: the part of it that needs the GUI toolkit.
#include "Bcl.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QTextEdit>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>
#include <memory>
#include <thread>

void bcl_show_message(QWidget *owner, const char *text, const char *caption)
{
    if (text == nullptr || caption == nullptr)
        return;
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(caption), QString::fromUtf8(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

void bcl_show_error(QWidget *owner, const std::string &message, const std::string &details)
{
    QString text = QString::fromUtf8(message.data(), qsizetype(message.size()));
    QString more = QString::fromUtf8(details.data(), qsizetype(details.size()));
    const QScreen *screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    // The text takes at most half the screen's height; a longer message goes whole into the details.
    const qsizetype fit = std::max<qsizetype>(5, room.height() / 2 / std::max(1, metrics.lineSpacing()));
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > fit) {
        more = more.isEmpty() ? text : text + QStringLiteral("\n\n") + more;
        text = QStringList(lines.mid(0, fit - 1)).join(QLatin1Char('\n')) + QStringLiteral("\n…");
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorvex history tool"), text, QMessageBox::Ok,
                    owner);
    if (!more.isEmpty()) {
        box.setDetailedText(more);
        // Lines are made short enough for the text; the details keep each problem on one line, and
        // scroll both ways.
        if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
            label->setWordWrap(false);
        if (auto *edit = box.findChild<QTextEdit *>()) {
            edit->setLineWrapMode(QTextEdit::NoWrap);
            const QFontMetrics detailMetrics(edit->font());
            edit->setFixedHeight(std::min(detailMetrics.lineSpacing() * 16 + 8, room.height() / 3));
            edit->setMinimumWidth(
                std::min(detailMetrics.horizontalAdvance(QLatin1Char('x')) * 100, room.width() * 3 / 4));
        }
    }
    box.exec();
}

void bcl_keep_on_screen(QWidget *window)
{
    if (window == nullptr || !window->isWindow())
        return;
    const QScreen *screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    QMargins frame;
    if (window->windowHandle() != nullptr)
        frame = window->windowHandle()->frameMargins();
    if (frame.isNull()) {
        for (const QWidget *other : QApplication::topLevelWidgets()) {
            if (other != window && other->isVisible() && other->windowHandle() != nullptr &&
                !other->windowHandle()->frameMargins().isNull()) {
                frame = other->windowHandle()->frameMargins();
                break;
            }
        }
    }
    const QRect outer = window->geometry().marginsAdded(frame);
    QPoint shift;
    if (outer.right() > room.right())
        shift.rx() = room.right() - outer.right();
    if (outer.bottom() > room.bottom())
        shift.ry() = room.bottom() - outer.bottom();
    // The top left corner wins over the bottom right one: the title bar stays reachable.
    if (outer.left() + shift.x() < room.left())
        shift.rx() = room.left() - outer.left();
    if (outer.top() + shift.y() < room.top())
        shift.ry() = room.top() - outer.top();
    if (!shift.isNull())
        window->move(window->pos() + shift);
}

namespace {

class Tbcl_screen_keeper : public QObject {
public:
    using QObject::QObject;

private:
    QObject *delivering_ = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType() || delivering_ == watched)
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        if (!widget->isWindow() || qobject_cast<QDialog *>(widget) == nullptr)
            return false;
        // The dialog places itself when it takes the event (centred over its parent, sized to its
        // text): it takes it first, then what sticks out is moved onto the screen, before the window is
        // mapped.
        QObject *const outer = delivering_;
        delivering_ = watched;
        watched->event(event);
        delivering_ = outer;
        bcl_keep_on_screen(widget);
        return true;
    }
};

} // namespace

void bcl_keep_dialogs_on_screen()
{
    static Tbcl_screen_keeper *keeper = nullptr;
    if (keeper == nullptr && qApp != nullptr) {
        keeper = new Tbcl_screen_keeper(qApp);
        qApp->installEventFilter(keeper);
    }
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

QProgressDialog *bcl_new_progress_dialog(QWidget *owner, const char *name, int maximum)
{
    auto *dialog = new QProgressDialog(owner);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setWindowTitle(QStringLiteral("Quorvex history tool"));
    dialog->setCancelButtonText(QStringLiteral("Cancel"));
    dialog->setRange(0, maximum);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setMinimumDuration(0);
    // Wide enough for the whole title beside a title bar's buttons, and for a long file name.
    const QFontMetrics metrics(QApplication::font());
    dialog->setMinimumWidth(
        std::max(metrics.horizontalAdvance(dialog->windowTitle()) + 200, metrics.averageCharWidth() * 48));
    return dialog;
}

namespace {

std::function<void(const Tbcl_busy &)> busyStart;

} // namespace

void bcl_set_busy_start(std::function<void(const Tbcl_busy &)> hook)
{
    busyStart = std::move(hook);
}

bool bcl_run_busy(QWidget *owner, const char *name, const std::string &label, int delay_ms, Tbcl_busy &busy,
                  const std::function<void()> &work)
{
    std::atomic<bool> finished{false};
    std::exception_ptr error;
    const std::function<void(const Tbcl_busy &)> start = busyStart;
    std::thread worker([&] {
        try {
            if (start)
                start(busy);
            work();
        } catch (...) {
            error = std::current_exception();
        }
        finished.store(true);
    });
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<QProgressDialog> dialog;
    bool cancelled = false;
    const auto shown = [](std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); };
    while (!finished.load()) {
        if (!dialog && std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(delay_ms)) {
            dialog.reset(bcl_new_progress_dialog(owner, name, shown(busy.total)));
            dialog->setLabelText(QString::fromStdString(label));
            dialog->show();
            QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        }
        if (dialog) {
            if (busy.total > 0)
                dialog->setValue(shown(busy.done.load()));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 25);
            if (dialog->wasCanceled() && !cancelled) {
                cancelled = true;
                busy.cancel.store(true);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(dialog ? 5 : 1));
    }
    worker.join();
    if (dialog)
        QGuiApplication::restoreOverrideCursor();
    if (error)
        std::rethrow_exception(error);
    return cancelled;
}
