#pragma once

#include "console/cfg_string.h"
#include "core/session.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace quillon {

// frmOptions: the terminal port's settings and the modem options, kept in
// memory until the program ends.
class FrmOptions : public QDialog {
    Q_OBJECT
public:
    // portNumber: the main window's Text4, read now and written on apply.
    FrmOptions(Session& session, QWidget* parent = nullptr);

    void loadCfgString(const QString& cfg);
    QString setCfgString() const;
    void cmdApplyClick();
    void cmdOkClick();
    void check1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QButtonGroup* addGroup(QWidget* page, const QString& frameName, const QString& caption,
                           const QString& groupName, const QStringList& captions);
    void select(QButtonGroup* group, int index);
    // The options selected now; a group without one counts as its build-time option.
    CfgSelection selection() const;

    Session& session_;
    // The options as built, with what the values at opening needed beyond them.
    CfgSelection built_;
    // What the dialog opened on: a group still selected as then keeps its text.
    CfgSelection loaded_;
    QString loadedPortNumber_;
    QString loadedTerminalSettings_;
    // Option1, Option5, Option2, Option3, Option4.
    std::array<QButtonGroup*, CfgSelection::kGroups> groups_{};
    QCheckBox* modemEnabledCheck_ = nullptr;
    QLineEdit* extraAtEdit_ = nullptr;
    QLineEdit* phoneEdit_ = nullptr;
};

} // namespace quillon
