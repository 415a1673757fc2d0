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

    Session& session_;
    CfgSelection built_;
    QButtonGroup* option1_ = nullptr;
    QButtonGroup* option5_ = nullptr;
    QButtonGroup* option2_ = nullptr;
    QButtonGroup* option3_ = nullptr;
    QButtonGroup* option4_ = nullptr;
    QCheckBox* check1_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
};

} // namespace quillon
