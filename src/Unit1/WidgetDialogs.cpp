#include "Unit1/WidgetDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

void WidgetDialogs::showError(QWidget*, const QString& text)
{
    // No parent: the box stands centred on the screen, as the error box always has.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok);
    // Messages come from language files and errors: shown as they stand, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<QString> WidgetDialogs::openFile(QWidget* window, const QString& title, const QString& filter)
{
    const QString name = QFileDialog::getOpenFileName(window, title, QString(), filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> WidgetDialogs::saveFile(QWidget* window, const QString& title, const QString& filter,
    const QString& defaultSuffix, const QString& suggested)
{
    QFileDialog dialog(window, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // An existing file is replaced without a question, as the export always did.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!suggested.isEmpty())
        dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
