#include "console/frm_options.h"

#include "platform/screen_place.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillon {

FrmOptions::FrmOptions(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Configurações do Terminal"));
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));

    auto* serial = new QWidget(tabs);
    auto* serialLayout = new QGridLayout(serial);
    Q_UNUSED(serialLayout);
    QStringList ports;
    built_.load(session_.settings.portNumber + QLatin1Char(',')); // extra entry for COM 5 and up
    for (const QString& p : built_.portTexts)
        ports << QStringLiteral("COM ") + p;
    portChoice_ = addGroup(serial, QStringLiteral("FramePorta"), QStringLiteral("Porta COM"),
                           QStringLiteral("Option1"), ports);
    baudChoice_ = addGroup(serial, QStringLiteral("FrameBaud"), QStringLiteral("Baud Rate"),
                           QStringLiteral("Option5"), CfgSelection::baudTexts());
    parityChoice_ =
        addGroup(serial, QStringLiteral("FrameParidade"), QStringLiteral("Paridade"),
                 QStringLiteral("Option2"),
                 {QStringLiteral("Nenhuma"), QStringLiteral("Par"), QStringLiteral("Ímpar")});
    dataBitsChoice_ =
        addGroup(serial, QStringLiteral("FrameDados"), QStringLiteral("Dados"),
                 QStringLiteral("Option3"), {QStringLiteral("7 bits"), QStringLiteral("8 bits")});
    stopBitsChoice_ = addGroup(
        serial, QStringLiteral("FrameParada"), QStringLiteral("Parada"), QStringLiteral("Option4"),
        {QStringLiteral("1 bit"), QStringLiteral("1,5 bit"), QStringLiteral("2 bits")});
    tabs->addTab(serial, QStringLiteral("Porta Serial"));

    auto* modem = new QWidget(tabs);
    auto* modemLayout = new QVBoxLayout(modem);
    auto* modemFrame = new QGroupBox(QStringLiteral("Configuração do Modem"), modem);
    auto* modemFrameLayout = new QVBoxLayout(modemFrame);
    modemEnabledCheck_ = new QCheckBox(QStringLiteral("Ativar Modem"), modemFrame);
    modemEnabledCheck_->setObjectName(QStringLiteral("Check1"));
    auto* atLabel = new QLabel(QStringLiteral("Comandos AT Adicionais:"), modemFrame);
    extraAtEdit_ = new QLineEdit(modemFrame);
    extraAtEdit_->setObjectName(QStringLiteral("Text1"));
    extraAtEdit_->setAccessibleName(QStringLiteral("Comandos AT Adicionais"));
    atLabel->setBuddy(extraAtEdit_);
    modemFrameLayout->addWidget(modemEnabledCheck_);
    modemFrameLayout->addWidget(atLabel);
    modemFrameLayout->addWidget(extraAtEdit_);
    auto* phoneFrame = new QGroupBox(QStringLiteral("Telefone"), modem);
    auto* phoneLayout = new QVBoxLayout(phoneFrame);
    auto* phoneLabel = new QLabel(QStringLiteral("Numero do Telefone:"), phoneFrame);
    phoneEdit_ = new QLineEdit(phoneFrame);
    phoneEdit_->setObjectName(QStringLiteral("Text2"));
    phoneEdit_->setAccessibleName(QStringLiteral("Numero do Telefone"));
    phoneLabel->setBuddy(phoneEdit_);
    phoneLayout->addWidget(phoneLabel);
    phoneLayout->addWidget(phoneEdit_);
    modemLayout->addWidget(modemFrame);
    modemLayout->addWidget(phoneFrame);
    tabs->addTab(modem, QStringLiteral("Modem"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const struct {
        const char* name;
        const char* caption;
    } buttonTexts[] = {{"cmdOK", "OK"}, {"cmdCancel", "Cancelar"}, {"cmdApply", "Aplicar"}};
    QPushButton* made[3] = {};
    for (int i = 0; i < 3; ++i) {
        made[i] = new QPushButton(QString::fromUtf8(buttonTexts[i].caption), this);
        made[i]->setObjectName(QString::fromLatin1(buttonTexts[i].name));
        made[i]->setAutoDefault(false); // no button answers Enter
        buttons->addWidget(made[i]);
    }
    connect(made[0], &QPushButton::clicked, this, &FrmOptions::cmdOkClick);
    connect(made[1], &QPushButton::clicked, this, &QDialog::reject);
    connect(made[2], &QPushButton::clicked, this, &FrmOptions::cmdApplyClick);
    connect(modemEnabledCheck_, &QCheckBox::clicked, this, &FrmOptions::check1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    // Form_Load.
    loadCfgString(session_.settings.portNumber + QLatin1Char(',') +
                  session_.settings.terminalSettings);
    modemEnabledCheck_->setChecked(session_.settings.useModem == 1);
    extraAtEdit_->setText(session_.settings.extraAtCommands);
    phoneEdit_->setText(session_.settings.phoneNumber);
    const bool modemOn = session_.settings.useModem != 0;
    extraAtEdit_->setEnabled(modemOn);
    phoneEdit_->setEnabled(modemOn);
}

QButtonGroup* FrmOptions::addGroup(QWidget* page, const QString& frameName, const QString& caption,
                                   const QString& groupName, const QStringList& captions) {
    auto* frame = new QGroupBox(caption, page);
    frame->setObjectName(frameName);
    auto* layout = new QVBoxLayout(frame);
    auto* group = new QButtonGroup(this);
    group->setObjectName(groupName);
    for (int i = 0; i < captions.size(); ++i) {
        auto* option = new QRadioButton(captions[i], frame);
        option->setObjectName(QStringLiteral("%1(%2)").arg(groupName).arg(i));
        group->addButton(option, i);
        layout->addWidget(option);
    }
    static_cast<QGridLayout*>(page->layout())->addWidget(frame, 0, page->layout()->count());
    return group;
}

void FrmOptions::select(QButtonGroup* group, int index) {
    if (QAbstractButton* option = group->button(index))
        option->setChecked(true);
}

void FrmOptions::loadCfgString(const QString& cfg) {
    CfgSelection selection = built_;
    selection.port = std::max(0, portChoice_->checkedId());
    selection.baud = std::max(0, baudChoice_->checkedId());
    selection.parity = std::max(0, parityChoice_->checkedId());
    selection.bits = dataBitsChoice_->checkedId() < 0 ? 1 : dataBitsChoice_->checkedId();
    selection.stop = std::max(0, stopBitsChoice_->checkedId());
    selection.load(cfg);
    select(portChoice_, selection.port);
    select(baudChoice_, selection.baud);
    select(parityChoice_, selection.parity);
    select(dataBitsChoice_, selection.bits);
    select(stopBitsChoice_, selection.stop);
}

QString FrmOptions::setCfgString() const {
    CfgSelection selection = built_;
    selection.port = portChoice_->checkedId();
    selection.baud = baudChoice_->checkedId();
    selection.parity = parityChoice_->checkedId();
    selection.bits = dataBitsChoice_->checkedId();
    selection.stop = stopBitsChoice_->checkedId();
    return selection.text();
}

void FrmOptions::cmdApplyClick() {
    const QString cfg = setCfgString();
    const qsizetype comma = cfg.indexOf(QLatin1Char(','));
    session_.applySettings({.portNumber = cfg.left(comma),
                            .terminalSettings = cfg.mid(comma + 1),
                            .useModem = modemEnabledCheck_->isChecked() ? 1 : 0,
                            .extraAtCommands = extraAtEdit_->text(),
                            .phoneNumber = phoneEdit_->text()});
}

void FrmOptions::cmdOkClick() {
    cmdApplyClick();
    accept();
}

void FrmOptions::check1Click() {
    extraAtEdit_->setEnabled(modemEnabledCheck_->isChecked());
    phoneEdit_->setEnabled(modemEnabledCheck_->isChecked());
}

void FrmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

} // namespace quillon
