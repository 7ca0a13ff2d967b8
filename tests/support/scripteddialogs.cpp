#include "scripteddialogs.h"

#include <stdexcept>

namespace bootvane::testing {

ScriptedDialogs::ScriptedDialogs() : m_installed(*this) {}

void ScriptedDialogs::information(QWidget*, const QString& text, const QString& title)
{
    boxes.append({Box::Information, text, title});
}

void ScriptedDialogs::critical(QWidget*, const QString& text, const QString& title)
{
    boxes.append({Box::Critical, text, title});
}

QString ScriptedDialogs::openFileName(QWidget*, const QString& title,
                                      const QList<FileFilter>& filters, int& filterIndex,
                                      const QString& folder)
{
    fileRequests.append({title, filters, filterIndex, folder});
    if (m_answers.isEmpty())
        throw std::logic_error("the test queued no answer for the file dialog");
    const Answer answer = m_answers.dequeue();
    if (answer.pickedFilter >= 0)
        filterIndex = answer.pickedFilter;
    return answer.path;
}

QString ScriptedDialogs::existingFolder(QWidget* parent, const QString& title)
{
    int unused = 0;
    return openFileName(parent, title, {}, unused, QString());
}

QString ScriptedDialogs::saveFileName(QWidget* parent, const QString& title,
                                      const QList<FileFilter>& filters, const QString&)
{
    int unused = 0;
    return openFileName(parent, title, filters, unused, QString());
}

bool ScriptedDialogs::question(QWidget*, const QString& text, const QString& title)
{
    boxes.append({Box::Question, text, title});
    return m_questionAnswers.isEmpty() || m_questionAnswers.dequeue();
}

void ScriptedDialogs::answerQuestion(bool yes)
{
    m_questionAnswers.enqueue(yes);
}

void ScriptedDialogs::answerFileDialog(const QString& path, int pickedFilter)
{
    m_answers.enqueue({path, pickedFilter});
}

} // namespace bootvane::testing
