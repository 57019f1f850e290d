#include "canvas/report.h"

#include <QMessageBox>
#include <QString>
#include <exception>
#include <new>

#include "app/errors.h"

std::function<bool(const QString& text, bool question)> MessageBoxHook;

namespace {

// A carriage return (character 13), alone or before a line feed, starts a new line, as the
// messages mean; a plain-text message box would show a lone one as a space.
QString Shown(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QChar(13), QChar(10));
    return lines;
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (MessageBoxHook) {
        MessageBoxHook(text, false);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), Shown(text), QMessageBox::Ok, parent);
    box.exec();
}

void ShowNotice(QWidget* parent, const QString& text) {
    if (MessageBoxHook) {
        MessageBoxHook(text, false);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QString(), Shown(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (MessageBoxHook) return MessageBoxHook(text, true);
    QMessageBox box(QMessageBox::NoIcon, QString(), Shown(text), QMessageBox::Yes | QMessageBox::No, parent);
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
