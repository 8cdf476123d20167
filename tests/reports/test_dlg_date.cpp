// The date range dialog: its validation, its memory of dates, Enter and Esc, its layout.
#include "Dlg_date.h"
#include "report_test_util.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(QDate)

class TestDlgDate : public QObject {
    Q_OBJECT

private:
    static QDateEdit *picker(TDlgDate &dlg, const char *name) { return dlg.findChild<QDateEdit *>(name); }
    static QPushButton *button(TDlgDate &dlg, const char *name) { return dlg.findChild<QPushButton *>(name); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void startsOnTodayAndOkGivesThatDay()
    {
        TDlgDate dlg;
        QCOMPARE(dlg.FromDate, qv_date{});
        QCOMPARE(dlg.ToDate, qv_date{});
        QCOMPARE(picker(dlg, "dtFrom")->date(), QDate::currentDate());
        QCOMPARE(picker(dlg, "dtTo")->date(), QDate::currentDate());
        const ModalWatch watch1 = whenModal<TDlgDate>(
            [](TDlgDate *shown) { QTest::mouseClick(button(*shown, "btnOK"), Qt::LeftButton); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        const QDate today = QDate::currentDate();
        const qv_date expected{std::uint16_t(today.year()), std::uint16_t(today.month()),
                               std::uint16_t(today.day())};
        QCOMPARE(dlg.FromDate, expected);
        QCOMPARE(dlg.ToDate, expected);
        QVERIFY(qv_date_is_valid(dlg.FromDate));
    }

    void okChecksTheRange_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one day") << QDate(2009, 6, 16) << QDate(2009, 6, 16) << true;
        QTest::newRow("to a day before from") << QDate(2009, 6, 16) << QDate(2009, 6, 15) << false;
        QTest::newRow("over the new year") << QDate(2008, 12, 31) << QDate(2009, 1, 1) << true;
        QTest::newRow("year decides before month") << QDate(2009, 1, 1) << QDate(2008, 12, 31) << false;
        QTest::newRow("month decides before day") << QDate(2009, 5, 31) << QDate(2009, 6, 1) << true;
        QTest::newRow("day after month end") << QDate(2009, 6, 1) << QDate(2009, 5, 31) << false;
    }

    void okChecksTheRange()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(bool, accepted);
        TDlgDate dlg;
        dlg.show();
        picker(dlg, "dtFrom")->setDate(from);
        picker(dlg, "dtTo")->setDate(to);
        SeenBox box;
        const ModalWatch watch2 = answerNextMessageBox(&box);
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(dlg.FromDate, (qv_date{std::uint16_t(from.year()), std::uint16_t(from.month()),
                                        std::uint16_t(from.day())}));
        QCOMPARE(dlg.ToDate,
                 (qv_date{std::uint16_t(to.year()), std::uint16_t(to.month()), std::uint16_t(to.day())}));
        if (accepted) {
            QVERIFY(!box.seen);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            return;
        }
        QVERIFY(box.seen);
        QCOMPARE(box.text, QStringLiteral("The date range you have entered is invalid. Please try again."));
        QCOMPARE(box.caption, QStringLiteral("Warning"));
        // The dialog stays open with the dates as entered; a corrected To lets OK close it.
        QVERIFY(dlg.isVisible());
        QCOMPARE(picker(dlg, "dtFrom")->date(), from);
        QCOMPARE(picker(dlg, "dtTo")->date(), to);
        picker(dlg, "dtTo")->setDate(from.addDays(1));
        QTest::mouseClick(button(dlg, "btnOK"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(qv_date_diff(dlg.ToDate, dlg.FromDate) > 0, true);
    }

    void keepsTheDatesOfTheLastShowingAlsoAfterCancel()
    {
        TDlgDate dlg;
        const ModalWatch watch3 = whenModal<TDlgDate>([](TDlgDate *shown) {
            picker(*shown, "dtFrom")->setDate(QDate(2009, 1, 1));
            picker(*shown, "dtTo")->setDate(QDate(2009, 3, 31));
            QTest::mouseClick(button(*shown, "btnOK"), Qt::LeftButton);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));

        const ModalWatch watch4 = whenModal<TDlgDate>([](TDlgDate *shown) {
            picker(*shown, "dtFrom")->setDate(QDate(2010, 2, 1));
            picker(*shown, "dtTo")->setDate(QDate(2010, 2, 28));
            QTest::mouseClick(button(*shown, "btnCancel"), Qt::LeftButton);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        // The range stays that of the last OK; the pickers show what the user left in them.
        QCOMPARE(dlg.FromDate, (qv_date{2009, 1, 1}));
        QCOMPARE(dlg.ToDate, (qv_date{2009, 3, 31}));

        QDate shownFrom, shownTo;
        const ModalWatch watch5 = whenModal<TDlgDate>([&](TDlgDate *shown) {
            shownFrom = picker(*shown, "dtFrom")->date();
            shownTo = picker(*shown, "dtTo")->date();
            shown->reject();
        });
        dlg.exec();
        QCOMPARE(shownFrom, QDate(2010, 2, 1));
        QCOMPARE(shownTo, QDate(2010, 2, 28));
    }

    void enterAcceptsAndEscapeCancels_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(QDialog::Accepted);
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }

    void enterAcceptsAndEscapeCancels()
    {
        QFETCH(int, key);
        QFETCH(int, result);
        TDlgDate dlg;
        const ModalWatch watch6 = whenModal<TDlgDate>([key](TDlgDate *shown) {
            // Typed into the picker that has the focus, as a user would.
            QWidget *target = shown->focusWidget() != nullptr ? shown->focusWidget() : shown;
            QTest::keyClick(target, Qt::Key(key));
        });
        QCOMPARE(dlg.exec(), result);
    }

    // A date typed whole over the selected one, in the history files' form or year first, is taken
    // when the picker loses the focus or on Enter (which also presses OK), whatever the locale shows.
    void aDateTypedWholeIsTaken_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QDate>("taken");
        const QDate shown(2026, 12, 9);
        for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                      QLocale(QLocale::German, QLocale::Germany)}) {
            const QByteArray name = locale.name().toLatin1();
            QTest::newRow(name + " month first, focus leaves")
                << locale << "3/15/2021" << false << QDate(2021, 3, 15);
            QTest::newRow(name + " month first, Enter")
                << locale << "3/15/2021" << true << QDate(2021, 3, 15);
            QTest::newRow(name + " year first, focus leaves")
                << locale << "2021-03-15" << false << QDate(2021, 3, 15);
            QTest::newRow(name + " year first, Enter")
                << locale << "2021-03-15" << true << QDate(2021, 3, 15);
            QTest::newRow(name + " short digits") << locale << "1/2/2009" << false << QDate(2009, 1, 2);
            QTest::newRow(name + " no such day") << locale << "2/30/2021" << false << shown;
            QTest::newRow(name + " day first is no typed form") << locale << "15/3/2021" << true << shown;
        }
    }

    void aDateTypedWholeIsTaken()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        QFETCH(QDate, taken);
        QLocale::setDefault(locale);
        TDlgDate dlg;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QDateEdit *from = picker(dlg, "dtFrom");
        from->setDate(QDate(2026, 12, 9));
        picker(dlg, "dtTo")->setDate(QDate(2030, 1, 1));
        from->setFocus();
        QTRY_VERIFY(from->hasFocus());
        QTest::keyClick(from, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(from, typed);
        if (typed == QStringLiteral("3/15/2021") && !enter && locale == QLocale::c())
            QVERIFY(dlg.grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/date_range_dialog_typing.png")));
        if (enter) {
            QTest::keyClick(from, Qt::Key_Return);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(dlg.FromDate, (qv_date{std::uint16_t(taken.year()), std::uint16_t(taken.month()),
                                            std::uint16_t(taken.day())}));
        } else {
            picker(dlg, "dtTo")->setFocus();
            QTRY_VERIFY(!from->hasFocus());
        }
        QCOMPARE(from->date(), taken);
        // The arrow keys still step the section under the cursor: the year, last in every form here.
        from->setFocus();
        QTest::keyClick(from, Qt::Key_End);
        QTest::keyClick(from, Qt::Key_Down);
        QCOMPARE(from->date(), taken.addYears(-1));
    }

    void toComesFirstInTabOrder()
    {
        TDlgDate dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        const QList<QWidget *> expected{picker(dlg, "dtTo"), picker(dlg, "dtFrom"), button(dlg, "btnOK"),
                                        button(dlg, "btnCancel")};
        // Tab steps through the sections of a date picker before it leaves it.
        QList<QWidget *> seen;
        for (int i = 0; i < 20 && seen.size() < expected.size(); ++i) {
            QWidget *focus = QApplication::focusWidget();
            while (focus != nullptr && !expected.contains(focus))
                focus = focus->parentWidget();
            if (seen.isEmpty() || seen.last() != focus)
                seen.append(focus);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(seen, expected);
    }

    void layoutAndFrame()
    {
        TDlgDate dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral(" Date range"));
        QCOMPARE(dlg.size(), QSize(310, 143));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(button(dlg, "btnOK")->isDefault());
        QVERIFY(!button(dlg, "btnOK")->icon().isNull());
        QVERIFY(!button(dlg, "btnCancel")->icon().isNull());
        QVERIFY(picker(dlg, "dtFrom")->calendarPopup());
        QVERIFY(picker(dlg, "dtTo")->calendarPopup());
        QCOMPARE(dlg.findChild<QLabel *>("lblFrom")->geometry(), QRect(21, 19, 52, 16));
        QCOMPARE(dlg.findChild<QLabel *>("lblTo")->geometry(), QRect(21, 54, 52, 16));
        QCOMPARE(picker(dlg, "dtFrom")->geometry(), QRect(93, 19, 188, 24));
        QCOMPARE(picker(dlg, "dtTo")->geometry(), QRect(93, 54, 188, 24));
        QCOMPARE(button(dlg, "btnOK")->geometry(), QRect(93, 94, 92, 34));
        QCOMPARE(button(dlg, "btnCancel")->geometry(), QRect(189, 94, 92, 34));

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.grab().save(QStringLiteral(QV_REPORT_ARTEFACTS "/date_range_dialog.png")));
    }

    void pickersUseTheShortDateFormatWithFourDigitYears_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "6/16/2009";
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "16.06.2009";
        QTest::newRow("Japanese, four digits already")
            << QLocale(QLocale::Japanese, QLocale::Japan) << "2009/06/16";
    }

    void pickersUseTheShortDateFormatWithFourDigitYears()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, shown);
        QCOMPARE(locale.toString(QDate(2009, 6, 16), shortDateFormat(locale)), shown);
    }
};

QTEST_MAIN(TestDlgDate)
#include "test_dlg_date.moc"
