#include "frmnewset.h"

#include "filesystem.h"
#include "frmmovingband.h"
#include "frmwin95view.h"
#include "handler.h"
#include "imagebox.h"
#include "look.h"
#include "paths.h"
#include "picture.h"
#include "setstore.h"
#include "userdialogs.h"
#include "viewlogo.h"

#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace bootvane {

namespace {

const QString savingTitle = QStringLiteral("Saving Screen Sets");

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption,
                        QRect geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // No button is the default one, so Enter presses none of them.
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmNewSet::frmNewSet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNewSet"));
    makeFixedDialog(this, QSize(twips(7110), twips(2610)));
    setWindowTitle(QStringLiteral("Make Your New Set"));
    // Placed by nobody: Qt centres a dialog without an owner on the screen when it shows.

    buildControls();
    connectHandlers();
    runHandler(this, [this] { Form_Load(); });
}

QList<FileFilter> frmNewSet::selectableFilters()
{
    // Applying converts any picture Bootvane reads, so photos are offered too.
    QStringList pictures;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        pictures.append(QStringLiteral("*.") + QString::fromLatin1(format));
    return {
        {QStringLiteral("System Files (*.sys)"), {QStringLiteral("*.sys")}},
        {QStringLiteral("Bitmaps (*.bmp)"), {QStringLiteral("*.bmp")}},
        {QStringLiteral("All Selectable Images (*.sys,*.bmp)"),
         {QStringLiteral("*.sys"), QStringLiteral("*.bmp")}},
        {QStringLiteral("Photos and Other Pictures"), pictures},
    };
}

void frmNewSet::buildControls()
{
    lblSaveSet = new QLabel(QStringLiteral("Save Set As..."), this);
    lblSaveSet->setObjectName(QStringLiteral("lblSaveSet"));
    lblSaveSet->setGeometry(twipsRect(120, 360, 1095, 255));
    lblSaveSet->setFont(headingFont(9.75));
    lblSaveSet->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    txtSaveSet = new QLineEdit(this);
    txtSaveSet->setObjectName(QStringLiteral("txtSaveSet"));
    txtSaveSet->setGeometry(twipsRect(120, 720, 2055, 375));

    cmdSaveSet = makeButton(this, QStringLiteral("cmdSaveSet"), QStringLiteral("Save"),
                            twipsRect(120, 1200, 1215, 375));
    cmdCancel = makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"),
                           twipsRect(120, 1680, 1215, 375));

    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[i];
        const QString suffix = QLatin1String(slot.suffix);
        const int column = i * slotColumnStep;
        SlotControls& controls = m_slots[i];

        controls.cmdSelect =
            makeButton(this, QStringLiteral("cmdSelect") + suffix, QStringLiteral("Select..."),
                       twipsRect(2400 + column, 240, 1215, 375));
        controls.imgCreate = new ImageBox(i, this);
        controls.imgCreate->setObjectName(QStringLiteral("imgCreate") + suffix);
        controls.imgCreate->setGeometry(twipsRect(2280 + column, 720, 1455, 1335));
        controls.lblCreate = new QLabel(QLatin1String(slot.caption), this);
        controls.lblCreate->setObjectName(QStringLiteral("lblCreate") + suffix);
        controls.lblCreate->setGeometry(twipsRect(2640 + column, 2160, slotLabelWidth[i], 255));
        controls.lblCreate->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }

    QWidget* previous = m_slots[0].cmdSelect;
    // The screens come after the controls, left to right.
    for (QWidget* next : std::initializer_list<QWidget*>{
             m_slots[1].cmdSelect, m_slots[2].cmdSelect, txtSaveSet, cmdSaveSet, cmdCancel,
             m_slots[0].imgCreate, m_slots[1].imgCreate, m_slots[2].imgCreate}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (const SlotControls& controls : m_slots)
        controls.imgCreate->setOwner(QStringLiteral("new set"));
    m_slots[0].cmdSelect->setFocus();
}

void frmNewSet::connectHandlers()
{
    connectHandler(cmdSaveSet, &QPushButton::clicked, this, &frmNewSet::cmdSaveSet_Click);
    connectHandler(cmdCancel, &QPushButton::clicked, this, &frmNewSet::cmdCancel_Click);
    // The set saved with a band takes the other two screens chosen here.
    addMovingBandItem(*m_slots[0].imgCreate, this, [this] {
        showMovingBand(strAppPath, chosenSources({strCreateLogo, strCreateLogow, strCreateLogos}));
    });
    for (int i = 0; i < slotCount; ++i) {
        connectHandler(m_slots[i].cmdSelect, &QPushButton::clicked, this, selectCallers[i]);
        connectHandler(m_slots[i].imgCreate, &ImageBox::doubleClicked, this, viewCallers[i]);
        connect(m_slots[i].imgCreate, &ImageBox::showAsWindows95Requested, this,
                [this, i] { runHandler(this, [this, i] { imgCreate_ShowAsWindows95(i); }); });
        // A picture dropped on a box is chosen as "Select..." chooses one.
        m_slots[i].imgCreate->acceptFileDrops();
        connect(m_slots[i].imgCreate, &ImageBox::fileDropped, this, [this, i](const QString& path) {
            runHandler(this, [this, i, &path] { chooseFile(i, path); });
        });
    }
}

void frmNewSet::keyPressEvent(QKeyEvent* event)
{
    // No button is the cancel button, so Esc closes nothing; only "Cancel" and the close box do.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmNewSet::Form_Load()
{
    strAppPath = basePath();
    for (int i = 0; i < slotCount; ++i)
        strCreate(i).clear();
}

void frmNewSet::cmdSelect_Click(int slot)
{
    chooseFile(slot, userDialogs().openFileName(this, QLatin1String(screenSlots[slot].selectTitle),
                                                selectableFilters(), m_fileFilterIndex, QString()));
}

void frmNewSet::chooseFile(int slot, const QString& chosen)
{
    // The path is kept only with the picture it names: a file that turns out to be no
    // picture leaves the slot's earlier choice whole, so the save copies what the box shows.
    const QImage picture = loadPicture(chosen);
    strCreate(slot) = chosen;
    m_slots[slot].imgCreate->setPicture(picture);
}

QImage frmNewSet::chosenFile(int slot) const
{
    return loadPicture(chosenPath(slot));
}

void frmNewSet::imgCreate_DblClick(int slot)
{
    if (strCreate(slot).isEmpty())
        return;
    showScreenFullSize(chosenFile(slot));
}

void frmNewSet::imgCreate_ShowAsWindows95(int slot)
{
    if (strCreate(slot).isEmpty())
        return;
    showAsWindows95(chosenFile(slot), slot);
}

void frmNewSet::cmdCancel_Click()
{
    reject();
}

void frmNewSet::refuseName(const QString& text)
{
    userDialogs().information(this, text, savingTitle);
    txtSaveSet->setText(QString());
    txtSaveSet->setFocus();
}

void frmNewSet::cmdSaveSet_Click()
{
    const QString name = txtSaveSet->text();
    int chosenCount = 0;
    for (const SlotControls& controls : m_slots) {
        if (controls.imgCreate->pictureHandle() != 0)
            ++chosenCount;
    }

    if (name.isEmpty()) {
        if (chosenCount > 0)
            userDialogs().information(this, setNameMissing, savingTitle);
        return;
    }
    if (chosenCount < slotCount) {
        userDialogs().information(
            this, QStringLiteral("You must choose all three screen to make a Bootvane Set."),
            savingTitle);
        m_slots[0].cmdSelect->setFocus();
        txtSaveSet->setText(QString());
        return;
    }
    if (const std::optional<QString> refusal = refusalOfSetName(strAppPath, name)) {
        refuseName(*refusal);
        return;
    }

    // Built from the dialog's own base path, never by changing the current directory, which
    // the next save and "Restore originals" rely on. The name may be taken after the check
    // above, by another program: that is the same refusal.
    if (!makeSet(strAppPath, name, {strCreateLogo, strCreateLogow, strCreateLogos})) {
        refuseName(setNameTaken);
        return;
    }
    accept();
}

void showNewSetDialog()
{
    frmNewSet dialog;
    dialog.exec();
}

} // namespace bootvane
