// Names for the unnamed parts of a window (see Accessible_names.h).
#include "Accessible_names.h"

#include <QAbstractScrollArea>
#include <QDialogButtonBox>
#include <QMenu>
#include <QScrollBar>
#include <QSizeGrip>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

namespace {

void nameIfUnnamed(QWidget *widget, const QString &name)
{
    if (widget != nullptr && widget->accessibleName().isEmpty())
        widget->setAccessibleName(name);
}

// What the control is called: its accessible name, else its window title, else a general word.
QString controlName(const QWidget *widget)
{
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (!widget->windowTitle().isEmpty())
        return widget->windowTitle();
    return QStringLiteral("Content");
}

void nameScrollArea(QAbstractScrollArea *area)
{
    const QString name = controlName(area);
    nameIfUnnamed(area->viewport(), name + QStringLiteral(": view"));
    for (QScrollBar *bar : area->findChildren<QScrollBar *>()) {
        // The bars of this area only, not those of an area inside it.
        const QWidget *owner = bar->parentWidget();
        while (owner != nullptr && owner != area &&
               qobject_cast<const QAbstractScrollArea *>(owner) == nullptr)
            owner = owner->parentWidget();
        if (owner != area)
            continue;
        const QString side =
            bar->orientation() == Qt::Horizontal ? QStringLiteral("horizontal") : QStringLiteral("vertical");
        nameIfUnnamed(bar, name + QStringLiteral(": ") + side + QStringLiteral(" scroll bar"));
        if (bar->parentWidget() != area)
            nameIfUnnamed(bar->parentWidget(),
                          name + QStringLiteral(": ") + side + QStringLiteral(" scrolling"));
    }
}

} // namespace

void qv_name_accessible_parts(QWidget *window)
{
    if (window == nullptr)
        return;
    QList<QAbstractScrollArea *> areas = window->findChildren<QAbstractScrollArea *>();
    if (auto *self = qobject_cast<QAbstractScrollArea *>(window))
        areas.prepend(self);
    for (QAbstractScrollArea *area : areas)
        nameScrollArea(area);
    for (QMenu *menu : window->findChildren<QMenu *>()) {
        QString title = menu->title();
        title.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
        title.replace(QLatin1Char('\x01'), QLatin1Char('&'));
        nameIfUnnamed(menu, title.isEmpty() ? QStringLiteral("Context menu") : title);
    }
    for (QSizeGrip *grip : window->findChildren<QSizeGrip *>())
        nameIfUnnamed(grip, QStringLiteral("Resize the window"));
    for (QToolBar *bar : window->findChildren<QToolBar *>()) {
        nameIfUnnamed(bar, QStringLiteral("Tool bar"));
        for (QWidget *part : bar->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (part->inherits("QToolBarSeparator"))
                nameIfUnnamed(part, QStringLiteral("Separator"));
        }
        nameIfUnnamed(bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")),
                      QStringLiteral("More tool bar buttons"));
    }
    for (QDialogButtonBox *buttons : window->findChildren<QDialogButtonBox *>())
        nameIfUnnamed(buttons, QStringLiteral("Buttons"));
    for (QSplitter *splitter : window->findChildren<QSplitter *>()) {
        for (int i = 0; i < splitter->count(); ++i)
            nameIfUnnamed(splitter->handle(i), controlName(splitter) + QStringLiteral(": divider"));
    }
}
