// Names for the parts of a window that Qt makes without one, from the control they belong to, so that a
// screen reader has something to say for each: the viewport and scroll bars of a scrolled control, the
// menus (by their titles), size grips, tool bar separators and extension buttons, button boxes and
// splitter handles. Parts named already keep their names.
#pragma once

class QWidget;

void qv_name_accessible_parts(QWidget *window);
