#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;

namespace bootvane {

// A small dialog that asks for the name of a new set ("Import Set", "Save as New Set"): a line
// edit with the focus and the proposed name chosen, Return to accept and Esc to cancel. The
// name is checked as every way of naming a set checks it, with the same words; a refused name
// is said in a box, and the dialog stays open for another.
class SetNameDialog : public QDialog {
    Q_OBJECT
public:
    SetNameDialog(const QString& title, const QString& base, const QString& proposed,
                  QWidget* parent = nullptr);

    // The name accepted, or nothing when the user cancelled. base is the working folder's
    // base path, where the set will be made.
    static std::optional<QString> ask(QWidget* parent, const QString& title, const QString& base,
                                      const QString& proposed);

    QString name() const;

protected:
    void accept() override;

private:
    QString m_base;
    QLineEdit* txtName = nullptr;
};

} // namespace bootvane
