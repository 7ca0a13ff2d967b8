#include "setnamedialog.h"

#include "look.h"
#include "setstore.h"
#include "userdialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace bootvane {

SetNameDialog::SetNameDialog(const QString& title, const QString& base, const QString& proposed,
                             QWidget* parent)
    : QDialog(parent), m_base(base)
{
    setObjectName(QStringLiteral("frmSetName"));
    setWindowTitle(title);
    setWindowIcon(programIcon());
    setFont(controlFont());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Name of the new set:"), this));
    txtName = new QLineEdit(proposed, this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtName->selectAll();
    layout->addWidget(txtName);
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

void SetNameDialog::accept()
{
    if (const std::optional<QString> refusal = refusalOfSetName(m_base, name())) {
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

} // namespace bootvane
