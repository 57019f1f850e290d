#include "canvas/report.h"

#include <QMessageBox>
#include <QString>
#include <exception>
#include <new>

#include "app/errors.h"

std::function<bool(const QString& text, bool question)> MessageBoxHook;

void ShowMessage(QWidget* parent, const QString& text) {
    if (MessageBoxHook) {
        MessageBoxHook(text, false);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (MessageBoxHook) return MessageBoxHook(text, true);
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

bool RunHandler(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::bad_alloc&) {
        ShowMessage(parent, QStringLiteral("Out of memory. The image is unchanged."));
    } catch (const std::exception& e) {
        ShowMessage(parent, QString::fromStdString(e.what()));
    }
    return false;
}
