#include "canvas/qt/report.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include "core/errors.h"

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

// The modal boxes now in their own event loops, innermost last. A box lives on the heap behind
// a guard: whatever closes under it (its parent window, a signal), exec() returns and nothing is
// freed twice.
std::vector<QPointer<QMessageBox>> openBoxes;
bool ending = false;

int RunBox(QMessageBox* box) {
    const QPointer<QMessageBox> guard(box);
    openBoxes.push_back(guard);
    const int answer = box->exec();
    openBoxes.erase(std::remove_if(openBoxes.begin(), openBoxes.end(),
                                   [box](const QPointer<QMessageBox>& b) { return b.isNull() || b == box; }),
                    openBoxes.end());
    delete guard.data();
    return answer;
}

}  // namespace

bool MessageBoxesOpen() {
    return std::any_of(openBoxes.begin(), openBoxes.end(), [](const QPointer<QMessageBox>& b) { return !b.isNull(); });
}

void EndMessageBoxes() {
    ending = true;
    for (const QPointer<QMessageBox>& b : openBoxes)
        if (b) b->done(QMessageBox::Cancel);
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (MessageBoxHook) {
        MessageBoxHook(text, false);
        return;
    }
    if (ending) {
        std::fprintf(stderr, "marlo: %s\n", qPrintable(text));
        return;
    }
    RunBox(new QMessageBox(QMessageBox::NoIcon, QString(), Shown(text), QMessageBox::Ok, parent));
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
    // Ending on a signal, nobody is there to answer: the program goes on to its end.
    if (ending) return true;
    const int answer =
        RunBox(new QMessageBox(QMessageBox::NoIcon, QString(), Shown(text), QMessageBox::Yes | QMessageBox::No, parent));
    return ending || answer == QMessageBox::Yes;
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
