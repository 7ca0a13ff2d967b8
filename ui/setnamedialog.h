#pragma once

#include "screenslots.h"

#include <QDialog>
#include <array>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

namespace bootvane {

// Where each screen of a set made by an import comes from, for the dialog to say.
struct ScreenOrigins {
    // What the user is shown of the shared file each screen comes from ("LOGO.SYS in
    // Cool.zip"); empty for a screen the import lacks.
    std::array<QString, slotCount> shared;
    // Whether drive C has a file of each screen, which a screen the import lacks is copied from,
    // and the file's DOS path there (C:\WIN95\logow.sys where MSDOS.SYS says so).
    std::array<bool, slotCount> inUse{};
    std::array<QString, slotCount> inUseFiles;
    // The import is one picture whose name says no screen: it is the Startup Screen unless the
    // user gives it another role.
    bool roleOpen = false;
};

// A small dialog that asks for the name of a new set ("Import Set", "Save as New Set"): a line
// edit with the focus and the proposed name chosen, Return to accept and Esc to cancel. Only
// a name the check takes is proposed (usableSetName), else none. The
// name is checked as every way of naming a set checks it, with the same words; a refused name
// is said in a box, and the dialog stays open for another. For an import it also says where
// each screen comes from, and lets the user choose the role of a picture whose name says none;
// a set that would lack a screen is refused the same way.
class SetNameDialog : public QDialog {
    Q_OBJECT
public:
    SetNameDialog(const QString& title, const QString& base, const QString& proposed,
                  QWidget* parent = nullptr, const ScreenOrigins* origins = nullptr);

    // The name accepted, or nothing when the user cancelled. base is the working folder's
    // base path, where the set will be made.
    static std::optional<QString> ask(QWidget* parent, const QString& title, const QString& base,
                                      const QString& proposed);

    struct Answer {
        QString name;
        int role = 0; // the slot the Startup Screen shared goes to: 0 unless the user chose
    };
    // The same for an import, whose screens come from origins.
    static std::optional<Answer> askForImport(QWidget* parent, const QString& base,
                                              const QString& proposed,
                                              const ScreenOrigins& origins);

    QString name() const;
    int role() const;

protected:
    void accept() override;

private:
    // What the set gets for slot with the role chosen: the shared file, a copy of the screen
    // in use, or nothing.
    QString sharedFor(int slot) const;
    void describeOrigins();

    QString m_base;
    std::optional<ScreenOrigins> m_origins;
    QLineEdit* txtName = nullptr;
    QComboBox* cboRole = nullptr;
    std::array<QLabel*, slotCount> lblFrom{};
};

} // namespace bootvane
