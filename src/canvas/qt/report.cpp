#include "canvas/qt/report.h"

#include <QApplication>
#include <QEventLoop>
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

// The painter's input: what a box holds back from the other windows while it waits.
bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd: return true;
        default: return false;
    }
}

// A box waits for its answer the way a modal one does, but without Qt's modality: Qt drops a
// window system's close request for a window a modal box blocks (it is never delivered, not
// even later), so a close asked for while a box was open would be forgotten. Instead, while
// this lives, input for any window but the innermost box is held back, and a press there
// brings the box forward (it may be hidden under a large canvas).
class InputHeldForBox : public QObject {
public:
    InputHeldForBox() { qApp->installEventFilter(this); }
    ~InputHeldForBox() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (!IsInput(type) || !watched->isWidgetType()) return false;
        QMessageBox* box = OpenMessageBox();
        if (!box || static_cast<QWidget*>(watched)->window() == box) return false;
        if (type == QEvent::ShortcutOverride) event->accept();  // no shortcut acts either
        if (type == QEvent::MouseButtonPress || type == QEvent::TabletPress) BringForward(box);
        return true;
    }
};

// A box lives on the heap behind a guard, listed in Windows.OpenBoxes while it runs: whatever
// closes under it (its parent window, a signal), its loop ends and nothing is freed twice.
int RunBox(QMessageBox* box) {
    std::vector<QPointer<QMessageBox>>& openBoxes = Windows.OpenBoxes;
    const QPointer<QMessageBox> guard(box);
    const InputHeldForBox held;
    openBoxes.push_back(guard);
    int answer = QMessageBox::Cancel;
    {
        QEventLoop loop;
        QObject::connect(box, &QDialog::finished, &loop, [&answer, &loop](int result) {
            answer = result;
            loop.quit();
        });
        QObject::connect(box, &QObject::destroyed, &loop, &QEventLoop::quit);
        box->setWindowModality(Qt::NonModal);
        BringForward(box);
        loop.exec(QEventLoop::DialogExec);
    }
    openBoxes.erase(
        std::remove_if(openBoxes.begin(), openBoxes.end(),
                       [box](const QPointer<QMessageBox>& b) { return b.isNull() || b == box; }),
        openBoxes.end());
    delete guard.data();
    return answer;
}

}  // namespace

void BringForward(QWidget* box) {
    box->show();
    box->raise();
    box->activateWindow();
}

QMessageBox* OpenMessageBox() {
    const std::vector<QPointer<QMessageBox>>& openBoxes = Windows.OpenBoxes;
    for (auto b = openBoxes.rbegin(); b != openBoxes.rend(); ++b)
        if (*b) return b->data();
    return nullptr;
}

bool MessageBoxesOpen() { return OpenMessageBox() != nullptr; }

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
