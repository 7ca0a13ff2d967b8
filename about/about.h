#pragma once

#include <QDialog>

namespace bootvane {

// Where the project lives on the web; one place to change it.
inline constexpr char webPageAddress[] = "https://bootvane.example.org";

// Names the program, its version and what it is for.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

private:
    void cmdOK_Click();
};

// Shows the About box modally and returns when it has closed.
void showAboutBox();

} // namespace bootvane
