#include "export/StartUp.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/TextFile.h"
#include "settings/Language.h"
#include "statistics/LogText.h"
#include "statistics/Table.h"

namespace velmar {

void FormCreate(StartUpSteps& steps, const std::vector<std::string>& params)
{
    if (!fileExists(std::string(kConfigName))) {
        steps.firstStart();
        return;
    }
    steps.LangActivate();
    steps.ReadConf();
    steps.applyChosenLanguage();
    if (!steps.FreeLog())
        return;
    steps.FillTabl();
    steps.FillFull();
    steps.showTables();
    if (!params.empty() && !params.front().empty())
        steps.ComLine();
}

void setTableHeaders(const Language& lang, Table& Str, Table& StrFull)
{
    for (int column = 0; column < 7; ++column)
        Str.setCell(column, 0, lang.cols[static_cast<size_t>(column)]);
    for (int column = 0; column < 5; ++column)
        StrFull.setCell(column, 0, lang.cols[static_cast<size_t>(column) + 3]);
}

void bindLog(
    LogText& log, const std::string& path, const std::string& startDir, const std::function<void()>& beforeCopy)
{
    log.bind(path);
    if (log.openShared())
        return;
    if (beforeCopy)
        beforeCopy();
    log.bindCopyOf(path, startDir);
}

std::vector<std::string> exportInputs(
    const std::string& startDir, const std::string& logSetting, const std::string& readmePath, const LogText& log)
{
    std::vector<std::string> files { joinPath(startDir, kConfigName), logSetting, joinPath(startDir, kLogCopyName),
        readmePath };
    if (log.bound())
        files.push_back(log.path());
    for (const std::string& name : listDirectory(startDir, "*.lng"))
        files.push_back(joinPath(startDir, name));
    return files;
}

bool createExport(TextFile& file, const std::string& name, const std::vector<std::string>& inputs)
{
    file.assign(name);
    try {
        file.rewrite(inputs);
    } catch (const InOutError&) {
        return false;
    }
    return true;
}

} // namespace velmar
