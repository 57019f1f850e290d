// The blend-mode menu window. It is never shown; the palette's Mode button pops up its menu.
#include "canvas/qt/menus.h"

#include <QActionGroup>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "brush/tables.h"
#include "canvas/qt/windows_state.h"
#include "core/module1.h"

namespace {

struct ModeItem {
    const char* name;  // the menu item's control name
    const char* caption;
    void (*click)();  // its handler
    BlendModes mode;  // the mode it sets, kept in its action's data
};

constexpr ModeItem kModeItems[] = {
    {"ModeDefault", "Default", ModeDefault_Click, kBlendPlain},
    {"ModeAdd", "Add", ModeAdd_Click, kBlendAdd},
    {"ModeSub", "Subtract", ModeSub_Click, kBlendSubtract},
    {"ModeMult", "Multiply", ModeMult_Click, kBlendMultiply},
    {"ModeDiv", "Divide", ModeDiv_Click, kBlendDivide},
    {"ModeScreen", "Screen", ModeScreen_Click, kBlendScreen},
    {"MenuGreater", "Greater than", MenuGreater_Click, kBlendGreater},
    {"MenuLess", "Less than", MenuLess_Click, kBlendLess},
    {"ModeAnd", "And", ModeAnd_Click, kBlendAnd},
    {"ModeOr", "Or", ModeOr_Click, kBlendOr},
    {"ModeXor", "Xor", ModeXor_Click, kBlendXor},
};

QWidget* Menus() {
    QPointer<QWidget>& menusWindow = Windows.Menus;
    if (!menusWindow) {
        menusWindow = new QWidget;
        menusWindow->setObjectName("Menus");
        auto* menu = new QMenu(QStringLiteral("Mode"), menusWindow);
        menu->setObjectName("ModeMenu");
        auto* group = new QActionGroup(menu);  // one mark, on the mode in effect
        for (const ModeItem& item : kModeItems) {
            QAction* action = menu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(QString::fromLatin1(item.name));
            action->setCheckable(true);
            action->setData(static_cast<int>(item.mode));
            group->addAction(action);
            QObject::connect(action, &QAction::triggered, item.click);
        }
        // The brush-kind buttons set the mode too: the mark is placed as the menu opens.
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
            const QList<QAction*> actions = menu->actions();
            QAction* current = nullptr;
            for (QAction* a : actions)
                if (a->data().toInt() == Module1.BlendMode) current = a;
            if (current)
                current->setChecked(true);
            else
                for (QAction* a : actions) a->setChecked(false);
        });
    }
    return menusWindow;
}

}  // namespace

// Each item stores its blend mode and does nothing else.
void ModeDefault_Click() { Module1.BlendMode = kBlendPlain; }
void ModeAdd_Click() { Module1.BlendMode = kBlendAdd; }
void ModeSub_Click() { Module1.BlendMode = kBlendSubtract; }
void ModeMult_Click() { Module1.BlendMode = kBlendMultiply; }
void ModeDiv_Click() { Module1.BlendMode = kBlendDivide; }
void ModeScreen_Click() { Module1.BlendMode = kBlendScreen; }
void MenuGreater_Click() { Module1.BlendMode = kBlendGreater; }
void MenuLess_Click() { Module1.BlendMode = kBlendLess; }
void ModeAnd_Click() { Module1.BlendMode = kBlendAnd; }
void ModeOr_Click() { Module1.BlendMode = kBlendOr; }
void ModeXor_Click() { Module1.BlendMode = kBlendXor; }

QString ModeCaption(int mode) {
    for (const ModeItem& item : kModeItems)
        if (item.mode == mode) return QString::fromLatin1(item.caption);
    return {};
}

void ShowModeMenu() { ModeMenu()->popup(QCursor::pos()); }

QMenu* ModeMenu() { return Menus()->findChild<QMenu*>("ModeMenu"); }

void CloseMenus() {
    if (QWidget* menus = Windows.Menus) {
        menus->close();
        delete menus;
    }
}
