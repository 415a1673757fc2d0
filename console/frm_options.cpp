#include "console/frm_options.h"

#include "platform/screen_place.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quillon {

namespace {

// What an option reads on screen; a value the dialog had no option for reads the
// way its neighbours do.
QString optionCaption(CfgSelection::Group group, const QString& text) {
    static const QHash<QString, QString> parities = {
        {QStringLiteral("n"), QStringLiteral("Nenhuma")},
        {QStringLiteral("e"), QStringLiteral("Par")},
        {QStringLiteral("o"), QStringLiteral("Ímpar")},
        {QStringLiteral("m"), QStringLiteral("Marca")},
        {QStringLiteral("s"), QStringLiteral("Espaço")}};
    static const QHash<QString, QString> stops = {
        {QStringLiteral("1"), QStringLiteral("1 bit")},
        {QStringLiteral("1.5"), QStringLiteral("1,5 bit")},
        {QStringLiteral("2"), QStringLiteral("2 bits")}};
    switch (group) {
    case CfgSelection::Port:
        return QStringLiteral("COM ") + text;
    case CfgSelection::Parity:
        return parities.value(text, text);
    case CfgSelection::Bits:
        return text + QStringLiteral(" bits");
    case CfgSelection::Stop:
        return stops.value(text, text);
    case CfgSelection::Baud:
        break;
    }
    return text;
}

} // namespace

FrmOptions::FrmOptions(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Configurações do Terminal"));
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));

    auto* serial = new QWidget(tabs);
    auto* serialLayout = new QGridLayout(serial);
    Q_UNUSED(serialLayout);
    // The groups offer what the current values need beyond their own options.
    const QString current =
        session_.settings.portNumber + QLatin1Char(',') + session_.settings.terminalSettings;
    CfgSelection offered;
    offered.load(current);
    built_.texts = offered.texts;
    const struct {
        const char* frame;
        const char* caption;
        const char* group;
    } frames[] = {{"FramePorta", "Porta COM", "Option1"},
                  {"FrameBaud", "Baud Rate", "Option5"},
                  {"FrameParidade", "Paridade", "Option2"},
                  {"FrameDados", "Dados", "Option3"},
                  {"FrameParada", "Parada", "Option4"}};
    for (int g = 0; g < CfgSelection::kGroups; ++g) {
        QStringList captions;
        for (const QString& text : built_.texts[g])
            captions << optionCaption(static_cast<CfgSelection::Group>(g), text);
        groups_[g] = addGroup(serial, QString::fromLatin1(frames[g].frame),
                              QString::fromLatin1(frames[g].caption),
                              QString::fromLatin1(frames[g].group), captions);
    }
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
    loadCfgString(current);
    loaded_ = selection();
    loadedPortNumber_ = session_.settings.portNumber;
    loadedTerminalSettings_ = session_.settings.terminalSettings;
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

CfgSelection FrmOptions::selection() const {
    CfgSelection chosen = built_;
    for (int g = 0; g < CfgSelection::kGroups; ++g) {
        const int id = groups_[g]->checkedId();
        if (id >= 0)
            chosen.selected[g] = id;
    }
    return chosen;
}

void FrmOptions::loadCfgString(const QString& cfg) {
    CfgSelection chosen = selection();
    chosen.load(cfg);
    for (int g = 0; g < CfgSelection::kGroups; ++g)
        select(groups_[g], chosen.selected[g]);
}

QString FrmOptions::setCfgString() const {
    return selection().text();
}

void FrmOptions::cmdApplyClick() {
    const CfgTexts stored =
        storedCfg(loaded_, selection(), loadedPortNumber_, loadedTerminalSettings_);
    session_.applySettings({.portNumber = stored.portNumber,
                            .terminalSettings = stored.terminalSettings,
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
