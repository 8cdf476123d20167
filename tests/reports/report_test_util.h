// Helpers of the report tests: records built in memory, answering a modal box, looking at a picture.
#pragma once

#include "Frm_report.h"
#include "Qv_file.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDate>
#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>
#include <string>

// Adds a record with the given ID, date, quantity and gross (in hundredths) to store.
inline void addRecord(Tqv_records &store, const std::string &id, qv_date date, std::int32_t quantity,
                      amount gross)
{
    auto rec = std::make_unique<Tqv_record_object>();
    std::array<std::string_view, qv_text_field_count> texts{};
    texts[qv_f_trans_id] = id;
    rec->data.set_texts(texts);
    rec->data.date = date;
    rec->data.quantity = quantity;
    rec->data.gross = gross;
    store.add(std::move(rec));
}

// What a modal message box showed before it was answered.
struct SeenBox {
    QString text;
    QString caption;
    bool seen = false;
};

// Runs action on the dialog of the given class once it is the active modal widget, polling every 10 ms
// for about five seconds. The dialog must open while an event loop runs, as it does inside exec(). The
// watch ends when its object goes out of scope, so that it cannot answer a later test's dialog.
class ModalWatch {
public:
    template <class Dialog, class Action> static ModalWatch when(Action action)
    {
        auto *timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, action, tries = 0]() mutable {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                action(dialog);
            } else if (++tries > 500) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start();
        return ModalWatch(timer);
    }
    ModalWatch(ModalWatch &&other) noexcept : timer_(other.timer_) { other.timer_ = nullptr; }
    ModalWatch(const ModalWatch &) = delete;
    ModalWatch &operator=(const ModalWatch &) = delete;
    ModalWatch &operator=(ModalWatch &&) = delete;
    ~ModalWatch() { delete timer_.data(); }

private:
    explicit ModalWatch(QTimer *timer) : timer_(timer) {}
    QPointer<QTimer> timer_;
};

template <class Dialog, class Action> [[nodiscard]] ModalWatch whenModal(Action action)
{
    return ModalWatch::when<Dialog>(action);
}

// Answers the next message box with OK and records what it showed.
[[nodiscard]] inline ModalWatch answerNextMessageBox(SeenBox *seen)
{
    return whenModal<QMessageBox>([seen](QMessageBox *box) {
        seen->text = box->text();
        seen->caption = box->windowTitle();
        seen->seen = true;
        box->accept();
    });
}

// Pixels that are clearly red: the colour of the report line.
inline int countRedPixels(const QImage &image)
{
    int red = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if (qRed(line[x]) > 200 && qGreen(line[x]) < 80 && qBlue(line[x]) < 80)
                ++red;
    }
    return red;
}

// ---- The report window ----

inline double dayX(int year, int month, int day)
{
    return static_cast<double>(QDate(year, month, day).startOfDay().toMSecsSinceEpoch());
}

inline QStringList markTexts(TFrmReport &report)
{
    QStringList texts;
    for (const TReportMark &mark : report.visibleMarks())
        texts.append(mark.text);
    return texts;
}

inline bool marksOverlap(const std::vector<TReportMark> &marks)
{
    for (std::size_t i = 0; i < marks.size(); ++i)
        for (std::size_t j = i + 1; j < marks.size(); ++j)
            if (marks[i].box.intersects(marks[j].box))
                return true;
    return false;
}

// Runs the posted events (layout requests, scene updates) until the chart's plot area stays where it is
// for a whole pass: the chart has no animations, so what it shows then is final. False when it never
// settles.
inline bool layoutSettled(TFrmReport &report)
{
    for (int pass = 0; pass < 200; ++pass) {
        const QRectF before = report.chart()->plotArea();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (before.width() > 100 && report.chart()->plotArea() == before)
            return true;
        QTest::qWait(10);
    }
    return false;
}

inline void showAndSettle(TFrmReport &report)
{
    report.show();
    QVERIFY(QTest::qWaitForWindowExposed(&report));
    // The chart lays out its plot area when the event loop runs.
    QVERIFY(layoutSettled(report));
}

// Renders the report at its design size into artefacts/name.png and returns the picture.
inline QImage render(TFrmReport &report, const QString &name)
{
    report.resize(766, 461);
    showAndSettle(report);
    const QImage image = report.chartView()->grab().toImage();
    image.save(QStringLiteral(QV_REPORT_ARTEFACTS "/%1.png").arg(name));
    return image;
}
