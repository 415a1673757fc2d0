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
    option1_ = addGroup(serial, QStringLiteral("FramePorta"), QStringLiteral("Porta COM"),
                        QStringLiteral("Option1"), ports);
    option5_ = addGroup(serial, QStringLiteral("FrameBaud"), QStringLiteral("Baud Rate"),
                        QStringLiteral("Option5"), CfgSelection::baudTexts());
    option2_ =
        addGroup(serial, QStringLiteral("FrameParidade"), QStringLiteral("Paridade"),
                 QStringLiteral("Option2"),
                 {QStringLiteral("Nenhuma"), QStringLiteral("Par"), QStringLiteral("Ímpar")});
    option3_ =
        addGroup(serial, QStringLiteral("FrameDados"), QStringLiteral("Dados"),
                 QStringLiteral("Option3"), {QStringLiteral("7 bits"), QStringLiteral("8 bits")});
    option4_ = addGroup(
        serial, QStringLiteral("FrameParada"), QStringLiteral("Parada"), QStringLiteral("Option4"),
        {QStringLiteral("1 bit"), QStringLiteral("1,5 bit"), QStringLiteral("2 bits")});
    tabs->addTab(serial, QStringLiteral("Porta Serial"));

    auto* modem = new QWidget(tabs);
    auto* modemLayout = new QVBoxLayout(modem);
    auto* modemFrame = new QGroupBox(QStringLiteral("Configuração do Modem"), modem);
    auto* modemFrameLayout = new QVBoxLayout(modemFrame);
    check1_ = new QCheckBox(QStringLiteral("Ativar Modem"), modemFrame);
    check1_->setObjectName(QStringLiteral("Check1"));
    auto* atLabel = new QLabel(QStringLiteral("Comandos AT Adicionais:"), modemFrame);
    text1_ = new QLineEdit(modemFrame);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setAccessibleName(QStringLiteral("Comandos AT Adicionais"));
    atLabel->setBuddy(text1_);
    modemFrameLayout->addWidget(check1_);
    modemFrameLayout->addWidget(atLabel);
    modemFrameLayout->addWidget(text1_);
    auto* phoneFrame = new QGroupBox(QStringLiteral("Telefone"), modem);
    auto* phoneLayout = new QVBoxLayout(phoneFrame);
    auto* phoneLabel = new QLabel(QStringLiteral("Numero do Telefone:"), phoneFrame);
    text2_ = new QLineEdit(phoneFrame);
    text2_->setObjectName(QStringLiteral("Text2"));
    text2_->setAccessibleName(QStringLiteral("Numero do Telefone"));
    phoneLabel->setBuddy(text2_);
    phoneLayout->addWidget(phoneLabel);
    phoneLayout->addWidget(text2_);
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
    connect(check1_, &QCheckBox::clicked, this, &FrmOptions::check1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    // Form_Load.
    loadCfgString(session_.settings.portNumber + QLatin1Char(',') +
                  session_.settings.terminalSettings);
    check1_->setChecked(session_.settings.useModem == 1);
    text1_->setText(session_.settings.extraAtCommands);
    text2_->setText(session_.settings.phoneNumber);
    const bool modemOn = session_.settings.useModem != 0;
    text1_->setEnabled(modemOn);
    text2_->setEnabled(modemOn);
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
    selection.port = std::max(0, option1_->checkedId());
    selection.baud = std::max(0, option5_->checkedId());
    selection.parity = std::max(0, option2_->checkedId());
    selection.bits = option3_->checkedId() < 0 ? 1 : option3_->checkedId();
    selection.stop = std::max(0, option4_->checkedId());
    selection.load(cfg);
    select(option1_, selection.port);
    select(option5_, selection.baud);
    select(option2_, selection.parity);
    select(option3_, selection.bits);
    select(option4_, selection.stop);
}

QString FrmOptions::setCfgString() const {
    CfgSelection selection = built_;
    selection.port = option1_->checkedId();
    selection.baud = option5_->checkedId();
    selection.parity = option2_->checkedId();
    selection.bits = option3_->checkedId();
    selection.stop = option4_->checkedId();
    return selection.text();
}

void FrmOptions::cmdApplyClick() {
    const QString cfg = setCfgString();
    const qsizetype comma = cfg.indexOf(QLatin1Char(','));
    session_.settings.portNumber = cfg.left(comma);
    session_.settings.terminalSettings = cfg.mid(comma + 1);
    session_.settings.useModem = check1_->isChecked() ? 1 : 0;
    session_.settings.extraAtCommands = text1_->text();
    session_.settings.phoneNumber = text2_->text();
}

void FrmOptions::cmdOkClick() {
    cmdApplyClick();
    accept();
}

void FrmOptions::check1Click() {
    text1_->setEnabled(check1_->isChecked());
    text2_->setEnabled(check1_->isChecked());
}

void FrmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

} // namespace quillon
