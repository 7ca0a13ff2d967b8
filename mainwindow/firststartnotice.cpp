#include "firststartnotice.h"

#include "filenames.h"

#include <QDir>
#include <QStringList>

namespace bootvane {

QString firstStartNotice(const FirstStartFacts& facts)
{
    QStringList paragraphs{
        QStringLiteral("Your current screen settings will be saved as your original set.")};

    QString folder = displayFileName(facts.setsFolder);
    if (folder.size() > 1 && folder.endsWith(pathSeparator()))
        folder.chop(1);
    folder = QDir::toNativeSeparators(folder);
    QString where = facts.choice.apartFromHome
                        ? QStringLiteral("Started in your home folder, Bootvane keeps it and the "
                                         "sets apart from your own folders, in %1, as the menu "
                                         "entry does.")
                              .arg(folder)
                        : QStringLiteral("Bootvane keeps it and the sets in %1.").arg(folder);
    if (facts.choice.made)
        where += QStringLiteral(" It made that folder for them.");
    paragraphs.append(where);
    if (!facts.copyOf.isEmpty())
        paragraphs.append(copyNotice(facts.copyOf));
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString copyNotice(const QString& copyOf)
{
    return QStringLiteral("This drive C is a copy of \"%1\", and their screens now differ: from "
                          "now on Bootvane keeps the originals and the Undo history of each apart.")
        .arg(QDir::toNativeSeparators(displayFileName(copyOf)));
}

} // namespace bootvane
