#include "app/command_tables.h"

namespace quillon {

namespace {

QVector<MenuItemSpec> editarItems() {
    const QString name = QStringLiteral("MnuSubEditar");
    const auto item = [&name](int index, const QString& caption, const QString& shortcut,
                              Command command, Enabling enabling = Enabling::Fixed) {
        MenuItemSpec row{name, index, caption, shortcut, command};
        row.enabling = enabling;
        row.enabled = enabling != Enabling::InTerminal; // the window starts in XMODEM mode
        return row;
    };
    const auto separator = [&name](int index) {
        return MenuItemSpec{name, index, QStringLiteral("-"), {}};
    };
    MenuItemSpec terminal =
        item(0, QStringLiteral("&Terminal"), QStringLiteral("F3"), Command::Terminal);
    terminal.checkable = true;
    MenuItemSpec workingDirectory =
        item(2, QStringLiteral("Alterar &Diretório de Trabalho"), {}, Command::WorkingDirectory);
    workingDirectory.visible = false;
    workingDirectory.enabled = false;
    const Enabling console = Enabling::InTerminal;
    return {
        terminal,
        item(1, QStringLiteral("Alterar &Configurações Terminal"), {}, Command::TerminalSettings),
        workingDirectory,
        separator(3),
        item(4, QStringLiteral("Leitura de &Variáveis"), QStringLiteral("F5"),
             Command::ReadVariables, console),
        item(5, QStringLiteral("Leitura de &Parâmetros"), QStringLiteral("F6"),
             Command::ReadParameters, console),
        item(6, QStringLiteral("Leitura do &Relatório"), QStringLiteral("F7"), Command::ReadReport,
             console),
        separator(7),
        item(8, QStringLiteral("&Limpa texto"), QStringLiteral("F8"), Command::ClearText, console),
        separator(9),
        item(10, QStringLiteral("Entrar comando YZTW"), QStringLiteral("F9"), Command::EnterYztw,
             console),
        item(11, QStringLiteral("Enviar comando YZTW"), QStringLiteral("F11"), Command::SendYztw,
             console),
    };
}

QVector<MenuItemSpec> arquivoItems() {
    MenuItemSpec receive{QStringLiteral("mnuRecv"), -1, QStringLiteral("&Receber (download)"), {}};
    receive.visible = false;
    MenuItemSpec send{
        QStringLiteral("mnuSnd"), -1, QStringLiteral("&Enviar (upload)"), {}, Command::SendProgram};
    send.enabling = Enabling::OutsideTerminal;
    return {
        {QStringLiteral("mnuChoose"), -1, QStringLiteral("&Abrir"), {}, Command::ChooseProgramFile},
        {QStringLiteral("dummy1"), -1, QStringLiteral("-"), {}},
        receive,
        send,
        {QStringLiteral("dummy2"), -1, QStringLiteral("-"), {}},
        {QStringLiteral("mnuExit"), -1, QStringLiteral("&Sair"), {}, Command::Exit},
    };
}

struct FeatureButton {
    ToolButtonSpec button;
    bool Edition::*feature = nullptr; // the edition must have it for the key to show
};

} // namespace

CommandTables commandTables(const Edition& edition) {
    CommandTables tables;
    tables.menus = {
        {QStringLiteral("mnuFile"), QStringLiteral("&Arquivo"), arquivoItems()},
        {QStringLiteral("MnuEditar"), QStringLiteral("&Editar"), editarItems()},
        {QStringLiteral("mnuHelp"),
         QStringLiteral("Aju&da"),
         {
             {QStringLiteral("MnuConteudo"), -1, QStringLiteral("&Conteúdo"), QStringLiteral("F1"),
              Command::Contents},
             {QStringLiteral("mnuAbout"), -1, QStringLiteral("&Sobre"), {}, Command::About},
         }},
    };
    tables.xmodemButtons = {
        {QStringLiteral("TERMINAL"), QStringLiteral("Terminal"), Command::Terminal},
        {QStringLiteral("ABRIR"), QStringLiteral("Abrir"), Command::ChooseProgramFile},
        {QStringLiteral("ENVIAR"), QStringLiteral("Enviar"), Command::SendProgram},
        {QStringLiteral("CANCEL"), QStringLiteral("Cancelar"), Command::CancelTransfer},
    };
    const FeatureButton terminalButtons[] = {
        {{QStringLiteral("XMODEM"), QStringLiteral("Xmodem"), Command::Terminal}},
        {{QStringLiteral("LIMPAR"), QStringLiteral("Limpar"), Command::ClearText}},
        {{QStringLiteral("VARIAVEIS"), QStringLiteral("Leitura de Variáveis"),
          Command::ReadVariables}},
        {{QStringLiteral("PARAMETROS"), QStringLiteral("Leitura de Parâmetros"),
          Command::ReadParameters}},
        {{QStringLiteral("RELATORIO"), QStringLiteral("Leitura do Relatório"),
          Command::ReadReport}},
        {{QStringLiteral("TESTARCOM"), QStringLiteral("Testar Comunicação Serial"),
          Command::TestSerialLine},
         &Edition::hasSerialTester},
        {{QStringLiteral("MODBUS"), QStringLiteral("Terminal MODBUS"), Command::Modbus},
         &Edition::hasModbus},
        {{QStringLiteral("ENTRAR_YZTW"), QStringLiteral("Entrar comando YZTW"),
          Command::EnterYztw}},
        {{QStringLiteral("ENVIAR_YZTW"), QStringLiteral("Envia comando YZTW"), Command::SendYztw}},
    };
    for (const FeatureButton& entry : terminalButtons) {
        if (!entry.feature || edition.*entry.feature)
            tables.terminalButtons.append(entry.button);
    }
    return tables;
}

CommandHandler commandHandler(Command command) {
    switch (command) {
    case Command::None:
        return nullptr;
    case Command::ChooseProgramFile:
        return &CommandTarget::chooseProgramFile;
    case Command::SendProgram:
        return &CommandTarget::sendProgram;
    case Command::Exit:
        return &CommandTarget::exitProgram;
    case Command::Terminal:
        return &CommandTarget::switchTerminal;
    case Command::TerminalSettings:
        return &CommandTarget::changeTerminalSettings;
    case Command::WorkingDirectory:
        return &CommandTarget::changeWorkingDirectory;
    case Command::ReadVariables:
        return &CommandTarget::readVariables;
    case Command::ReadParameters:
        return &CommandTarget::readParameters;
    case Command::ReadReport:
        return &CommandTarget::readReport;
    case Command::ClearText:
        return &CommandTarget::clearText;
    case Command::EnterYztw:
        return &CommandTarget::enterYztw;
    case Command::SendYztw:
        return &CommandTarget::sendYztw;
    case Command::Contents:
        return &CommandTarget::showContents;
    case Command::About:
        return &CommandTarget::showAbout;
    case Command::CancelTransfer:
        return &CommandTarget::cancelTransfer;
    case Command::TestSerialLine:
        return &CommandTarget::testSerialLine;
    case Command::Modbus:
        return &CommandTarget::showModbus;
    }
    return nullptr;
}

} // namespace quillon
