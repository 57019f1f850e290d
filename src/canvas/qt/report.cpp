#include "canvas/qt/report.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include "canvas/qt/windows_state.h"
#include "core/errors.h"
#include "core/wiring.h"

namespace {

// A carriage return (character 13), alone or before a line feed, starts a new line, as the
// messages mean; a plain-text message box would show a lone one as a space.
QString Shown(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QChar(13), QChar(10));
    return lines;
}

// A box lives on the heap behind a guard, listed in Windows.OpenBoxes while it runs: whatever
// closes under it (its parent window, a signal), exec() returns and nothing is freed twice.
int RunBox(QMessageBox* box) {
    std::vector<QPointer<QMessageBox>>& openBoxes = Windows.OpenBoxes;
    const QPointer<QMessageBox> guard(box);
    openBoxes.push_back(guard);
    const int answer = box->exec();
    openBoxes.erase(
        std::remove_if(openBoxes.begin(), openBoxes.end(),
                       [box](const QPointer<QMessageBox>& b) { return b.isNull() || b == box; }),
        openBoxes.end());
    delete guard.data();
    return answer;
}

}  // namespace

bool MessageBoxesOpen() {
    const std::vector<QPointer<QMessageBox>>& openBoxes = Windows.OpenBoxes;
    return std::any_of(openBoxes.begin(), openBoxes.end(),
                       [](const QPointer<QMessageBox>& b) { return !b.isNull(); });
}

void EndMessageBoxes() {
    Windows.Ending = true;
    for (const QPointer<QMessageBox>& b : Windows.OpenBoxes)
        if (b) b->done(QMessageBox::Cancel);
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (Wiring.MessageBoxHook) {
        Wiring.MessageBoxHook(text, false);
        return;
    }
    if (Windows.Ending) {
        std::fprintf(stderr, "marlo: %s\n", qPrintable(text));
        return;
    }
    RunBox(new QMessageBox(QMessageBox::NoIcon, QString(), Shown(text), QMessageBox::Ok, parent));
}

void ShowNotice(QWidget* parent, const QString& text) {
    if (Wiring.MessageBoxHook) {
        Wiring.MessageBoxHook(text, false);
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Information, QString(), Shown(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (Wiring.MessageBoxHook) return Wiring.MessageBoxHook(text, true);
    // Ending on a signal, nobody is there to answer: the program goes on to its end.
    if (Windows.Ending) return true;
    const int answer = RunBox(new QMessageBox(QMessageBox::NoIcon, QString(), Shown(text),
                                              QMessageBox::Yes | QMessageBox::No, parent));
    return Windows.Ending || answer == QMessageBox::Yes;
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
