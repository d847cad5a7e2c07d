#include "Unit1/DayBox.h"

#include <QComboBox>
#include <QCompleter>

void makeDayBox(QComboBox& box)
{
    box.setMaxVisibleItems(20);
    // The completer of an editable box works on the box's own items, so it offers the log's days.
    QCompleter* completer = box.completer();
    if (!completer)
        return;
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchStartsWith);
    completer->setMaxVisibleItems(20);
}
