#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace bootvane {

struct FileFilter {
    QString description;  // shown as it stands: "Bitmaps (*.bmp)"
    QStringList patterns; // "*.bmp"
};

// The modal windows that a test cannot click: message boxes and the open-file dialog. The
// program uses the Qt ones; a test installs answers of its own.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // An information box with the OK button only.
    virtual void information(QWidget* parent, const QString& text, const QString& title) = 0;
    // An error box with the OK button only.
    virtual void critical(QWidget* parent, const QString& text, const QString& title) = 0;
    // The full path of an existing file the user chose, or "" when the user cancelled.
    // filterIndex selects the filter shown first and returns the one the user picked last.
    // The dialog starts in folder, or where Qt starts it when that is "".
    virtual QString openFileName(QWidget* parent, const QString& title,
                                 const QList<FileFilter>& filters, int& filterIndex,
                                 const QString& folder) = 0;
    // The full path of an existing folder the user chose, or "" when the user cancelled. The
    // dialog starts in folder, or where Qt starts it when that is "".
    virtual QString existingFolder(QWidget* parent, const QString& title,
                                   const QString& folder) = 0;
    // A question box with Yes and No, Yes the default (Return); whether the answer was Yes.
    virtual bool question(QWidget* parent, const QString& text, const QString& title) = 0;
    // The full path of a file to write, typed or chosen, starting at suggested; "" when the
    // user cancelled. A name typed without a suffix gets that of the first filter. One that
    // exists is replaced only once the user has said so.
    virtual QString saveFileName(QWidget* parent, const QString& title,
                                 const QList<FileFilter>& filters, const QString& suggested) = 0;
};

class QtUserDialogs final : public UserDialogs {
public:
    void information(QWidget* parent, const QString& text, const QString& title) override;
    void critical(QWidget* parent, const QString& text, const QString& title) override;
    QString openFileName(QWidget* parent, const QString& title, const QList<FileFilter>& filters,
                         int& filterIndex, const QString& folder) override;
    QString existingFolder(QWidget* parent, const QString& title, const QString& folder) override;
    bool question(QWidget* parent, const QString& text, const QString& title) override;
    QString saveFileName(QWidget* parent, const QString& title, const QList<FileFilter>& filters,
                         const QString& suggested) override;
};

// The Qt name filter for one entry: its description as it stands, and its patterns made to
// match any case, since the files come from DOS disks (LOGO.SYS, Sunset.BMP).
QString qtNameFilter(const FileFilter& filter);

// The dialogs in use: the Qt ones unless a test has installed others.
UserDialogs& userDialogs();

// Installs other dialogs for as long as it lives (tests).
class ScopedUserDialogs {
public:
    explicit ScopedUserDialogs(UserDialogs& dialogs);
    ~ScopedUserDialogs();
    ScopedUserDialogs(const ScopedUserDialogs&) = delete;
    ScopedUserDialogs& operator=(const ScopedUserDialogs&) = delete;

private:
    UserDialogs* m_previous;
};

} // namespace bootvane
