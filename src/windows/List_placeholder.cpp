#include "List_placeholder.h"

#include <QAbstractItemView>
#include <QEvent>

QString qv_list_placeholder_text(std::size_t stored, std::size_t shown)
{
    if (shown > 0)
        return {};
    // The import's words are those of its menu item and shortcut.
    if (stored == 0)
        return QStringLiteral(
            "No history files loaded.\nImport CSV files ... (Ctrl+O), or drop CSV files here.");
    return QStringLiteral("No transaction matches.\nClick All to show every transaction.");
}

TListPlaceholder::TListPlaceholder(QAbstractItemView *view, std::function<std::size_t()> stored)
    : QLabel(view->viewport()), view_(view), stored_(std::move(stored))
{
    setObjectName(QStringLiteral("ListPlaceholder"));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setMargin(12);
    setForegroundRole(QPalette::PlaceholderText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(view->viewport()->rect());
    view->viewport()->installEventFilter(this);
    const QAbstractItemModel *model = view->model();
    const auto follow = [this] { refresh(); };
    connect(model, &QAbstractItemModel::modelReset, this, follow);
    connect(model, &QAbstractItemModel::rowsInserted, this, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, this, follow);
    connect(model, &QAbstractItemModel::layoutChanged, this, follow);
    refresh();
}

void TListPlaceholder::refresh()
{
    const int rows = view_->model() != nullptr ? view_->model()->rowCount() : 0;
    const QString shown = qv_list_placeholder_text(stored_(), static_cast<std::size_t>(rows));
    if (shown != text()) {
        setText(shown);
        setAccessibleName(shown);
        view_->setAccessibleDescription(shown);
    }
    setVisible(!shown.isEmpty());
}

bool TListPlaceholder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view_->viewport() && event->type() == QEvent::Resize)
        setGeometry(view_->viewport()->rect());
    return QLabel::eventFilter(watched, event);
}
