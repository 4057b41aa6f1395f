#include "ui/filedialogs.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace {
QString run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
}  // namespace

QString QtFileDialogs::openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                    const QString& filter) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog);
}

QString QtFileDialogs::saveFileName(QWidget* parent, const QString& caption,
                                    const QString& suggested, const QString& filter) {
    QFileDialog dialog(parent, caption, suggested, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog adds the first pattern's extension (".img", ".csv") itself, so that its
    // question about replacing a file is about the file that will really be written.
    const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    dialog.setDefaultSuffix(pattern.match(filter).captured(1));
    return run(dialog);
}
