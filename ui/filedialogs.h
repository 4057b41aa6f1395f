#pragma once

#include <QString>

class QWidget;

// Every file dialog of the system goes through this seam, so that tests can answer them.
// Each returns the chosen path, or an empty text when the user cancelled.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                 const QString& filter) = 0;
    // `suggested` is a full path; the dialog asks before it replaces an existing file.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                                 const QString& filter) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                         const QString& filter) override;
};
