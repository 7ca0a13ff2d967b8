#pragma once

#include <QDialog>

namespace bootvane {

// The dialog in which the user makes a new set from three picture files.
class frmNewSet : public QDialog {
    Q_OBJECT
public:
    explicit frmNewSet(QWidget* parent = nullptr);
};

// Shows the new set dialog modally, loaded afresh; returns when it has closed.
void showNewSetDialog();

} // namespace bootvane
