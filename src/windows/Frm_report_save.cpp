// The report window's saves (see Frm_report.h): the chart as a PNG picture and the points as CSV, both
// through the data layer's safe write of a file, and the save dialog that asks for their names.
#include "Bcl.h"
#include "Frm_report.h"
#include "Qv_export.h"
#include "ui_Frm_report.h"

#include <QBuffer>
#include <QChartView>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>

namespace {

std::function<QString(QWidget *)> &saveFileNameHook()
{
    static std::function<QString(QWidget *)> hook;
    return hook;
}

} // namespace

bool TFrmReport::saveImage(const QString &fileName, QString *error)
{
    syncSeries();
    const QImage image = ui->Chart1->grab().toImage();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        if (error != nullptr)
            *error = writer.errorString();
        return false;
    }
    // Through the same safe write as the data: never half a file, never a loaded file.
    bool given = false;
    std::string reason;
    const bool written = qv_write_file_safely(
        QFile::encodeName(fileName).toStdString(),
        [&](std::string &chunk) {
            if (!given)
                chunk.append(png.constData(), static_cast<std::size_t>(png.size()));
            given = true;
            return false;
        },
        loadedFiles_, reason);
    if (!written && error != nullptr)
        *error = QString::fromLocal8Bit(reason);
    return written;
}

QString TFrmReport::askSaveFileName(const QString &title, const QString &filter, const QString &suffix)
{
    // The dialog adds the suffix before it asks whether to replace a file, so that the question is about
    // the file that is written.
    QString fileName;
    if (saveFileNameHook()) {
        fileName = saveFileNameHook()(this);
        if (!fileName.isEmpty() && QFileInfo(fileName).suffix().isEmpty())
            fileName += QLatin1Char('.') + suffix;
    } else {
        QFileDialog dialog(this, title, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() == QDialog::Accepted)
            fileName = dialog.selectedFiles().value(0);
    }
    return fileName;
}

void TFrmReport::saveImageAs()
{
    const QString fileName =
        askSaveFileName(tr("Save image"), tr("PNG images (*.png)"), QStringLiteral("png"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!saveImage(fileName, &error))
        bcl_show_error(this, QStringLiteral("Cannot write the image to %1: %2")
                                 .arg(QDir::toNativeSeparators(fileName), error)
                                 .toStdString());
}

bool TFrmReport::saveData(const QString &fileName, QString *error)
{
    syncSeries();
    std::size_t next = 0;
    bool header = true;
    std::string reason;
    const bool written = qv_write_file_safely(
        QFile::encodeName(fileName).toStdString(),
        [&](std::string &chunk) {
            if (header) {
                chunk += "date,value\r\n";
                header = false;
            }
            for (int n = 0; n < 1024 && next < entries_.size(); ++n, ++next) {
                const QPointF &xy = entries_[next].xy;
                const QDate date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(xy.x())).date();
                chunk += date.toString(Qt::ISODate).toStdString();
                chunk += ',';
                chunk += qv_csv_number(xy.y());
                chunk += "\r\n";
            }
            return next < entries_.size();
        },
        loadedFiles_, reason);
    if (!written && error != nullptr)
        *error = QString::fromLocal8Bit(reason);
    return written;
}

void TFrmReport::saveDataAs()
{
    const QString fileName = askSaveFileName(tr("Save data"), tr("CSV files (*.csv)"), QStringLiteral("csv"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!saveData(fileName, &error))
        bcl_show_error(this, QStringLiteral("Cannot write the data to %1: %2")
                                 .arg(QDir::toNativeSeparators(fileName), error)
                                 .toStdString());
}

void TFrmReport::setSaveFileNameHook(std::function<QString(QWidget *)> hook)
{
    saveFileNameHook() = std::move(hook);
}
