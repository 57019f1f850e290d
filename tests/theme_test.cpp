// The host theme: the settings store read with its defaults, and the palette coloured by
// control kind and Tag.
#include <gtest/gtest.h>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "app/engine_reset.h"
#include "core/module1.h"
#include "palette/qt/form2.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/prefs_callback.h"
#include "palette/qt/trackle.h"
#include "theme/qt/host_theme.h"

namespace {

class ThemeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Every test gets a store of its own, so that no cached file is read twice.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        ResetEngine();
    }
    void WriteStore(const QByteArray& startup) {
        QDir().mkpath(dir.filePath("tarnwick"));
        QFile f(dir.filePath("tarnwick/tarnwick.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Startup]\n" + startup);
    }
    QTemporaryDir dir;
};

TEST_F(ThemeTest, StoreIsTheUsersTarnwickFile) {
    EXPECT_EQ(HostThemeStorePath(), dir.filePath("tarnwick/tarnwick.ini"));
}

TEST_F(ThemeTest, EmptyStoreGivesTheDefaultsAndIsNotWritten) {
    Form2 form;
    EXPECT_EQ(form.BackColor(), 0x9E958Fu);
    for (kt_button* b : {form.kt_button1, form.kt_button8, form.kt_button13, form.kt_button10}) {
        EXPECT_EQ(b->BackColor(), 0xC0C0C0u);
        EXPECT_EQ(b->Highlight(), 0xE0E0E0u);
        EXPECT_EQ(b->Shadow(), 0x202020u);
        EXPECT_EQ(b->Gradient(), 1.2);
        EXPECT_FALSE(b->Borderless());
    }
    EXPECT_EQ(form.kt_button15->BackColor(), 0xC5C5B6u);  // tagged "Setting"
    EXPECT_EQ(form.kt_button15->Gradient(), 1.3);
    EXPECT_EQ(form.kt_button5->BackColor(), 0x000000u);  // the swatch shows the colour again
    for (Trackle* t : {form.Trackle1, form.Trackle7, form.Trackle4}) {
        EXPECT_EQ(t->BackColor(), 0x9E958Fu);
        EXPECT_EQ(t->ForeColor(), 0xFFFFFFu);
        EXPECT_EQ(t->Highlight(), 0xE0E0E0u);
        EXPECT_EQ(t->Shadow(), 0x202020u);
    }
    for (QLabel* l : form.findChildren<QLabel*>())
        EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(Qt::black))
            << l->text().toStdString();
    EXPECT_FALSE(QFile::exists(HostThemeStorePath()));
}

TEST_F(ThemeTest, OnlyBorderlessButtonsOneCountsButAnyScrollerValueDoes) {
    WriteStore("Borderless_Buttons=2\nBorderless_Scrollers=2\nScroll_Fill_Color=255\n");
    Form2 form;
    EXPECT_FALSE(form.kt_button2->Borderless());
    EXPECT_EQ(form.Trackle5->BackColor(), 0x0000FFu);
    EXPECT_EQ(form.Trackle5->Highlight(), 0x0000FFu);
    EXPECT_EQ(form.Trackle5->Shadow(), 0x0000FFu);

    HostTheme theme;
    theme.Borderless_Buttons = 1;
    ApplyHostTheme(&form, theme);
    EXPECT_TRUE(form.kt_button2->Borderless());
    EXPECT_EQ(form.Trackle5->Highlight(), 0xE0E0E0u);
}

TEST_F(ThemeTest, ValuesThatAreNotNumbersTakeTheDefault) {
    WriteStore(
        "Shine_Color=light\nShadow_Color=\nButton_Fill_Color=\" 65280 \"\n"
        "Special_Setting_Color=1,2\nScroll_Bar_Color=99999999999\nSpecial_Tool_Color=12.5\n");
    QSettings store(dir.filePath("tarnwick/tarnwick.ini"), QSettings::IniFormat);
    const HostTheme t = ReadHostTheme(store);
    EXPECT_EQ(t.Shine_Color, 14737632);
    EXPECT_EQ(t.Shadow_Color, 2105376);
    EXPECT_EQ(t.Button_Fill_Color, 65280);
    EXPECT_EQ(t.Special_Setting_Color, 12961206);
    EXPECT_EQ(t.Scroll_Bar_Color, 16777215);
    EXPECT_EQ(t.Special_Tool_Color, 12);  // a fraction rounds half to even
    EXPECT_EQ(t.Ruler_Color, 12118266);
}

TEST_F(ThemeTest, TagsChooseTheSpecialFaces) {
    QWidget window;
    struct Case {
        const char* tag;
        uint32_t face;
        double gradient;
    };
    const Case cases[] = {
        {"", 0x010203, 1.2},     {"Setting", 0x040506, 1.3}, {"Action", 0x070809, 1.3},
        {"Tool", 0x0A0B0C, 1.3}, {"Color", 0x123456, 1.1},  // keeps its own colours
    };
    std::vector<kt_button*> buttons;
    for (const Case& c : cases) {
        auto* b = new kt_button(&window);
        b->setTag(c.tag);
        b->setBackColor(0x123456);
        b->setGradient(1.1);
        buttons.push_back(b);
    }
    HostTheme theme;
    theme.Button_Fill_Color = 0x010203;
    theme.Special_Setting_Color = 0x040506;
    theme.Special_Action_Color = 0x070809;
    theme.Special_Tool_Color = 0x0A0B0C;
    ApplyHostTheme(&window, theme);
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->BackColor(), cases[i].face) << cases[i].tag;
        EXPECT_EQ(buttons[i]->Gradient(), cases[i].gradient) << cases[i].tag;
    }
    // A window without a BackColor of its own takes the colour as its background.
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(0x8F, 0x95, 0x9E));
}

}  // namespace
