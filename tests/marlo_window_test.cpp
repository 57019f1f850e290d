#include "marlo_window_test.h"

#include <QSettings>
#include <QTest>

#include "app/engine_reset.h"
#include "canvas/qt/palette_window.h"

#include "app/qt/application.h"
#include "canvas/qt/form1.h"
#include "canvas/qt/report.h"
#include "core/module1.h"
#include "core/wiring.h"
#include "palette/qt/form2.h"

void MarloWindowTest::StartOn(int w, int h, bool keepBrush) {
    ResetEngine();
    if (!keepBrush) QSettings(kSettingsName, kSettingsName).remove("brush");
    host = std::make_shared<RecordingHost>(w, h);
    QString error;
    window = StartMarlo(host, &error);
    ASSERT_NE(window, nullptr) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    palette = dynamic_cast<Form2*>(window->palette());
    ASSERT_NE(palette, nullptr);
    host->calls.clear();
    messages.clear();
    Wiring.MessageBoxHook = [this](const QString& text, bool) {
        messages << text;
        return answerYes;
    };
}

void MarloWindowTest::TearDown() {
    Wiring.MessageBoxHook = nullptr;
    delete window;
    window = nullptr;
}
