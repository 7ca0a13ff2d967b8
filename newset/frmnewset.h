#pragma once

#include "screenslots.h"
#include "userdialogs.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bootvane {

class ImageBox;

// The dialog in which the user makes a new set from three picture files: one "Select..."
// button, preview and file-name label per screen, and a name box with "Save" and "Cancel".
// It lives for one opening; nothing of one opening reaches the next.
class frmNewSet : public QDialog {
    Q_OBJECT
public:
    explicit frmNewSet(QWidget* parent = nullptr);

    // The dialog's state, read-only, for what looks at it from outside (tests).
    const QString& appPath() const { return strAppPath; }
    QString chosenPath(int slot) const { return this->*createPathMembers[slot]; }

    // The entries of the open-file dialog, in the order it lists them.
    static QList<FileFilter> selectableFilters();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct SlotControls {
        QPushButton* cmdSelect;
        ImageBox* imgCreate;
        QLabel* lblCreate;
    };

    void buildControls();
    void connectHandlers();

    QString& strCreate(int slot) { return this->*createPathMembers[slot]; }
    void refuseName(const QString& text);

    void Form_Load();
    void cmdSelect_Click(int slot);
    // Keeps chosen as the slot's file, with its picture, or neither when it is no picture.
    void chooseFile(int slot, const QString& chosen);
    void imgCreate_DblClick(int slot);
    void imgCreate_ShowAsWindows95(int slot);
    // The chosen file of a slot, read afresh for every view of it: it may have changed.
    QImage chosenFile(int slot) const;
    void cmdSelectLogo_Click() { cmdSelect_Click(0); }
    void cmdSelectLogow_Click() { cmdSelect_Click(1); }
    void cmdSelectLogos_Click() { cmdSelect_Click(2); }
    void imgCreateLogo_DblClick() { imgCreate_DblClick(0); }
    void imgCreateLogow_DblClick() { imgCreate_DblClick(1); }
    void imgCreateLogos_DblClick() { imgCreate_DblClick(2); }
    void cmdCancel_Click();
    void cmdSaveSet_Click();

    QLabel* lblSaveSet = nullptr;
    QLineEdit* txtSaveSet = nullptr;
    QPushButton* cmdSaveSet = nullptr;
    QPushButton* cmdCancel = nullptr;
    std::array<SlotControls, slotCount> m_slots{};
    // The filter entry the user picked last; the open-file dialog keeps it for one opening.
    int m_fileFilterIndex = 0;

    QString strAppPath;
    QString strCreateLogo;
    QString strCreateLogow;
    QString strCreateLogos;

    static constexpr std::array<QString frmNewSet::*, slotCount> createPathMembers{
        &frmNewSet::strCreateLogo, &frmNewSet::strCreateLogow, &frmNewSet::strCreateLogos};
    static constexpr std::array<void (frmNewSet::*)(), slotCount> selectCallers{
        &frmNewSet::cmdSelectLogo_Click, &frmNewSet::cmdSelectLogow_Click,
        &frmNewSet::cmdSelectLogos_Click};
    static constexpr std::array<void (frmNewSet::*)(), slotCount> viewCallers{
        &frmNewSet::imgCreateLogo_DblClick, &frmNewSet::imgCreateLogow_DblClick,
        &frmNewSet::imgCreateLogos_DblClick};
};

// Shows the new set dialog modally, loaded afresh; returns when it has closed.
void showNewSetDialog();

} // namespace bootvane
