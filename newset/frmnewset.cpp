#include "frmnewset.h"

#include "look.h"

namespace bootvane {

frmNewSet::frmNewSet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNewSet"));
    makeFixedDialog(this, QSize(twips(7110), twips(2610)));
    setWindowTitle(QStringLiteral("Make Your New Set"));
}

void showNewSetDialog()
{
    frmNewSet dialog;
    dialog.exec();
}

} // namespace bootvane
