#pragma once

#include <QDialog>

#include "app/Services.h"

class QLabel;

namespace sarvoli::app {

// The about box: the program's picture, name, version and year, and two links that the
// shell hands to the mail program and the browser. Closing it hides it; it lives as long as
// the main window.
class TAboutBoxi : public QDialog {
    Q_OBJECT

public:
    TAboutBoxi(Shell& shell, QWidget* parent = nullptr);

    void lbEmailClick();
    void lbUrlClick();
    void OKButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();

    Shell& m_shell;
    QLabel* m_lbEmail = nullptr;
    QLabel* m_lbUrl = nullptr;
};

}  // namespace sarvoli::app
