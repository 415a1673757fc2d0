#include "app/main_window.h"

#include "app/terminal_box.h"
#include "core/port_probe.h"
#include "platform/row_layout.h"
#include "platform/toolbar_icons.h"
#include "platform/twips.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

// The main window's controls, menus and toolbars, built from the command table.

namespace quillon {

namespace {

QString itemKey(const QString& name, int index) {
    return index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    // What the upload and the handshake report is shown as it is, never read as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The width at which a list shows text whole, by Qt's own measure for its font and style.
int widthShowing(const QComboBox& list, const QString& text) {
    QComboBox sample;
    sample.setFont(list.font());
    sample.addItem(text);
    return sample.sizeHint().width();
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QString& text,
                    const QString& accessible) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setAccessibleName(accessible);
    return edit;
}

} // namespace

QSize FrmXmodem::xmodemModeSize() const {
    return {twips(kClientWidth, this), menuBar()->sizeHint().height() + twips(kClientHeight, this)};
}

void FrmXmodem::buildControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    const QWidget* ref = this;

    commands_ = commandTables(session_.edition);
    toolbarXmodem_ = buildToolbar(QStringLiteral("ToolbarXmodem"), commands_.xmodemButtons, false);
    // Keys in terminal mode hand the keyboard back to the terminal.
    toolbarTerminal_ =
        buildToolbar(QStringLiteral("ToolbarTerminal"), commands_.terminalButtons, true);

    statusLabel_ = makeLabel(client_, QStringLiteral("Label4"), {});
    statusLabel_->setGeometry(twipsRect(60, 420, 4695, 270, ref));
    statusLabel_->setAlignment(Qt::AlignCenter);
    QFont bold = statusLabel_->font();
    bold.setBold(true);
    statusLabel_->setFont(bold);

    fileFrame_ = new QGroupBox(client_);
    fileFrame_->setObjectName(QStringLiteral("Frame2"));
    fileFrame_->setGeometry(twipsRect(60, 720, 4695, 675, ref));
    auto* label7 = makeLabel(fileFrame_, QStringLiteral("Label7"), QStringLiteral("Arquivo:"));
    label7->move(twips(120, ref), twips(300, ref));
    label7->adjustSize();
    programFileEdit_ = makeEdit(fileFrame_, QStringLiteral("Text6"), {}, QStringLiteral("Arquivo"));
    programFileEdit_->setGeometry(twipsRect(840, 240, 3735, 285, ref));
    label7->setBuddy(programFileEdit_);

    portFrame_ = new QGroupBox(client_);
    portFrame_->setObjectName(QStringLiteral("Frame3"));
    portFrame_->setGeometry(twipsRect(60, 1440, 4695, 915, ref));
    portList_ = new QComboBox(portFrame_);
    portList_->setObjectName(QStringLiteral("Combo1"));
    portList_->setAccessibleName(QStringLiteral("Porta serial"));
    // Its longest text whole: one pixel smaller, as the caption below it, and as wide
    // as that text needs where the platform's font is wider than the twips allow.
    QFont listFont = portList_->font();
    listFont.setPixelSize(10);
    portList_->setFont(listFont);
    portList_->setGeometry(twips(120, ref), twips(180, ref),
                           std::max(twips(2115, ref), widthShowing(*portList_, kNoPortFound)),
                           twips(315, ref));
    // The counters keep their places unless the list needs the room.
    const int countersShift =
        std::max(0, portList_->geometry().right() + 1 + twips(45, ref) - twips(2400, ref));
    const struct {
        const char* name;
        const char* text;
        int left;
        int top;
    } labels[] = {
        {"Label2", "Erros", 2400, 300}, {"Label1", "OK", 3000, 300}, {"Label3", "Total", 3420, 300},
        {"LabErros", "", 2400, 540},    {"LabOK", "", 2880, 540},    {"LabTotal", "", 3420, 540},
        {"LabPorcento", "", 4020, 540},
    };
    QLabel* made[7] = {};
    int i = 0;
    for (const auto& place : labels) {
        made[i] =
            makeLabel(portFrame_, QString::fromLatin1(place.name), QString::fromUtf8(place.text));
        made[i]->setGeometry(
            twipsRect(place.left, place.top, 600, 225, ref).translated(countersShift, 0));
        ++i;
    }
    errorCountLabel_ = made[3];
    okCountLabel_ = made[4];
    totalCountLabel_ = made[5];
    percentLabel_ = made[6];
    auto* label5 = makeLabel(portFrame_, QStringLiteral("Label5"), QStringLiteral("Configuração"));
    label5->setGeometry(twipsRect(60, 600, 1000, 225, ref));
    // The longest caption in the least room: one pixel smaller lets it fit.
    QFont narrow = label5->font();
    narrow.setPixelSize(10);
    label5->setFont(narrow);
    transferSettingsEdit_ = makeEdit(portFrame_, QStringLiteral("Text5"),
                                     QStringLiteral("9600,n,8,1"), QStringLiteral("Configuração"));
    transferSettingsEdit_->setGeometry(twipsRect(1080, 540, 1095, 285, ref));
    label5->setBuddy(transferSettingsEdit_);
    portNumberEdit_ =
        makeEdit(portFrame_, QStringLiteral("Text4"), QStringLiteral("1"), QStringLiteral("COM"));
    if (session_.edition.choosesPortFromList) {
        // Text4 holds the port number; the user picks the port in Combo1.
        portNumberEdit_->hide();
    } else {
        // No probe and no list: the number is typed, under its caption.
        portList_->hide();
        auto* label6 = makeLabel(portFrame_, QStringLiteral("Label6"), QStringLiteral("COM"));
        label6->setGeometry(twipsRect(120, 90, 615, 195, ref));
        portNumberEdit_->setGeometry(twipsRect(120, 285, 615, 285, ref));
        label6->setBuddy(portNumberEdit_);
    }

    progressBar_ = new QProgressBar(client_);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setGeometry(twipsRect(60, 2400, 4695, 255, ref));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    infoLabel_ = makeLabel(client_, QStringLiteral("LabInfo"), {});
    infoLabel_->setGeometry(twipsRect(60, 2700, 4695, 255, ref));

    makerFrame_ = new QGroupBox(client_);
    makerFrame_->setObjectName(QStringLiteral("Frame1"));
    makerFrame_->setGeometry(twipsRect(60, 3000, 4695, 915, ref));
    auto* image1 = makeLabel(makerFrame_, QStringLiteral("Image1"), {});
    image1->setGeometry(twipsRect(180, 240, 1860, 540, ref));
    image1->setPixmap(makerLogo(image1->size()));
    versionLabel_ = makeLabel(makerFrame_, QStringLiteral("Label10"), QStringLiteral("Versão:"));
    versionLabel_->setGeometry(twipsRect(2280, 240, 2295, 255, ref));
    auto* label9 =
        makeLabel(makerFrame_, QStringLiteral("Label9"), QStringLiteral("Controladores PXC"));
    label9->setGeometry(twipsRect(2280, 600, 2295, 255, ref));

    cancelButton_ = new QPushButton(QStringLiteral("Command1"), client_);
    cancelButton_->setObjectName(QStringLiteral("Command1"));
    cancelButton_->hide();

    terminal_ = new TerminalBox(client_);
}

QToolBar* FrmXmodem::buildToolbar(const QString& name, const QVector<ToolButtonSpec>& buttons,
                                  bool focusesTerminal) {
    auto* bar = new QToolBar(client_);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setGeometry(0, 0, twips(kClientWidth, this), twips(kToolbarHeight, this));
    for (const ToolButtonSpec& entry : buttons) {
        if (entry.key == QLatin1String("ENTRAR_YZTW")) {
            // The console row sits between the readings and the YZTW keys.
            consoleSpacer_ = new QWidget(bar);
            consoleSpacer_->setObjectName(QStringLiteral("ConsoleRowSpace"));
            bar->addWidget(consoleSpacer_);
        }
        QAction* action = bar->addAction(toolbarIcon(entry.key), entry.toolTip);
        action->setObjectName(entry.key);
        action->setData(entry.key);
        action->setToolTip(entry.toolTip);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action)))
            button->setObjectName(entry.key);
        connect(action, &QAction::triggered, this,
                [this, focusesTerminal, command = entry.command] {
                    execute(command);
                    if (focusesTerminal)
                        terminal_->setFocus();
                });
        toolbarButtons_[entry.key] = action;
    }
    return bar;
}

void FrmXmodem::buildMenus() {
    for (const MenuSpec& menuSpec : commands_.menus) {
        QMenu* menu = menuBar()->addMenu(menuSpec.caption);
        menu->setObjectName(menuSpec.name);
        menu->menuAction()->setObjectName(menuSpec.name);
        for (const MenuItemSpec& item : menuSpec.items) {
            QAction* action =
                item.isSeparator() ? menu->addSeparator() : menu->addAction(item.caption);
            action->setObjectName(itemKey(item.name, item.index));
            if (!item.shortcut.isEmpty()) {
                action->setShortcut(QKeySequence(item.shortcut));
                action->setShortcutContext(Qt::WindowShortcut);
            }
            action->setVisible(item.visible);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checkable);
            menuItems_[itemKey(item.name, item.index)] = action;
            if (item.enabling != Enabling::Fixed)
                modeItems_.emplace_back(action, item.enabling);
            if (item.command != Command::None)
                connect(action, &QAction::triggered, this,
                        [this, command = item.command] { execute(command); });
        }
    }
}

void FrmXmodem::buildConsoleRow() {
    // Caption boxes look like labels and pass the focus on to the box they name.
    auto caption = [this](const QString& name, const QString& text) {
        QLineEdit* box = makeEdit(toolbarTerminal_, name, text, text);
        box->setReadOnly(true);
        box->setFrame(false);
        box->setAlignment(Qt::AlignRight);
        box->setStyleSheet(QStringLiteral("background: palette(button);"));
        box->installEventFilter(this);
        return box;
    };
    commandCaption_ = caption(QStringLiteral("Text3"), QStringLiteral("Comando Y,Z,T,W:"));
    yztwEdit_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtYZTW"), QStringLiteral("2,2,2,2"),
                         QStringLiteral("Comando Y,Z,T,W"));
    stationCaption_ = caption(QStringLiteral("Text1"), QStringLiteral("Estação:"));
    stationEdit_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtEstacao"), QStringLiteral("B"),
                            QStringLiteral("Estação"));
    stationEdit_->setToolTip(QStringLiteral("Estação"));
    identifierCaption_ = caption(QStringLiteral("Text2"), QStringLiteral("Identificador:"));
    identifierEdit_ = makeEdit(toolbarTerminal_, QStringLiteral("TxtIdent"), QStringLiteral("5839"),
                               QStringLiteral("Identificador"));
    identifierEdit_->setToolTip(QStringLiteral("Identificador"));
    placeConsoleRow();
}

void FrmXmodem::placeConsoleRow() {
    const QWidget* ref = this;
    const auto captionWidth = [](const QLineEdit* box) {
        return box->fontMetrics().horizontalAdvance(box->text()) + box->textMargins().left() +
               box->textMargins().right() + 6;
    };
    const int nextFree =
        placeRow({{commandCaption_, 3480, 1395, captionWidth(commandCaption_)},
                  {yztwEdit_, 5040, 915},
                  {stationCaption_, 6060, 675, captionWidth(stationCaption_)},
                  {stationEdit_, 6780, 315},
                  {identifierCaption_, 7200, 885, captionWidth(identifierCaption_)},
                  {identifierEdit_, 8160, 645}},
                 60, 195, ref, 45);
    // Reserve the row's room so the toolbar's own buttons never cover it.
    if (consoleSpacer_) {
        const int rowEnd = nextFree + twips(15, ref);
        const int spacerStart = consoleSpacer_->x();
        consoleSpacer_->setFixedWidth(std::max(0, rowEnd - std::max(spacerStart, 0)));
    }
}

QAction* FrmXmodem::menuItem(const QString& name, int index) const {
    const auto found = menuItems_.find(itemKey(name, index));
    return found == menuItems_.end() ? nullptr : found->second;
}

QAction* FrmXmodem::toolbarButton(const QString& key) const {
    const auto found = toolbarButtons_.find(key);
    return found == toolbarButtons_.end() ? nullptr : found->second;
}

void FrmXmodem::formResize() {
    if (resizing_)
        return;
    resizing_ = true;
    setWindowTitle(kCaption);
    const bool terminalMode = session_.link.terminalMode;
    if (!terminalMode) {
        if (windowState() & Qt::WindowMaximized)
            setWindowState(windowState() & ~Qt::WindowMaximized);
        setFixedSize(xmodemModeSize());
    } else {
        const QSize outer = frameGeometry().size();
        terminal_->setGeometry(0, twips(400, this), std::max(0, outer.width() - twips(100, this)),
                               std::max(0, outer.height() - twips(1000, this)));
    }
    const int barWidth = std::max(client_->width(), twips(kClientWidth, this));
    toolbarXmodem_->setGeometry(0, 0, barWidth, twips(kToolbarHeight, this));
    toolbarTerminal_->setGeometry(0, 0, barWidth, twips(kToolbarHeight, this));
    placeConsoleRow();
    resizing_ = false;
}

} // namespace quillon
