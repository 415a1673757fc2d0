#include "app/command_tables.h"

namespace quillon {

namespace {

QVector<MenuItemSpec> editarItems() {
    const QString name = QStringLiteral("MnuSubEditar");
    return {
        {name, 0, QStringLiteral("&Terminal"), QStringLiteral("F3")},
        {name, 1, QStringLiteral("Alterar &Configurações Terminal"), {}},
        {name, 2, QStringLiteral("Alterar &Diretório de Trabalho"), {}, false, false},
        {name, 3, QStringLiteral("-"), {}},
        {name, 4, QStringLiteral("Leitura de &Variáveis"), QStringLiteral("F5"), true, false},
        {name, 5, QStringLiteral("Leitura de &Parâmetros"), QStringLiteral("F6"), true, false},
        {name, 6, QStringLiteral("Leitura do &Relatório"), QStringLiteral("F7"), true, false},
        {name, 7, QStringLiteral("-"), {}},
        {name, 8, QStringLiteral("&Limpa texto"), QStringLiteral("F8"), true, false},
        {name, 9, QStringLiteral("-"), {}},
        {name, 10, QStringLiteral("Entrar comando YZTW"), QStringLiteral("F9"), true, false},
        {name, 11, QStringLiteral("Enviar comando YZTW"), QStringLiteral("F11"), true, false},
    };
}

} // namespace

CommandTables commandTables(const Edition& edition) {
    CommandTables tables;
    tables.menus = {
        {QStringLiteral("mnuFile"),
         QStringLiteral("&Arquivo"),
         {
             {QStringLiteral("mnuChoose"), -1, QStringLiteral("&Abrir"), {}},
             {QStringLiteral("dummy1"), -1, QStringLiteral("-"), {}},
             {QStringLiteral("mnuRecv"), -1, QStringLiteral("&Receber (download)"), {}, false},
             {QStringLiteral("mnuSnd"), -1, QStringLiteral("&Enviar (upload)"), {}},
             {QStringLiteral("dummy2"), -1, QStringLiteral("-"), {}},
             {QStringLiteral("mnuExit"), -1, QStringLiteral("&Sair"), {}},
         }},
        {QStringLiteral("MnuEditar"), QStringLiteral("&Editar"), editarItems()},
        {QStringLiteral("mnuHelp"),
         QStringLiteral("Aju&da"),
         {
             {QStringLiteral("MnuConteudo"), -1, QStringLiteral("&Conteúdo"), QStringLiteral("F1")},
             {QStringLiteral("mnuAbout"), -1, QStringLiteral("&Sobre"), {}},
         }},
    };
    tables.xmodemButtons = {
        {QStringLiteral("TERMINAL"), QStringLiteral("Terminal")},
        {QStringLiteral("ABRIR"), QStringLiteral("Abrir")},
        {QStringLiteral("ENVIAR"), QStringLiteral("Enviar")},
        {QStringLiteral("CANCEL"), QStringLiteral("Cancelar")},
    };
    tables.terminalButtons = {
        {QStringLiteral("XMODEM"), QStringLiteral("Xmodem")},
        {QStringLiteral("LIMPAR"), QStringLiteral("Limpar")},
        {QStringLiteral("VARIAVEIS"), QStringLiteral("Leitura de Variáveis")},
        {QStringLiteral("PARAMETROS"), QStringLiteral("Leitura de Parâmetros")},
        {QStringLiteral("RELATORIO"), QStringLiteral("Leitura do Relatório")},
    };
    if (edition.hasSerialTester)
        tables.terminalButtons.append(
            {QStringLiteral("TESTARCOM"), QStringLiteral("Testar Comunicação Serial")});
    if (edition.hasModbus)
        tables.terminalButtons.append(
            {QStringLiteral("MODBUS"), QStringLiteral("Terminal MODBUS")});
    tables.terminalButtons.append(
        {QStringLiteral("ENTRAR_YZTW"), QStringLiteral("Entrar comando YZTW")});
    tables.terminalButtons.append(
        {QStringLiteral("ENVIAR_YZTW"), QStringLiteral("Envia comando YZTW")});
    return tables;
}

} // namespace quillon
