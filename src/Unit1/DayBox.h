#pragma once

class QComboBox;

/// Makes an editable combo box a box of log days that stays usable with thousands of them: what is typed
/// is completed from its days (a list of the days that begin so, without regard to letter case), and its
/// list shows at most 20 rows at a time.
void makeDayBox(QComboBox& box);
