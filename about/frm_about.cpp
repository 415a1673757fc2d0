#include "about/frm_about.h"

#include "platform/screen_place.h"
#include "platform/toolbar_icons.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

FrmAbout::FrmAbout(const Edition& edition, Dialogs& dialogs, QWidget* parent,
                   SystemInfoLauncher launcher)
    : QDialog(parent), dialogs_(dialogs), launcher_(std::move(launcher)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Sobre o Quillon"));

    QLabel* picIcon = makeLabel(this, QStringLiteral("picIcon"), {});
    picIcon->setPixmap(programIcon(48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    QLabel* picLogo = makeLabel(this, QStringLiteral("picLogo"), {});
    picLogo->setPixmap(makerLogo(QSize(96, 36)));

    QLabel* label4 = makeLabel(this, QStringLiteral("Label4"), QStringLiteral("Quillon"));
    QFont large = label4->font();
    large.setPointSize(18);
    large.setBold(true);
    label4->setFont(large);
    QLabel* label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("Versão"));
    QLabel* label3 = makeLabel(this, QStringLiteral("Label3"), versionText(edition));
    QLabel* label1 =
        makeLabel(this, QStringLiteral("Label1"),
                  QStringLiteral("Carga de programas, terminal e teste da linha serial para "
                                 "controladores PXC."));
    label1->setWordWrap(true);
    QLabel* disclaimer = makeLabel(
        this, QStringLiteral("lblDisclaimer"),
        QStringLiteral("Aviso: enviar um programa ou alterar parâmetros muda o comportamento "
                       "da máquina. Use esta ferramenta somente com o equipamento em condição "
                       "segura."));
    disclaimer->setWordWrap(true);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    auto* cmdSysInfo = new QPushButton(QStringLiteral("&Informações do sistema..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    // Esc comes to the dialog's reject, which closes it as OK does.
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfoClick);

    auto* version = new QHBoxLayout;
    version->addWidget(label2);
    version->addWidget(label3);
    version->addStretch();
    auto* texts = new QVBoxLayout;
    texts->addWidget(label4);
    texts->addLayout(version);
    texts->addWidget(label1);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addLayout(texts, 1);
    top->addWidget(picLogo, 0, Qt::AlignTop);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(disclaimer, 1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(rule);
    layout->addLayout(bottom);
    setFixedWidth(460);
    cmdOK->setFocus();
}

void FrmAbout::startSysInfo() {
    const std::optional<SystemInfoTool> tool = launcher_.find();
    if (tool && launcher_.start(*tool))
        return;
    dialogs_.message(QStringLiteral("Quillon"),
                     QStringLiteral("System Information Is Unavailable At This Time"),
                     MessageIcon::None, MessageButtons::Ok);
}

void FrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

} // namespace quillon
