#pragma once

#include "userdialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

namespace bootvane::testing {

// Message boxes and the open-file dialog for tests: every box shown is recorded instead of
// waiting for a click, and the file dialog gives the answers queued for it. Installs itself
// for as long as it lives.
class ScriptedDialogs final : public UserDialogs {
public:
    struct Box {
        enum Kind { Information, Critical, Question } kind;
        QString text;
        QString title;
    };
    struct FileRequest {
        QString title;
        QList<FileFilter> filters;
        int filterIndexShown;
        QString folder; // where the dialog starts
    };

    ScriptedDialogs();

    void information(QWidget* parent, const QString& text, const QString& title) override;
    void critical(QWidget* parent, const QString& text, const QString& title) override;
    QString openFileName(QWidget* parent, const QString& title, const QList<FileFilter>& filters,
                         int& filterIndex, const QString& folder) override;
    // Answered from the same queue as the file dialog.
    QString existingFolder(QWidget* parent, const QString& title) override;
    QString saveFileName(QWidget* parent, const QString& title, const QList<FileFilter>& filters,
                         const QString& suggested) override;
    // Recorded as a box; answered from answerQuestion's queue, Yes when it is empty.
    bool question(QWidget* parent, const QString& text, const QString& title) override;
    void answerQuestion(bool yes);

    // The next file dialog returns path ("" for a cancel) with the user's filter choice.
    void answerFileDialog(const QString& path, int pickedFilter = -1);

    QList<Box> boxes;
    QList<FileRequest> fileRequests;

private:
    struct Answer {
        QString path;
        int pickedFilter;
    };
    QQueue<Answer> m_answers;
    QQueue<bool> m_questionAnswers;
    ScopedUserDialogs m_installed;
};

} // namespace bootvane::testing
