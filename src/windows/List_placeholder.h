// What the transaction list says while it shows no row: how to load history files when none is loaded,
// and how to show every transaction again after a search that matched none.
#pragma once

#include <QLabel>

#include <cstddef>
#include <functional>

class QAbstractItemView;

// The text over the list, from the number of records the store holds and the rows the list shows: with
// no record, how to load some; with records but no row (only a search leaves the list so), that nothing
// matched and how to show them all; empty while rows are shown.
QString qv_list_placeholder_text(std::size_t stored, std::size_t shown);

// A centred text over the list's empty area, in the palette's placeholder colour, that follows the
// model's resets and row changes. The list's accessible description carries the same text, so that a
// screen reader reads it with the list. Mouse input and drops go through it to what lies beneath.
class TListPlaceholder : public QLabel {
    Q_OBJECT

public:
    // stored tells how many records the store holds at the time of the call.
    TListPlaceholder(QAbstractItemView *view, std::function<std::size_t()> stored);

    // Shows the text for the list as it is now, or hides it.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *view_;
    std::function<std::size_t()> stored_;
};
