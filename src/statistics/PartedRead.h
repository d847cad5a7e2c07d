#pragma once

#include "statistics/Extraction.h"

#include <memory>
#include <optional>

namespace velmar {

class DayList;
class LogText;
class Table;
struct SessionTimes;

/// Reads the whole text of the open log, from its first line to its end or a Ctrl+Z that starts a line, as
/// one reading from the first line on would: into `first`, which is attached to Str, dat1 and times.
///
/// The text is cut into the parts LogText::partStarts gives. The parts after the first are read by as many
/// threads as LogText::readers allows, each taking the next part not taken yet, as if the log began there,
/// into tables of their own; the first part is read meanwhile into the rebuild's tables, and its thread
/// then takes parts too. Then each part is joined to the reading before it: that reading goes on into the
/// part, line by line, until both are outside a session after the same line. From there on the two
/// readings agree, so the rows the part counted behind that line are taken over, and those it counted
/// before are the ones the reading before counted in their place. A part whose reading never agrees (a
/// session without its closing line, say) is read again by the reading before it.
///
/// Returns the extraction whose state is that of the end of the text (`first` or the one of a later part),
/// with `end` where and how the text ended. A line that fails raises its error where the one reading would
/// have: the rows counted before it stay in Str.
std::unique_ptr<Extraction> readWholeText(LogText& log, std::unique_ptr<Extraction> first, const Charge& charge,
    std::optional<DayRange> range, Table& Str, DayList& dat1, SessionTimes& times, Extraction::End& end);

} // namespace velmar
