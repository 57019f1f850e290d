#include "palette/qt/prefs_callback.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>

#include "palette/qt/control_colours.h"
#include "palette/qt/kt_button.h"
#include "palette/qt/picture_box.h"
#include "palette/qt/trackle.h"
#include "theme/qt/host_theme.h"

namespace {

uint32_t Bgr(int32_t v) { return static_cast<uint32_t>(v) & 0xFFFFFF; }

void SetPaletteColour(QWidget* w, QPalette::ColorRole role, uint32_t bgr) {
    QPalette pal = w->palette();
    pal.setColor(role, FromBGR(bgr));
    w->setPalette(pal);
}

void SetWindowBackColor(QWidget* form, uint32_t bgr) {
    // A window with a BackColor of its own paints it; any other gets the palette colour.
    if (form->metaObject()->indexOfProperty("BackColor") >= 0) {
        form->setProperty("BackColor", QVariant::fromValue(bgr));
        return;
    }
    SetPaletteColour(form, QPalette::Window, bgr);
    form->setAutoFillBackground(true);
}

void ThemeButton(kt_button* b, const HostTheme& t) {
    if (b->Tag() == "Color") return;
    b->setHighlight(Bgr(t.Shine_Color));
    b->setShadow(Bgr(t.Shadow_Color));
    b->setBackColor(Bgr(t.Button_Fill_Color));
    b->setGradient(1.2);
    if (b->Tag() == "Setting") {
        b->setBackColor(Bgr(t.Special_Setting_Color));
        b->setGradient(1.3);
    } else if (b->Tag() == "Action") {
        b->setBackColor(Bgr(t.Special_Action_Color));
        b->setGradient(1.3);
    } else if (b->Tag() == "Tool") {
        b->setBackColor(Bgr(t.Special_Tool_Color));
        b->setGradient(1.3);
    }
    b->setBorderless(t.Borderless_Buttons == 1);
    b->Refresh();
}

void ThemeSlider(Trackle* s, const HostTheme& t) {
    s->setBackColor(Bgr(t.Scroll_Fill_Color));
    s->setForeColor(Bgr(t.Scroll_Bar_Color));
    if (t.Borderless_Scrollers != 0) {
        s->setHighlight(Bgr(t.Scroll_Fill_Color));
        s->setShadow(Bgr(t.Scroll_Fill_Color));
    } else {
        s->setHighlight(Bgr(t.Shine_Color));
        s->setShadow(Bgr(t.Shadow_Color));
    }
    s->Refresh();
}

bool IsTextLike(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
           qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QAbstractItemView*>(w);
}

}  // namespace

void PrefsCallback(QWidget* FormObject) { ApplyHostTheme(FormObject, ReadHostTheme()); }

void ApplyHostTheme(QWidget* FormObject, const HostTheme& theme) {
    if (!FormObject) return;
    SetWindowBackColor(FormObject, kThemeWindowColor);
    // The window's own controls in creation order; the parts inside a control are its own.
    for (QObject* child : FormObject->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) continue;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            SetPaletteColour(label, QPalette::WindowText, 0);
        } else if (auto* button = qobject_cast<kt_button*>(w)) {
            ThemeButton(button, theme);
        } else if (auto* slider = qobject_cast<Trackle*>(w)) {
            ThemeSlider(slider, theme);
        } else if (qobject_cast<PictureBox*>(w)) {
            // Picture boxes keep their drawing.
        } else if (IsTextLike(w)) {
            SetPaletteColour(w, QPalette::Base, Bgr(theme.Textbox_Fill_Color));
            SetPaletteColour(w, QPalette::Text, Bgr(theme.Textbox_Text_Color));
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QGroupBox*>(w)) {
            SetPaletteColour(w, QPalette::Window, kThemeWindowColor);
            w->setAutoFillBackground(true);
        }
    }
}
