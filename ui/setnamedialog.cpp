#include "setnamedialog.h"

#include "look.h"
#include "setstore.h"
#include "userdialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace bootvane {

SetNameDialog::SetNameDialog(const QString& title, const QString& base, const QString& proposed,
                             QWidget* parent, const ScreenOrigins* origins)
    : QDialog(parent), m_base(base)
{
    setObjectName(QStringLiteral("frmSetName"));
    setWindowTitle(title);
    setWindowIcon(programIcon());
    setFont(controlFont());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Name of the new set:"), this));
    txtName = new QLineEdit(usableSetName(proposed), this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->selectAll();
    layout->addWidget(txtName);
    if (origins) {
        m_origins = *origins;
        auto* screens = new QFormLayout;
        if (origins->roleOpen) {
            cboRole = new QComboBox(this);
            cboRole->setObjectName(QStringLiteral("cboRole"));
            for (const ScreenSlot& slot : screenSlots)
                cboRole->addItem(QLatin1String(slot.uiName));
            connect(cboRole, &QComboBox::currentIndexChanged, this,
                    &SetNameDialog::describeOrigins);
            screens->addRow(QStringLiteral("The picture is the:"), cboRole);
        }
        for (int i = 0; i < slotCount; ++i) {
            lblFrom[size_t(i)] = new QLabel(this);
            lblFrom[size_t(i)]->setObjectName(QStringLiteral("lblFrom") +
                                              QLatin1String(screenSlots[size_t(i)].suffix));
            screens->addRow(QLatin1String(screenSlots[size_t(i)].uiName) + QLatin1Char(':'),
                            lblFrom[size_t(i)]);
        }
        layout->addLayout(screens);
        describeOrigins();
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SetNameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SetNameDialog::reject);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 0)));
    txtName->setFocus();
}

QString SetNameDialog::name() const
{
    return txtName->text();
}

int SetNameDialog::role() const
{
    return cboRole ? cboRole->currentIndex() : 0;
}

QString SetNameDialog::sharedFor(int slot) const
{
    // The role swaps the Startup Screen's place with the slot chosen, as the import does.
    const int from = slot == role() ? 0 : slot == 0 ? role() : slot;
    return m_origins->shared[size_t(from)];
}

void SetNameDialog::describeOrigins()
{
    for (int i = 0; i < slotCount; ++i) {
        const QString& file = m_origins->inUseFiles[size_t(i)];
        const QString shared = sharedFor(i);
        lblFrom[size_t(i)]->setText(!shared.isEmpty() ? shared
                                    : m_origins->inUse[size_t(i)]
                                        ? QStringLiteral("a copy of the one in use, %1").arg(file)
                                        : QStringLiteral("none: drive C has no %1").arg(file));
    }
}

void SetNameDialog::accept()
{
    std::optional<QString> refusal = refusalOfSetName(m_base, name());
    for (int i = 0; m_origins && !refusal && i < slotCount; ++i) {
        if (sharedFor(i).isEmpty() && !m_origins->inUse[size_t(i)])
            refusal = QStringLiteral("A set needs all three screens, and drive C has no %1 to "
                                     "copy. Give the picture another role, or choose the "
                                     "screens in Create New Set.")
                          .arg(QLatin1String(screenSlots[size_t(i)].uiName));
    }
    if (refusal) {
        userDialogs().information(this, *refusal, windowTitle());
        txtName->setFocus();
        txtName->selectAll();
        return;
    }
    QDialog::accept();
}

std::optional<QString> SetNameDialog::ask(QWidget* parent, const QString& title,
                                          const QString& base, const QString& proposed)
{
    SetNameDialog dialog(title, base, proposed, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.name();
}

std::optional<SetNameDialog::Answer> SetNameDialog::askForImport(QWidget* parent,
                                                                 const QString& base,
                                                                 const QString& proposed,
                                                                 const ScreenOrigins& origins)
{
    SetNameDialog dialog(QStringLiteral("Import Set"), base, proposed, parent, &origins);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Answer{dialog.name(), dialog.role()};
}

} // namespace bootvane
