#pragma once

#include "settings/TConfRec.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// Opens the settings file for reading, reads its first 816 bytes into the record and closes it. A read-only
/// file is read like any other. Raises InOutError: "File not found", "File access denied" (also for
/// anything but a regular file, refused without waiting), "Read beyond end of file" for a file shorter than
/// the record (which then holds what could be read), else the error of the system. A stored tariff that is
/// not a finite number raises ConvertError "'NAN' is not a valid floating point value" (or 'INF', '-INF');
/// the record then holds every other field and a tariff of 0.
void readConfRec(const std::string& path, TConfRec& rec);

/// Replaces the settings file with exactly one 816-byte record. The record goes to "<path>.tmp" first (a
/// new file created exclusively, never through a link) and takes the place of the old file only when it is
/// complete, so a failed save leaves the old file as it was. When the settings file is a symbolic link, the
/// file it leads to is replaced and the link stays. A read-only settings file is refused with "File access
/// denied" before anything is written.
void writeConfRec(const std::string& path, const TConfRec& rec);

/// The edit texts that a save takes into the record.
struct ConfTexts {
    std::string tarif, offset, logFile, exp, exp2, langName;
};

/// Takes the texts into the record in the order TarifPerMin (tariff syntax, locale decimal separator),
/// OffsetSec (offset syntax), LogFile, ExpFormat, Exp2Format (cut to 255), LangName (cut to 25). A number
/// that does not convert raises its ConvertError; the fields filled before it keep their new values.
void fillConfRec(TConfRec& rec, const ConfTexts& texts);

/// A whole save: fills the record from the texts, then writes it. A text that does not convert raises its
/// ConvertError before the file is touched, so the old file survives a refused number.
void saveConfRec(const std::string& path, TConfRec& rec, const ConfTexts& texts);

/// The index of the first item equal to the language name ignoring letter case, else of the first item
/// "russian" (the language the installation always ships), else -1.
int chooseLanguage(const std::vector<std::string>& items, std::string_view langName);

/// The language offered on a start without settings: "russian" when it is listed, else the first item,
/// else -1 (nothing listed).
int firstRunLanguage(const std::vector<std::string>& items);

} // namespace velmar
