#include "userdialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace bootvane {

namespace {

QtUserDialogs qtDialogs;
UserDialogs* current = &qtDialogs;

// "*.sys" becomes "*.[sS][yY][sS]".
QString anyCasePattern(const QString& pattern)
{
    QString result;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            result += c;
    }
    return result;
}

} // namespace

QString qtNameFilter(const FileFilter& filter)
{
    QStringList patterns;
    for (const QString& pattern : filter.patterns)
        patterns.append(anyCasePattern(pattern));
    return filter.description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
           QLatin1Char(')');
}

void QtUserDialogs::information(QWidget* parent, const QString& text, const QString& title)
{
    QMessageBox::information(parent, title, text);
}

void QtUserDialogs::critical(QWidget* parent, const QString& text, const QString& title)
{
    QMessageBox::critical(parent, title, text);
}

QString QtUserDialogs::openFileName(QWidget* parent, const QString& title,
                                    const QList<FileFilter>& filters, int& filterIndex,
                                    const QString& folder)
{
    QStringList nameFilters;
    for (const FileFilter& filter : filters)
        nameFilters.append(qtNameFilter(filter));

    QFileDialog dialog(parent, title, folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Show each entry's description exactly, not the any-case patterns behind it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Qt's GTK dialog names an entry by what comes before its first parenthesis, which cuts
    // "System Files (*.sys)" down to "System Files"; Qt's own dialog shows the names whole.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(nameFilters);
    if (filterIndex >= 0 && filterIndex < nameFilters.size())
        dialog.selectNameFilter(nameFilters[filterIndex]);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();

    // Qt 6.4 gives the picked entry back as it is shown, without the hidden patterns; later
    // versions give the whole filter. Either way it is the entry to show next time.
    const QString picked = dialog.selectedNameFilter();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (picked == nameFilters[i] || picked == filters[i].description)
            filterIndex = int(i);
    }
    if (!chosen)
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString QtUserDialogs::existingFolder(QWidget* parent, const QString& title, const QString& folder)
{
    // Qt's own dialog, as for files: the same look whatever the desktop.
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        parent, title, folder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog));
}

bool QtUserDialogs::question(QWidget* parent, const QString& text, const QString& title)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

QString QtUserDialogs::saveFileName(QWidget* parent, const QString& title,
                                    const QList<FileFilter>& filters, const QString& suggested)
{
    // The patterns as they are: a save dialog gives a name the suffix of the chosen filter's
    // first pattern, and "Sunset.[zZ][iI][pP]" is no name.
    QStringList nameFilters;
    for (const FileFilter& filter : filters)
        nameFilters.append(filter.description + QStringLiteral(" (") +
                           filter.patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    QFileDialog dialog(parent, title, suggested);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(nameFilters);
    // A name typed without its suffix gets it before the dialog asks about replacing a file
    // of that name, so that the question is asked of the file that will be written.
    const QString first =
        filters.isEmpty() || filters[0].patterns.isEmpty() ? QString() : filters[0].patterns[0];
    if (first.startsWith(QLatin1String("*.")) && !first.mid(1).contains(QLatin1Char('*')))
        dialog.setDefaultSuffix(first.mid(2));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

UserDialogs& userDialogs()
{
    return *current;
}

ScopedUserDialogs::ScopedUserDialogs(UserDialogs& dialogs) : m_previous(current)
{
    current = &dialogs;
}

ScopedUserDialogs::~ScopedUserDialogs()
{
    current = m_previous;
}

} // namespace bootvane
