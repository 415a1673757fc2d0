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
    QButtonGroup* portChoice_ = nullptr;
    QButtonGroup* baudChoice_ = nullptr;
    QButtonGroup* parityChoice_ = nullptr;
    QButtonGroup* dataBitsChoice_ = nullptr;
    QButtonGroup* stopBitsChoice_ = nullptr;
    QCheckBox* modemEnabledCheck_ = nullptr;
    QLineEdit* extraAtEdit_ = nullptr;
    QLineEdit* phoneEdit_ = nullptr;
};

} // namespace quillon
