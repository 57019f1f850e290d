#include "palette/qt/palette_buttons.h"

#include <QApplication>

#include "canvas/image_exchange.h"
#include "canvas/qt/menus.h"
#include "canvas/qt/report.h"
#include "canvas/qt/unsent_painting.h"
#include "canvas/undo.h"
#include "canvas/view_ops.h"
#include "core/errors.h"

void kt_button1_Click() { PopUndo(); }
void kt_button2_Click() { ClearImage(); }
void kt_button3_Click() { GetImage(); }
void kt_button4_Click() {
    try {
        WriteImageBack([](const std::string& question) {
            return AskYesNo(QApplication::activeWindow(), QString::fromStdString(question));
        });
    } catch (const HostError& e) {
        // The painting stays on the canvas; a copy is kept too, in case the host has gone.
        QString saved;
        const QString kept = SaveUnsentPainting(QString::fromLocal8Bit(e.what()), &saved);
        if (kept.isEmpty()) throw;
        throw HostError(std::string(e.what()) + ". " + kept.toStdString());
    }
}
void kt_button11_Click() { ActualSize(); }
void kt_button12_Click() { FillWindow(); }
void kt_button15_Click() { ShowModeMenu(); }
