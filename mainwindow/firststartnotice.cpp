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
    return paragraphs.join(QStringLiteral("\n\n"));
}

} // namespace bootvane
