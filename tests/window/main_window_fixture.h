// The fixture of the tests that drive the main window: a temporary folder of their own, the history
// files a test writes there, and the window started in it as the program starts in its folder. The
// working folder is the temporary one while the tests run and the one before it once they end. And the
// wait for a popup menu that these tests share.
#pragma once

#include "Frm_main.h"

#include "../unit/history_text.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

// Runs action on the next popup menu once it shows, polling as ModalWatch does.
template <class Action> void whenPopup(Action action)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, tries = 0]() mutable {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            timer->stop();
            timer->deleteLater();
            action(menu);
        } else if (++tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

class TMainWindowFixture {
protected:
    QTemporaryDir folder_;
    QString startDir_;
    std::unique_ptr<TFrmMain> main_;

    // From initTestCase and cleanupTestCase.
    void enterFixture()
    {
        startDir_ = QDir::currentPath();
        QVERIFY(folder_.isValid());
    }
    void leaveFixture()
    {
        main_.reset();
        QDir::setCurrent(startDir_);
    }

    // Removes the files of the folder, special ones too.
    void emptyFolder()
    {
        QDir dir(folder_.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::System))
            dir.remove(name);
    }

    // Writes a history file of lines into the folder, under the header line unless withHeader is false;
    // its path, or an empty text when it could not be written.
    QString write(const QString &name, const std::string &lines, bool withHeader = true)
    {
        QFile file(folder_.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        if (withHeader)
            file.write(testing_history::header_line);
        file.write(lines.data(), static_cast<qint64>(lines.size()));
        return file.fileName();
    }

    // Starts the window in the test folder, after the files have been written there; beforeShow runs
    // once the window is made, before it shows.
    void start(const std::function<void()> &beforeShow = {})
    {
        main_.reset();
        QVERIFY(QDir::setCurrent(folder_.path()));
        main_ = std::make_unique<TFrmMain>();
        if (beforeShow)
            beforeShow();
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }

    QAction *action(const char *name) const { return main_->findChild<QAction *>(name); }
    QTableView *list() const { return main_->findChild<QTableView *>("ListView"); }
};
