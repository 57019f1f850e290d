// The blend-mode menu window. It is never shown; the palette's Mode button pops up its menu.
#include "canvas/menus.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "app/module1.h"

namespace {

struct ModeItem {
    const char* name;     // the menu item's control name
    const char* caption;
    int32_t mode;         // the value stored in BlendMode
};

constexpr ModeItem kModeItems[] = {
    {"ModeDefault", "Default", 0},   {"ModeAdd", "Add", 1},
    {"ModeSub", "Subtract", 2},      {"ModeMult", "Multiply", 3},
    {"ModeDiv", "Divide", 4},        {"ModeScreen", "Screen", 5},
    {"MenuGreater", "Greater than", 6}, {"MenuLess", "Less than", 7},
    {"ModeAnd", "And", 8},           {"ModeOr", "Or", 9},
    {"ModeXor", "Xor", 10},
};

QPointer<QWidget> menusWindow;

QWidget* Menus() {
    if (!menusWindow) {
        menusWindow = new QWidget;
        menusWindow->setObjectName("Menus");
        auto* menu = new QMenu(QStringLiteral("Mode"), menusWindow);
        menu->setObjectName("ModeMenu");
        for (const ModeItem& item : kModeItems) {
            QAction* action = menu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(QString::fromLatin1(item.name));
            const int32_t mode = item.mode;
            QObject::connect(action, &QAction::triggered, [mode] { Module1.BlendMode = mode; });
        }
    }
    return menusWindow;
}

}  // namespace

QMenu* ModeMenu() { return Menus()->findChild<QMenu*>("ModeMenu"); }

void CloseMenus() {
    if (menusWindow) {
        menusWindow->close();
        delete menusWindow;
    }
}
