#include "app/command_tables.h"

namespace quillon {

namespace {

QVector<MenuItemSpec> editarItems() {
    const QString name = QStringLiteral("MnuSubEditar");
    const auto item = [&name](int index, const QString& caption, const QString& shortcut,
                              Command command, CommandHandler handler,
                              Enabling enabling = Enabling::Fixed) {
        MenuItemSpec row{name, index, caption, shortcut, command, handler};
        row.enabling = enabling;
        row.enabled = enabling != Enabling::InTerminal; // the window starts in XMODEM mode
        return row;
    };
    const auto separator = [&name](int index) {
        return MenuItemSpec{name, index, QStringLiteral("-"), {}};
    };
    MenuItemSpec terminal = item(0, QStringLiteral("&Terminal"), QStringLiteral("F3"),
                                 Command::Terminal, &CommandTarget::switchTerminal);
    terminal.checkable = true;
    MenuItemSpec workingDirectory =
        item(2, QStringLiteral("Alterar &Diretório de Trabalho"), {}, Command::WorkingDirectory,
             &CommandTarget::changeWorkingDirectory);
    workingDirectory.visible = false;
    workingDirectory.enabled = false;
    const Enabling console = Enabling::InTerminal;
    return {
        terminal,
        item(1, QStringLiteral("Alterar &Configurações Terminal"), {}, Command::TerminalSettings,
             &CommandTarget::changeTerminalSettings),
        workingDirectory,
        separator(3),
        item(4, QStringLiteral("Leitura de &Variáveis"), QStringLiteral("F5"),
             Command::ReadVariables, &CommandTarget::readVariables, console),
        item(5, QStringLiteral("Leitura de &Parâmetros"), QStringLiteral("F6"),
             Command::ReadParameters, &CommandTarget::readParameters, console),
        item(6, QStringLiteral("Leitura do &Relatório"), QStringLiteral("F7"), Command::ReadReport,
             &CommandTarget::readReport, console),
        separator(7),
        item(8, QStringLiteral("&Limpa texto"), QStringLiteral("F8"), Command::ClearText,
             &CommandTarget::clearText, console),
        separator(9),
        item(10, QStringLiteral("Entrar comando YZTW"), QStringLiteral("F9"), Command::EnterYztw,
             &CommandTarget::enterYztw, console),
        item(11, QStringLiteral("Enviar comando YZTW"), QStringLiteral("F11"), Command::SendYztw,
             &CommandTarget::sendYztw, console),
    };
}

QVector<MenuItemSpec> arquivoItems(const Edition& edition) {
    MenuItemSpec receive{QStringLiteral("mnuRecv"), -1, QStringLiteral("&Receber (download)"), {}};
    receive.visible = false;
    MenuItemSpec send{QStringLiteral("mnuSnd"),
                      -1,
                      QStringLiteral("&Enviar (upload)"),
                      {},
                      Command::SendProgram,
                      &CommandTarget::sendProgram};
    send.enabling = Enabling::OutsideTerminal;
    MenuItemSpec record{QStringLiteral("mnuGravar"),
                        -1,
                        QStringLiteral("&Gravar sessão..."),
                        {},
                        Command::RecordSession,
                        &CommandTarget::recordSession};
    record.checkable = true;
    QVector<MenuItemSpec> items{
        {QStringLiteral("mnuChoose"),
         -1,
         QStringLiteral("&Abrir"),
         {},
         Command::ChooseProgramFile,
         &CommandTarget::chooseProgramFile},
        {QStringLiteral("dummy1"), -1, QStringLiteral("-"), {}},
        receive,
        send,
    };
    if (edition.recordsSessions)
        items.append(record);
    items.append({QStringLiteral("dummy2"), -1, QStringLiteral("-"), {}});
    items.append({QStringLiteral("mnuExit"),
                  -1,
                  QStringLiteral("&Sair"),
                  {},
                  Command::Exit,
                  &CommandTarget::exitProgram});
    return items;
}

struct FeatureButton {
    ToolButtonSpec button;
    bool Edition::*feature = nullptr; // the edition must have it for the key to show
};

} // namespace

CommandTables commandTables(const Edition& edition) {
    CommandTables tables;
    tables.menus = {
        {QStringLiteral("mnuFile"), QStringLiteral("&Arquivo"), arquivoItems(edition)},
        {QStringLiteral("MnuEditar"), QStringLiteral("&Editar"), editarItems()},
        {QStringLiteral("mnuHelp"),
         QStringLiteral("Aju&da"),
         {
             {QStringLiteral("MnuConteudo"), -1, QStringLiteral("&Conteúdo"), QStringLiteral("F1"),
              Command::Contents, &CommandTarget::showContents},
             {QStringLiteral("mnuAbout"),
              -1,
              QStringLiteral("&Sobre"),
              {},
              Command::About,
              &CommandTarget::showAbout},
         }},
    };
    tables.xmodemButtons = {
        {QStringLiteral("TERMINAL"), QStringLiteral("Terminal"), Command::Terminal,
         &CommandTarget::switchTerminal},
        {QStringLiteral("ABRIR"), QStringLiteral("Abrir"), Command::ChooseProgramFile,
         &CommandTarget::chooseProgramFile},
        {QStringLiteral("ENVIAR"), QStringLiteral("Enviar"), Command::SendProgram,
         &CommandTarget::sendProgram},
        {QStringLiteral("CANCEL"), QStringLiteral("Cancelar"), Command::CancelTransfer,
         &CommandTarget::cancelTransfer},
    };
    const FeatureButton terminalButtons[] = {
        {{QStringLiteral("XMODEM"), QStringLiteral("Xmodem"), Command::Terminal,
          &CommandTarget::switchTerminal}},
        {{QStringLiteral("LIMPAR"), QStringLiteral("Limpar"), Command::ClearText,
          &CommandTarget::clearText}},
        {{QStringLiteral("VARIAVEIS"), QStringLiteral("Leitura de Variáveis"),
          Command::ReadVariables, &CommandTarget::readVariables}},
        {{QStringLiteral("PARAMETROS"), QStringLiteral("Leitura de Parâmetros"),
          Command::ReadParameters, &CommandTarget::readParameters}},
        {{QStringLiteral("RELATORIO"), QStringLiteral("Leitura do Relatório"), Command::ReadReport,
          &CommandTarget::readReport}},
        {{QStringLiteral("TESTARCOM"), QStringLiteral("Testar Comunicação Serial"),
          Command::TestSerialLine, &CommandTarget::testSerialLine},
         &Edition::hasSerialTester},
        {{QStringLiteral("MODBUS"), QStringLiteral("Terminal MODBUS"), Command::Modbus,
          &CommandTarget::showModbus},
         &Edition::hasModbus},
        {{QStringLiteral("ENTRAR_YZTW"), QStringLiteral("Entrar comando YZTW"), Command::EnterYztw,
          &CommandTarget::enterYztw}},
        {{QStringLiteral("ENVIAR_YZTW"), QStringLiteral("Envia comando YZTW"), Command::SendYztw,
          &CommandTarget::sendYztw}},
    };
    for (const FeatureButton& entry : terminalButtons) {
        if (!entry.feature || edition.*entry.feature)
            tables.terminalButtons.append(entry.button);
    }
    return tables;
}

CommandHandler handlerOf(const CommandTables& tables, Command command) {
    for (const MenuSpec& menu : tables.menus)
        for (const MenuItemSpec& item : menu.items)
            if (item.command == command)
                return item.handler;
    for (const QVector<ToolButtonSpec>* buttons : {&tables.xmodemButtons, &tables.terminalButtons})
        for (const ToolButtonSpec& button : *buttons)
            if (button.command == command)
                return button.handler;
    return nullptr;
}

} // namespace quillon
